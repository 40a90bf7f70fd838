// SAS part of one additional element descriptor: its phys, their device
// types, protocols and addresses.
#include "bounded/bounded.h"
#include "common/bytes.h"
#include "oplog/oplog.h"
#include "ses/ses_decode.h"

const std::array<const char *, 8> sas_device_type = {
    "no SAS device attached",
    "end device",
    "expander device",
    "expander device (fanout, SAS-1.1)",
    "reserved [4]",
    "reserved [5]",
    "reserved [6]",
    "reserved [7]",
};

namespace {

using namespace addl_elem;

// Logs "<prefix>  <title>" and the label of every set bit, as one line, when
// any of the bits is set.
void log_port_bits(const char *prefix, const char *title, std::span<const std::uint8_t> phy,
                   std::span<const bit_row> rows) {
  char text[kTextSize];
  memset_s(text, sizeof text, 0, sizeof text);
  std::size_t length = 0;
  line_append(text, &length, "%s  %s", prefix, title);
  bool any = false;
  for (const bit_row &row : rows) {
    if (bit_value(phy, row) == 0) continue;
    line_append(text, &length, "%s", row.label);
    any = true;
  }
  line_append(text, &length, "\n");
  if (any) recorde_log(text, 0);
}

// An address is shown digit pair by digit pair, or as "0" when the phy has
// neither address.
void log_address(std::span<const std::uint8_t> phy, std::size_t off, bool has_addresses) {
  char text[kTextSize];
  memset_s(text, sizeof text, 0, sizeof text);
  if (!has_addresses) {
    recorde_log("0", 0);
    return;
  }
  for (std::size_t i = 0; i < kAddressSize; ++i) {
    sprintf_s(text, sizeof text, "%02x", phy[off + i]);
    recorde_log(text, 0);
  }
}

void log_phy(const char *prefix, std::span<const std::uint8_t, kPhySize> phy, int index) {
  char text[kTextSize];
  memset_s(text, sizeof text, 0, sizeof text);
  sprintf_s(text, sizeof text, "%sphy index: %d\n", prefix, index);
  recorde_log(text, 0);
  sprintf_s(text, sizeof text, "%s  SAS device type: %s\n", prefix,
            sas_device_type[(phy[kDeviceTypeByte] >> 4) & 0x07]);
  recorde_log(text, 0);
  log_port_bits(prefix, "initiator port for:", phy, sas_initiator_bits);
  log_port_bits(prefix, "target port for:", phy, sas_target_bits);
  bool has_addresses = false;
  for (std::size_t i = kAttachedAddress; i < kSasAddress + kAddressSize; ++i) {
    has_addresses = has_addresses || phy[i] != 0;
  }
  sprintf_s(text, sizeof text, "%s  attached SAS address: 0x", prefix);
  recorde_log(text, 0);
  log_address(phy, kAttachedAddress, has_addresses);
  sprintf_s(text, sizeof text, "\n%s  SAS address: 0x", prefix);
  recorde_log(text, 0);
  log_address(phy, kSasAddress, has_addresses);
  sprintf_s(text, sizeof text, "\n%s  phy identifier: 0x%x\n", prefix, phy[kPhyIdentifier]);
  recorde_log(text, 0);
}

}  // namespace

// The number of phys comes from the device: only phy descriptors that lie
// wholly inside the descriptor are shown, and the walk stops at the first
// that would reach past it. A descriptor too short for its SAS part shows
// nothing of it.
int analysis_additional_elem_sas(const char *prefix, std::span<const std::uint8_t> desc) {
  const bool eip = (bytes::u8(desc, 0) & kEipBit) != 0;
  const std::size_t s = eip ? kSasStartEip : kSasStart;
  const std::size_t phys = eip ? kPhysStartEip : kPhysStart;
  if (!bytes::fits(desc, 0, phys)) return 0;
  char text[kTextSize];
  memset_s(text, sizeof text, 0, sizeof text);
  const std::uint8_t flags = desc[s + kSasFlags];
  if ((flags >> 6) != 0) {
    sprintf_s(text, sizeof text, "%sunrecognised descriptor type [%d]\n", prefix, flags >> 6);
    recorde_log(text, 0);
    return 0;
  }
  const int phy_count = desc[s + kPhyCount];
  sprintf_s(text, sizeof text, "%snumber of phys: %d, not all phys: %d", prefix, phy_count,
            flags & 0x01);
  recorde_log(text, 0);
  if (eip) {
    sprintf_s(text, sizeof text, ", device slot number: %d", desc[s + kSlotNumber]);
    recorde_log(text, 0);
  }
  recorde_log("\n", 0);
  for (int p = 0; p < phy_count; ++p) {
    const std::size_t off = phys + static_cast<std::size_t>(p) * kPhySize;
    if (!bytes::fits(desc, off, kPhySize)) break;
    log_phy(prefix, desc.subspan(off).first<kPhySize>(), p);
  }
  return 0;
}
