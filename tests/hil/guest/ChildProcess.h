// A program run as a child process of a guest test: its standard input /dev/null, its standard
// output and error captured, and a time limit on everything that waits for it. A child still
// running when its ChildProcess goes is killed.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace hil {

// Starts command (command[0] is the program's path) with standard input /dev/null and standard
// output and error on out and err; throws std::runtime_error when it cannot be started.
pid_t spawn(const std::vector<std::string>& command, int out, int err);

class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;
    // How a run ends: when both its streams have ended and it has exited, or as soon as it has
    // exited, for a program whose own children may keep its streams open (Wine's services).
    enum class End { StreamsClosed, Exited };
    // Called with all of the standard output so far, each time more arrives.
    using OutputWatch = std::function<void(const std::string& out)>;

    // command[0] is the program's path; throws std::runtime_error when it cannot be started.
    explicit ChildProcess(const std::vector<std::string>& command);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads its output until stream (1 or 2) holds text; false when giveUp comes first or the
    // stream ends without it.
    bool waitFor(int stream, const std::string& text, Clock::time_point giveUp);
    // Reads to the end and reaps it; killed when giveUp comes first. The exit code, or -1 when
    // it overran or died of a signal.
    int finish(Clock::time_point giveUp, End end = End::StreamsClosed,
               const OutputWatch& watch = {});
    void signal(int number) const;
    // Nanoseconds it has spent on a processor so far.
    std::uint64_t cpuNs() const;

    const std::string& out() const { return texts_[0]; }
    const std::string& err() const { return texts_[1]; }
    bool timedOut() const { return timedOut_; }
    // From its start to the end of finish().
    std::chrono::duration<double, std::milli> elapsed() const { return elapsed_; }

private:
    // Waits at most until `until` for output and takes what is there; false once both streams
    // have ended.
    bool readSome(Clock::time_point until);
    void takeWhatIsThere(int stream);
    bool reaped(int& status);

    pid_t pid_ = -1;
    std::array<int, 2> fds_{-1, -1};
    std::array<std::string, 2> texts_;
    Clock::time_point started_;
    std::chrono::duration<double, std::milli> elapsed_{0};
    bool timedOut_ = false;
};

} // namespace hil
