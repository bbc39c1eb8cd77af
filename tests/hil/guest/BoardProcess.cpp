#include "BoardProcess.h"

#include "ControlChannel.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace hil {

namespace {

constexpr int kReadyTimeoutMs = 10000;
constexpr int kAnswerTimeoutMs = 5000;
constexpr int kExitTimeoutMs = 5000;

std::string hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string writeMemoryFile(const BoardSpec& spec) {
    static int made = 0;
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("tessary-hil-" + spec.serial + "-" + std::to_string(++made) + ".mem");
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(spec.memory.data()),
               static_cast<std::streamsize>(spec.memory.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
    return path;
}

std::vector<std::string> emulatorArguments(const std::string& emulatorPath, const BoardSpec& spec,
                                           const std::string& memoryFile, int controlFd) {
    const std::pair<const char*, std::string> options[] = {
        {"--serial", spec.serial},
        {"--name", spec.name},
        {"--vendor", hex(spec.vendor)},
        {"--product", hex(spec.product)},
        {"--version", hex(spec.version)},
        {"--selftest", std::to_string(spec.selfTestResult)},
        {"--buttons", hex(spec.buttons)},
        {"--memory-init", memoryFile},
        {"--control-fd", std::to_string(controlFd)},
    };
    std::vector<std::string> arguments{emulatorPath};
    for (const auto& [flag, value] : options) {
        arguments.push_back(flag);
        arguments.push_back(value);
    }
    return arguments;
}

pid_t spawn(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (error != 0)
        throw std::runtime_error("cannot start " + arguments[0] + ": " + std::strerror(error));
    return pid;
}

} // namespace

BoardProcess::BoardProcess(const std::string& emulatorPath, const BoardSpec& spec) : spec_(spec) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        throw std::runtime_error(std::string("socketpair: ") + std::strerror(errno));
    control_ = ends[0];
    // Only the emulator's end crosses into the emulator, and only into this one.
    ::fcntl(ends[1], F_SETFD, 0);
    try {
        pid_ = spawn(emulatorArguments(emulatorPath, spec, writeMemoryFile(spec), ends[1]));
    } catch (...) {
        ::close(ends[1]);
        ::close(control_);
        throw;
    }
    ::close(ends[1]);

    const std::string first = receive(kReadyTimeoutMs);
    if (!first.starts_with(control::kReady)) {
        stop();
        throw std::runtime_error("board " + spec.serial + " did not come up: " + first);
    }
    node_ = first.substr(control::kReady.size());
}

BoardProcess::~BoardProcess() {
    stop();
}

void BoardProcess::stop() {
    if (control_ >= 0)
        ::close(control_); // the emulator unplugs and exits when its channel closes
    control_ = -1;
    waitForExit();
}

// True when the emulator exits in time; otherwise it is killed.
bool BoardProcess::waitForExit() {
    if (pid_ <= 0)
        return true;
    int status = 0;
    for (int waited = 0; waited < kExitTimeoutMs; waited += 10) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            exitStatus_ = status;
            return true;
        }
        ::usleep(10000);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return false;
}

std::string BoardProcess::receive(int timeoutMs) {
    pollfd ready{control_, POLLIN, 0};
    if (::poll(&ready, 1, timeoutMs) <= 0)
        return "no answer within " + std::to_string(timeoutMs) + " ms";
    char packet[512];
    const ssize_t got = ::recv(control_, packet, sizeof packet, 0);
    if (got <= 0)
        return "channel closed";
    return {packet, static_cast<std::size_t>(got)};
}

std::string BoardProcess::request(const std::string& command) {
    if (::send(control_, command.data(), command.size(), MSG_NOSIGNAL) < 0)
        throw std::runtime_error("board " + spec_.serial + ": cannot send " + command);
    return receive(kAnswerTimeoutMs);
}

Memory BoardProcess::memory() {
    const std::string answer = request(std::string(control::kDump));
    Memory memory{};
    if (answer.size() != memory.size())
        throw std::runtime_error("board " + spec_.serial + ": bad memory dump: " + answer);
    std::memcpy(memory.data(), answer.data(), memory.size());
    return memory;
}

void BoardProcess::setSelfTestResult(std::uint8_t result) {
    const std::string answer = request(std::string(control::kSelfTest) + std::to_string(result));
    if (answer != control::kOk)
        throw std::runtime_error("board " + spec_.serial + ": selftest: " + answer);
}

void BoardProcess::setInput(bool streaming) {
    const std::string answer =
        request(std::string(streaming ? control::kInputOn : control::kInputOff));
    if (answer != control::kOk)
        throw std::runtime_error("board " + spec_.serial + ": input: " + answer);
}

bool BoardProcess::terminate() {
    if (pid_ > 0)
        ::kill(pid_, SIGTERM);
    const bool exited = waitForExit();
    ::close(control_);
    control_ = -1;
    return exited && WIFEXITED(exitStatus_) && WEXITSTATUS(exitStatus_) == 0;
}

void BoardProcess::unplug() {
    const std::string answer = request(std::string(control::kUnplug));
    if (answer != control::kOk)
        throw std::runtime_error("board " + spec_.serial + ": unplug: " + answer);
    const bool exited = waitForExit();
    ::close(control_);
    control_ = -1;
    if (!exited)
        throw std::runtime_error("board " + spec_.serial + " did not exit after the unplug");
}

} // namespace hil
