// Runs Windows programs under Wine in the guest: one Wine server for the whole run, started
// once, and each program with a time limit, its output and its exit code kept.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace hil {

class ChildProcess;

struct WineRun {
    int exitCode = -1; // -1 when it did not exit by itself
    bool timedOut = false;
    std::string out;
    std::string err;
    std::chrono::milliseconds took{0};
    std::vector<std::string> outLines() const;
};

class WineRunner {
public:
    // Starts a persistent Wine server and brings the prefix up (services, the HID bus);
    // throws std::runtime_error when that fails.
    WineRunner();
    ~WineRunner();
    WineRunner(const WineRunner&) = delete;
    WineRunner& operator=(const WineRunner&) = delete;

    std::chrono::milliseconds startTime() const { return startTime_; }

    // Called with all of the standard output so far, each time more arrives.
    using OutputWatch = std::function<void(const std::string& out)>;
    WineRun run(const std::string& program, const std::vector<std::string>& arguments,
                std::chrono::seconds limit, const OutputWatch& watch = {});
    // Starts a program that runs until it is told to stop: its run ends at its own exit
    // (ChildProcess::End::Exited).
    std::unique_ptr<ChildProcess> start(const std::string& program,
                                        const std::vector<std::string>& arguments);

private:
    std::chrono::milliseconds startTime_{0};
    pid_t desktop_ = -1;
};

} // namespace hil
