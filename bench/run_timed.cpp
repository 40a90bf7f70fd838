// A small timing harness for whole commands: runs two commands in turn the
// given number of times (A, B, A, B, ...: both see the same load), with
// their output thrown away, and reports the median wall time of each, their
// ratio, the same for their processor time (user and system, which the
// other work on a shared machine does not inflate) and the largest peak
// resident set size of each, on screen and as JSON.
//   bench-timed RUNS JSON_FILE NAME_A NAME_B -- COMMAND_A... ::: COMMAND_B...
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct sample {
  double seconds;
  double cpu_seconds;
  long max_rss_kib;
  int status;
};

sample run_once(std::vector<char *> &argv) {
  timespec start{};
  timespec end{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 1);
    dup2(null_fd, 2);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  clock_gettime(CLOCK_MONOTONIC, &end);
  const double seconds =
      static_cast<double>(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return {seconds, cpu, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string json_list(const std::vector<double> &v) {
  std::string s = "[";
  for (std::size_t i = 0; i < v.size(); ++i) {
    char num[32];
    std::snprintf(num, sizeof num, "%s%.9f", i == 0 ? "" : ", ", v[i]);
    s += num;
  }
  return s + "]";
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 8 || std::strcmp(argv[5], "--") != 0) {
    std::fprintf(stderr, "usage: %s RUNS JSON NAME_A NAME_B -- A... ::: B...\n", argv[0]);
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  std::vector<char *> a;
  std::vector<char *> b;
  bool second = false;
  for (int i = 6; i < argc; ++i) {
    if (std::strcmp(argv[i], ":::") == 0) {
      second = true;
      continue;
    }
    (second ? b : a).push_back(argv[i]);
  }
  a.push_back(nullptr);
  b.push_back(nullptr);
  if (a.size() < 2 || b.size() < 2) return 2;
  std::vector<double> ta;
  std::vector<double> tb;
  std::vector<double> ca;
  std::vector<double> cb;
  long rss_a = 0;
  long rss_b = 0;
  for (int i = 0; i < runs + 1; ++i) {
    const sample sa = run_once(a);
    const sample sb = run_once(b);
    if (sa.status != 0 || sb.status != 0) {
      std::fprintf(stderr, "a command failed (%d, %d)\n", sa.status, sb.status);
      return 1;
    }
    if (i == 0) continue;  // the first pair warms the caches
    ta.push_back(sa.seconds);
    tb.push_back(sb.seconds);
    ca.push_back(sa.cpu_seconds);
    cb.push_back(sb.cpu_seconds);
    rss_a = std::max(rss_a, sa.max_rss_kib);
    rss_b = std::max(rss_b, sb.max_rss_kib);
  }
  const double ma = median(ta);
  const double mb = median(tb);
  const double mca = median(ca);
  const double mcb = median(cb);
  std::printf("%s %.3f ms, cpu %.3f ms (peak RSS %ld KiB)  %s %.3f ms, cpu %.3f ms (peak RSS %ld KiB)"
              "  ratio %.3f, cpu %.3f\n",
              argv[3], ma * 1e3, mca * 1e3, rss_a, argv[4], mb * 1e3, mcb * 1e3, rss_b, ma / mb,
              mca / mcb);
  std::FILE *out = std::fopen(argv[2], "w");
  if (out == nullptr) return 1;
  std::fprintf(out,
               "{\"runs\": %d, \"%s\": {\"median_s\": %.9f, \"median_cpu_s\": %.9f, \"max_rss_kib\": %ld,"
               " \"samples\": %s, \"cpu_samples\": %s}, \"%s\": {\"median_s\": %.9f, \"median_cpu_s\": %.9f,"
               " \"max_rss_kib\": %ld, \"samples\": %s, \"cpu_samples\": %s}, \"ratio\": %.6f,"
               " \"cpu_ratio\": %.6f}\n",
               runs, argv[3], ma, mca, rss_a, json_list(ta).c_str(), json_list(ca).c_str(), argv[4], mb,
               mcb, rss_b, json_list(tb).c_str(), json_list(cb).c_str(), ma / mb, mca / mcb);
  std::fclose(out);
  return 0;
}
