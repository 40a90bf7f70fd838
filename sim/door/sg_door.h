// The sg driver as the simulated node's front door: judges an SG_IO header as
// the driver would, hands the command to the model and fills in the header's
// output fields. Also formats the transcript lines tests assert on.
//
// Transcript lines are "KIND key=value ..." with no blanks inside values:
//   open path=P flags=0xF fd=N errno=E
//   sgio fd=N <every sg_io_hdr member as passed> cdb=HEX data_out=HEX
//        result=good|check|host_error|errno:E status=S delivered=N sense=HEX
//   ioctl fd=N request=0xR errno=E          (requests other than SG_IO)
//   close fd=N
//   dup fd=N to=M                           (a duplicate of a node descriptor)
//   leak fd=N path=P                        (descriptor left open at exit)
#pragma once

#include <scsi/sg.h>

#include <cstddef>
#include <string>

#include "model/model.h"

namespace sim {

// Serves one SG_IO on a node opened with open_flags. Returns 0, or the errno
// the ioctl fails with. Appends the transcript line to line; at most
// data_cap bytes of sent data are recorded.
int sg_door_execute(model *m, int fd, int open_flags, sg_io_hdr_t *hdr, std::size_t data_cap,
                    std::string &line);

// Other sg ioctls on the node: SG_GET_VERSION_NUM is answered, the rest fail.
// The signal the last request's answer is to be followed by (a "signal"
// fault), 0 for none; cleared by the call.
int sg_door_take_signal();

int sg_door_other_ioctl(unsigned long request, void *arg);

std::string transcript_open(const char *path, int flags, int fd, int error);
std::string transcript_close(int fd);
std::string transcript_ioctl(int fd, unsigned long request, int error);
std::string transcript_leak(int fd, const std::string &path);

}  // namespace sim
