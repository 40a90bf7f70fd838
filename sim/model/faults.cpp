#include "model/faults.h"

#include <cstdlib>

#include "model/model.h"

namespace sim {

namespace {

struct kind_name {
  const char *name;
  fault_kind kind;
};
constexpr kind_name kKinds[] = {{"open", fault_kind::open},
                                {"ioctl", fault_kind::ioctl},
                                {"check", fault_kind::check},
                                {"short", fault_kind::short_transfer},
                                {"delay", fault_kind::delay},
                                {"host", fault_kind::host},
                                {"driver", fault_kind::driver},
                                {"signal", fault_kind::signal}};

// Whole-string unsigned number in the given base (0: C prefixes).
bool to_number(const std::string &s, int base, unsigned long max, std::uint32_t &out) {
  if (s.empty()) return false;
  char *end = nullptr;
  const unsigned long v = std::strtoul(s.c_str(), &end, base);
  if (*end != '\0' || v > max || s[0] == '-') return false;
  out = static_cast<std::uint32_t>(v);
  return true;
}

// KEY/ASC/ASCQ in hex, packed as 0xKKAAQQ.
bool to_sense(const std::string &s, std::uint32_t &out) {
  const auto a = s.find('/');
  const auto b = a == std::string::npos ? a : s.find('/', a + 1);
  if (b == std::string::npos) return false;
  std::uint32_t key = 0, asc = 0, ascq = 0;
  if (!to_number(s.substr(0, a), 16, 0x0F, key) || !to_number(s.substr(a + 1, b - a - 1), 16, 0xFF, asc) ||
      !to_number(s.substr(b + 1), 16, 0xFF, ascq)) {
    return false;
  }
  out = (key << 16) | (asc << 8) | ascq;
  return true;
}

bool parse_selector(const std::string &s, fault_rule &r) {
  std::string count = s;
  const auto slash = s.find('/');
  if (slash != std::string::npos) {
    std::uint32_t page = 0;
    if (r.kind == fault_kind::open || !to_number(s.substr(0, slash), 16, 0xFF, page)) return false;
    r.page = static_cast<int>(page);
    count = s.substr(slash + 1);
  }
  if (count == "*") return true;
  std::uint32_t n = 0;
  if (!to_number(count, 10, 0xFFFFFFFFul, n) || n == 0) return false;
  r.nth = n;
  return true;
}

bool parse_rule(const std::string &text, fault_rule &r) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return false;
  const std::string kind = text.substr(0, colon);
  bool known = false;
  for (const kind_name &k : kKinds) {
    if (kind == k.name) {
      r.kind = k.kind;
      known = true;
    }
  }
  if (!known) return false;
  std::string rest = text.substr(colon + 1);
  const auto eq = rest.find('=');
  if (eq != std::string::npos) {
    const std::string value = rest.substr(eq + 1);
    rest = rest.substr(0, eq);
    r.has_value = true;
    const bool ok = r.kind == fault_kind::check ? to_sense(value, r.value)
                                                : to_number(value, 0, 0xFFFFFFFFul, r.value);
    if (!ok) return false;
  }
  return parse_selector(rest, r);
}

}  // namespace

bool parse_faults(const std::string &text, std::vector<fault_rule> &rules, std::string &why) {
  rules.clear();
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(",;", start);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(start, end - start);
    if (!item.empty()) {
      fault_rule r;
      if (!parse_rule(item, r)) {
        why = "bad fault rule '" + item + "'";
        return false;
      }
      rules.push_back(r);
    }
    start = end + 1;
  }
  return true;
}

std::optional<fault_rule> match_fault(const std::vector<fault_rule> &rules, fault_kind kind,
                                      unsigned seq, int page, unsigned page_seq) {
  for (const fault_rule &r : rules) {
    if (r.kind != kind) continue;
    if (r.page >= 0 && r.page != page) continue;
    const unsigned n = r.page >= 0 ? page_seq : seq;
    if (r.nth == 0 || r.nth == n) return r;
  }
  return std::nullopt;
}

bool faults_valid(const std::string &rules, std::string &why) {
  std::vector<fault_rule> parsed;
  return parse_faults(rules, parsed, why);
}

}  // namespace sim
