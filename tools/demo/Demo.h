// The demo: the utility's own window over simulated boards, beside the bench that works them.
// Shared by the demo program and its tests.
#pragma once

#include "Bench.h"
#include "SimulatedPlatform.h"
#include "frmMain.h"

#include <vector>

namespace demo {

struct Demo {
    // Three boards of versions 1.1, 1.2 and 1.3 on the bench, plugged in, each with its own
    // settings. Nothing is shown yet.
    Demo();
    // Loads the utility as its start-up does and shows the bench to the right of its window.
    void start();

    hid::sim::SimulatedPlatform platform;
    Bench bench{platform};
    frmMain window{platform};
    std::vector<hid::sim::DeviceId> startingBoards;
};

} // namespace demo
