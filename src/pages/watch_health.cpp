// corvane-pages health: a verdict per expander and overall in the manner of
// a Nagios plugin (exit 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN), with the
// reasons and performance data, or as a JSON document.
#include <array>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>

#include "decode/event_messages.h"
#include "pages/pages.h"
#include "pages/watch.h"

namespace {

constexpr char kUsage[] =
    "usage: corvane-pages health [--json] [--ignore ELEMENT[,ELEMENT...]] [DEVICE...]\n"
    "  ELEMENT: an element number or \"overall\", alone for every expander or as EXPANDER:ELEMENT\n";

enum verdict { ok = 0, warning = 1, critical = 2, unknown = 3 };

constexpr const char *kVerdictNames[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

// Worse of two verdicts: CRITICAL, then WARNING, then UNKNOWN, then OK.
verdict worse(verdict a, verdict b) {
  constexpr int rank[] = {0, 2, 3, 1};
  return rank[a] >= rank[b] ? a : b;
}

struct reason {
  verdict v;
  std::string what;     // "element", "phy", "event", "read"
  std::string subject;  // element number, PHY id, event number, part
  std::string text;
};

struct judged {
  const watch_snapshot *s = nullptr;
  verdict v = ok;
  std::vector<reason> reasons;
  int elements_critical = 0, elements_warning = 0, phys_error = 0, events_critical = 0, events_error = 0;
};

// Statuses that are never a fault: unsupported, OK, not installed, unknown,
// not available, no access allowed, and the reserved codes.
bool status_is_fault(std::uint8_t code) { return code == 2 || code == 3 || code == 4; }
bool status_is_present(std::uint8_t code) { return code == 1 || status_is_fault(code); }

void add(judged &j, verdict v, const char *what, const std::string &subject, const std::string &text) {
  j.reasons.push_back({v, what, subject, text});
  j.v = worse(j.v, v);
}

std::string element_name(const watch_element &e) {
  return e.index < 0 ? "overall" : std::to_string(e.index);
}

bool ignored(const std::set<std::string> &ignore, const std::string &id, const std::string &element) {
  return ignore.count(element) != 0 || ignore.count(id + ":" + element) != 0;
}

void judge_elements(judged &j, const std::set<std::string> &ignore) {
  for (const watch_element &e : j.s->elements) {
    const std::string name = element_name(e);
    if (ignored(ignore, j.s->identity.id, name)) continue;
    std::string text = "element " + name + " " + element_status_name(e.status);
    const bool predicted = e.predicted_failure && status_is_present(e.status);
    if (predicted) text += ", predicted failure";
    if (e.status == 2 || e.status == 4) {
      ++j.elements_critical;
      add(j, critical, "element", name, text);
    } else if (e.status == 3 || predicted) {
      ++j.elements_warning;
      add(j, warning, "element", name, text);
    }
  }
}

void judge_phys(judged &j) {
  for (const watch_phy &p : j.s->phys) {
    if (!p.in_error()) continue;
    ++j.phys_error;
    std::string states;
    const std::pair<bool, const char *> flags[] = {{p.emip_err, "emip"}, {p.sxl_err, "sxl"}, {p.sssf_err, "sssf"}};
    for (const auto &f : flags) {
      if (!f.first) continue;
      states += states.empty() ? "" : ", ";
      states += f.second;
    }
    add(j, warning, "phy", std::to_string(p.phy_id), "phy " + std::to_string(p.phy_id) + " in error (" + states + ")");
  }
}

void judge_events(judged &j) {
  for (const watch_event &e : j.s->events) {
    if (e.severity() != 1 && e.severity() != 2) continue;
    const char *message = find_event_message(e.event_code());
    char code[32];
    std::snprintf(code, sizeof code, "event code 0x%08x", e.event_code());
    const std::string text = "event " + std::to_string(e.number()) + " " +
                             (e.severity() == 1 ? "critical error" : "error") + ": " +
                             (message != nullptr ? message : code);
    if (e.severity() == 1) {
      ++j.events_critical;
      add(j, critical, "event", std::to_string(e.number()), text);
    } else {
      ++j.events_error;
      add(j, warning, "event", std::to_string(e.number()), text);
    }
  }
}

judged judge(const watch_snapshot &s, const std::set<std::string> &ignore) {
  judged j;
  j.s = &s;
  const std::pair<const char *, const watch_part *> parts[] = {
      {"elements", &s.elements_read}, {"phys", &s.phys_read}, {"ram_log", &s.events_read}};
  for (const auto &p : parts) {
    if (!p.second->ok) add(j, unknown, "read", p.first, p.second->why);
  }
  if (s.elements_read.ok) judge_elements(j, ignore);
  if (s.phys_read.ok) judge_phys(j);
  if (s.events_read.ok) judge_events(j);
  return j;
}

std::string perfdata(const judged &j) {
  const std::string &id = j.s->identity.id;
  const std::string elements = std::to_string(j.s->elements.size());
  const std::string phys = std::to_string(j.s->phys.size());
  const auto one = [&](const char *name, int value, const char *warn, const char *crit, const std::string &max) {
    return "'" + id + " " + name + "'=" + std::to_string(value) + ";" + warn + ";" + crit + ";0;" + max;
  };
  return one("elements_critical", j.elements_critical, "", "1", elements) + " " +
         one("elements_warning", j.elements_warning, "1", "", elements) + " " +
         one("phys_error", j.phys_error, "1", "", phys) + " " +
         one("events_critical", j.events_critical, "", "1", "") + " " +
         one("events_error", j.events_error, "1", "", "");
}

bool parse_ignore(const char *list, std::set<std::string> &out) {
  std::string item;
  for (const char *p = list;; ++p) {
    if (*p == ',' || *p == '\0') {
      if (item.empty()) return false;
      const std::size_t colon = item.rfind(':');
      const std::string element = colon == std::string::npos ? item : item.substr(colon + 1);
      bool number = !element.empty() && element.size() < 10;
      for (char c : element) number = number && c >= '0' && c <= '9';
      if (!number && element != "overall") return false;
      out.insert(item);
      item.clear();
      if (*p == '\0') return true;
    } else {
      item += *p;
    }
  }
}

// The first line's verdict and count of expanders, before the performance data.
std::string summary_of(verdict overall, const std::vector<judged> &verdicts,
                       const std::vector<watch_unreadable> &unreadable) {
  std::string summary = std::string("CORVANE ") + kVerdictNames[overall] + " - ";
  if (verdicts.empty() && unreadable.empty()) return summary + "no SES node found";
  summary += std::to_string(verdicts.size()) + (verdicts.size() == 1 ? " expander" : " expanders");
  std::string each;
  for (const judged &j : verdicts) {
    each += each.empty() ? ": " : ", ";
    each += j.s->identity.id + " " + kVerdictNames[j.v];
    if (!j.reasons.empty()) each += " (" + std::to_string(j.reasons.size()) + (j.reasons.size() == 1 ? " reason)" : " reasons)");
  }
  summary += each;
  if (!unreadable.empty()) summary += "; " + std::to_string(unreadable.size()) + " unreadable";
  return summary;
}

nlohmann::ordered_json expander_json(const judged &j) {
  nlohmann::ordered_json e;
  e["expander"] = j.s->identity.id;
  e["vendor"] = j.s->identity.vendor;
  e["product"] = j.s->identity.product;
  e["revision"] = j.s->identity.revision;
  e["serial"] = j.s->identity.serial;
  e["devices"] = j.s->devices;
  e["status"] = kVerdictNames[j.v];
  e["counts"] = {{"elements", j.s->elements.size()},  {"elements_critical", j.elements_critical},
                 {"elements_warning", j.elements_warning}, {"phys", j.s->phys.size()},
                 {"phys_error", j.phys_error},          {"events", j.s->events.size()},
                 {"events_critical", j.events_critical}, {"events_error", j.events_error}};
  e["reasons"] = nlohmann::ordered_json::array();
  for (const reason &r : j.reasons) {
    e["reasons"].push_back(
        {{"status", kVerdictNames[r.v]}, {"kind", r.what}, {"subject", r.subject}, {"text", r.text}});
  }
  return e;
}

void print_json(verdict overall, const std::string &summary, const std::vector<judged> &verdicts,
                const std::vector<watch_unreadable> &unreadable) {
  nlohmann::ordered_json doc;
  doc["format"] = "corvane-pages health";
  doc["version"] = 1;
  doc["status"] = kVerdictNames[overall];
  doc["exit_status"] = static_cast<int>(overall);
  doc["summary"] = summary;
  doc["expanders"] = nlohmann::ordered_json::array();
  for (const judged &j : verdicts) doc["expanders"].push_back(expander_json(j));
  doc["unreadable"] = nlohmann::ordered_json::array();
  for (const watch_unreadable &u : unreadable) doc["unreadable"].push_back({{"device", u.device}, {"reason", u.why}});
  std::puts(doc.dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace).c_str());
}

// The plugin's output: the summary with the performance data, then a line per reason.
void print_text(const std::string &summary, const std::vector<judged> &verdicts,
                const std::vector<watch_unreadable> &unreadable) {
  std::string perf;
  for (const judged &j : verdicts) perf += (perf.empty() ? "" : " ") + perfdata(j);
  std::printf("%s%s%s\n", summary.c_str(), perf.empty() ? "" : " | ", perf.c_str());
  for (const judged &j : verdicts) {
    for (const reason &r : j.reasons) {
      std::printf("%s %s: %s\n", j.s->identity.id.c_str(), kVerdictNames[r.v], r.text.c_str());
    }
  }
  for (const watch_unreadable &u : unreadable) std::printf("%s UNKNOWN: %s\n", u.device.c_str(), u.why.c_str());
}

}  // namespace

