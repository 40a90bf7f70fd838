#include "sg/sg.h"

// Set to 1 by firmware_download when the image carries the firmware
// signature; read by main after a successful download.
int g_fw_flag = 0;
