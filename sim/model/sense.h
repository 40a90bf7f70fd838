// Fixed-format sense data (response code 0x70) for the model's answers.
#pragma once

#include <cstdint>

#include "model/model.h"

namespace sim {

inline constexpr std::uint8_t kIllegalRequest = 0x05;
inline constexpr std::uint8_t kHardwareError = 0x04;
inline constexpr std::uint8_t kAscInvalidOpcode = 0x20;
inline constexpr std::uint8_t kAscInvalidFieldInCdb = 0x24;
inline constexpr std::uint8_t kAscInvalidFieldInParameterList = 0x26;
inline constexpr std::uint8_t kAscParameterListLengthError = 0x1A;
inline constexpr std::uint8_t kAscInternalTargetFailure = 0x44;

// CHECK CONDITION with the given sense key and additional sense code.
outcome check_condition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);

// ILLEGAL REQUEST naming the offending byte: in the command block (in_cdb)
// or in the parameter list. The sense-key specific field carries the pointer.
outcome invalid_field(bool in_cdb, std::uint16_t byte_offset);

}  // namespace sim
