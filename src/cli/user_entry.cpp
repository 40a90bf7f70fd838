#include "cli/user_entry.h"

#include <pwd.h>
#include <unistd.h>

#include "bounded/bounded.h"

void lookup_user(user_entry *u) {
  const uid_t real_uid = getuid();
  const passwd *pw = getpwuid(real_uid);
  memset_s(u->name, sizeof u->name, 0, sizeof u->name);
  if (pw != nullptr && pw->pw_name != nullptr) {
    strcpy_s(u->name, sizeof u->name, pw->pw_name);
    u->uid = pw->pw_uid;
    u->gid = pw->pw_gid;
    return;
  }
  sprintf_s(u->name, sizeof u->name, "%u", static_cast<unsigned>(real_uid));
  u->uid = real_uid;
  u->gid = getgid();
}
