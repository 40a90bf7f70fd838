// Serialisation of the commands that change an expander (a download through
// its activation, a reset): each takes an exclusive advisory lock for the
// expander and holds it to the end of the run, so a second such command on
// the same expander waits instead of mixing its requests with the first's.
//
// Lock files live in a directory only root can enter (g_lock_dir, made 0700
// when missing), are created 0600 and opened without following links, so no
// other user can hold one. The key is the expander's identity as the kernel
// knows it (the SCSI device's wwid, from its VPD page 0x83), so every path to
// one expander (two HBAs, two sg nodes) shares one lock; a node without one
// is keyed by its device number. The holder writes its pid and the time it
// took the lock into the file, for the waiting message.
#pragma once

#include <cstddef>

// The lock directory; in-process tests point it elsewhere.
extern char g_lock_dir[64];

// The lock file of the device node at dev, written into path (size bytes):
// <g_lock_dir>/corvane-wwid-<identity>.lock, or corvane-<c|b><major>:<minor>
// .lock without an identity. False when the node cannot be examined.
bool device_lock_path(const char *dev, char *path, std::size_t size);

// Takes the lock for the device at dev, waiting while another corvane holds
// it (said once on standard error, naming the holder's pid and since when).
// Returns the descriptor that holds the lock, to be closed at the end of the
// command, or -1 when no lock could be taken: the command then goes on
// unlocked, as it did before locks, and says why once on standard error. A
// node that cannot be examined takes no lock and says nothing: its own open
// fails and is reported as ever.
int device_lock_take(const char *dev);
