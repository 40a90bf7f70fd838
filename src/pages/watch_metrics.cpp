// corvane-pages metrics: the expanders' state in the Prometheus text
// exposition format, on standard output or as a file for the node exporter's
// textfile collector. One set of series per expander, named by its identity.
#include <cmath>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "pages/pages.h"
#include "pages/watch.h"

namespace {

constexpr char kUsage[] = "usage: corvane-pages metrics [--textfile DIR] [DEVICE...]\n";
constexpr char kTextfileName[] = "corvane.prom";

std::string escape_label(const std::string &v) {
  std::string out;
  for (char c : v) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string number(double v) {
  if (std::isnan(v)) return "NaN";
  char text[64];
  if (v == std::floor(v) && std::fabs(v) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", v);
  } else {
    std::snprintf(text, sizeof text, "%.6f", v);
  }
  return text;
}

// The exposition, family by family: every family's series stay together.
struct exposition {
  struct family {
    const char *help;
    const char *type;
    std::string lines;
  };
  std::vector<std::pair<std::string, family>> families;

  void declare(const char *name, const char *type, const char *help) {
    families.push_back({name, {help, type, {}}});
  }
  void add(const char *name, const std::string &labels, double value) {
    for (auto &f : families) {
      if (f.first == name) {
        f.second.lines += f.first + "{" + labels + "} " + number(value) + "\n";
        return;
      }
    }
  }
  std::string text() const {
    std::string out;
    for (const auto &f : families) {
      out += "# HELP " + f.first + " " + f.second.help + "\n";
      out += "# TYPE " + f.first + " " + f.second.type + "\n";
      out += f.second.lines;
    }
    return out;
  }
};

std::string label(const char *name, const std::string &value) {
  return std::string(name) + "=\"" + escape_label(value) + "\"";
}

// Every family is a gauge: its name and help text, in exposition order.
struct family {
  const char *name;
  const char *help;
};
constexpr family kFamilies[] = {
    {"corvane_expander_info",
     "Identity of the expander; the value is always 1."},
    {"corvane_image_info",
     "Firmware and data images of the expander (page 0x82); the value is always 1."},
    {"corvane_element_status_code",
     "SES element status code of each element of page 0x02 (element \"overall\" is the overall element)."},
    {"corvane_element_predicted_failure",
     "1 when the element reports a predicted failure."},
    {"corvane_elements",
     "Number of elements of page 0x02 by status."},
    {"corvane_phy_sxl_rate_code",
     "SXL link rate code of each PHY (page 0xF3)."},
    {"corvane_phy_sspl_rate_code",
     "SSPL link rate code of each PHY (page 0xF3)."},
    {"corvane_phy_error",
     "1 when the PHY reports the error state named by state (page 0xF3)."},
    {"corvane_ram_log_entries",
     "Entries of the RAM event log (page 0x80) by severity."},
    {"corvane_ram_log_highest_sequence",
     "Highest sequence number in the RAM event log (page 0x80); absent when the log is empty."},
    {"corvane_collection_success",
     "1 when the part of the expander named by part was read and understood, else 0."},
    {"corvane_collection_timestamp_seconds",
     "When the expander was read, in seconds since the epoch."},
    {"corvane_collection_duration_seconds",
     "How long reading the expander took."},
    {"corvane_collection_requests",
     "SCSI requests issued for the expander in this run."},
    {"corvane_unidentified_devices",
     "SES nodes whose expander could not be identified in this run."},
};

void declare_families(exposition &x) {
  for (const family &f : kFamilies) x.declare(f.name, "gauge", f.help);
}

// ex: the expander's label, which every series of it carries.
void add_elements(exposition &x, const std::string &ex, const watch_snapshot &s) {
  std::map<std::string, int> counts;
  for (std::uint8_t code = 0; code < 10; ++code) counts[element_status_label(code)] = 0;
  for (const watch_element &e : s.elements) {
    const std::string el = ex + "," + label("element", e.index < 0 ? "overall" : std::to_string(e.index));
    x.add("corvane_element_status_code", el, e.status);
    x.add("corvane_element_predicted_failure", el, e.predicted_failure ? 1 : 0);
    ++counts[element_status_label(e.status)];
  }
  for (const auto &c : counts) x.add("corvane_elements", ex + "," + label("status", c.first), c.second);
}

void add_phys(exposition &x, const std::string &ex, const watch_snapshot &s) {
  std::map<int, bool> seen;
  for (const watch_phy &p : s.phys) {
    if (seen[p.phy_id]) continue;  // a page repeating a PHY would repeat its series
    seen[p.phy_id] = true;
    const std::string ph = ex + "," + label("phy", std::to_string(p.phy_id));
    x.add("corvane_phy_sxl_rate_code", ph, p.sxl_rate);
    x.add("corvane_phy_sspl_rate_code", ph, p.sspl_rate);
    x.add("corvane_phy_error", ph + "," + label("state", "emip"), p.emip_err ? 1 : 0);
    x.add("corvane_phy_error", ph + "," + label("state", "sxl"), p.sxl_err ? 1 : 0);
    x.add("corvane_phy_error", ph + "," + label("state", "sssf"), p.sssf_err ? 1 : 0);
  }
}

void add_events(exposition &x, const std::string &ex, const watch_snapshot &s) {
  std::map<std::string, int> counts;
  for (int level = 0; level <= 7; ++level) counts[severity_label(level)] = 0;
  bool any = false;
  std::int32_t highest = 0;
  for (const watch_event &e : s.events) {
    ++counts[severity_label(e.severity())];
    if (!any || e.number() > highest) highest = e.number();
    any = true;
  }
  for (const auto &c : counts) x.add("corvane_ram_log_entries", ex + "," + label("severity", c.first), c.second);
  if (any) x.add("corvane_ram_log_highest_sequence", ex, highest);
}

void add_expander(exposition &x, const watch_snapshot &s) {
  const std::string ex = label("expander", s.identity.id);
  x.add("corvane_expander_info",
        ex + "," + label("vendor", s.identity.vendor) + "," + label("product", s.identity.product) + "," +
            label("revision", s.identity.revision) + "," + label("serial", s.identity.serial),
        1);
  if (s.images_read.ok) {
    for (const watch_image &i : s.images) {
      x.add("corvane_image_info",
            ex + "," + label("kind", i.kind) + "," + label("slot", std::to_string(i.slot)) + "," +
                label("version", i.version) + "," + label("active", i.active ? "1" : "0"),
            1);
    }
  }
  if (s.elements_read.ok) add_elements(x, ex, s);
  if (s.phys_read.ok) add_phys(x, ex, s);
  if (s.events_read.ok) add_events(x, ex, s);
  const std::pair<const char *, const watch_part *> parts[] = {
      {"identity", &s.identity_read}, {"images", &s.images_read}, {"elements", &s.elements_read},
      {"phys", &s.phys_read},         {"ram_log", &s.events_read}};
  for (const auto &p : parts) x.add("corvane_collection_success", ex + "," + label("part", p.first), p.second->ok ? 1 : 0);
  x.add("corvane_collection_timestamp_seconds", ex, s.started);
  x.add("corvane_collection_duration_seconds", ex, s.duration);
  x.add("corvane_collection_requests", ex, s.requests);
}

}  // namespace

std::string metrics_text(const std::vector<watch_snapshot> &expanders, std::size_t unidentified) {
  exposition x;
  declare_families(x);
  for (const watch_snapshot &s : expanders) add_expander(x, s);
  x.add("corvane_unidentified_devices", "", static_cast<double>(unidentified));
  std::string text = x.text();
  // A series without labels is written without braces.
  const std::string bare = "corvane_unidentified_devices{} ";
  const std::size_t at = text.find(bare);
  if (at != std::string::npos) text.replace(at, bare.size(), "corvane_unidentified_devices ");
  return text;
}

int metrics_command(int argc, char **argv) {
  constexpr std::array<watch_option, 1> kOptions{{{"textfile", true}}};
  watch_args args;
  if (const int end = watch_options(argc, argv, kUsage, kExitUsage, kOptions, args); end >= 0) return end;
  if (args.values[0].size() > 1) {
    std::fputs("corvane-pages: --textfile given twice\n", stderr);
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  const char *textfile_dir = args.values[0].empty() ? nullptr : args.values[0][0];
  std::vector<std::string> devices = std::move(args.operands);
  if (devices.empty()) devices = watch_ses_nodes("/sys");

  std::vector<watch_snapshot> expanders;
  std::vector<watch_unreadable> unreadable;
  watch_collect(devices, need_all, expanders, unreadable);
  for (const watch_unreadable &u : unreadable) {
    std::fprintf(stderr, "corvane-pages: %s: %s\n", u.device.c_str(), u.why.c_str());
  }
  const std::string text = metrics_text(expanders, unreadable.size());
  if (textfile_dir == nullptr) {
    std::fputs(text.c_str(), stdout);
    if (std::fflush(stdout) != 0) return kExitFailed;
    return unreadable.empty() ? kExitOk : kExitFailed;
  }
  std::string why;
  const std::string path = std::string(textfile_dir) + "/" + kTextfileName;
  if (write_file_atomically(path, text, why) != 0) {
    std::fprintf(stderr, "corvane-pages: %s %s\n", path.c_str(), why.c_str());
    return kExitFailed;
  }
  return unreadable.empty() ? kExitOk : kExitFailed;
}
