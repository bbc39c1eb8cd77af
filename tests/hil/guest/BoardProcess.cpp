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
constexpr int kAnswerTimeoutMs = 8000; // a USB unplug waits for the host to let go
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
    std::vector<std::pair<const char*, std::string>> options{
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
    if (spec.usb) {
        options.emplace_back("--manufacturer", spec.manufacturer);
        options.emplace_back("--mode", spec.onChange ? "on-change" : "streaming");
    }
    std::vector<std::string> arguments{emulatorPath};
    for (const auto& [flag, value] : options) {
        arguments.push_back(flag);
        arguments.push_back(value);
    }
    if (spec.unplugAfterWrite)
        arguments.push_back("--unplug-after-write");
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

    const auto started = std::chrono::steady_clock::now();
    const std::string first = receive(kReadyTimeoutMs);
    plugTime_ = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
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
    std::vector<char> packet(64 * 1024);
    const ssize_t got = ::recv(control_, packet.data(), packet.size(), 0);
    if (got <= 0)
        return "channel closed";
    return {packet.data(), static_cast<std::size_t>(got)};
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

void BoardProcess::setButtons(std::uint32_t buttons) {
    const std::string answer = request(std::string(control::kButtons) + std::to_string(buttons));
    if (answer != control::kOk)
        throw std::runtime_error("board " + spec_.serial + ": buttons: " + answer);
}

void BoardProcess::setOnChange(bool onChange) {
    const std::string answer =
        request(std::string(control::kMode) + (onChange ? "on-change" : "streaming"));
    if (answer != control::kOk)
        throw std::runtime_error("board " + spec_.serial + ": mode: " + answer);
}

std::vector<std::string> BoardProcess::wire() {
    const std::string answer = request(std::string(control::kWire));
    std::vector<std::string> lines;
    std::size_t start = control::kOk.size() + 1;
    if (!answer.starts_with(std::string(control::kOk) + "\n"))
        throw std::runtime_error("board " + spec_.serial + ": wire: " + answer);
    for (std::size_t end; (end = answer.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(answer.substr(start, end - start));
    if (start != answer.size())
        throw std::runtime_error("board " + spec_.serial + ": wire: " + answer);
    return lines;
}

unsigned BoardProcess::inputsTaken() {
    const std::string answer = request(std::string(control::kInputs));
    try {
        return static_cast<unsigned>(std::stoul(answer));
    } catch (const std::logic_error&) {
        throw std::runtime_error("board " + spec_.serial + ": inputs: " + answer);
    }
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

void BoardProcess::unplugAfterWrite() {
    const std::string answer = request(std::string(control::kUnplugAfterWrite));
    if (answer != control::kOk)
        throw std::runtime_error("board " + spec_.serial + ": unplug after write: " + answer);
}

bool BoardProcess::goneByItself() {
    const bool exited = waitForExit();
    ::close(control_);
    control_ = -1;
    return exited && WIFEXITED(exitStatus_) && WEXITSTATUS(exitStatus_) == 0;
}

} // namespace hil
