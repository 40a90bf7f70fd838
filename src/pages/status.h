// What an expander is and what it runs: its identity from INQUIRY and the
// vital product data pages 0x80 and 0x83, and its two firmware and two data
// images from the firmware status page 0x82. Read-only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "pages/json_doc.h"

// One firmware or data image as page 0x82 reports it.
struct image_entry {
  bool reported = false;    // the page names this image
  int number = 0;           // image number as the version block shows it
  std::array<char, 4> version{};  // three characters, a NUL shown as a blank
  bool active = false;
};

// Both firmware images and both data images, the active one of each first.
struct firmware_images {
  std::array<image_entry, 2> firmware{};
  std::array<image_entry, 2> data{};
};

struct expander_identity {
  char vendor[17] = {};    // standard INQUIRY bytes 8-15
  char product[33] = {};   // bytes 16-31
  char revision[5] = {};   // bytes 32-35
  char serial[256] = {};   // unit serial number page 0x80
  // First designator of page 0x83, preferring a NAA one: its bytes and type.
  std::array<std::uint8_t, 255> designator{};  // a designator is at most 255 bytes
  std::size_t designator_size = 0;
  int designator_type = -1;  // the designator type code, -1 for none
  char scsi_address[64] = {};  // "H:C:T:L" from sysfs, empty when unknown
};

struct expander_status {
  const char *device = nullptr;
  bool inquiry_read = false;
  bool serial_read = false;
  bool designator_read = false;
  bool firmware_read = false;
  expander_identity identity;
  firmware_images images;
};

// Reads the identity and the images of the expander at dev into out. Every
// read is tried; a failed one leaves its part unmarked and is reported with
// pages_error. 0 when the firmware status page was read, -1 otherwise.
int read_expander_status(const char *dev, expander_status &out);

// The images page 0x82 reports: the active firmware image (byte 4 less 5,
// version bytes 6-8), the other firmware image (byte 16 less 5, bytes
// 18-20), the active data image (byte 32 less 1, bytes 33-35) and the other
// data image (byte 44 less 1, bytes 45-47). A second image whose number byte
// is 0 is not reported.
firmware_images parse_firmware_images(std::span<const std::uint8_t> page);

// The first designator of a device identification page (0x83), a NAA one
// when there is any; false when the page holds none whole.
bool pick_designator(std::span<const std::uint8_t> page, expander_identity &id);

// Text of the designator type code ("NAA", "EUI-64", ...).
const char *designator_type_text(int type);

// Printable text of bytes [from, from + n) of a response, trailing blanks off;
// a byte outside printable ASCII is shown as '.'.
void text_field(std::span<const std::uint8_t> buf, std::size_t from, std::size_t n, char *out,
                std::size_t room);

// The JSON of the images: "firmware_images" and "data_images" arrays.
void images_json(const firmware_images &images, json_doc::json &out);
// The JSON of a status: "identity" and the images.
json_doc::json status_json(const expander_status &status);

// corvane-pages status DEVICE [--json]: the exit status.
int status_command(const char *dev, bool json, int argc, char **argv);
