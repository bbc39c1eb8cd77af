#include "WineRunner.h"

#include "ChildProcess.h"

#include <csignal>
#include <fcntl.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace hil {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kWine = "/usr/lib/wine/wine64";
constexpr const char* kWineServer = "/usr/lib/wine/wineserver";
// Wine's first start under TCG takes minutes: it installs every HID device it finds.
constexpr auto kStartLimit = std::chrono::seconds(420);

int exitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

std::vector<std::string> WineRun::outLines() const {
    std::vector<std::string> lines;
    std::istringstream text(out);
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

WineRunner::WineRunner() {
    const Clock::time_point start = Clock::now();
    // Without -p the server quits after each program, and the next one starts Wine again.
    int status = 0;
    const pid_t server = spawn({kWineServer, "-p"}, STDERR_FILENO, STDERR_FILENO);
    ::waitpid(server, &status, 0);
    if (exitCodeOf(status) != 0)
        throw std::runtime_error("wineserver -p failed");
    // wineboot leaves the services it starts running, with its standard handles: a pipe here
    // would stay open for the whole run, so they go to a file.
    const int log = ::open("/tmp/wineboot.log", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const pid_t boot = spawn({kWine, "wineboot"}, log, log);
    ::close(log);
    while (::waitpid(boot, &status, WNOHANG) != boot) {
        if (Clock::now() - start > kStartLimit) {
            ::kill(boot, SIGKILL);
            ::waitpid(boot, &status, 0);
            throw std::runtime_error("wineboot did not finish in time");
        }
        ::usleep(100000);
    }
    if (exitCodeOf(status) != 0)
        throw std::runtime_error("wineboot failed");
    startTime_ = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    // The first program with a window starts the desktop process, which takes half a minute
    // under TCG: it starts now, alongside the programs without windows.
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    desktop_ = spawn({kWine, "explorer.exe", "/desktop"}, null, null);
    ::close(null);
}

WineRunner::~WineRunner() {
    int status = 0;
    int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t kill = spawn({kWineServer, "-k"}, null, null);
    ::waitpid(kill, &status, 0);
    ::close(null);
    ::kill(desktop_, SIGKILL);
    ::waitpid(desktop_, &status, 0);
}

// Services that a program starts may inherit its pipes and keep them open: the program's own
// exit ends the run, after a last read of what it wrote.
WineRun WineRunner::run(const std::string& program, const std::vector<std::string>& arguments,
                        std::chrono::seconds limit, const OutputWatch& watch) {
    const std::unique_ptr<ChildProcess> child = start(program, arguments);
    WineRun result;
    result.exitCode = child->finish(Clock::now() + limit, ChildProcess::End::Exited, watch);
    result.timedOut = child->timedOut();
    result.out = child->out();
    result.err = child->err();
    result.took = std::chrono::duration_cast<std::chrono::milliseconds>(child->elapsed());
    return result;
}

std::unique_ptr<ChildProcess> WineRunner::start(const std::string& program,
                                                const std::vector<std::string>& arguments) {
    std::vector<std::string> command{kWine, program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return std::make_unique<ChildProcess>(command);
}

} // namespace hil
