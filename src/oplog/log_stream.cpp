#include "oplog/oplog.h"

// corvane never sets it: its entries always go to the log file.
std::FILE *g_log_stream = nullptr;
