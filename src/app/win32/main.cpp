// tessary32-config for Windows: the native window over the Windows HID API.
#include "Win32Platform.h"
#include "Win32Window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    hid::Win32Platform platform;
    app::win32::Win32Window window(platform, instance);
    window.logic().Form_Load();
    return window.run();
}