int health_command(int argc, char **argv) {
  constexpr std::array<watch_option, 2> kOptions{{{"json", false}, {"ignore", true}}};
  watch_args args;
  // A wrong command line is UNKNOWN, as a monitoring system expects of a check.
  if (const int end = watch_options(argc, argv, kUsage, unknown, kOptions, args); end >= 0) return end;
  const bool json = !args.values[0].empty();
  std::set<std::string> ignore;
  for (const char *list : args.values[1]) {
    if (!parse_ignore(list, ignore)) {
      std::fprintf(stderr, "corvane-pages: --ignore %s: not a list of elements\n", list);
      std::fputs(kUsage, stderr);
      return unknown;
    }
  }
  std::vector<std::string> devices = std::move(args.operands);
  if (devices.empty()) devices = watch_ses_nodes("/sys");

  std::vector<watch_snapshot> expanders;
  std::vector<watch_unreadable> unreadable;
  watch_collect(devices, need_elements | need_phys | need_events, expanders, unreadable);

  std::vector<judged> verdicts;
  verdict overall = expanders.empty() && unreadable.empty() ? unknown : ok;
  for (const watch_snapshot &s : expanders) {
    verdicts.push_back(judge(s, ignore));
    overall = worse(overall, verdicts.back().v);
  }
  if (!unreadable.empty()) overall = worse(overall, unknown);

  const std::string summary = summary_of(overall, verdicts, unreadable);
  if (json) {
    print_json(overall, summary, verdicts, unreadable);
  } else {
    print_text(summary, verdicts, unreadable);
  }
  return overall;
}
