// tessary32: the command line over the real platform layer, or over the demo's simulated
// boards with --demo.
#include "Cli.h"
#include "DemoBoards.h"

#ifdef _WIN32
#include "Win32Platform.h"

#include <windows.h>
#else
#include "HidrawPlatform.h"

#include <csignal>
#endif

#include <atomic>
#include <iostream>

namespace {

std::atomic<bool> interrupted{false};

#ifdef _WIN32
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    interrupted = true;
    return TRUE;
}

void catchInterrupt() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}
#else
void onSignal(int) {
    interrupted = true;
}

void catchInterrupt() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait for an input report returns at once.
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
#endif

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    hid::Win32Platform platform;
#else
    // The command line says itself why a board cannot be opened, with the exit code.
    hid::HidrawPlatform platform;
#endif
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    hid::sim::SimulatedPlatform demo;
    const bool simulated = cli::asksForDemo(args);
    if (simulated) {
        demo.runInRealTime();
        hid::sim::addDemoBoards(demo);
    }
    cli::Environment environment;
    environment.catchInterrupt = catchInterrupt;
    environment.stopRequested = [] { return interrupted.load(); };
    environment.in = &std::cin;
    return cli::run(simulated ? static_cast<hid::ApiDeclarations&>(demo) : platform, args,
                    std::cout, std::cerr, environment);
}
