// Behaviour cases that hold for every view of the window, Qt or native: one table, two views.
#pragma once

#include "Controls.h"

#include <cstdint>
#include <string>
#include <vector>

namespace window_cases {

// A user's pick in a list and the write-setting report it sends: address and value.
struct Pick {
    app::Control list;
    int index;
    std::uint8_t address;
    std::uint8_t value;
};

inline const std::vector<Pick> kPicks = {
    {app::Control::Enc1, 1, 0x20, 0x02},    {app::Control::Enc3, 2, 0x24, 0x04},
    {app::Control::Enc16, 3, 0x3E, 0x08},   {app::Control::Enc9, 0, 0x30, 0x00},
    {app::Control::Delay, 24, 0x40, 25},    {app::Control::Delay, 0, 0x40, 1},
    {app::Control::RotStart, 32, 0x4E, 32}, {app::Control::RotStart, 0, 0x4E, 0xFF},
};

// What the self diagnostic shows for the board's answer.
struct SelfTest {
    std::uint8_t result;
    bool answered;
    std::string testResult;
    std::string text1;
};

inline const std::vector<SelfTest> kSelfTests = {
    {0, true, "Passed", "0 0"},
    {7, true, "Failed on B7", "0 7"},
    {32, true, "Failed on B32", "0 32"},
    {0, false, "No answer", ""},
};

// The settings a board holds, as its configuration bytes, and what the lists then show.
struct Loaded {
    std::uint8_t address;
    std::uint8_t value;
    app::Control list;
    std::string shown;
};

inline const std::vector<Loaded> kLoaded = {
    {0x20, 0x02, app::Control::Enc1, "1:1"},  {0x24, 0x04, app::Control::Enc3, "1:2"},
    {0x3E, 0x08, app::Control::Enc16, "1:4"}, {0x40, 25, app::Control::Delay, "200 ms"},
    {0x4E, 5, app::Control::RotStart, "6"},
};

} // namespace window_cases
