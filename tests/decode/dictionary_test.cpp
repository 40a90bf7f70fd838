#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>
#include <string>

#include "decode/event_messages.h"

namespace {

struct module_expect {
  std::int32_t module_id;
  const message_entry *table;
  std::int32_t entries;
  const char *first;
  const char *last;
};

// The module index in search order, with the first and last text of each.
const module_expect kModules[] = {
    {0x1A, SAS_ERROR_CODE, 226, "SAS: Unused", "PACK: ECC Error"},
    {0x2A, SAHA_ERROR_CODE, 4, "SAHA: Unused", "SAHA: Req retry"},
    {0x15, STE_ERROR_CODE, 46, "STE: Unused", "STE: Sense Index Invalid"},
    {0x1E, SXP_ERROR_CODE, 52, "SXP: Unused", "RFNDSR: State machine current state"},
    {0x2C, DSQ_ERROR_CODE, 18, "DSQ: Unused", "DSQ: Inquiry response data is too short"},
    {0x2B, SIA_ERROR_CODE, 11, "SIA: Unused", "SIA: Sent CMD rsp due to TASK rsp"},
    {0x69, SOCIO_ERROR_CODE, 48, "SOCIO: Unused", "SOCIO_CIC: unexpected interrupt"},
    {0x35, PORTMGR_ERROR_CODE, 31, "PORTMGR: Unused", "CONN: CABLE_OUT_NOT_MNG"},
    {0x1D, SPINUP_ERROR_CODE, 30, "Spinup: Unused", "Spinup: SATA Drive SPINUP failed "},
    {0x4F, TOPD_ERROR_CODE, 98, "TOPD: Unused", "TOPD: PHY_ECMR_ACCESS_FAIL"},
    {0x36, SMP_ERROR_CODE, 14, "SMPSTD_INIT: Unused", "SMPTGT: PHYCTL Hard Reset"},
    {0x66, SMPSTD_ZONG_ERROR_CODE, 23, "SMPSTD_ZONE: Unused",
     "SMPSTD_ZONE: Fail to Get Ingress Phy ID"},
    {0x22, PWRMGR_ERROR_CODE, 12, "PWRMGR: Unused", "PWRMGR: WOS_FAIL_DISABL_DUE_DEVICE_TO_SLEEP"},
    {0x10, OSF_ERROR_CODE, 42, "OSF: Unused", "OSF: App log restored"},
    {0x1F, ISTR_ERROR_CODE, 88, "ISTR: Unused", "ISTR: Invalid SAHA simul_app_count"},
};

TEST(Dictionary, ModuleIndexMatchesTablesInSearchOrder) {
  ASSERT_EQ(error_code.size(), std::size(kModules));
  std::int32_t total = 0;
  for (std::size_t i = 0; i < error_code.size(); ++i) {
    SCOPED_TRACE(kModules[i].first);
    EXPECT_EQ(error_code[i].module_id, kModules[i].module_id);
    EXPECT_EQ(error_code[i].entries, kModules[i].table);
    EXPECT_EQ(error_code[i].entry_count, kModules[i].entries);
    total += error_code[i].entry_count;
  }
  EXPECT_EQ(total, 743);
}

TEST(Dictionary, FirstAndLastTextOfEveryTable) {
  for (const module_expect &m : kModules) {
    EXPECT_STREQ(m.table[0].message, m.first);
    EXPECT_STREQ(m.table[m.entries - 1].message, m.last);
    const auto id = static_cast<std::uint32_t>(m.module_id) << 16;
    EXPECT_STREQ(find_event_message(id), m.first);
    EXPECT_STREQ(find_event_message(id | static_cast<std::uint32_t>(m.entries - 1)), m.last);
    EXPECT_EQ(find_event_message(id | static_cast<std::uint32_t>(m.entries)), nullptr);
    EXPECT_EQ(find_event_message(id | 0xFFFFu), nullptr);
  }
}

TEST(Dictionary, CodesAreDenseAndTextsNulPadded) {
  for (const module_expect &m : kModules) {
    for (std::int32_t i = 0; i < m.entries; ++i) {
      const message_entry &e = m.table[i];
      ASSERT_EQ(e.code, i) << m.first;
      const std::size_t len = strnlen(e.message, sizeof e.message);
      ASSERT_LT(len, 78u) << e.message;  // the longest message has 77 characters
      ASSERT_GT(len, 0u);
      for (std::size_t k = len; k < sizeof e.message; ++k) ASSERT_EQ(e.message[k], '\0');
      // Every text starts with a tag and ": ", but for SAS code 0x00C2.
      const bool untagged = m.table == SAS_ERROR_CODE && i == 0xC2;
      ASSERT_EQ(std::strstr(e.message, ": ") == nullptr, untagged) << e.message;
    }
    const std::string placeholder = m.table[0].message;
    EXPECT_EQ(placeholder.substr(placeholder.size() - 6), "Unused");
  }
}

// Every message that ends in a blank, by event code.
const std::uint32_t kTrailingBlank[] = {
    0x002C0004, 0x002C0007, 0x002C0008, 0x001D0013, 0x001D0014, 0x001D0015,
    0x001D0016, 0x001D0017, 0x001D0018, 0x001D0019, 0x001D001A, 0x001D001B,
    0x001D001C, 0x001D001D, 0x001F0016, 0x001F001D, 0x001F002D, 0x001F002E,
    0x001F002F, 0x001F0030, 0x001F0040, 0x001F0049, 0x001F0050,
};

TEST(Dictionary, TwentyThreeMessagesEndInABlank) {
  std::vector<std::uint32_t> found;
  std::size_t longest = 0;
  for (const module_expect &m : kModules) {
    for (std::int32_t i = 0; i < m.entries; ++i) {
      const std::string text = m.table[i].message;
      longest = std::max(longest, text.size());
      if (text.back() == ' ') {
        found.push_back(static_cast<std::uint32_t>(m.module_id) << 16 |
                        static_cast<std::uint32_t>(i));
      }
      EXPECT_NE(text.substr(text.size() - 2), "  ") << text;
    }
  }
  std::sort(found.begin(), found.end());
  std::vector<std::uint32_t> want(std::begin(kTrailingBlank), std::end(kTrailingBlank));
  std::sort(want.begin(), want.end());
  EXPECT_EQ(found, want);
  EXPECT_EQ(want.size(), 23u);
  EXPECT_EQ(longest, 77u);
}

struct sample {
  std::uint32_t event_code;
  const char *text;
};

// Doubled entries, odd spellings and texts whose tag differs from the table.
const sample kSamples[] = {
    {0x001A0001, "LINK SMPINIT: init"},
    {0x001A0060, "PORTCTL: Ingress Open Req Failed"},
    {0x001A0067, "PORTCTL: Ingress Open Req Failed"},
    {0x001A0092, "TRANS SSPTARG: rx cmd frame, no free nexus resource so send response directly"},
    {0x001A00E1, "PACK: ECC Error"},
    {0x002A0003, "SAHA: Req retry"},
    {0x001D001D, "Spinup: SATA Drive SPINUP failed "},
    {0x00100000, "OSF: Unused"},
    {0x001A00C2, "ISR Pack"},
    {0x001D0018, "Spinup: Drive moves form POWERED_NOT_READY to INACTIVE "},
    {0x002C0004, "DSQ: Received uexpected message type "},
    {0x001F002D, "ISTR: Invalid thread instances "},
    {0x001F002E, "ISTR: Invalid thread instances "},
    {0x00690001, "SOCIO_NMI: SPRAM uncorrectable ECC"},
};

TEST(Dictionary, SampleTexts) {
  for (const sample &s : kSamples) {
    EXPECT_STREQ(find_event_message(s.event_code), s.text) << std::hex << s.event_code;
  }
}

TEST(Dictionary, MissingModulesAndCodesFindNothing) {
  for (std::uint32_t code : {0x00000000u, 0x00110001u, 0xFFFF0000u, 0x002A0004u, 0x001A00E2u,
                             0x001B0000u, 0x01001A00u}) {
    EXPECT_EQ(find_event_message(code), nullptr) << std::hex << code;
  }
}

// FNV-1a 64 over "module:code:text\n" of every row in search order, lower-case
// hex, taken from the firmware's message list: any changed, missing or moved
// byte of any text changes it.
TEST(Dictionary, DigestOfEveryText) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  char row[160];
  for (const module_entry &m : error_code) {
    for (std::int32_t i = 0; i < m.entry_count; ++i) {
      const int n = std::snprintf(row, sizeof row, "%02x:%04x:%s\n", m.module_id,
                                  m.entries[i].code, m.entries[i].message);
      for (int k = 0; k < n; ++k) {
        hash ^= static_cast<unsigned char>(row[k]);
        hash *= 0x100000001b3ull;
      }
    }
  }
  EXPECT_EQ(hash, 0xe856ec81f9ef406eull);
}

TEST(Dictionary, SeverityNames) {
  const char *names[] = {"Disables logging", "critical error", "error", "warning",
                         "info", "debugging", "reserved"};
  ASSERT_EQ(log_sev.size(), std::size(names));
  for (std::int32_t level = 0; level < 7; ++level) {
    EXPECT_EQ(log_sev[level].level, level);
    EXPECT_STREQ(find_severity_name(level), names[level]);
  }
  for (std::int32_t level : {7, 8, 0xFFFF, -1}) EXPECT_EQ(find_severity_name(level), nullptr);
}

}  // namespace
