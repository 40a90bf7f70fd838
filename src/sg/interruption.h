// Interruption of the commands that change the expander. While a download or
// a reset runs, SIGINT, SIGTERM and SIGHUP are held back (blocked) instead of
// ending the program between two requests: the operations look for a held
// signal at the points where stopping leaves the expander whole (before each
// piece, before the activation, never between its two lists) and end with
// their failure outcome. A held signal is never delivered; the program ends
// on its own.
#pragma once

// Holds SIGINT, SIGTERM and SIGHUP back from here to the end of the run.
void interruption_hold();

// The signal held back so far (the lowest-numbered when several), 0 when
// none; the same signal on every later call.
int interruption_signal();

// "SIGINT", "SIGTERM", ... for a signal number.
const char *interruption_name(int signo);
