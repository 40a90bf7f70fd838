// corvane-pages check and verify: before a download, whether it can and
// should happen; after it, proof that the expander runs the new version.
#pragma once

#include "pages/pages.h"

// check IMAGE DEVICE [--expect VERSION]: 0 the download would change the
// expander, 2 nothing to do, 3 the image or the device cannot be used, 1 any
// other error (a wrong command line too: 2 would read as "nothing to do").
inline constexpr int kExitCheckNothingToDo = 2;
inline constexpr int kExitCheckRefused = 3;
inline constexpr int kExitCheckError = 1;
int check_command(const char *file, const char *dev, const char *expect, const run_args &run);

// verify DEVICE --expect VERSION [--data] [--timeout SECONDS]: 0 verified,
// 4 the expander answers with another version, 1 it did not answer in time.
inline constexpr int kExitVerifyOtherVersion = 4;
inline constexpr unsigned long kVerifyDefaultTimeoutS = 60;
inline constexpr unsigned long kVerifyMaxTimeoutS = 3600;
int verify_command(const char *dev, const char *expect, bool data, unsigned long timeout_s, const run_args &run);

// A version as the firmware status page carries it: three printable characters.
bool valid_version(const char *text);
