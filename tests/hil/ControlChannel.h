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
// "buttons N": the inputs now pressed (bit 0 is B1); a USB board in mode "on change" sends
// one input report for the change, a uhid board one at once.
inline constexpr std::string_view kButtons = "buttons ";
// "mode streaming" or "mode on-change".
inline constexpr std::string_view kMode = "mode ";
// Answered by "ok" and the control requests received since the last "wire", one line each:
// bmRequestType bRequest wValue wIndex wLength in hex, then the data of an OUT request, or
// "stall" for a refused request.
inline constexpr std::string_view kWire = "wire";
// Answered by the number of input reports the host has taken since the board was plugged.
inline constexpr std::string_view kInputs = "inputs";
// Removes the device from the kernel; the emulator answers once it is gone and exits.
inline constexpr std::string_view kUnplug = "unplug";
// USB boards only: the board is pulled out right after it has taken the next SET_REPORT of a
// feature report that writes a setting, while the host is still at work on it; the emulator
// then exits. Its --unplug-after-write option does so from the start.
inline constexpr std::string_view kUnplugAfterWrite = "unplug after write";

} // namespace hil::control
