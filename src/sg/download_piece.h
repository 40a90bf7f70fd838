// Layout of one download piece: a String Out page (0x04) carrying the
// download command, the piece's image offset and up to 512 image bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace download_piece {

inline constexpr std::size_t kPieceSize = 512;        // image bytes per piece at most
inline constexpr std::uint8_t kDownloadCommand = 0x01;
inline constexpr std::size_t kPageLengthOffset = 2;   // big-endian 16-bit: n + 5
inline constexpr std::size_t kCommandOffset = 4;
inline constexpr std::size_t kImageOffsetOffset = 5;  // big-endian 32-bit image offset
inline constexpr std::size_t kHeaderSize = 9;         // image bytes start here
inline constexpr std::size_t kPageLengthBias = 5;     // command byte and offset field

// An image starting with these bytes is firmware: activation follows.
inline constexpr std::array<std::uint8_t, 4> kFirmwareSignature = {0x50, 0x4D, 0x43, 0x00};

// True when image bytes start with the firmware signature; fewer bytes than
// the signature never carry it.
constexpr bool has_firmware_signature(std::span<const std::uint8_t> image) {
  if (image.size() < kFirmwareSignature.size()) return false;
  for (std::size_t i = 0; i < kFirmwareSignature.size(); ++i) {
    if (image[i] != kFirmwareSignature[i]) return false;
  }
  return true;
}

// Page length and parameter list length of a piece of n image bytes.
constexpr std::size_t page_length(std::size_t n) { return n + kPageLengthBias; }
constexpr std::size_t list_length(std::size_t n) { return n + kHeaderSize; }

}  // namespace download_piece
