// Every field of the requests the real binary issues, as the simulated
// driver saw them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/foreign_exec.h"
#include "support/sim_run.h"

namespace {

using testsupport::sim_event;
using testsupport::sim_result;
using testsupport::sim_run;

// The header members the program must leave zero, as the driver received them.
const char *const kZeroMembers[] = {"iovec_count", "flags",        "pack_id",     "status_in",
                                    "masked_status_in", "msg_status_in", "sb_len_wr_in", "host_status_in",
                                    "driver_status_in", "resid_in",      "duration_in", "info_in"};

void expect_header(const sim_event &r, const char *direction, const std::string &dxfer_len) {
  EXPECT_EQ(r.get("interface_id"), "83");  // 'S'
  EXPECT_EQ(r.get("dxfer_direction"), direction);
  EXPECT_EQ(r.get("cmd_len"), "6");
  EXPECT_EQ(r.get("mx_sb_len"), "64");
  EXPECT_EQ(r.get("dxfer_len"), dxfer_len);
  EXPECT_EQ(r.get("dxferp"), "set");
  EXPECT_EQ(r.get("cmdp"), "set");
  EXPECT_EQ(r.get("sbp"), "set");
  EXPECT_EQ(r.get("timeout"), "60000");
  EXPECT_EQ(r.get("usr_ptr"), "null");
  for (const char *member : kZeroMembers) EXPECT_EQ(r.get(member), "0") << member;
}

// Each request is exactly one open, one SG_IO on that descriptor and one close.
void expect_open_request_close(const sim_result &r, const char *open_flags) {
  ASSERT_EQ(r.transcript.size() % 3, 0u);
  for (std::size_t i = 0; i < r.transcript.size(); i += 3) {
    const sim_event &open = r.transcript[i];
    EXPECT_EQ(open.kind, "open");
    EXPECT_EQ(open.get("path"), "/dev/sgsim0");
    if (open_flags != nullptr) {
      EXPECT_EQ(open.get("flags"), open_flags);
    }
    EXPECT_EQ(r.transcript[i + 1].kind, "sgio");
    EXPECT_EQ(r.transcript[i + 1].get("fd"), open.get("fd"));
    EXPECT_EQ(r.transcript[i + 2].kind, "close");
    EXPECT_EQ(r.transcript[i + 2].get("fd"), open.get("fd"));
  }
  EXPECT_TRUE(r.leaks.empty());
}

TEST(E2eRequests, ReceiveCarriesEveryFieldAsSpecified) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const sim_result r = sim_run({"query", "/dev/sgsim0"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto requests = r.requests();
  ASSERT_EQ(requests.size(), 2u);
  expect_open_request_close(r, "0x0");
  for (const sim_event &q : requests) {
    expect_header(q, "-3", "2048");
    EXPECT_EQ(q.bytes("cdb"), (std::vector<std::uint8_t>{0x1C, 0x01, 0x82, 0x08, 0x00, 0x00}));
    EXPECT_EQ(q.get("result"), "good");
  }
}

TEST(E2eRequests, SendCarriesEveryFieldAsSpecified) {
  CORVANE_SKIP_WITHOUT_PROGRAM_EXEC();
  const sim_result r = sim_run({"reset", "/dev/sgsim0"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto requests = r.requests();
  ASSERT_EQ(requests.size(), 3u);
  expect_open_request_close(r, nullptr);
  EXPECT_EQ(r.transcript[0].get("flags"), "0x2");  // O_RDWR for the send
  expect_header(requests[0], "-2", "6");
  EXPECT_EQ(requests[0].bytes("cdb"), (std::vector<std::uint8_t>{0x1D, 0x10, 0x00, 0x00, 0x06, 0x00}));
  EXPECT_EQ(requests[0].bytes("data_out"), (std::vector<std::uint8_t>{0x04, 0x00, 0x00, 0x02, 0x02, 0x01}));
  // The two status reads after the reset, opened read-only.
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(r.transcript[3 * i].get("flags"), "0x0");
    EXPECT_EQ(requests[i].bytes("cdb")[2], 0x82);
  }
}

}  // namespace
