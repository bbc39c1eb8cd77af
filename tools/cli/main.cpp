// tessary32: the command line over the real platform layer.
#include "Cli.h"

#ifdef _WIN32
#include "Win32Platform.h"
#else
#include "HidrawPlatform.h"
#endif

#include <iostream>

int main(int argc, char** argv) {
#ifdef _WIN32
    hid::Win32Platform platform;
#else
    hid::HidrawPlatform platform;
    // The command line says itself why a board cannot be opened, with the exit code.
    platform.setPermissionNoticeStream(nullptr);
#endif
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return cli::run(platform, args, std::cout, std::cerr);
}
