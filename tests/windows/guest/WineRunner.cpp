#include "WineRunner.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace hil {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kWine = "/usr/lib/wine/wine64";
constexpr const char* kWineServer = "/usr/lib/wine/wineserver";
// Wine's first start under TCG takes minutes: it installs every HID device it finds.
constexpr auto kStartLimit = std::chrono::seconds(420);

pid_t spawn(const std::vector<std::string>& arguments, int out, int err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + arguments[0] + ": " + std::strerror(error));
    return pid;
}

// Reads what is there; false once the writer has closed its end.
bool drain(int fd, std::string& into) {
    std::array<char, 4096> chunk;
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got > 0) {
            into.append(chunk.data(), static_cast<std::size_t>(got));
            continue;
        }
        return got < 0 && (errno == EAGAIN || errno == EINTR);
    }
}

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

WineRun WineRunner::run(const std::string& program, const std::vector<std::string>& arguments,
                        std::chrono::seconds limit, const OutputWatch& watch) {
    std::vector<std::string> command{kWine, program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    // Only our ends are non-blocking: Wine's programs write to theirs as to any pipe.
    ::fcntl(out[0], F_SETFL, O_NONBLOCK);
    ::fcntl(err[0], F_SETFL, O_NONBLOCK);
    const Clock::time_point start = Clock::now();
    const pid_t pid = spawn(command, out[1], err[1]);
    ::close(out[1]);
    ::close(err[1]);

    WineRun result;
    bool outOpen = true, errOpen = true;
    int status = 0;
    // Services that a program starts may inherit the pipes and keep them open: the program's
    // own exit ends the run, after a last read of what it wrote.
    for (bool exited = false; !exited;) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            result.exitCode = exitCodeOf(status);
        } else if (Clock::now() - start > limit) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            exited = true;
        } else {
            pollfd fds[2] = {{outOpen ? out[0] : -1, POLLIN, 0},
                             {errOpen ? err[0] : -1, POLLIN, 0}};
            ::poll(fds, 2, 20);
        }
        const std::size_t before = result.out.size();
        if (outOpen)
            outOpen = drain(out[0], result.out);
        if (errOpen)
            errOpen = drain(err[0], result.err);
        if (watch && result.out.size() != before)
            watch(result.out);
    }
    ::close(out[0]);
    ::close(err[0]);
    result.took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return result;
}

} // namespace hil
