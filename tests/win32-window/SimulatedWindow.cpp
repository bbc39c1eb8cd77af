// The native window over one simulated board of version 1.3 with a few settings made, for
// photographing under Wine: scripts/screenshot --windows.
#include "SimulatedPlatform.h"
#include "Win32Window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    hid::sim::SimulatedPlatform platform;
    hid::sim::InterfaceSpec board;
    board.serial = u"T32-000417";
    const hid::sim::DeviceId id = platform.add(board);
    auto& memory = platform.firmware(id).memory;
    memory[0x20] = 0x02; // B1 B2: 1:1
    memory[0x24] = 0x08; // B5 B6: 1:4
    memory[0x3E] = 0x04; // B31 B32: 1:2
    memory[0x40] = 6;    // 48 ms
    memory[0x4E] = 0xFF; // Auto
    app::win32::Win32Window window(platform, instance);
    window.logic().Form_Load();
    return window.run();
}
