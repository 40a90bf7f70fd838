#include "model/sense.h"

namespace sim {

namespace {
constexpr std::uint8_t kFixedCurrent = 0x70;
constexpr std::uint8_t kAdditionalLength = 10;  // bytes 8-17
constexpr std::uint8_t kSksv = 0x80;            // sense-key specific bytes valid
constexpr std::uint8_t kCommandData = 0x40;     // C/D: the field is in the command block
}  // namespace

outcome check_condition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  outcome o;
  o.kind = outcome::check_condition;
  o.sense[0] = kFixedCurrent;
  o.sense[2] = key & 0x0F;
  o.sense[7] = kAdditionalLength;
  o.sense[12] = asc;
  o.sense[13] = ascq;
  return o;
}

outcome invalid_field(bool in_cdb, std::uint16_t byte_offset) {
  outcome o = check_condition(kIllegalRequest,
                              in_cdb ? kAscInvalidFieldInCdb : kAscInvalidFieldInParameterList, 0);
  o.sense[15] = static_cast<std::uint8_t>(kSksv | (in_cdb ? kCommandData : 0));
  o.sense[16] = static_cast<std::uint8_t>(byte_offset >> 8);
  o.sense[17] = static_cast<std::uint8_t>(byte_offset);
  return o;
}

}  // namespace sim
