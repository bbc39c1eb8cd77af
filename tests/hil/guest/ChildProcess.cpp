#include "ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace hil {

namespace {

// The longest a wait for output lasts before the child's exit is looked at again.
constexpr auto kLookAtExit = std::chrono::milliseconds(20);

} // namespace

pid_t spawn(const std::vector<std::string>& command, int out, int err) {
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + command[0] + ": " + std::strerror(error));
    return pid;
}

ChildProcess::ChildProcess(const std::vector<std::string>& command) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    // Only our ends are non-blocking: the child writes to its own as to any pipe.
    fds_ = {out[0], err[0]};
    for (const int fd : fds_)
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    started_ = Clock::now();
    try {
        pid_ = spawn(command, out[1], err[1]);
    } catch (...) {
        for (const int fd : {out[0], out[1], err[0], err[1]})
            ::close(fd);
        throw;
    }
    ::close(out[1]);
    ::close(err[1]);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (const int fd : fds_)
        if (fd >= 0)
            ::close(fd);
}

bool ChildProcess::waitFor(int stream, const std::string& text, Clock::time_point giveUp) {
    const auto found = [&] { return texts_[stream - 1].find(text) != std::string::npos; };
    while (!found())
        if (Clock::now() >= giveUp || !readSome(giveUp))
            return found();
    return true;
}

int ChildProcess::finish(Clock::time_point giveUp, End end, const OutputWatch& watch) {
    if (pid_ <= 0)
        return -1; // finished before: a pid of -1 would name every process
    int status = 0;
    for (;;) {
        const std::size_t before = out().size();
        const bool streamsOpen = readSome(std::min(giveUp, Clock::now() + kLookAtExit));
        if (watch && out().size() != before)
            watch(out());
        if ((end == End::Exited || !streamsOpen) && reaped(status))
            break;
        if (Clock::now() > giveUp) {
            timedOut_ = true;
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        if (!streamsOpen)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    pid_ = -1;
    for (int stream = 0; stream < 2; ++stream)
        takeWhatIsThere(stream);
    elapsed_ = Clock::now() - started_;
    return !timedOut_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ChildProcess::reaped(int& status) {
    return ::waitpid(pid_, &status, WNOHANG) == pid_;
}

void ChildProcess::signal(int number) const {
    if (pid_ > 0)
        ::kill(pid_, number);
}

std::uint64_t ChildProcess::cpuNs() const {
    std::ifstream schedstat("/proc/" + std::to_string(pid_) + "/schedstat");
    std::uint64_t ns = 0;
    schedstat >> ns;
    return ns;
}

bool ChildProcess::readSome(Clock::time_point until) {
    if (fds_[0] < 0 && fds_[1] < 0)
        return false;
    std::array<pollfd, 2> watched{};
    for (int stream = 0; stream < 2; ++stream)
        watched[stream] = {fds_[stream], POLLIN, 0};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (::poll(watched.data(), watched.size(), static_cast<int>(std::max<long long>(left, 0))) > 0)
        for (int stream = 0; stream < 2; ++stream)
            if (watched[stream].revents != 0)
                takeWhatIsThere(stream);
    return fds_[0] >= 0 || fds_[1] >= 0;
}

// Reads until the pipe is empty; closes it once the child's end is closed.
void ChildProcess::takeWhatIsThere(int stream) {
    std::array<char, 4096> chunk;
    while (fds_[stream] >= 0) {
        const ssize_t got = ::read(fds_[stream], chunk.data(), chunk.size());
        if (got > 0) {
            texts_[stream].append(chunk.data(), static_cast<std::size_t>(got));
        } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
            ::close(fds_[stream]);
            fds_[stream] = -1;
        } else if (errno == EAGAIN) {
            return;
        }
    }
}

} // namespace hil
