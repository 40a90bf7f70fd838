// Serialisation of the commands that change an expander (a download through
// its activation, a reset): each takes an exclusive advisory lock for the
// device and holds it to the end of the run, so a second such command on the
// same device waits instead of mixing its requests with the first's.
#pragma once

// The lock file of the device node at dev: /run/lock/corvane-<c|b><major>:
// <minor>.lock, named after the node's device number (every path to one
// device shares it); written into path (size bytes). False when the node
// cannot be examined.
bool device_lock_path(const char *dev, char *path, unsigned long size);

// Takes the lock for the device at dev, waiting while another corvane holds
// it (said once on standard error). Returns the descriptor that holds the
// lock, to be closed at the end of the command, or -1 when no lock could be
// taken: the command then goes on unlocked, as it did before locks, and says
// so once on standard error. A node that cannot be examined takes no lock
// and says nothing: its own open fails and is reported as ever.
int device_lock_take(const char *dev);
