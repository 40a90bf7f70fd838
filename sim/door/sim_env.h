// Environment variables through which the launcher configures the preloaded
// library in the program it runs.
#pragma once

namespace sim::env {

inline constexpr const char *kState = "EXPANDER_SIM_STATE";            // state directory
inline constexpr const char *kPages = "EXPANDER_SIM_PAGES";            // raw page files
inline constexpr const char *kFaults = "EXPANDER_SIM_FAULTS";          // fault rules
inline constexpr const char *kNodes = "EXPANDER_SIM_NODES";            // nodes /dev/sgsim0..N-1
inline constexpr const char *kTranscript = "EXPANDER_SIM_TRANSCRIPT";  // transcript file
inline constexpr const char *kTranscriptData = "EXPANDER_SIM_TRANSCRIPT_DATA";  // data bytes kept
inline constexpr const char *kCapture = "EXPANDER_SIM_CAPTURE";        // capture directory
inline constexpr const char *kExpanders = "EXPANDER_SIM_EXPANDERS";    // number of expanders
inline constexpr const char *kPaths = "EXPANDER_SIM_PATHS";            // NODE=EXPANDER,...
inline constexpr const char *kQuirks = "EXPANDER_SIM_QUIRKS";          // [EXPANDER:]KIND[=VALUE],...
inline constexpr const char *kLogUnopenable = "EXPANDER_SIM_LOG_UNOPENABLE";  // "1": log open fails

// The node paths the simulator answers: /dev/sgsim<N>. Each is a character
// device numbered kNodeMajor:N, a major number of the simulator's own.
inline constexpr const char *kNodePrefix = "/dev/sgsim";
inline constexpr unsigned kNodeMajor = 4095;

// corvane's lock directory on the host, and the directory of the expander's state that
// stands in for it: the simulated nodes' device numbers are the simulator's
// own, so the locks taken for them belong to the simulated expander (shared
// by every program that shares its state) and never meet the host's.
inline constexpr const char *kHostLockDir = "/run/corvane/";
inline constexpr const char *kStateLockDir = "run-lock";

// The operation log path the capture redirects, and the names in the capture directory.
inline constexpr const char *kHostLogPath = "/var/log/expander_log.txt";
inline constexpr const char *kCapturedLog = "expander_log.txt";
inline constexpr const char *kCapturedAudit = "audit.txt";

}  // namespace sim::env
