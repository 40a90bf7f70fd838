// SCSI pass-through to the expander's SES target, and the firmware operations
// built on it. Every request opens the node, issues one SG_IO and closes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/sizes.h"

// Reads diagnostic page (low 8 bits of page_code) into buf.
// Returns 0 when the request succeeded with status GOOD, -1 otherwise.
int sg_query_cmd(const char *dev, int page_code, std::span<std::uint8_t, kReceiveSize> buf);

// Largest allocation length a 6-byte command block carries.
inline constexpr std::size_t kMaxAllocationLength = 0xFFFF;

// Reads diagnostic page (low 8 bits of page_code) into buf, asking for
// buf.size() bytes, at most kMaxAllocationLength; the page is read whole when
// buf holds what it declares. 0 when the request succeeded with status GOOD,
// -1 otherwise. Bytes the device did not send are left as they were.
int sg_receive_page(const char *dev, int page_code, std::span<std::uint8_t> buf);

// INQUIRY: the standard data when vpd_page is negative, else that vital
// product data page; asks for buf.size() bytes, at most kMaxAllocationLength.
// 0 on status GOOD, -1 otherwise.
int sg_inquiry_cmd(const char *dev, int vpd_page, std::span<std::uint8_t> buf);

// Sends the parameter list param[0..len) with SEND DIAGNOSTIC.
// Returns 0 when the device accepted it (status GOOD), -1 otherwise;
// logs "ioctl error\n" when the ioctl itself failed.
int sg_send_cmd(const char *dev, const std::uint8_t *param, int len);

// Set by firmware_download when the image starts with the firmware signature.
extern int g_fw_flag;

// Shows the active image and data versions; 0 on success, -1 otherwise
// (nothing printed on failure).
int firmware_query(const char *dev);

// The four-line version block of a firmware status page (0x82) into block
// (kTextSize bytes), as firmware_query shows it.
void firmware_version_block(std::span<const std::uint8_t> page, char *block);

// Sends the image file in 512-byte pieces; 0 when every piece was accepted.
int firmware_download(const char *file, const char *dev);

// Swaps the active firmware image; 0 when both lists were accepted.
int firmware_swap(const char *dev);

// Resets the expander; 0 when the reset was accepted.
int expander_reset(const char *dev);
