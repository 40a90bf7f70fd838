// INQUIRY answers of the simulated enclosure services target: what the
// midlayer's scan reads to make it an enclosure with an sg node.
#include "tcmu/inquiry.h"
#include "tcmu/record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

tcmu::identity test_identity() {
  tcmu::identity id;
  id.serial = "SIMEXP0001";
  EXPECT_TRUE(tcmu::parse_naa("5001405c00000001", id.naa));
  return id;
}

std::vector<std::uint8_t> ask(std::vector<std::uint8_t> cdb, std::size_t room = 255) {
  std::vector<std::uint8_t> out(room, 0xEE);
  const int n = tcmu::inquiry_fill(cdb, test_identity(), out);
  if (n < 0) return {};
  out.resize(static_cast<std::size_t>(n));
  return out;
}

TEST(TcmuInquiry, StandardDataNamesAnEnclosureServicesDevice) {
  const auto d = ask({0x12, 0x00, 0x00, 0x00, 0x24, 0x00});
  ASSERT_EQ(d.size(), 36u);
  EXPECT_EQ(d[0], 0x0D);          // peripheral qualifier 0, enclosure services device
  EXPECT_EQ(d[4], 31);            // additional length
  EXPECT_TRUE(d[6] & 0x40);       // EncServ
  EXPECT_EQ(d[3] & 0x0F, 2);      // response data format
  for (std::size_t i = 8; i < 36; ++i) EXPECT_TRUE(d[i] >= 0x20 && d[i] < 0x7F) << i;
}

TEST(TcmuInquiry, VpdPagesTheScanAsksFor) {
  const auto list = ask({0x12, 0x01, 0x00, 0x00, 0xFF, 0x00});
  EXPECT_EQ(list, (std::vector<std::uint8_t>{0x0D, 0x00, 0x00, 0x03, 0x00, 0x80, 0x83}));

  const auto serial = ask({0x12, 0x01, 0x80, 0x00, 0xFF, 0x00});
  ASSERT_GE(serial.size(), 4u);
  EXPECT_EQ(serial[1], 0x80);
  EXPECT_EQ(std::string(serial.begin() + 4, serial.end()), "SIMEXP0001");
  EXPECT_EQ(serial[3], 10);

  const auto id = ask({0x12, 0x01, 0x83, 0x00, 0xFF, 0x00});
  EXPECT_EQ(id, (std::vector<std::uint8_t>{0x0D, 0x83, 0x00, 0x0C, 0x01, 0x03, 0x00, 0x08,
                                           0x50, 0x01, 0x40, 0x5C, 0x00, 0x00, 0x00, 0x01}));
}

TEST(TcmuInquiry, AnswerIsCutToAllocationLengthAndRoom) {
  EXPECT_EQ(ask({0x12, 0x00, 0x00, 0x00, 0x05, 0x00}).size(), 5u);
  EXPECT_EQ(ask({0x12, 0x00, 0x00, 0x00, 0x00, 0x00}).size(), 0u);
  EXPECT_EQ(ask({0x12, 0x00, 0x00, 0x01, 0x00, 0x00}, 20).size(), 20u);
  EXPECT_EQ(ask({0x12, 0x01, 0x83, 0x00, 0x06, 0x00}).size(), 6u);
}

TEST(TcmuInquiry, UnknownPagesAndFieldsAreRefused) {
  const std::vector<std::vector<std::uint8_t>> refused{
      {0x12, 0x00, 0x80, 0x00, 0xFF, 0x00},  // page code without EVPD
      {0x12, 0x01, 0xB0, 0x00, 0xFF, 0x00},  // a VPD page this target lacks
      {0x12, 0x02, 0x00, 0x00, 0xFF, 0x00},  // CMDDT
  };
  for (const auto &cdb : refused) {
    std::vector<std::uint8_t> out(255);
    EXPECT_EQ(tcmu::inquiry_fill(cdb, test_identity(), out), -1) << int{cdb[1]} << " " << int{cdb[2]};
  }
}

TEST(TcmuInquiry, NaaTakesSixteenHexDigitsOnly) {
  std::array<std::uint8_t, 8> naa{};
  EXPECT_TRUE(tcmu::parse_naa("0123456789abcDEF", naa));
  EXPECT_EQ(naa, (std::array<std::uint8_t, 8>{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
  for (const char *bad : {"", "0123456789abcde", "0123456789abcdef0", "0123456789abcdeg"})
    EXPECT_FALSE(tcmu::parse_naa(bad, naa)) << bad;
}

TEST(TcmuInquiry, FixedSenseAndRecordLines) {
  const auto s = tcmu::fixed_sense(0x15, 0x24, 0x01);
  EXPECT_EQ(s[0], 0x70);
  EXPECT_EQ(s[2], 0x05);  // only the sense key's 4 bits
  EXPECT_EQ(s[7], 10);
  EXPECT_EQ(s[12], 0x24);
  EXPECT_EQ(s[13], 0x01);

  tcmu::command cmd;
  cmd.cdb = {0x1D, 0x10, 0x00, 0x00, 0x02, 0x00};
  cmd.data = {0x91, 0xAB};
  tcmu::reply rep;
  rep.status = 0x02;
  rep.sense = tcmu::fixed_sense(0x05, 0x26, 0x00);
  EXPECT_EQ(tcmu::record_line(cmd, tcmu::xfer::to_device, rep),
            "cdb=1d1000000200 status=02 len=2 sense=700005000000000a00000000260000000000 data=91ab\n");
  cmd.cdb = {0x1C, 0x01, 0x82, 0x08, 0x00, 0x00};
  rep.status = 0;
  rep.data_len = 64;
  EXPECT_EQ(tcmu::record_line(cmd, tcmu::xfer::from_device, rep), "cdb=1c0182080000 status=00 len=64\n");
}

}  // namespace
