#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "decode/decode.h"
#include "ses/ses.h"
#include "ses/ses_decode.h"
#include "ses_test_pages.h"
#include "support/temp_log.h"

namespace {

using sestest::make_work;
using sestest::put_header;
using sestest::replace_once;

const char kHeading[] = "\nAdditional element status diagnostic page: (0x0A)\n";

// Four descriptors: EIP with two phys, no EIP with one phy, flagged invalid,
// descriptor type 1.
std::vector<std::uint8_t> sample_descriptors() {
  std::vector<std::uint8_t> d(64 + 32 + 8 + 4, 0);
  std::uint8_t *a = d.data();
  a[0] = 0x16;  // EIP, protocol identifier (not examined)
  a[1] = 62;
  a[2] = 0xFD;  // eiioe 1
  a[3] = 0x55;
  a[4] = 2;     // phys
  a[5] = 0x01;  // not all phys
  a[6] = 0xAA;
  a[7] = 9;     // device slot
  std::uint8_t *p0 = a + 8;
  p0[0] = 0x10;
  p0[1] = 0xFF;
  p0[2] = 0x0E;
  p0[3] = 0x8F;
  const std::uint8_t attached[8] = {0x50, 0x00, 0xc5, 0x00, 0x12, 0x34, 0x56, 0x78};
  const std::uint8_t own[8] = {0x50, 0x06, 0x05, 0xb0, 0x00, 0x00, 0x00, 0x01};
  std::copy(attached, attached + 8, p0 + 4);
  std::copy(own, own + 8, p0 + 12);
  p0[20] = 3;
  std::uint8_t *p1 = a + 36;
  p1[20] = 0x1f;
  p1[21] = 0xEE;
  std::uint8_t *b = d.data() + 64;
  b[0] = 0x06;
  b[1] = 30;
  b[2] = 1;
  std::uint8_t *q0 = b + 4;
  q0[0] = 0x20;
  q0[3] = 0x80;
  q0[18] = 0x0a;
  q0[19] = 0xbc;
  q0[12] = 0x50;
  std::uint8_t *c = d.data() + 96;
  std::fill(c, c + 8, 0xFF);
  c[0] = 0x90;  // invalid, EIP
  c[1] = 6;
  std::uint8_t *e = d.data() + 104;
  e[1] = 2;
  e[2] = 5;
  e[3] = 0x40;  // descriptor type 1
  return d;
}

const std::string kSampleText =
    " Element index: 0  eiioe=1\n"
    "  Transport protocol: SAS\n"
    "   number of phys: 2, not all phys: 1, device slot number: 9\n"
    "   phy index: 0\n"
    "     SAS device type: end device\n"
    "     initiator port for: SSP STP SMP\n"
    "     target port for: SATA_port_selector SSP STP SMP SATA_device\n"
    "     attached SAS address: 0x5000c50012345678\n"
    "     SAS address: 0x500605b000000001\n"
    "     phy identifier: 0x3\n"
    "   phy index: 1\n"
    "     SAS device type: no SAS device attached\n"
    "     attached SAS address: 0x0\n"
    "     SAS address: 0x0\n"
    "     phy identifier: 0x1f\n"
    " Element 1 descriptor\n"
    "  Transport protocol: SAS\n"
    "   number of phys: 1, not all phys: 0\n"
    "   phy index: 0\n"
    "     SAS device type: expander device\n"
    "     target port for: SATA_port_selector\n"
    "     attached SAS address: 0x0000000000000000\n"
    "     SAS address: 0x5000000000000abc\n"
    "     phy identifier: 0x0\n"
    " Element index: 2  eiioe=3\n"
    "  flagged as invalid (no further information)\n"
    " Element 3 descriptor\n"
    "  Transport protocol: SAS\n"
    "   unrecognised descriptor type [1]\n";

// The page: header, then descriptors from byte 8; bytes after the copy are
// poison.
std::unique_ptr<sestest::work_buffer> page_with(const std::vector<std::uint8_t> &desc,
                                               int page_length = -1, std::uint8_t code = 0x0A) {
  auto work = make_work();
  const auto length = static_cast<std::uint16_t>(
      page_length >= 0 ? page_length : static_cast<int>(desc.size()) + 4);
  std::copy(desc.begin(), desc.end(), work->begin() + 8);
  put_header(*work, code, length);
  return work;
}

std::string run(const sestest::work_buffer &work, int count) {
  testsupport::TempLog log;
  EXPECT_EQ(analysis_log(work, count, 0x0A), 0);
  return log.text();
}

TEST(AdditionalElem, SampleDescriptors) {
  auto work = page_with(sample_descriptors());
  EXPECT_EQ(run(*work, 4), kHeading + kSampleText);
  // The descriptors end with the page copy, whatever count says.
  EXPECT_EQ(run(*work, 1000), kHeading + kSampleText);
}

TEST(AdditionalElem, CountLimitsTheDescriptors) {
  auto work = page_with(sample_descriptors());
  const std::size_t second = kSampleText.find(" Element 1 descriptor");
  EXPECT_EQ(run(*work, 1), kHeading + kSampleText.substr(0, second));
  EXPECT_EQ(run(*work, 0), kHeading);
  EXPECT_EQ(run(*work, -1), kHeading);
}

TEST(AdditionalElem, NoProtocolSelectorDecodesNoTransport) {
  auto work = page_with(sample_descriptors(), -1, 0x00);
  EXPECT_EQ(run(*work, 4), std::string(kHeading) +
                               " Element index: 0  eiioe=1\n"
                               "Transport protocol:not decoded\n"
                               " Element 1 descriptor\n"
                               "Transport protocol:not decoded\n"
                               " Element index: 2  eiioe=3\n"
                               "  flagged as invalid (no further information)\n"
                               " Element 3 descriptor\n"
                               "Transport protocol:not decoded\n");
}

TEST(AdditionalElem, DescriptorTypes) {
  for (std::uint8_t type = 1; type < 4; ++type) {
    std::vector<std::uint8_t> d = {0x10, 34, 0, 0, 1, static_cast<std::uint8_t>(type << 6), 0, 7};
    d.resize(36, 0x11);
    testsupport::TempLog log;
    analysis_additional_elem_sas("   ", d);
    EXPECT_EQ(log.text(), "   unrecognised descriptor type [" + std::to_string(type) + "]\n");
  }
}

// A no-EIP descriptor with one phy in which one bit is set.
std::string one_phy(std::size_t byte, unsigned bit) {
  std::vector<std::uint8_t> d(32, 0);
  d[1] = 30;
  d[2] = 1;
  d[4 + byte] = static_cast<std::uint8_t>(1u << bit);
  testsupport::TempLog log;
  EXPECT_EQ(analysis_additional_elem_sas("   ", d), 0);
  return log.text();
}

const std::string kZeroPhy =
    "   number of phys: 1, not all phys: 0\n"
    "   phy index: 0\n"
    "     SAS device type: no SAS device attached\n"
    "     attached SAS address: 0x0\n"
    "     SAS address: 0x0\n"
    "     phy identifier: 0x0\n";

struct phy_bit {
  std::size_t byte;
  unsigned bit;
  const char *from, *to;  // "" for a bit that is not shown
};

const phy_bit kPhyBits[] = {
    {0, 7, "", ""},
    {0, 6, "no SAS device attached", "reserved [4]"},
    {0, 5, "no SAS device attached", "expander device"},
    {0, 4, "no SAS device attached", "end device"},
    {0, 3, "", ""}, {0, 2, "", ""}, {0, 1, "", ""}, {0, 0, "", ""},
    {2, 7, "", ""}, {2, 6, "", ""}, {2, 5, "", ""}, {2, 4, "", ""},
    {2, 3, "attached\n     attached", "attached\n     initiator port for: SSP\n     attached"},
    {2, 2, "attached\n     attached", "attached\n     initiator port for: STP\n     attached"},
    {2, 1, "attached\n     attached", "attached\n     initiator port for: SMP\n     attached"},
    {2, 0, "", ""},
    {3, 7, "attached\n     attached",
     "attached\n     target port for: SATA_port_selector\n     attached"},
    {3, 6, "", ""}, {3, 5, "", ""}, {3, 4, "", ""},
    {3, 3, "attached\n     attached", "attached\n     target port for: SSP\n     attached"},
    {3, 2, "attached\n     attached", "attached\n     target port for: STP\n     attached"},
    {3, 1, "attached\n     attached", "attached\n     target port for: SMP\n     attached"},
    {3, 0, "attached\n     attached",
     "attached\n     target port for: SATA_device\n     attached"},
};

TEST(AdditionalElemSas, EachPhyBitFlipsExactlyItsField) {
  for (const phy_bit &c : kPhyBits) {
    const std::string want = *c.from == '\0' ? kZeroPhy : replace_once(kZeroPhy, c.from, c.to);
    EXPECT_EQ(one_phy(c.byte, c.bit), want) << "byte " << c.byte << " bit " << c.bit;
  }
}

TEST(AdditionalElemSas, EachAddressBitShowsBothAddresses) {
  for (std::size_t byte = 4; byte < 20; ++byte) {
    for (unsigned bit = 0; bit < 8; ++bit) {
      std::string attached(16, '0');
      std::string own(16, '0');
      std::string &digits = byte < 12 ? attached : own;
      char pair[16];
      std::snprintf(pair, sizeof pair, "%02x", 1u << bit);
      digits.replace(((byte - 4) % 8) * 2, 2, pair);
      const std::string want =
          replace_once(replace_once(kZeroPhy, "attached SAS address: 0x0\n",
                                    "attached SAS address: 0x" + attached + "\n"),
                       "     SAS address: 0x0\n", "     SAS address: 0x" + own + "\n");
      EXPECT_EQ(one_phy(byte, bit), want) << "byte " << byte << " bit " << bit;
    }
  }
}

TEST(AdditionalElemSas, PhyIdentifierAndUnexaminedBytes) {
  for (unsigned bit = 0; bit < 8; ++bit) {
    char id[16];
    std::snprintf(id, sizeof id, "0x%x\n", 1u << bit);
    EXPECT_EQ(one_phy(20, bit), replace_once(kZeroPhy, "phy identifier: 0x0\n",
                                              std::string("phy identifier: ") + id));
    for (std::size_t byte : {1u, 21u, 22u, 23u, 24u, 25u, 26u, 27u}) {
      EXPECT_EQ(one_phy(byte, bit), kZeroPhy) << byte;
    }
  }
}

// Hostile pages: descriptors decoded must lie wholly inside the page copy,
// and phys wholly inside their descriptor. The bytes after the copy are
// poison, so any read past it would show in the text.
TEST(AdditionalElemHostile, DescriptorRunningPastThePage) {
  const std::vector<std::uint8_t> d = sample_descriptors();
  const std::size_t second = kSampleText.find(" Element 1 descriptor");
  // The first descriptor needs 64 bytes after the 8-byte header.
  EXPECT_EQ(run(*page_with(d, 8 + 64 - 4 - 1), 4), kHeading);
  EXPECT_EQ(run(*page_with(d, 8 + 64 - 4), 4), kHeading + kSampleText.substr(0, second));
  // Only one header byte of the second descriptor held.
  EXPECT_EQ(run(*page_with(d, 8 + 64 + 1 - 4), 4), kHeading + kSampleText.substr(0, second));
  // The second descriptor's body one byte short.
  EXPECT_EQ(run(*page_with(d, 8 + 64 + 31 - 4), 4), kHeading + kSampleText.substr(0, second));
}

TEST(AdditionalElemHostile, DescriptorLengthPastTheWorkBuffer) {
  auto work = make_work();
  put_header(*work, 0x0A, 6396);  // copy fills the buffer
  // Walk descriptors of 257 bytes to the end: the last one would end past 6400.
  for (std::size_t off = 8; off + 2 <= 6400; off += 257) {
    (*work)[off] = 0x80;  // invalid: no SAS part to show
    (*work)[off + 1] = 0xFF;
  }
  const std::string text = run(*work, 1000);
  const std::size_t fit = (6400 - 8) / 257;  // 24 descriptors lie inside
  std::size_t shown = 0;
  for (std::size_t at = 0; (at = text.find("flagged as invalid", at)) != std::string::npos; ++at) {
    ++shown;
  }
  EXPECT_EQ(shown, fit);
}

TEST(AdditionalElemHostile, SmallestDescriptorsFillTheBufferExactly) {
  for (int page_length : {6396, 6392}) {
    auto work = make_work();
    put_header(*work, 0x0A, static_cast<std::uint16_t>(page_length));
    for (std::size_t off = 8; off + 4 <= static_cast<std::size_t>(page_length) + 4; off += 4) {
      (*work)[off] = 0x80;
      (*work)[off + 1] = 2;
    }
    const std::string text = run(*work, 100000);
    const std::size_t want = (static_cast<std::size_t>(page_length) + 4 - 8) / 4;
    const std::string last = " Element " + std::to_string(want - 1) + " descriptor\n";
    EXPECT_NE(text.find(last), std::string::npos) << page_length;
    EXPECT_EQ(text.find(" Element " + std::to_string(want) + " descriptor\n"), std::string::npos);
  }
}

TEST(AdditionalElemHostile, RefusedOrClaimingPageShowsHeadingOnly) {
  auto work = make_work();
  EXPECT_EQ(run(*work, 100), kHeading);  // cleared buffer: nothing held
  put_header(*work, 0x0A, 6397);
  (*work)[8] = 0x80;
  (*work)[9] = 2;
  EXPECT_EQ(run(*work, 100), kHeading);
  put_header(*work, 0x0A, 0xFFFF);
  EXPECT_EQ(run(*work, 100), kHeading);
}

TEST(AdditionalElemHostile, TooManyPhysStopAtTheDescriptorEnd) {
  // Two whole phys and 27 bytes of a third; the number of phys says more.
  for (std::uint8_t phys : {3, 4, 255}) {
    std::vector<std::uint8_t> d(8 + 28 * 2 + 27, 0);
    d[0] = 0x10;
    d[1] = static_cast<std::uint8_t>(d.size() - 2);
    d[4] = phys;
    d[8 + 20] = 0x11;
    d[36 + 20] = 0x22;
    d[64 + 20] = 0x33;
    const std::vector<std::uint8_t> held(d);  // exactly the descriptor: heap-held
    testsupport::TempLog log;
    analysis_additional_elem_sas("   ", held);
    const std::string text = log.text();
    EXPECT_NE(text.find("phy identifier: 0x22\n"), std::string::npos);
    EXPECT_EQ(text.find("phy index: 2"), std::string::npos) << int(phys);
    EXPECT_EQ(text.rfind("   number of phys: " + std::to_string(phys), 0), 0u);
  }
}

TEST(AdditionalElemHostile, PhysInsideThePageButPastTheDescriptor) {
  // One phy declared, none carried: the next descriptor's bytes are no phy.
  std::vector<std::uint8_t> d = {0x00, 2, 1, 0, 0x80, 2, 0, 0};
  auto work = page_with(d);
  EXPECT_EQ(run(*work, 2), std::string(kHeading) +
                               " Element 0 descriptor\n"
                               "  Transport protocol: SAS\n"
                               "   number of phys: 1, not all phys: 0\n"
                               " Element 1 descriptor\n"
                               "  flagged as invalid (no further information)\n");
}

TEST(AdditionalElemHostile, DescriptorTooShortForItsSasPart) {
  // EIP descriptors need 8 bytes of SAS header, others 4; eiioe beyond an
  // empty body shows 0.
  std::vector<std::uint8_t> d = {0x10, 0, 0x10, 5, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 1, 0xFF};
  auto work = page_with(d);
  EXPECT_EQ(run(*work, 3), std::string(kHeading) +
                               " Element index: 0  eiioe=0\n"
                               "  Transport protocol: SAS\n"
                               " Element index: 1  eiioe=3\n"
                               "  Transport protocol: SAS\n"
                               " Element 2 descriptor\n"
                               "  Transport protocol: SAS\n");
  // Direct calls with exactly the descriptor's bytes on the heap.
  for (std::size_t size = 0; size < 8; ++size) {
    const std::vector<std::uint8_t> eip(size, 0x10);
    testsupport::TempLog log;
    EXPECT_EQ(analysis_additional_elem_sas("   ", eip), 0);
    EXPECT_EQ(log.text(), "") << size;
  }
}

TEST(AdditionalElemHostile, WalkOnExactHeapCopies) {
  // The page copy alone, on the heap: every read must stay inside it.
  const std::vector<std::uint8_t> d = sample_descriptors();
  for (std::size_t cut = 0; cut <= d.size() + 8; ++cut) {
    std::vector<std::uint8_t> page(8, 0);
    page[0] = 0x0A;
    page.insert(page.end(), d.begin(), d.end());
    page.resize(cut);
    testsupport::TempLog log;
    EXPECT_EQ(analysis_additional_elem(page, 1000), 0);
    const std::string text = log.text();
    EXPECT_EQ(kSampleText.compare(0, text.size(), text), 0) << cut;
  }
}

}  // namespace
