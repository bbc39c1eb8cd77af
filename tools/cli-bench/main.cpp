// tessary32 over one simulated board whose feature transfers each take a set time, so that
// scripts/bench can weigh a command against the transfers it cannot avoid.
//   tessary32-sim-bench MICROSECONDS_PER_TRANSFER [tessary32 arguments...]
#include "Cli.h"
#include "SimulatedPlatform.h"

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: tessary32-sim-bench MICROSECONDS_PER_TRANSFER [arguments...]\n";
        return 2;
    }
    const std::chrono::microseconds transfer(std::strtol(argv[1], nullptr, 10));
    hid::sim::SimulatedPlatform platform;
    platform.runInRealTime();
    platform.add({});
    platform.beforeCall = [&](hid::sim::Op op, hid::sim::DeviceId) {
        if (op == hid::sim::Op::HidD_SetFeature || op == hid::sim::Op::HidD_GetFeature)
            std::this_thread::sleep_for(transfer);
    };
    const std::vector<std::string> args(argv + 2, argv + argc);
    return cli::run(platform, args, std::cout, std::cerr);
}
