// The model's entry points: fault injection around the target's handlers.
#include "model/model.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "model/faults.h"
#include "model/page_set.h"
#include "model/sense.h"
#include "model/target.h"

namespace sim {

struct model {
  config cfg;
  std::vector<fault_rule> rules;
  unsigned opens = 0;
  unsigned requests = 0;
  std::array<unsigned, 256> page_requests{};
  unsigned nv_next_chunk = 0;
  expander_state state;     // as last read from or written to the state directory
  state_stamp stamp;        // identity of state.txt when it was last read
  bool state_loaded = false;
};

namespace {

constexpr std::uint8_t kTestUnitReady = 0x00;
constexpr std::uint8_t kRequestSense = 0x03;
constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kReceiveDiagnosticResults = 0x1C;
constexpr std::uint8_t kSendDiagnostic = 0x1D;
constexpr unsigned kDefaultDelayMs = 1000;
constexpr unsigned kDefaultHostError = 0x07;    // DID_ERROR
constexpr unsigned kDefaultDriverError = 0x04;  // DRIVER_ERROR

// The page a request concerns: a receive names it in the command block, a
// send in the first byte of its parameter list; -1 for anything else.
int request_page(const request &req) {
  if (req.cdb.size() < 3) return -1;
  if (req.cdb[0] == kReceiveDiagnosticResults) return req.cdb[2];
  if (req.cdb[0] == kSendDiagnostic && !req.data.empty() && req.dir == direction::to_device) {
    return req.data[0];
  }
  return -1;
}

// Holds the expander for one request: an exclusive lock on a file in the
// state directory, so requests from several processes sharing the state
// (two programs run at once, or the preload and the user-backstore doors)
// each see and change the state and the received image whole. Opened and
// closed per request, so no descriptor outlives it. Without the lock file
// (an unwritable directory) the request goes on unlocked.
struct state_lock {
  int fd;
  explicit state_lock(const std::string &dir)
      : fd(::open((dir + "/state.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (fd < 0) return;
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  state_lock(const state_lock &) = delete;
  state_lock &operator=(const state_lock &) = delete;
  ~state_lock() {
    if (fd >= 0) ::close(fd);
  }
};

outcome dispatch(model *m, const request &req) {
  const state_lock held(m->cfg.state_dir);
  // Another process may have changed the state since: read it again then.
  const state_stamp now = stamp_state(m->cfg.state_dir);
  if (!m->state_loaded || !(now == m->stamp)) {
    m->state = load_state(m->cfg.state_dir);
    m->stamp = now;
    m->state_loaded = true;
  }
  expander_state &state = m->state;
  // Restarting after a reset: nothing answers, and nothing changes.
  if (state.silent_until_ms != 0 && wall_clock_ms() < state.silent_until_ms) {
    outcome silent;
    silent.host_status = kHostNoConnect;
    return silent;
  }
  target_context ctx{m->cfg.state_dir, m->cfg.pages_dir, state, false, m->nv_next_chunk, m->cfg.behaviour};
  outcome o;
  switch (req.cdb.empty() ? 0xFF : req.cdb[0]) {
    case kTestUnitReady: o = req.cdb.size() == 6 ? outcome{} : invalid_field(true, 0); break;
    case kRequestSense: o = request_sense(req); break;
    case kInquiry: o = inquiry(req, m->cfg); break;
    case kReceiveDiagnosticResults: o = receive_diagnostic(ctx, req); break;
    case kSendDiagnostic: o = send_diagnostic(ctx, req); break;
    default: o = check_condition(kIllegalRequest, kAscInvalidOpcode, 0); break;
  }
  if (ctx.state_changed) {
    if (!save_state(m->cfg.state_dir, state)) o = check_condition(kHardwareError, kAscInternalTargetFailure, 0);
    m->stamp = stamp_state(m->cfg.state_dir);
  }
  return o;
}

outcome injected_check(const fault_rule &r) {
  if (!r.has_value) return check_condition(kHardwareError, kAscInternalTargetFailure, 0);
  return check_condition(static_cast<std::uint8_t>(r.value >> 16), static_cast<std::uint8_t>(r.value >> 8),
                         static_cast<std::uint8_t>(r.value));
}

}  // namespace

outcome model_identify(model *m, const request &req) {
  switch (req.cdb.empty() ? 0xFF : req.cdb[0]) {
    case kRequestSense: return request_sense(req);
    case kInquiry: return inquiry(req, m->cfg);
    default: return check_condition(kIllegalRequest, kAscInvalidOpcode, 0);
  }
}

model *model_open(const config &cfg) {
  auto *m = new model;
  m->cfg = cfg;
  std::string why;
  if (!make_state_dir(cfg.state_dir) || !parse_faults(cfg.faults, m->rules, why)) {
    delete m;
    return nullptr;
  }
  return m;
}

void model_close(model *m) { delete m; }

int model_node_open(model *m) {
  const unsigned n = ++m->opens;
  const auto rule = match_fault(m->rules, fault_kind::open, n, -1, 0);
  if (!rule) return 0;
  return rule->has_value ? static_cast<int>(rule->value) : ENOENT;
}

outcome model_execute(model *m, const request &req) {
  const unsigned seq = ++m->requests;
  const int page = request_page(req);
  const unsigned page_seq = page >= 0 ? ++m->page_requests[static_cast<std::size_t>(page)] : 0;
  const auto find = [&](fault_kind k) { return match_fault(m->rules, k, seq, page, page_seq); };

  // Faults that keep the request from the target: it has no effect.
  if (const auto r = find(fault_kind::ioctl)) {
    outcome o;
    o.kind = outcome::ioctl_error;
    o.error = r->has_value ? static_cast<int>(r->value) : EIO;
    return o;
  }
  if (const auto r = find(fault_kind::check)) return injected_check(*r);
  if (const auto r = find(fault_kind::host)) {
    outcome o;
    o.host_status = static_cast<std::uint16_t>(r->has_value ? r->value : kDefaultHostError);
    return o;
  }
  if (const auto r = find(fault_kind::driver)) {
    outcome o;
    o.driver_status = static_cast<std::uint16_t>(r->has_value ? r->value : kDefaultDriverError);
    return o;
  }

  request seen = req;
  const auto cut = find(fault_kind::short_transfer);
  const std::size_t keep = cut ? std::min<std::size_t>(cut->value, req.data.size()) : req.data.size();
  std::vector<std::uint8_t> scratch;
  if (cut && req.dir == direction::from_device) {
    // A short data-in transfer: only the first bytes reach the initiator.
    scratch.assign(req.data.size(), 0);
    seen.data = scratch;
  } else if (cut) {
    // A short data-out transfer: the target sees only the first bytes.
    seen.data = req.data.first(keep);
  }
  outcome o = dispatch(m, seen);
  if (cut && req.dir == direction::from_device) {
    o.data_len = std::min(o.data_len, keep);
    std::copy_n(scratch.begin(), static_cast<long>(o.data_len), req.data.begin());
  }
  if (const auto r = find(fault_kind::delay); r && o.kind == outcome::good) {
    o.kind = outcome::delayed;
    o.delay_ms = r->has_value ? r->value : kDefaultDelayMs;
  }
  if (const auto r = find(fault_kind::signal)) o.signal = r->has_value ? static_cast<int>(r->value) : SIGINT;
  return o;
}

std::string default_state_dir() {
  const char *xdg = std::getenv("XDG_STATE_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/expander-sim";
  const char *home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/state/expander-sim";
  return "/tmp/expander-sim-" + std::to_string(static_cast<unsigned>(getuid()));
}

}  // namespace sim
