// The window's controls by name, in the order the window creates them. Plain C++: the window's
// logic and both views name controls by these values.
#pragma once

#include "Protocol.h"

#include <cstddef>

namespace app {

enum class Control {
    Selftest,
    RotStart,
    Text1,
    Frame3,
    Enc16,
    Enc15,
    Enc14,
    Enc13,
    Enc12,
    Enc11,
    Enc10,
    Enc9,
    Enc8,
    Enc7,
    Enc6,
    Enc5,
    Enc4,
    Enc3,
    Enc2,
    Enc1,
    Delay,
    Label21,
    Label20,
    Label19,
    Label18,
    Label17,
    Label16,
    Label15,
    Label14,
    Label13,
    Label12,
    Label11,
    Label10,
    Label9,
    Label8,
    Label7,
    Label6,
    Line1,
    Label1,
    Frame1,
    SerNo,
    Timer,
    lblSerialNumber,
    lblVersion,
    lblProduct,
    lblManuf,
    Label2,
    Label5,
    Label4,
    Label3,
    TestResult,
    Label22,
};

inline constexpr std::size_t kControlCount = std::size_t(Control::Label22) + 1;
using config::kEncoderChannels;

// The list of encoder channel 1 to 16, and the label naming its two inputs.
constexpr Control encoderList(int channel) {
    return Control(int(Control::Enc1) - (channel - 1));
}
constexpr Control encoderLabel(int channel) {
    return Control(int(Control::Label6) - (channel - 1));
}
// The channel of an encoder list, or 0 for any other control.
constexpr int encoderChannel(Control control) {
    const int offset = int(Control::Enc1) - int(control);
    return offset >= 0 && offset < kEncoderChannels ? offset + 1 : 0;
}

} // namespace app
