// Command dispatch of the user-backstore handler.
#include "tcmu/dispatch.h"
#include "tcmu/record.h"

#include "common/bytes.h"
#include "model/sense.h"

#include <algorithm>
#include <string>

namespace tcmu {
namespace {

constexpr std::uint8_t op_test_unit_ready = 0x00;
constexpr std::uint8_t op_request_sense = 0x03;
constexpr std::uint8_t op_inquiry = 0x12;
constexpr std::uint8_t op_receive_diagnostic = 0x1C;
constexpr std::uint8_t op_send_diagnostic = 0x1D;

constexpr std::uint8_t status_check_condition = 0x02;

void check_condition(reply &rep, const sim::outcome &o) {
  rep.status = status_check_condition;
  rep.sense = o.sense;
  rep.data_len = 0;
}

// Turns the model's outcome into a reply. The model's ioctl failure has no
// counterpart behind a real kernel: a target can only answer, so it answers
// HARDWARE ERROR, INTERNAL TARGET FAILURE. A host status the model names (a
// buffer that does not match the command) is the real transport's to report
// here: the target delivers what fits.
void answer_outcome(const sim::outcome &out, command &cmd, xfer dir, reply &rep) {
  switch (out.kind) {
    case sim::outcome::good:
    case sim::outcome::delayed:
      rep.data_len = dir == xfer::from_device ? std::min(out.data_len, cmd.data.size()) : 0;
      rep.delay_ms = out.kind == sim::outcome::delayed ? out.delay_ms : 0;
      return;
    case sim::outcome::check_condition:
      check_condition(rep, out);
      return;
    case sim::outcome::ioctl_error:
      check_condition(rep, sim::check_condition(sim::kHardwareError, sim::kAscInternalTargetFailure, 0));
      return;
  }
}

sim::request model_request(command &cmd, xfer dir) {
  sim::request req;
  req.cdb = cmd.cdb;
  req.dir = dir == xfer::to_device     ? sim::direction::to_device
            : dir == xfer::from_device ? sim::direction::from_device
                                       : sim::direction::none;
  req.data = cmd.data;
  return req;
}

}  // namespace

xfer command_direction(std::span<const std::uint8_t> cdb) {
  switch (bytes::u8(cdb, 0)) {
    case op_inquiry:
    case op_request_sense:
    case op_receive_diagnostic:
      return xfer::from_device;
    case op_send_diagnostic:
      return xfer::to_device;
    default:
      return xfer::none;
  }
}

void answer_command(void *ctx, command &cmd, xfer dir, reply &rep) {
  const auto &t = *static_cast<const target *>(ctx);
  switch (bytes::u8(cmd.cdb, 0)) {
    case op_test_unit_ready:
      return;
    case op_request_sense:
    case op_inquiry:
      answer_outcome(sim::model_identify(t.model, model_request(cmd, dir)), cmd, dir, rep);
      return;
    case op_receive_diagnostic:
    case op_send_diagnostic:
      answer_outcome(sim::model_execute(t.model, model_request(cmd, dir)), cmd, dir, rep);
      break;
    default:
      check_condition(rep, sim::check_condition(sim::kIllegalRequest, sim::kAscInvalidOpcode, 0));
      return;
  }
  if (t.record != nullptr) {
    const std::string line = record_line(cmd, dir, rep);
    std::fputs(line.c_str(), t.record);
    std::fflush(t.record);
  }
}

}  // namespace tcmu
