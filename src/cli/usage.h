#pragma once

// Prints the usage text and writes it, time-stamped, to the operation log.
void usage(void);
