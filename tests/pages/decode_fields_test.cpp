// decode --json: the structured keys of every decoded page agree with the
// page's text lines field by field. One table over every page code and every
// field kind, built-in pages and hostile ones: each JSON value must be found
// in the very line (or block of lines) the text decoder wrote for it, and
// every entry line must have its JSON entry.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "logs/page_builders.h"
#include "model/log_pages.h"
#include "pages/decode_fields.h"
#include "pages/json_doc.h"
#include "ses/ses_decode.h"

namespace {

using json_doc::json;
using testlogs::bytevec;

std::string hex8(std::uint64_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(v));
  return text;
}

std::vector<std::string> lines_of(const json &entry) {
  std::vector<std::string> out;
  for (const json &line : entry["lines"]) out.push_back(line.get<std::string>());
  return out;
}

// Index of the first line equal to text at or after from, or -1.
long find_line(const std::vector<std::string> &lines, const std::string &text, std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i] == text) return static_cast<long>(i);
  }
  return -1;
}

bool has(const std::string &line, const std::string &part) { return line.find(part) != std::string::npos; }

// ---- field kinds ----------------------------------------------------------

// Events: the last lines of the entry, one a record, in order.
void check_events(const json &entry, const std::string &what) {
  const auto lines = lines_of(entry);
  ASSERT_TRUE(entry.contains("events")) << what;
  const json &events = entry["events"];
  ASSERT_LE(events.size(), lines.size()) << what;
  const std::size_t first = lines.size() - events.size();
  for (std::size_t i = 0; i < events.size(); ++i) {
    const json &e = events[i];
    const std::string &line = lines[first + i];
    const std::string where = what + " event " + std::to_string(i) + ": " + line;
    EXPECT_EQ(line.rfind(std::to_string(e["number"].get<int>()) + " ", 0), 0u) << where;
    EXPECT_TRUE(has(line, e["time"].get<std::string>() + " ")) << where;
    const json &sev = e["severity"];
    EXPECT_TRUE(has(line, sev["text"].is_null() ? hex8(sev["code"].get<unsigned>())
                                                 : sev["text"].get<std::string>()))
        << where;
    const std::string code = e["event_code"].get<std::string>();
    EXPECT_EQ(std::stoul(code, nullptr, 16) >> 16, e["module"].get<unsigned>()) << where;
    EXPECT_TRUE(has(line, e["message"].is_null() ? code + " "
                                                 : "\"" + e["message"].get<std::string>() + "\""))
        << where;
    ASSERT_EQ(e["params"].size(), 3u) << where;
    std::string params;
    for (const json &p : e["params"]) params += hex8(p.get<std::uint32_t>()) + " ";
    EXPECT_TRUE(line.size() >= params.size() &&
                line.compare(line.size() - params.size(), params.size(), params) == 0)
        << where;
  }
}

// The crash dump: each area's words after its heading, eight a line.
void check_crash_dump(const json &entry, const std::string &what) {
  ASSERT_TRUE(entry.contains("crash_dump")) << what;
  const auto lines = lines_of(entry);
  std::string all;
  for (const auto &line : lines) all += line + "\n";
  std::size_t at = 0;
  for (const json &area : entry["crash_dump"]) {
    const std::string heading = area["area"].get<std::string>() + "\n";
    const std::size_t head = all.find(heading, at);
    ASSERT_NE(head, std::string::npos) << what << ": " << heading;
    std::string words;
    std::size_t n = 0;
    for (const json &w : area["words"]) {
      words += hex8(w.get<std::uint32_t>()) + " ";
      if (++n % 8 == 0) words += "\n";
    }
    at = head + heading.size();
    EXPECT_EQ(all.compare(at, words.size(), words), 0) << what << ": " << heading;
    at += words.size();
  }
}

