// A board of the family made with /dev/uhid: the kernel sees a USB joystick with 32 buttons
// and a 64-byte vendor-defined feature report, which answers the configuration protocol like
// the board's firmware and streams input reports while its hidraw node is open.
//
//   tessary-hil-board [--serial TEXT] [--name TEXT] [--vendor N] [--product N] [--version N]
//                     [--selftest N] [--memory-init FILE] [--buttons N] [--input-period MS]
//                     [--no-input] [--lifetime MS] [--control-fd FD]
//
// The board is removed (UHID_DESTROY) on SIGTERM, SIGINT or SIGHUP, after --lifetime, or on the
// "unplug" command of the control channel (ControlChannel.h).
#include "BoardOptions.h"
#include "BoardReportDescriptor.h"
#include "ControlChannel.h"
#include "UhidDevice.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <linux/input.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <string>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace hil {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTickMs = 2;

class Emulator {
public:
    explicit Emulator(Options options);
    ~Emulator();
    int run();

private:
    void onUhidEvent(const uhid_event& event);
    void onControl();
    void onTick();
    void send(std::string_view message);
    void sendInput();
    std::string_view execute(std::string_view command);

    Options options_;
    hid::sim::SimulatedFirmware firmware_;
    std::optional<UhidDevice> device_;
    int timerFd_ = -1;
    int signalFd_ = -1;
    bool started_ = false;
    bool ready_ = false;
    bool open_ = false;
    bool quit_ = false;
    Clock::time_point born_ = Clock::now();
    Clock::time_point lastInput_ = Clock::now();
};

Emulator::Emulator(Options options) : options_(std::move(options)) {
    firmware_.selfTestResult = options_.selfTestResult;
    if (!options_.memoryInit.empty())
        loadMemory(options_.memoryInit, firmware_);

    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&signals, signal);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    signalFd_ = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);

    timerFd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    const itimerspec period{{0, kTickMs * 1000000L}, {0, kTickMs * 1000000L}};
    if (signalFd_ < 0 || timerFd_ < 0 || ::timerfd_settime(timerFd_, 0, &period, nullptr) != 0)
        throw std::system_error(errno, std::generic_category(), "timer or signal setup");

    device_.emplace(options_.identity, hid::sim::kBoardReportDescriptor);
}

Emulator::~Emulator() {
    device_.reset();
    ::close(timerFd_);
    ::close(signalFd_);
}

void Emulator::send(std::string_view message) {
    if (options_.controlFd >= 0)
        ::send(options_.controlFd, message.data(), message.size(), MSG_NOSIGNAL);
}

int Emulator::run() {
    while (!quit_) {
        std::vector<pollfd> fds{
            {device_->fd(), POLLIN, 0}, {timerFd_, POLLIN, 0}, {signalFd_, POLLIN, 0}};
        if (options_.controlFd >= 0)
            fds.push_back({options_.controlFd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "poll");
        if (fds[0].revents & POLLIN)
            while (const std::optional<uhid_event> event = device_->readEvent())
                onUhidEvent(*event);
        if (fds[1].revents & POLLIN)
            onTick();
        if (fds[2].revents & POLLIN)
            quit_ = true;
        if (fds.size() > 3 && fds[3].revents & (POLLIN | POLLHUP))
            onControl();
    }
    device_->destroy();
    return 0;
}

void Emulator::onUhidEvent(const uhid_event& event) {
    switch (event.type) {
    case UHID_START:
        started_ = true;
        break;
    case UHID_OPEN:
        open_ = true;
        break;
    case UHID_CLOSE:
        open_ = false;
        break;
    case UHID_GET_REPORT: {
        const uhid_get_report_req& request = event.u.get_report;
        if (request.rtype != UHID_FEATURE_REPORT || request.rnum != 0) {
            device_->failGetReport(request.id, EIO);
            break;
        }
        device_->replyGetReport(request.id, nextAnswer(firmware_));
        break;
    }
    case UHID_SET_REPORT: {
        const uhid_set_report_req& request = event.u.set_report;
        if (request.rtype != UHID_FEATURE_REPORT || request.rnum != 0) {
            device_->replySetReport(request.id, EIO);
            break;
        }
        firmware_.receive(request.data, request.size);
        device_->replySetReport(request.id, 0);
        break;
    }
    default:
        break;
    }
}

void Emulator::onTick() {
    std::uint64_t expirations = 0;
    if (::read(timerFd_, &expirations, sizeof expirations) < 0)
        return;
    const Clock::time_point now = Clock::now();
    if (started_ && !ready_) {
        if (const std::optional<std::string> node = findHidrawNode(options_.identity)) {
            ready_ = true;
            send(std::string(control::kReady) + *node);
            if (options_.controlFd < 0)
                std::fprintf(stderr, "board %s ready on /dev/%s\n", options_.identity.uniq.c_str(),
                             node->c_str());
        }
    }
    if (options_.lifetimeMs > 0 && now - born_ >= std::chrono::milliseconds(options_.lifetimeMs))
        quit_ = true;
    if (open_ && options_.input &&
        now - lastInput_ >= std::chrono::milliseconds(options_.inputPeriodMs)) {
        lastInput_ = now;
        sendInput();
    }
}

void Emulator::sendInput() {
    device_->sendInput(inputReport(options_.buttons));
}

void Emulator::onControl() {
    std::array<char, 256> packet{};
    const ssize_t got = ::recv(options_.controlFd, packet.data(), packet.size(), 0);
    if (got <= 0) { // the driving program has gone: unplug
        quit_ = true;
        return;
    }
    const std::string_view command(packet.data(), static_cast<std::size_t>(got));
    if (command == control::kDump) {
        send({reinterpret_cast<const char*>(firmware_.memory.data()), firmware_.memory.size()});
        return;
    }
    send(execute(command));
}

std::string_view Emulator::execute(std::string_view command) {
    if (command.starts_with(control::kSelfTest)) {
        try {
            const std::string value(command.substr(control::kSelfTest.size()));
            firmware_.selfTestResult = static_cast<std::uint8_t>(number(value, 0xFF));
        } catch (const std::logic_error&) {
            return "error bad self-test result";
        }
    } else if (command == control::kInputOff) {
        options_.input = false;
    } else if (command == control::kInputOn) {
        options_.input = true;
    } else if (command.starts_with(control::kButtons)) {
        try {
            options_.buttons = static_cast<std::uint32_t>(
                number(std::string(command.substr(control::kButtons.size())), 0xFFFFFFFF));
        } catch (const std::logic_error&) {
            return "error bad buttons";
        }
        if (open_)
            sendInput(); // one report for the change, streaming or not
    } else if (command == control::kUnplug) {
        device_->destroy();
        quit_ = true;
    } else {
        return "error unknown command";
    }
    return control::kOk;
}

} // namespace
} // namespace hil

int main(int argc, char** argv) {
    int controlFd = -1;
    try {
        hil::Options options = hil::parseOptions(argc, argv);
        controlFd = options.controlFd;
        hil::Emulator emulator(std::move(options));
        return emulator.run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tessary-hil-board: %s\n", error.what());
        if (controlFd >= 0) {
            const std::string message = std::string(hil::control::kError) + error.what();
            ::send(controlFd, message.data(), message.size(), MSG_NOSIGNAL);
        }
        return 1;
    }
}
