// INTERIM: the firmware operations before they are built; each one fails.
// Deleted when src/sg gains the real operations.
#include "sg/sg.h"

int g_fw_flag = 0;

int firmware_query(const char *) { return -1; }
int firmware_download(const char *, const char *) { return -1; }
int firmware_swap(const char *) { return -1; }
int expander_reset(const char *) { return -1; }
