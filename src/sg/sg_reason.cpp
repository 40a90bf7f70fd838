#include "sg/sg_reason.h"

#include <scsi/sg_io_linux.h>
#include <scsi/sg_lib.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "bounded/bounded.h"
#include "sg/sg_exchange.h"

std::FILE *g_sg_reason_stream = nullptr;

namespace {

constexpr std::size_t kDevKept = 256;    // path bytes kept, NUL included
constexpr int kEnclosureDevice = 0x0D;   // peripheral type for command names
constexpr unsigned char kCheckCondition = 0x02;
constexpr int kHostTimedOut = 0x03;      // DID_TIME_OUT
constexpr int kDriverTimedOut = 0x06;    // DRIVER_TIMEOUT
constexpr unsigned short kDriverVerdictMask = 0x07;
constexpr std::uint8_t kReceiveDiagnosticResults = 0x1C;
constexpr std::uint8_t kSendDiagnostic = 0x1D;

// The last exchange, as sg_exchange handed it over.
struct exchange_record {
  bool any = false;
  sg_stage stage = sg_stage::completed;
  int error = 0;
  std::array<char, kDevKept> dev{};
  std::array<std::uint8_t, kCdbSize> cdb{};
  int page = -1;  // diagnostic page of the request; -1 when none
  bool from_device = false;
  bool good = false;
  unsigned char status = 0;
  unsigned short host_status = 0;
  unsigned short driver_status = 0;
  int resid = 0;
  unsigned dxfer_len = 0;
  std::array<std::uint8_t, kSenseSize> sense{};
  unsigned sense_len = 0;
};

exchange_record g_last;
std::array<char, kReasonSize> g_last_printed{};

void keep_dev(const char *dev) {
  g_last.dev.fill('\0');
  if (dev == nullptr) return;
  const std::size_t n = strnlen(dev, kDevKept - 1);
  std::memcpy(g_last.dev.data(), dev, n);
}

// Appends ", " (unless first) and the text; bounded by size.
void add_part(char *text, std::size_t size, bool &first, const char *part) {
  if (!first) strcat_s(text, size, ", ");
  strcat_s(text, size, part);
  first = false;
}

// "Receive diagnostic results page 0x82", "Inquiry", ...
void command_name(char *out, std::size_t size) {
  char name[96] = {};
  sg_get_opcode_name(g_last.cdb[0], kEnclosureDevice, static_cast<int>(sizeof name), name);
  if (g_last.page >= 0) {
    sprintf_s(out, size, "%s page 0x%02x", name, static_cast<unsigned>(g_last.page));
  } else {
    sprintf_s(out, size, "%s", name);
  }
}

// The library prints host and driver status to its warnings stream only;
// it is pointed at a memory stream for the one call.
void status_words(bool host, int value, char *out, std::size_t size) {
  out[0] = '\0';
  std::FILE *mem = fmemopen(out, size, "w");
  if (mem == nullptr) {
    sprintf_s(out, size, "%s=0x%02x", host ? "Host_status" : "Driver_status", static_cast<unsigned>(value));
    return;
  }
  sg_set_warnings_strm(mem);
  if (host) {
    sg_print_host_status(value);
  } else {
    sg_print_driver_status(value);
  }
  sg_set_warnings_strm(nullptr);
  std::fclose(mem);
  // The library ends its text with a blank.
  std::size_t n = strnlen(out, size);
  while (n > 0 && out[n - 1] == ' ') out[--n] = '\0';
}

void sense_words(char *out, std::size_t size) {
  char status[64] = {};
  sg_get_scsi_status_str(g_last.status, static_cast<int>(sizeof status), status);
  sg_scsi_sense_hdr hdr{};
  if (g_last.sense_len == 0 ||
      !sg_scsi_normalize_sense(g_last.sense.data(), static_cast<int>(g_last.sense_len), &hdr)) {
    if (g_last.status == kCheckCondition) {
      sprintf_s(out, size, "status %s, no sense data", status);
    } else {
      sprintf_s(out, size, "status %s", status);
    }
    return;
  }
  char key[64] = {};
  char asc[160] = {};
  sg_get_sense_key_str(hdr.sense_key, static_cast<int>(sizeof key), key);
  sg_get_asc_ascq_str(hdr.asc, hdr.ascq, static_cast<int>(sizeof asc), asc);
  sprintf_s(out, size, "status %s, %s, %s (sense %x/%02x/%02x)", status, key, asc,
            static_cast<unsigned>(hdr.sense_key), static_cast<unsigned>(hdr.asc),
            static_cast<unsigned>(hdr.ascq));
}

bool timed_out() {
  return g_last.host_status == kHostTimedOut ||
         (g_last.driver_status & kDriverVerdictMask) == kDriverTimedOut;
}

// The completed request's verdicts, joined with ", ".
void completed_words(char *text, std::size_t size) {
  bool first = true;
  char part[kReasonSize] = {};
  if (timed_out()) {
    sprintf_s(part, sizeof part, "timed out after %u ms", kRequestTimeoutMs);
    add_part(text, size, first, part);
  }
  if (g_last.status != 0) {
    sense_words(part, sizeof part);
    add_part(text, size, first, part);
  }
  if (g_last.host_status != 0) {
    status_words(true, g_last.host_status, part, sizeof part);
    add_part(text, size, first, part);
  }
  if ((g_last.driver_status & kDriverVerdictMask) != 0) {
    status_words(false, g_last.driver_status, part, sizeof part);
    add_part(text, size, first, part);
  }
  // The bytes delivered matter when nothing else went wrong: a page that
  // came back short or empty.
  if (g_last.from_device && first) {
    const unsigned resid = g_last.resid > 0 ? static_cast<unsigned>(g_last.resid) : 0;
    const unsigned delivered = resid < g_last.dxfer_len ? g_last.dxfer_len - resid : 0;
    sprintf_s(part, sizeof part, "%u of %u bytes delivered", delivered, g_last.dxfer_len);
    add_part(text, size, first, part);
  }
}

}  // namespace

