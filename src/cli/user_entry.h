#pragma once

#include <sys/types.h>

// The invoking user as the log and audit lines name it.
struct user_entry {
  char name[64];
  uid_t uid;
  gid_t gid;
};

// Fills u from the password database entry of the real user id. A user id
// without an entry is named by its number, with the real group id.
void lookup_user(user_entry *u);
