// What a game sees of the board's inputs: the kernel's key codes for Button usages at the edges
// of its rule, and each input's usage read through the platform's usage query.
#include "InputBindings.h"

#include "SimulatedPlatform.h"

#include <gtest/gtest.h>

namespace {

using hid::Usage;

constexpr Usage kJoystick{0x01, 0x04};
constexpr Usage kGamePad{0x01, 0x05};
constexpr Usage kMouse{0x01, 0x02};
constexpr Usage kNone{};

struct KernelRule {
    std::uint16_t button;
    Usage application;
    Usage physical;
    std::optional<std::uint16_t> code;
};

// drivers/hid/hid-input.c, hidinput_configure_usage(), case HID_UP_BUTTON.
TEST(InputBindings, EvdevCodesFollowTheKernelsRuleAtItsEdges) {
    const KernelRule rules[] = {
        {1, kJoystick, kNone, 0x120},    // BTN_TRIGGER
        {16, kJoystick, kNone, 0x12F},   // BTN_DEAD, the last from BTN_JOYSTICK
        {17, kJoystick, kNone, 0x2C0},   // BTN_TRIGGER_HAPPY1
        {32, kJoystick, kNone, 0x2CF},   // BTN_TRIGGER_HAPPY16
        {1, kGamePad, kNone, 0x130},     // BTN_SOUTH
        {16, kGamePad, kNone, 0x13F},    //
        {17, kGamePad, kNone, 0x2C0},    // past 16 a game pad also goes on from BTN_TRIGGER_HAPPY
        {80, kJoystick, kNone, 0x2FF},   // KEY_MAX
        {81, kJoystick, kNone, {}},      // past KEY_MAX: not mapped
        {0, kJoystick, kNone, {}},       // usage 0 wraps to 0xffff
        {17, kMouse, kNone, 0x120},      // a mouse counts on from BTN_MOUSE without a break
        {17, kNone, kJoystick, 0x130},   // by the physical collection: no break at 16 either
        {2, kNone, kGamePad, 0x131},     //
        {1, kNone, kNone, 0x100},        // BTN_MISC
        {1, {0x0C, 0x01}, kNone, 0x100}, // a consumer-control application, no physical
    };
    for (const KernelRule& rule : rules)
        EXPECT_EQ(hid::evdevButtonCode(rule.button, rule.application, rule.physical), rule.code)
            << "button " << rule.button << " in application " << rule.application.id
            << ", physical " << rule.physical.id;
    EXPECT_EQ(hid::evdevCodeName(0x120), "BTN_TRIGGER");
    EXPECT_EQ(hid::evdevCodeName(0x2CF), "BTN_TRIGGER_HAPPY16");
}

// A game pad whose descriptor gives its 32 one-bit buttons the usages 5 to 36: each input is the
// usage of its own bit, Windows counts them from 1, and the kernel's rule follows the game pad.
TEST(InputBindings, EachInputIsTheUsageOfItsBitInTheReport) {
    hid::sim::SimulatedPlatform sim;
    hid::sim::InterfaceSpec spec;
    spec.reportDescriptor = {0x05, 0x01, 0x09, 0x05, 0xA1, 0x01, 0x05, 0x09, 0x19, 0x05, 0x29, 0x24,
                             0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x20, 0x81, 0x02, 0xC0};
    const hid::sim::DeviceId board = sim.add(spec);
    const hid::Handle handle = sim.CreateFileA(
        sim.pathOf(board), hid::GENERIC_READ | hid::GENERIC_WRITE,
        hid::FILE_SHARE_READ | hid::FILE_SHARE_WRITE, nullptr, hid::OPEN_EXISTING, 0);
    const hid::InputBindings bindings = hid::readInputBindings(sim, handle, 5);
    sim.CloseHandle(handle);

    ASSERT_TRUE(bindings.read);
    EXPECT_TRUE(bindings.descriptorRead);
    ASSERT_EQ(bindings.inputs.size(), 32u);
    EXPECT_EQ(bindings.inputs[0].button, 5);
    EXPECT_EQ(bindings.inputs[0].windowsNumber, 1);
    EXPECT_EQ(bindings.inputs[0].evdevCode, 0x134); // button 5 of a game pad: BTN_WEST
    EXPECT_EQ(bindings.inputs[12].evdevCode, 0x2C0) << "B13 is button 17";
    EXPECT_EQ(bindings.inputs[31].button, 36);
    EXPECT_EQ(bindings.inputs[31].windowsNumber, 32);
    EXPECT_EQ(sim.openPreparsedData(), 0);
}

} // namespace