void sg_note_exchange(const sg_exchange_args &args, sg_stage stage, int error, const sg_io_hdr_t *hdr) {
  g_last = exchange_record{};
  g_last.any = true;
  g_last.stage = stage;
  g_last.error = error;
  keep_dev(args.dev);
  std::copy(args.cdb.begin(), args.cdb.end(), g_last.cdb.begin());
  g_last.from_device = args.direction == SG_DXFER_FROM_DEV;
  if (g_last.cdb[0] == kReceiveDiagnosticResults) {
    g_last.page = g_last.cdb[2];
  } else if (g_last.cdb[0] == kSendDiagnostic && args.data != nullptr && args.data_len > 0) {
    g_last.page = *static_cast<const std::uint8_t *>(args.data);
  }
  g_last.dxfer_len = args.data_len;
  if (hdr != nullptr && stage == sg_stage::completed) {
    g_last.good = sg_completed_good(*hdr);
    g_last.status = hdr->status;
    g_last.host_status = hdr->host_status;
    g_last.driver_status = hdr->driver_status;
    g_last.resid = hdr->resid;
    g_last.sense_len = hdr->sbp != nullptr ? std::min<unsigned>(hdr->sb_len_wr, kSenseSize) : 0;
    if (g_last.sense_len > 0) std::memcpy(g_last.sense.data(), hdr->sbp, g_last.sense_len);
  }
  if (!g_last.good) sg_reason_print();
}

std::size_t sg_last_delivered() {
  if (!g_last.any || !g_last.from_device || g_last.stage != sg_stage::completed) return 0;
  const unsigned resid = g_last.resid > 0 ? static_cast<unsigned>(g_last.resid) : 0;
  return resid < g_last.dxfer_len ? g_last.dxfer_len - resid : 0;
}

bool sg_last_failed() { return g_last.any && !g_last.good; }

bool sg_reason(char *text, std::size_t size) {
  if (text == nullptr || size == 0) return false;
  text[0] = '\0';
  if (size > kReasonSize) size = kReasonSize;
  if (!g_last.any || (g_last.good && !g_last.from_device)) return false;
  const char *dev = g_last.dev.data();
  const char *why = g_last.error != 0 ? std::strerror(g_last.error) : "unknown error";
  if (g_last.stage == sg_stage::open_failed) {
    if (g_last.error == 0) {
      sprintf_s(text, size, "%s: cannot open: the node opened as descriptor 0", dev);
    } else {
      sprintf_s(text, size, "%s: cannot open: %s", dev, why);
    }
    return true;
  }
  char command[128] = {};
  command_name(command, sizeof command);
  if (g_last.stage == sg_stage::ioctl_failed) {
    sprintf_s(text, size, "%s: %s: SG_IO failed: %s", dev, command, why);
    return true;
  }
  sprintf_s(text, size, "%s: %s: ", dev, command);
  completed_words(text, size);
  return true;
}

void sg_reason_print() {
  if (g_sg_reason_stream == nullptr) return;
  std::array<char, kReasonSize> text{};
  if (!sg_reason(text.data(), text.size())) return;
  if (std::strcmp(text.data(), g_last_printed.data()) == 0) return;
  g_last_printed = text;
  std::fprintf(g_sg_reason_stream, "%s\n", text.data());
  std::fflush(g_sg_reason_stream);
}