// One element block of page 0x02: seven lines from line start.
void check_element_block(const std::vector<std::string> &lines, long start, const json &element,
                         const std::string &what) {
  ASSERT_GE(start, 0) << what;
  ASSERT_LE(static_cast<std::size_t>(start) + 7, lines.size()) << what;
  EXPECT_TRUE(has(lines[start], ", status: " + element["status"]["text"].get<std::string>()))
      << what << ": " << lines[start];
  EXPECT_EQ(elem_status_code_desc[element["status"]["code"].get<unsigned>() & 0x0F],
            element["status"]["text"].get<std::string>())
      << what;
  for (const status_bit &bit : enc_status_bits) {
    const std::string key = snake_key(bit.row.label);
    ASSERT_TRUE(element.contains(key)) << what << ": " << key;
    const std::string shown = std::string(bit.row.label) + "=" + (element[key].get<bool>() ? "1" : "0");
    const std::string &line = lines[static_cast<std::size_t>(start + bit.line)];
    EXPECT_TRUE(line == "   " + shown || has(line, " " + shown + ",") || has(line, ", " + shown))
        << what << ": " << shown << " in " << line;
  }
}

void check_enclosure(const json &entry, const std::string &what) {
  const auto lines = lines_of(entry);
  ASSERT_TRUE(entry.contains("overall")) << what;
  const long overall = find_line(lines, "  Overall descriptor:");
  check_element_block(lines, overall + 1, entry["overall"], what + " overall");
  std::size_t shown = 0;
  for (const auto &line : lines) shown += line.rfind("  Element ", 0) == 0 ? 1 : 0;
  EXPECT_EQ(entry["elements"].size(), shown) << what;
  for (const json &element : entry["elements"]) {
    const int n = element["index"].get<int>();
    const long at = find_line(lines, "  Element " + std::to_string(n) + " descriptor:");
    check_element_block(lines, at + 1, element, what + " element " + std::to_string(n));
  }
}

void check_additional(const json &entry, const std::string &what) {
  const auto lines = lines_of(entry);
  ASSERT_TRUE(entry.contains("descriptors")) << what;
  std::size_t at = 0;
  for (const json &d : entry["descriptors"]) {
    const int n = d["index"].get<int>();
    const std::string head = d["element_index_present"].get<bool>()
                                 ? " Element index: " + std::to_string(n) +
                                       "  eiioe=" + std::to_string(d["eiioe"].get<int>())
                                 : " Element " + std::to_string(n) + " descriptor";
    const long h = find_line(lines, head, at);
    ASSERT_GE(h, 0) << what << ": " << head;
    at = static_cast<std::size_t>(h) + 1;
    ASSERT_LT(at, lines.size()) << what;
    if (d["invalid"].get<bool>()) {
      EXPECT_EQ(lines[at], "  flagged as invalid (no further information)") << what;
      continue;
    }
    if (d["transport_protocol"] == "not decoded") {
      EXPECT_EQ(lines[at], "Transport protocol:not decoded") << what;
      continue;
    }
    EXPECT_EQ(lines[at], "  Transport protocol: SAS") << what;
    const json &sas = d["sas"];
    if (sas.is_null()) continue;
    ++at;
    if (sas["descriptor_type"].get<int>() != 0) {
      EXPECT_EQ(lines[at], "   unrecognised descriptor type [" +
                               std::to_string(sas["descriptor_type"].get<int>()) + "]")
          << what;
      continue;
    }
    std::string summary = "   number of phys: " + std::to_string(sas["number_of_phys"].get<int>()) +
                          ", not all phys: " + std::to_string(sas["not_all_phys"].get<int>());
    if (sas.contains("device_slot_number")) {
      summary += ", device slot number: " + std::to_string(sas["device_slot_number"].get<int>());
    }
    EXPECT_EQ(lines[at], summary) << what;
    for (const json &phy : sas["phys"]) {
      const long p = find_line(lines, "   phy index: " + std::to_string(phy["phy_index"].get<int>()), at);
      ASSERT_GE(p, 0) << what;
      at = static_cast<std::size_t>(p) + 1;
      const std::string where = what + " phy " + std::to_string(phy["phy_index"].get<int>());
      EXPECT_EQ(lines[at], "     SAS device type: " + phy["device_type"]["text"].get<std::string>()) << where;
      EXPECT_EQ(sas_device_type[phy["device_type"]["code"].get<unsigned>() & 7],
                phy["device_type"]["text"].get<std::string>())
          << where;
      ++at;
      for (const char *kind : {"initiator", "target"}) {
        const json &ports = phy[std::string(kind) + "_ports"];
        if (ports.empty()) continue;
        std::string line = std::string("     ") + kind + " port for:";
        for (const json &port : ports) line += " " + port.get<std::string>();
        EXPECT_EQ(lines[at++], line) << where;
      }
      EXPECT_EQ(lines[at++], "     attached SAS address: " + phy["attached_sas_address"].get<std::string>()) << where;
      EXPECT_EQ(lines[at++], "     SAS address: " + phy["sas_address"].get<std::string>()) << where;
      char id[32];
      std::snprintf(id, sizeof id, "0x%x", phy["phy_identifier"].get<unsigned>());
      EXPECT_EQ(lines[at++], std::string("     phy identifier: ") + id) << where;
    }
  }
}

