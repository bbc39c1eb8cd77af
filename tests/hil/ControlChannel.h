// The messages between a board emulator and the program that drives it, one per packet of a
// SOCK_SEQPACKET socket. The emulator first sends kReady followed by its hidraw node's name
// once the kernel has made the node (or kError and the reason); after that every command
// gets exactly one answer.
#pragma once

#include <string_view>

namespace hil::control {

inline constexpr std::string_view kReady = "ready ";
inline constexpr std::string_view kError = "error ";
inline constexpr std::string_view kOk = "ok";

// Answered by the 256 configuration bytes.
inline constexpr std::string_view kDump = "dump";
// "selftest N": the result the next self test reports (0 passes, N fails on input BN).
inline constexpr std::string_view kSelfTest = "selftest ";
// Stops or resumes the stream of input reports.
inline constexpr std::string_view kInputOff = "input off";
inline constexpr std::string_view kInputOn = "input on";
// Removes the device from the kernel; the emulator answers and exits.
inline constexpr std::string_view kUnplug = "unplug";

} // namespace hil::control
