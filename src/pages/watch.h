// Watching expanders: what one reading of an expander yields (identity,
// images, element statuses, PHY states, RAM event log), the readers that
// turn raw pages into it, and the metrics, health and events commands.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <vector>

// Identity of an expander: what the labels and reasons name it by.
struct watch_identity {
  std::string id;  // "naa.<16 hex digits>" from VPD 0x83, else "serial.<serial>"
  std::string vendor;
  std::string product;
  std::string revision;
  std::string serial;
};

// One firmware or data image of page 0x82.
struct watch_image {
  const char *kind = "firmware";  // "firmware" or "data"
  int slot = 0;
  std::string version;
  bool active = false;
};

// One status element of page 0x02; index -1 is the overall element.
struct watch_element {
  int index = -1;
  std::uint8_t status = 0;  // element status code (byte 0, bits 3-0)
  bool predicted_failure = false;
};

// One PHY record of page 0xF3.
struct watch_phy {
  int phy_id = 0;
  int sxl_rate = 0;
  int sspl_rate = 0;
  bool emip_err = false;
  bool sxl_err = false;
  bool sssf_err = false;
  bool in_error() const { return emip_err || sxl_err || sssf_err; }
};

// One RAM log record, its eight words in host order.
struct watch_event {
  std::array<std::uint32_t, 8> words{};
  int severity() const { return static_cast<int>(words[0] & 0xFFFF); }
  std::uint64_t time_us() const { return (std::uint64_t{words[1]} << 32) | words[2]; }
  std::int32_t number() const { return static_cast<std::int32_t>(words[3]); }
  std::uint32_t event_code() const { return words[4]; }
};

// Which parts of a reading succeeded; a part that failed carries its reason.
struct watch_part {
  bool ok = false;
  std::string why;
};

// Everything one run learnt about one expander.
struct watch_snapshot {
  std::vector<std::string> devices;  // the nodes it was reached through
  watch_identity identity;
  watch_part identity_read, images_read, elements_read, phys_read, events_read;
  std::vector<watch_image> images;
  std::vector<watch_element> elements;
  std::vector<watch_phy> phys;
  std::vector<watch_event> events;
  unsigned requests = 0;     // SCSI requests issued
  double started = 0;        // wall clock at the start, seconds since the epoch
  double duration = 0;       // seconds
};

// Parsers of raw responses; each reads only the bytes held and the length
// the response declares. False (with why) for a response that cannot be one.
bool parse_standard_inquiry(std::span<const std::uint8_t> d, watch_identity &id, std::string &why);
bool parse_unit_serial(std::span<const std::uint8_t> d, watch_identity &id, std::string &why);
bool parse_device_id(std::span<const std::uint8_t> d, watch_identity &id, std::string &why);
bool parse_firmware_status(std::span<const std::uint8_t> d, std::vector<watch_image> &out,
                           std::string &why);
bool parse_enclosure_status(std::span<const std::uint8_t> d, std::vector<watch_element> &out,
                            std::string &why);
bool parse_sssf_status(std::span<const std::uint8_t> d, std::vector<watch_phy> &out, std::string &why);
bool parse_ram_log(std::span<const std::uint8_t> d, std::vector<watch_event> &out, std::string &why);

// What a reading needs.
enum watch_need : unsigned {
  need_images = 1,
  need_elements = 2,
  need_phys = 4,
  need_events = 8,
  need_all = 15,
};

// Reads the identity of dev (VPD 0x83 first, so a second path to a known
// expander costs one request: when known holds its identity, nothing more is
// read). False when it cannot be told.
bool watch_read_identity(const char *dev, watch_snapshot &s, const std::set<std::string> *known = nullptr);
// Reads the pages named by need, each once.
void watch_read_pages(const char *dev, unsigned need, watch_snapshot &s);

// Reads every device once, deduplicating by identity: one snapshot per
// expander, sorted by identity. Devices whose identity cannot be read are
// returned in unreadable with the reason.
struct watch_unreadable {
  std::string device;
  std::string why;
};
void watch_collect(const std::vector<std::string> &devices, unsigned need,
                   std::vector<watch_snapshot> &out, std::vector<watch_unreadable> &unreadable);

// The SES nodes of the host: /dev/sgN for each scsi_generic device whose
// SCSI type (sysfs_root/class/scsi_generic/sgN/device/type) is 13, in order.
std::vector<std::string> watch_ses_nodes(const char *sysfs_root);

// Element status names in the order of their codes 0-8; 9-15 are "reserved".
const char *element_status_name(std::uint8_t code);
// Metric-label form of a status: "ok", "critical", ... "reserved".
const char *element_status_label(std::uint8_t code);
// Metric-label form of a severity level: "critical_error", ... "other".
const char *severity_label(int level);

// The metrics exposition of the expanders read, with the number of nodes
// that could not be identified.
std::string metrics_text(const std::vector<watch_snapshot> &expanders, std::size_t unidentified);

// Commands; each returns its exit status. argv[0] is the command word, the
// options and operands follow.
int metrics_command(int argc, char **argv);
int health_command(int argc, char **argv);
int events_command(int argc, char **argv);

// One option of a watching command (getopt_long); a flag takes no value.
struct watch_option {
  const char *name;
  bool takes_value;
};

// What a watching command was given: for each of its options the values in
// order (a flag given records ""), and the operands.
struct watch_args {
  std::array<std::vector<const char *>, 4> values;
  std::vector<std::string> operands;
};

// Parses argv[1..argc) with getopt_long over options (at most 4; --help and
// --version are added). Returns -1 to go on, or the exit status to end with:
// 0 after --help (usage on standard output) or --version, usage_status after
// a usage error (the reason and the usage on standard error).
int watch_options(int argc, char **argv, const char *usage, int usage_status,
                  std::span<const watch_option> options, watch_args &args);

// Writes text to path atomically: a temporary file in the same directory,
// written, flushed to disk and renamed over path. 0, or -1 with why.
int write_file_atomically(const std::string &path, const std::string &text, std::string &why);