void check_sssf(const json &entry, const std::string &what) {
  const auto lines = lines_of(entry);
  ASSERT_TRUE(entry.contains("phys")) << what;
  const long heading = find_line(lines, "SSSF status Page(0xF3)");
  ASSERT_GE(heading, 0) << what;
  ASSERT_EQ(lines.size() - static_cast<std::size_t>(heading) - 1, entry["phys"].size()) << what;
  std::size_t i = static_cast<std::size_t>(heading) + 1;
  for (const json &phy : entry["phys"]) {
    const std::string &line = lines[i++];
    std::size_t at = 0;
    for (const sssf_field &field : sssf_fields) {
      const std::string key = snake_key(field.label);
      ASSERT_TRUE(phy.contains(key)) << what << ": " << key;
      char shown[64];
      std::snprintf(shown, sizeof shown, field.padded ? "%s%-2d" : "%s%d", field.label,
                    phy[key].get<int>());
      const std::size_t found = line.find(shown, at);
      EXPECT_EQ(found, at) << what << ": " << shown << " in " << line;
      at = found == std::string::npos ? at : found + std::string(shown).size();
    }
    EXPECT_EQ(at, line.size()) << what << ": " << line;
  }
}

// ---- pages ------------------------------------------------------------------

bytevec builtin(int code) {
  bytevec page;
  EXPECT_TRUE(sim::default_log_page(code, 0, page));
  return page;
}

std::vector<bytevec> builtin_nv() {
  std::vector<bytevec> chunks;
  bytevec chunk;
  for (unsigned n = 0; sim::default_log_page(0xF4, n, chunk); ++n) chunks.push_back(chunk);
  return chunks;
}

bytevec ram_hostile() {
  return testlogs::ram_page({
      {3, 0, 1000000, 1, 0x00010001u, 1, 2, 3},           // a known event, error
      {0x1234, 0, 0, 2, 0xBEEF0042u, 0xFFFFFFFFu, 0, 7},  // unknown severity and event
      {0x00070004u, 0x10, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0, 0, 0},   // high severity half, number -1
  });
}

// An enclosure status page with count elements, element n's bytes set by fill.
bytevec enclosure(int count, const std::function<void(bytevec &, std::size_t)> &fill) {
  bytevec page(12 + 4 * static_cast<std::size_t>(count), 0);
  page[0] = 0x02;
  page_bytes::put_be16(page, 2, static_cast<std::uint16_t>(page.size() - 4));
  page[8] = 0x01;
  for (int n = 0; n < count; ++n) fill(page, 12 + 4 * static_cast<std::size_t>(n));
  return page;
}

