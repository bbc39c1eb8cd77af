// What a game sees of each input B1 to B32: the Button usage the board's report descriptor
// gives the input's bit of the input report, the number Windows shows for it, and on Linux the
// key code the kernel's HID input driver maps it to.
#pragma once

#include "ApiDeclarations.h"
#include "ReportDescriptor.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hid {

// Key codes of include/uapi/linux/input-event-codes.h.
inline constexpr std::uint16_t kBtnMisc = 0x100;
inline constexpr std::uint16_t kBtnMouse = 0x110;
inline constexpr std::uint16_t kBtnJoystick = 0x120;
inline constexpr std::uint16_t kBtnGamepad = 0x130;
inline constexpr std::uint16_t kBtnTriggerHappy = 0x2C0;
inline constexpr std::uint16_t kKeyMax = 0x2FF;

// The evdev key code of Button usage button in a field of these collections; nothing when the
// kernel leaves the usage unmapped.
std::optional<std::uint16_t> evdevButtonCode(std::uint16_t button, Usage application,
                                             Usage physical);
// The code's name in input-event-codes.h ("BTN_TRIGGER", "BTN_TRIGGER_HAPPY1"); empty for a
// code with no name of its own.
std::string evdevCodeName(std::uint16_t code);

struct InputBinding {
    int input = 0;                          // 0 for B1
    std::optional<std::uint16_t> button;    // the Button usage of the input's bit
    std::optional<int> windowsNumber;       // its place among the board's Button usages, from 1
    std::optional<std::uint16_t> evdevCode; // only where the report descriptor can be read
};

struct InputBindings {
    bool read = false;           // false: the preparsed data could not be had
    bool descriptorRead = false; // the descriptor itself, for the kernel's rule
    std::vector<InputBinding> inputs;
};

// Asks the platform's usage query which Button usage each input's bit turns on, so that it
// works where only the preparsed data is to be had.
InputBindings readInputBindings(ApiDeclarations& api, Handle featureHandle,
                                std::uint16_t inputReportLength);

} // namespace hid
