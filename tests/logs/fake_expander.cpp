#include "logs/fake_expander.h"

#include <scsi/sg.h>

#include <algorithm>
#include <cstring>

namespace testlogs {

fake_state g_fake;

namespace {

constexpr int kFakeFd = 7;

int fake_open(const char *, int) {
  ++g_fake.open_count;
  return kFakeFd;
}

int fake_close(int) {
  ++g_fake.close_count;
  return 0;
}

fake_reply next_reply(int page_code) {
  auto queued = g_fake.queued.find(page_code);
  if (queued != g_fake.queued.end() && !queued->second.empty()) {
    fake_reply reply = queued->second.front();
    queued->second.pop_front();
    return reply;
  }
  auto standing = g_fake.standing.find(page_code);
  if (standing != g_fake.standing.end()) return standing->second;
  return {{}, false};
}

int fake_ioctl(int, unsigned long request, void *arg) {
  if (request != SG_IO) return -1;
  auto *hdr = static_cast<sg_io_hdr_t *>(arg);
  const auto *cdb = static_cast<const std::uint8_t *>(hdr->cmdp);
  const int page_code = cdb[2];
  g_fake.requests.push_back(page_code);
  const fake_reply reply = next_reply(page_code);
  if (!reply.good) {
    hdr->status = 0x02;
    return 0;
  }
  const std::size_t n = std::min<std::size_t>(reply.bytes.size(), hdr->dxfer_len);
  std::memcpy(hdr->dxferp, reply.bytes.data(), n);
  hdr->resid = static_cast<int>(hdr->dxfer_len - n);
  hdr->status = 0;
  return 0;
}

}  // namespace

fake_expander::fake_expander() : seam(sg_syscalls{fake_open, fake_ioctl, fake_close}) {
  g_fake = fake_state{};
}

void fake_expander::queue(int page_code, std::vector<std::uint8_t> bytes, bool good) {
  g_fake.queued[page_code].push_back({std::move(bytes), good});
}

void fake_expander::always(int page_code, std::vector<std::uint8_t> bytes, bool good) {
  g_fake.standing[page_code] = {std::move(bytes), good};
}

}  // namespace testlogs