// Page 0x0A with one EIP descriptor of phys phys, device types types.
bytevec additional(const std::vector<std::uint8_t> &types, std::uint8_t desc_type = 0,
                   std::uint8_t flags = 0x10) {
  bytevec desc(8 + 28 * types.size(), 0);
  desc[0] = flags | 0x06;
  desc[1] = static_cast<std::uint8_t>(desc.size() - 2);
  desc[2] = 0x01;
  desc[4] = static_cast<std::uint8_t>(types.size());
  desc[5] = static_cast<std::uint8_t>(desc_type << 6 | 1);
  desc[7] = 9;
  for (std::size_t p = 0; p < types.size(); ++p) {
    std::uint8_t *phy = desc.data() + 8 + 28 * p;
    phy[0] = static_cast<std::uint8_t>(types[p] << 4);
    phy[2] = 0x0E;
    phy[3] = 0x89;
    for (int i = 0; i < 8; ++i) {
      phy[4 + i] = static_cast<std::uint8_t>(0x50 + i + p);
      phy[12 + i] = static_cast<std::uint8_t>(p == 1 ? 0 : 0xA0 + i);
    }
    if (p == 2) std::fill(phy + 4, phy + 20, 0);  // neither address: shown "0"
    phy[20] = static_cast<std::uint8_t>(p + 0x1C);
  }
  bytevec page(8 + desc.size(), 0);
  page[0] = 0x0A;
  for (std::size_t i = 0; i < desc.size(); ++i) page[8 + i] = desc[i];
  // The page's own count is (page_length - 4) / 36: room for the descriptor.
  page.resize(std::max<std::size_t>(page.size(), 4 + 36 + 4), 0);
  page_bytes::put_be16(page, 2, static_cast<std::uint16_t>(page.size() - 4));
  return page;
}

bytevec sssf(int records, std::size_t bytes_held) {
  bytevec page(4 + 8 * static_cast<std::size_t>(records), 0);
  page[0] = 0xF3;
  page_bytes::put_be16(page, 2, static_cast<std::uint16_t>(page.size() - 4));
  for (int n = 0; n < records; ++n) {
    std::uint8_t *r = page.data() + 4 + 8 * n;
    r[0] = static_cast<std::uint8_t>(0x80 | n);
    r[1] = static_cast<std::uint8_t>(n * 0x13);
    r[2] = static_cast<std::uint8_t>(n * 0x0B);
    r[3] = static_cast<std::uint8_t>(200 + n);
    r[4] = static_cast<std::uint8_t>(n);
    r[5] = static_cast<std::uint8_t>(n);
  }
  page.resize(std::min(page.size(), bytes_held));
  return page;
}

enum kind_bits : unsigned {
  kEvents = 1, kDump = 2, kEnclosure = 4, kAdditional = 8, kSssf = 16,
};

struct field_case {
  const char *what;
  std::function<std::vector<bytevec>()> pages;
  unsigned kinds;        // the field kinds the entry must carry and agree on
  std::size_t at_least;  // entries of the page's main list (events, elements, ...)
};

// The entries of the decode document of the pages, as values.
void decode_page_list(std::span<const std::span<const std::uint8_t>> list, const char *path,
                      json &pages) {
  std::string document;
  decode_pages_document(list, path, document);
  json parsed = json::parse(document, nullptr, false);
  ASSERT_TRUE(parsed.is_object() && parsed.contains("pages")) << document;
  pages = std::move(parsed["pages"]);
}

void decode_page_bytes(std::span<const std::uint8_t> bytes, const char *path, json &pages) {
  const std::span<const std::uint8_t> one[] = {bytes};
  decode_page_list(one, path, pages);
}

std::size_t main_list(const json &entry) {
  for (const char *key : {"events", "elements", "descriptors", "phys"}) {
    if (entry.contains(key)) return entry[key].size();
  }
  return 0;
}

