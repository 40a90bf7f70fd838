// Command dispatch of the user-backstore handler.
#include "tcmu/dispatch.h"
#include "tcmu/record.h"

#include "common/bytes.h"

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
constexpr std::uint8_t key_hardware_error = 0x04;
constexpr std::uint8_t key_illegal_request = 0x05;
constexpr std::uint8_t asc_invalid_opcode = 0x20;
constexpr std::uint8_t asc_invalid_field = 0x24;
constexpr std::uint8_t asc_internal_failure = 0x44;

void check_condition(reply &rep, std::uint8_t key, std::uint8_t asc) {
  rep.status = status_check_condition;
  rep.sense = fixed_sense(key, asc, 0);
  rep.data_len = 0;
}

void answer_inquiry(const target &t, command &cmd, reply &rep) {
  const int n = inquiry_fill(cmd.cdb, t.id, cmd.data);
  if (n < 0) check_condition(rep, key_illegal_request, asc_invalid_field);
  else rep.data_len = static_cast<std::size_t>(n);
}

// Hands a diagnostic command to the model and turns its outcome into a reply.
// The model's ioctl failure has no counterpart behind a real kernel: a target
// can only answer, so it answers HARDWARE ERROR, INTERNAL TARGET FAILURE.
// A host status the model names (a buffer that does not match the command)
// is the real transport's to report here: the target delivers what fits.
void answer_diagnostic(const target &t, command &cmd, xfer dir, reply &rep) {
  sim::request req;
  req.cdb = cmd.cdb;
  req.dir = dir == xfer::to_device ? sim::direction::to_device : sim::direction::from_device;
  req.data = cmd.data;
  const sim::outcome out = sim::model_execute(t.model, req);
  switch (out.kind) {
    case sim::outcome::good:
    case sim::outcome::delayed:
      rep.data_len = dir == xfer::from_device ? std::min(out.data_len, cmd.data.size()) : 0;
      rep.delay_ms = out.kind == sim::outcome::delayed ? out.delay_ms : 0;
      return;
    case sim::outcome::check_condition:
      rep.status = status_check_condition;
      rep.sense = out.sense;
      return;
    case sim::outcome::ioctl_error:
      check_condition(rep, key_hardware_error, asc_internal_failure);
      return;
  }
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
    {
      // Nothing is pending: NO SENSE.
      const auto none = fixed_sense(0, 0, 0);
      rep.data_len = std::min(cmd.data.size(), none.size());
      std::copy_n(none.begin(), rep.data_len, cmd.data.begin());
      return;
    }
    case op_inquiry:
      answer_inquiry(t, cmd, rep);
      return;
    case op_receive_diagnostic:
    case op_send_diagnostic:
      answer_diagnostic(t, cmd, dir, rep);
      break;
    default:
      check_condition(rep, key_illegal_request, asc_invalid_opcode);
      return;
  }
  if (t.record != nullptr) {
    const std::string line = record_line(cmd, dir, rep);
    std::fputs(line.c_str(), t.record);
    std::fflush(t.record);
  }
}

}  // namespace tcmu
