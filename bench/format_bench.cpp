// The bounded formatted output against the C library's snprintf and {fmt}'s
// format_to_n, on every format the program writes with, each with arguments
// of the kind it gets there. Names: format/<case>/<variant>, variant one of
// sprintf_s, snprintf_s, snprintf_truncated_s, snprintf, fmt.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bounded/bounded.h"

#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

namespace {

constexpr size_t kText = 2048;  // every call in the program passes this capacity

// The formats are read through a volatile pointer so that the compiler
// cannot turn a C library call with a literal format into something else.
template <typename... A>
__attribute__((noinline)) int call_snprintf(char *buf, const char *volatile const &f, A... a) {
  return std::snprintf(buf, kText, f, a...);
}
template <typename... A>
__attribute__((noinline)) int call_sprintf_s(char *buf, const char *volatile const &f, A... a) {
  return sprintf_s(buf, kText, f, a...);
}
template <typename... A>
__attribute__((noinline)) int call_snprintf_s(char *buf, const char *volatile const &f, A... a) {
  return snprintf_s(buf, kText, kText - 1, f, a...);
}
template <typename... A>
__attribute__((noinline)) int call_truncated_s(char *buf, const char *volatile const &f, A... a) {
  return snprintf_truncated_s(buf, kText, f, a...);
}
template <typename... A>
__attribute__((noinline)) int call_fmt(char *buf, fmt::format_string<A...> f, A... a) {
  const auto r = fmt::format_to_n(buf, kText - 1, f, static_cast<A &&>(a)...);
  *r.out = '\0';
  return static_cast<int>(r.size);
}

// One case: the printf format and the {fmt} one, the same arguments.
template <typename... A>
void add_case(const std::string &name, const char *printf_format, fmt::format_string<A...> fmt_format,
              A... args) {
  static std::vector<const char *> keep;  // the volatile pointers live as long as the run
  keep.push_back(printf_format);
  const char *volatile *format = new const char *volatile(printf_format);
  const std::string base = "format/" + name + "/";
  benchmark::RegisterBenchmark((base + "sprintf_s").c_str(), [=](benchmark::State &st) {
    char buf[kText];
    for (auto _ : st) {
      benchmark::DoNotOptimize(call_sprintf_s(buf, *format, args...));
      benchmark::ClobberMemory();
    }
  });
  benchmark::RegisterBenchmark((base + "snprintf_s").c_str(), [=](benchmark::State &st) {
    char buf[kText];
    for (auto _ : st) {
      benchmark::DoNotOptimize(call_snprintf_s(buf, *format, args...));
      benchmark::ClobberMemory();
    }
  });
  benchmark::RegisterBenchmark((base + "snprintf_truncated_s").c_str(), [=](benchmark::State &st) {
    char buf[kText];
    for (auto _ : st) {
      benchmark::DoNotOptimize(call_truncated_s(buf, *format, args...));
      benchmark::ClobberMemory();
    }
  });
  benchmark::RegisterBenchmark((base + "snprintf").c_str(), [=](benchmark::State &st) {
    char buf[kText];
    for (auto _ : st) {
      benchmark::DoNotOptimize(call_snprintf(buf, *format, args...));
      benchmark::ClobberMemory();
    }
  });
  benchmark::RegisterBenchmark((base + "fmt").c_str(), [=](benchmark::State &st) {
    char buf[kText];
    for (auto _ : st) {
      benchmark::DoNotOptimize(call_fmt<A...>(buf, fmt_format, args...));
      benchmark::ClobberMemory();
    }
  });
}

const char kMessage[] = "Expander SES: enclosure services process started";
const char kTime[] = "2026/12/08 03:00:01 500:000";

int register_formats() {
  const char *const prefix = "   ";
  add_case("hex_word", "0x%08x ", "0x{:08x} ", 0x0001F000u);
  add_case("number", "%-3d ", "{:<3} ", 17);
  add_case("quoted_message", "\"%s\" ", "\"{}\" ", kMessage);
  add_case("time_column", "%s ", "{} ", kTime);
  add_case("severity_name", "%s ", "{} ", "Warning");
  add_case("status_line", "%sOK=%d, Reserved device=%d, Hot spare=%d, Cons check=%d\n",
           "{}OK={}, Reserved device={}, Hot spare={}, Cons check={}\n", prefix, 1, 0, 1, 0);
  add_case("active_image", "Active Image:  image%d\n", "Active Image:  image{}\n", 0);
  add_case("image_version", "Image Version: %c%c%c\n", "Image Version: {}{}{}\n", '1', '0', '3');
  add_case("active_data", "Active Data:   data%d\n", "Active Data:   data{}\n", 1);
  add_case("data_version", "Data Version:  %c%c%c\n", "Data Version:  {}{}{}\n", '0', '1', '5');
  add_case("address_byte", "%02x", "{:02x}", 0xabu);
  add_case("element_heading", "  Element %d descriptor:\n", "  Element {} descriptor:\n", 311);
  add_case("element_index", " Element index: %d  eiioe=%d\n", " Element index: {}  eiioe={}\n",
           42, 1);
  add_case("element_descriptor", " Element %d descriptor\n", " Element {} descriptor\n", 42);
  add_case("sssf_padded", "%s%-2d", "{}{:<2}", " Temp=", 7);
  add_case("sssf_field", "%s%d", "{}{}", " Fan speed=", 4200);
  add_case("status_bit", "%s%s=%d", "{}{}={}", ", ", "Reserved device", 1);
  add_case("status_text", ", status: %s", ", status: {}", "Not installed");
  add_case("prefix_title", "%s  %s", "{}  {}", prefix, "initiator port for:");
  add_case("plain_text", "%s", "{}", "   ");
  add_case("newline", "\n", "\n");
  add_case("phy_index", "%sphy index: %d\n", "{}phy index: {}\n", prefix, 3);
  add_case("device_type", "%s  SAS device type: %s\n", "{}  SAS device type: {}\n", prefix,
           "expander device");
  add_case("attached_address", "%s  attached SAS address: 0x", "{}  attached SAS address: 0x",
           prefix);
  add_case("sas_address", "\n%s  SAS address: 0x", "\n{}  SAS address: 0x", prefix);
  add_case("phy_identifier", "\n%s  phy identifier: 0x%x\n", "\n{}  phy identifier: 0x{:x}\n",
           prefix, 0x1bu);
  add_case("descriptor_type", "%sunrecognised descriptor type [%d]\n",
           "{}unrecognised descriptor type [{}]\n", prefix, 2);
  add_case("phy_count", "%snumber of phys: %d, not all phys: %d",
           "{}number of phys: {}, not all phys: {}", prefix, 8, 0);
  add_case("slot_number", ", device slot number: %d", ", device slot number: {}", 23);
  add_case("uid", "%u", "{}", 1000u);
  add_case("message_line", "%s\n", "{}\n", "Firmware download success!");
  add_case("user_line", "user name:%s uid:%d gid:%d\n", "user name:{} uid:{} gid:{}\n", "root", 0,
           0);
  add_case("open_error", "Open file %s error\n", "Open file {} error\n", "/tmp/firmware_104.bin");
  return 0;
}

const int registered = register_formats();

}  // namespace