TEST(DecodeFields, TextAndJsonAgreeFieldByField) {
  pages_messages_reset(false);
  const field_case cases[] = {
      {"built-in 0x80", [] { return std::vector<bytevec>{builtin(0x80)}; }, kEvents, 1},
      {"0x80 unknown event, unknown severity", [] { return std::vector<bytevec>{ram_hostile()}; },
       kEvents, 3},
      {"0x80 short page", [] {
         bytevec p = ram_hostile();
         // Cut inside the second record: what the read did not bring reads
         // as the cleared buffer's zeros, and the sum is the sum of those.
         p.resize(32 + 32 + 10);
         bytevec padded = p;
         padded.resize(32 + 3 * 32, 0);
         page_bytes::put_be32(p, 20, testlogs::record_bytes_sum(padded, 3 * 32));
         return std::vector<bytevec>{p};
       }, kEvents, 1},
      {"built-in 0xF4 crash dump", builtin_nv, kDump | kEvents, 1},
      {"built-in 0x02", [] { return std::vector<bytevec>{builtin(0x02)}; }, kEnclosure, 1},
      {"0x02 every status code and bit", [] {
         return std::vector<bytevec>{enclosure(16, [](bytevec &p, std::size_t at) {
           const auto n = static_cast<std::uint8_t>((at - 12) / 4);
           p[at] = static_cast<std::uint8_t>(n | (n << 4));
           p[at + 1] = static_cast<std::uint8_t>(0xA5 ^ n);
           p[at + 2] = static_cast<std::uint8_t>(n * 17);
           p[at + 3] = static_cast<std::uint8_t>(0xFF - n);
         })};
       }, kEnclosure, 16},
      {"0x02 short page", [] {
         bytevec p = enclosure(8, [](bytevec &b, std::size_t at) { b[at] = 0x09; });
         p.resize(21);
         return std::vector<bytevec>{p};
       }, kEnclosure, 0},
      {"built-in 0x0A", [] { return std::vector<bytevec>{builtin(0x0A)}; }, kAdditional, 1},
      {"0x0A unknown device types, no addresses", [] {
         return std::vector<bytevec>{additional({1, 4, 7, 2})};
       }, kAdditional, 1},
      {"0x0A unrecognised descriptor type", [] {
         return std::vector<bytevec>{additional({1}, 2)};
       }, kAdditional, 1},
      {"0x0A invalid descriptor", [] { return std::vector<bytevec>{additional({1}, 0, 0x90)}; },
       kAdditional, 1},
      {"0x0A descriptor without element index", [] {
         return std::vector<bytevec>{additional({3}, 0, 0x00)};
       }, kAdditional, 1},
      {"0x0A phys cut short", [] {
         bytevec p = additional({1, 2, 3});
         p.resize(8 + 8 + 28 + 10);
         return std::vector<bytevec>{p};
       }, kAdditional, 0},
      {"built-in 0xF3", [] { return std::vector<bytevec>{builtin(0xF3)}; }, kSssf, 1},
      {"0xF3 all field values", [] { return std::vector<bytevec>{sssf(68, 10000)}; }, kSssf, 68},
      {"0xF3 short page", [] { return std::vector<bytevec>{sssf(10, 4 + 8 * 3 + 5)}; }, kSssf, 3},
  };
  for (const field_case &c : cases) {
    const std::vector<bytevec> pages = c.pages();
    std::vector<std::span<const std::uint8_t>> list;
    for (const bytevec &p : pages) list.emplace_back(p);
    json entries = json::array();
    decode_page_list(list, "case.bin", entries);
    ASSERT_FALSE(entries.empty()) << c.what;
    const json &entry = entries.back();
    ASSERT_EQ(entry["outcome"], "decoded") << c.what << "\n" << entry.dump(1);
    EXPECT_GE(main_list(entry), c.at_least) << c.what;
    if (c.kinds & kEvents) check_events(entry, c.what);
    if (c.kinds & kDump) check_crash_dump(entry, c.what);
    if (c.kinds & kEnclosure) check_enclosure(entry, c.what);
    if (c.kinds & kAdditional) check_additional(entry, c.what);
    if (c.kinds & kSssf) check_sssf(entry, c.what);
  }
  pages_messages_reset(true);
}

// A page that fails its check carries no fields: nothing is shown that the
// text does not show.
TEST(DecodeFields, FailedPageHasNoFields) {
  pages_messages_reset(false);
  bytevec page = ram_hostile();
  page[40] ^= 0xFF;
  json entries = json::array();
  decode_page_bytes(page, "bad.bin", entries);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0]["outcome"], "failed");
  EXPECT_FALSE(entries[0].contains("events"));
  pages_messages_reset(true);
}

TEST(DecodeFields, SnakeKeys) {
  const struct {
    const char *label;
    const char *key;
  } cases[] = {
      {"Predicted failure", "predicted_failure"}, {"Rebuild/remap", "rebuild_remap"},
      {"R/R abort", "r_r_abort"},                 {"OK", "ok"},
      {"Dev bypassed B", "dev_bypassed_b"},       {" ;sxl_rate:", "sxl_rate"},
      {"phy_id:", "phy_id"},                      {"", ""},
  };
  for (const auto &c : cases) EXPECT_EQ(snake_key(c.label), c.key) << c.label;
}

}  // namespace
