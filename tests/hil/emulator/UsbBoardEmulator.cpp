// A board of the family as a real USB device on dummy_hcd (FunctionFsGadget.h): the host's
// usbhid driver enumerates it, asks for its report descriptor, sets its idle rate and sends
// the configuration protocol as GET_REPORT and SET_REPORT control requests, which the same
// firmware model as the uhid board answers.
//
//   tessary-hil-usb-board [--serial TEXT] [--name TEXT] [--manufacturer TEXT] [--vendor N]
//                         [--product N] [--version N] [--selftest N] [--memory-init FILE]
//                         [--buttons N] [--mode streaming|on-change] [--input-period MS]
//                         [--no-input] [--lifetime MS] [--control-fd FD]
//
// "streaming" sends an input report every --input-period ms while the host polls; "on change"
// sends one when the buttons change, and otherwise only when the host's idle rate runs out,
// which after SET_IDLE(0) is never. The board is unplugged on SIGTERM, SIGINT or SIGHUP, after
// --lifetime, or on the "unplug" command of the control channel (ControlChannel.h), or after
// the next write once told "unplug after write".
#include "BoardOptions.h"
#include "BoardReportDescriptor.h"
#include "ControlChannel.h"
#include "FunctionFsGadget.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdexcept>
#include <string>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace hil {
namespace {

using Clock = std::chrono::steady_clock;

namespace request {
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kGetReport = 0x01;
constexpr std::uint8_t kGetIdle = 0x02;
constexpr std::uint8_t kGetProtocol = 0x03;
constexpr std::uint8_t kSetReport = 0x09;
constexpr std::uint8_t kSetIdle = 0x0A;
constexpr std::uint8_t kSetProtocol = 0x0B;
} // namespace request

constexpr std::uint8_t kStandardInterfaceIn = 0x81;
constexpr std::uint8_t kClassInterfaceIn = 0xA1;
constexpr std::uint8_t kClassInterfaceOut = 0x21;
constexpr std::uint8_t kInputReportType = 1;
constexpr std::uint8_t kFeatureReportType = 3;
// Until the host sets one: the idle rate HID recommends for keyboards.
constexpr int kDefaultIdleMs = 500;
constexpr auto kGoneTimeout = std::chrono::seconds(5);
constexpr int kReadyPollMs = 5;

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    char digits[4];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

std::string setupText(const usb_ctrlrequest& setup) {
    char text[40];
    std::snprintf(text, sizeof text, "%02X %02X %04X %04X %04X", setup.bRequestType, setup.bRequest,
                  setup.wValue, setup.wIndex, setup.wLength);
    return text;
}

void onInterrupt(int) {}

class UsbEmulator {
public:
    explicit UsbEmulator(Options options);
    ~UsbEmulator();
    int run();

private:
    void onEvent(const usb_functionfs_event& event);
    void onSetup(const usb_ctrlrequest& setup);
    std::optional<std::vector<std::uint8_t>> inAnswer(const usb_ctrlrequest& setup);
    bool onOutRequest(const usb_ctrlrequest& setup, std::string& line);
    void checkReady();
    void onControl();
    std::string execute(std::string_view command);
    void unplug();
    void send(std::string_view message);

    // The input thread: ep1 writes block until the host polls.
    void inputLoop();
    std::optional<Clock::time_point> nextInputDue() const;
    void stopInput();

    Options options_;
    hid::sim::SimulatedFirmware firmware_;
    std::optional<FunctionFsGadget> gadget_;
    int signalFd_ = -1;
    std::string node_;
    bool ready_ = false;
    bool quit_ = false;
    bool unplugAfterWrite_ = false;
    std::vector<std::string> wire_;

    mutable std::mutex mutex_; // guards what the input thread shares, below
    std::condition_variable inputChanged_;
    std::uint32_t buttons_ = 0;
    bool inputOn_ = true;
    InputMode mode_ = InputMode::Streaming;
    int idleMs_ = kDefaultIdleMs;
    bool changePending_ = false;
    bool configured_ = false;
    Clock::time_point lastInput_ = Clock::now();
    bool stopping_ = false;
    unsigned inputsTaken_ = 0;
    std::atomic<bool> inputDone_ = false;
    std::thread input_;
};

UsbEmulator::UsbEmulator(Options options) : options_(std::move(options)) {
    firmware_.selfTestResult = options_.selfTestResult;
    if (!options_.memoryInit.empty())
        loadMemory(options_.memoryInit, firmware_);
    buttons_ = options_.buttons;
    unplugAfterWrite_ = options_.unplugAfterWrite;
    inputOn_ = options_.input;
    mode_ = options_.mode;

    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&signals, signal);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    signalFd_ = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd_ < 0)
        throw std::system_error(errno, std::generic_category(), "signalfd");
    // SIGUSR1 wakes the input thread from an ep1 write the host never takes.
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    ::sigaction(SIGUSR1, &action, nullptr);

    options_.identity.bus = 0x0003;
    gadget_.emplace(options_.identity, hid::sim::kBoardReportDescriptor);
    input_ = std::thread([this] { inputLoop(); });
}

UsbEmulator::~UsbEmulator() {
    stopInput();
    gadget_.reset();
    ::close(signalFd_);
}

void UsbEmulator::send(std::string_view message) {
    if (options_.controlFd >= 0)
        ::send(options_.controlFd, message.data(), message.size(), MSG_NOSIGNAL);
}

int UsbEmulator::run() {
    const auto end = options_.lifetimeMs > 0
                         ? Clock::now() + std::chrono::milliseconds(options_.lifetimeMs)
                         : Clock::time_point::max();
    gadget_->plug();
    while (!quit_) {
        std::vector<pollfd> fds{{gadget_->ep0(), POLLIN, 0}, {signalFd_, POLLIN, 0}};
        if (options_.controlFd >= 0)
            fds.push_back({options_.controlFd, POLLIN, 0});
        const int timeoutMs = !ready_ || end != Clock::time_point::max() ? kReadyPollMs : -1;
        if (::poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "poll");
        if (Clock::now() >= end)
            quit_ = true;
        // A board told to pull itself out goes before it takes another request.
        if (fds[0].revents & POLLIN)
            while (!quit_) {
                const std::optional<usb_functionfs_event> event = gadget_->readEvent();
                if (!event)
                    break;
                onEvent(*event);
            }
        if (!ready_)
            checkReady();
        if (fds[1].revents & POLLIN)
            quit_ = true;
        if (fds.size() > 2 && fds[2].revents & (POLLIN | POLLHUP))
            onControl();
    }
    unplug();
    return 0;
}

void UsbEmulator::checkReady() {
    const std::optional<std::string> node = findHidrawNode(options_.identity);
    if (!node)
        return;
    ready_ = true;
    node_ = *node;
    send(std::string(control::kReady) + node_);
    if (options_.controlFd < 0)
        std::fprintf(stderr, "board %s ready on /dev/%s via %s\n", options_.identity.uniq.c_str(),
                     node_.c_str(), gadget_->udc().c_str());
}

// The idle clock starts when the host configures the board.
void UsbEmulator::onEvent(const usb_functionfs_event& event) {
    if (event.type == FUNCTIONFS_SETUP) {
        onSetup(event.u.setup);
        return;
    }
    if (event.type != FUNCTIONFS_ENABLE && event.type != FUNCTIONFS_DISABLE)
        return;
    {
        std::lock_guard lock(mutex_);
        configured_ = event.type == FUNCTIONFS_ENABLE;
        lastInput_ = Clock::now();
    }
    inputChanged_.notify_all();
}

void UsbEmulator::onSetup(const usb_ctrlrequest& setup) {
    std::string line = setupText(setup);
    if (setup.bRequestType & USB_DIR_IN) {
        const std::optional<std::vector<std::uint8_t>> data = inAnswer(setup);
        if (!data) {
            gadget_->stall(setup);
            line += " stall";
        } else if (!gadget_->answer(setup, *data)) {
            line += " unanswered";
        }
    } else if (!onOutRequest(setup, line)) {
        gadget_->stall(setup);
        line += " stall";
    }
    wire_.push_back(line);
}

std::optional<std::vector<std::uint8_t>> UsbEmulator::inAnswer(const usb_ctrlrequest& setup) {
    const std::uint8_t type = static_cast<std::uint8_t>(setup.wValue >> 8);
    const std::uint8_t id = static_cast<std::uint8_t>(setup.wValue);
    if (setup.bRequestType == kStandardInterfaceIn && setup.bRequest == request::kGetDescriptor &&
        type == 0x22)
        return std::vector<std::uint8_t>(hid::sim::kBoardReportDescriptor.begin(),
                                         hid::sim::kBoardReportDescriptor.end());
    if (setup.bRequestType != kClassInterfaceIn)
        return std::nullopt;
    std::lock_guard lock(mutex_);
    switch (setup.bRequest) {
    case request::kGetReport:
        if (type == kFeatureReportType && id == 0) {
            const FeatureReport answer = nextAnswer(firmware_);
            return std::vector<std::uint8_t>(answer.begin() + 1, answer.end());
        }
        if (type == kInputReportType && id == 0) {
            const auto report = inputReport(buttons_);
            return std::vector<std::uint8_t>(report.begin(), report.end());
        }
        return std::nullopt;
    case request::kGetIdle:
        return std::vector<std::uint8_t>{static_cast<std::uint8_t>(idleMs_ / 4)};
    case request::kGetProtocol:
        return std::vector<std::uint8_t>{1}; // report protocol
    default:
        return std::nullopt;
    }
}

// False when the request is to be refused.
bool UsbEmulator::onOutRequest(const usb_ctrlrequest& setup, std::string& line) {
    if (setup.bRequestType != kClassInterfaceOut)
        return false;
    switch (setup.bRequest) {
    case request::kSetReport: {
        if (setup.wValue != (kFeatureReportType << 8))
            return false;
        const std::optional<std::vector<std::uint8_t>> data = gadget_->receive(setup);
        if (!data)
            return true; // the host gave up; nothing arrived
        line += " " + hexBytes(*data);
        std::vector<std::uint8_t> report{0}; // the firmware model sees the report-ID byte
        report.insert(report.end(), data->begin(), data->end());
        std::lock_guard lock(mutex_);
        firmware_.receive(report.data(), report.size());
        // A write of a setting; the read-back request before it is left to go through.
        quit_ = quit_ || (unplugAfterWrite_ && report.size() > 1 && report[1] == 0xEE);
        return true;
    }
    case request::kSetIdle: {
        {
            std::lock_guard lock(mutex_);
            idleMs_ = 4 * (setup.wValue >> 8);
        }
        inputChanged_.notify_all();
        gadget_->receive(setup); // the status stage
        return true;
    }
    case request::kSetProtocol:
        gadget_->receive(setup);
        return true;
    default:
        return false;
    }
}

void UsbEmulator::inputLoop() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!changePending_ || !configured_) {
            const std::optional<Clock::time_point> due = nextInputDue();
            if (!due) {
                inputChanged_.wait(lock);
                continue;
            }
            if (Clock::now() < *due) {
                inputChanged_.wait_until(lock, *due);
                continue;
            }
        }
        changePending_ = false;
        const std::array<std::uint8_t, 4> report = inputReport(buttons_);
        lock.unlock();
        const bool taken = gadget_->sendInput(report);
        lock.lock();
        lastInput_ = Clock::now();
        if (taken)
            ++inputsTaken_;
    }
    inputDone_ = true;
}

std::optional<Clock::time_point> UsbEmulator::nextInputDue() const {
    if (!inputOn_ || !configured_)
        return std::nullopt;
    if (mode_ == InputMode::Streaming)
        return lastInput_ + std::chrono::milliseconds(options_.inputPeriodMs);
    if (idleMs_ > 0)
        return lastInput_ + std::chrono::milliseconds(idleMs_);
    return std::nullopt;
}

void UsbEmulator::stopInput() {
    if (!input_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    inputChanged_.notify_all();
    while (!inputDone_) {
        ::pthread_kill(input_.native_handle(), SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    input_.join();
}

// Unbinds the gadget and waits until the kernel has removed the hidraw node, as after a real
// unplug the host has forgotten the board before anything else happens.
void UsbEmulator::unplug() {
    stopInput();
    gadget_->unplug();
    if (node_.empty())
        return;
    const auto giveUp = Clock::now() + kGoneTimeout;
    while (std::filesystem::exists("/sys/class/hidraw/" + node_) && Clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(kReadyPollMs));
}

void UsbEmulator::onControl() {
    std::array<char, 256> packet{};
    const ssize_t got = ::recv(options_.controlFd, packet.data(), packet.size(), 0);
    if (got <= 0) { // the driving program has gone: unplug
        quit_ = true;
        return;
    }
    const std::string_view command(packet.data(), static_cast<std::size_t>(got));
    if (command == control::kDump) {
        std::lock_guard lock(mutex_);
        send({reinterpret_cast<const char*>(firmware_.memory.data()), firmware_.memory.size()});
        return;
    }
    send(execute(command));
}

std::string UsbEmulator::execute(std::string_view command) {
    if (command == control::kWire) {
        std::string text = std::string(control::kOk) + "\n";
        for (const std::string& line : wire_)
            text += line + "\n";
        wire_.clear();
        return text;
    }
    if (command == control::kUnplug) {
        unplug();
        quit_ = true;
        return std::string(control::kOk);
    }
    if (command == control::kUnplugAfterWrite) {
        unplugAfterWrite_ = true;
        return std::string(control::kOk);
    }
    std::unique_lock lock(mutex_);
    try {
        if (command == control::kInputs)
            return std::to_string(inputsTaken_);
        if (command.starts_with(control::kSelfTest)) {
            const std::string value(command.substr(control::kSelfTest.size()));
            firmware_.selfTestResult = static_cast<std::uint8_t>(number(value, 0xFF));
        } else if (command.starts_with(control::kButtons)) {
            const std::string value(command.substr(control::kButtons.size()));
            buttons_ = static_cast<std::uint32_t>(number(value, 0xFFFFFFFF));
            changePending_ = mode_ == InputMode::OnChange && inputOn_;
        } else if (command == std::string(control::kMode) + "streaming") {
            mode_ = InputMode::Streaming;
        } else if (command == std::string(control::kMode) + "on-change") {
            mode_ = InputMode::OnChange;
        } else if (command == control::kInputOff) {
            inputOn_ = false;
        } else if (command == control::kInputOn) {
            inputOn_ = true;
        } else {
            return "error unknown command";
        }
    } catch (const std::logic_error&) {
        return "error bad number";
    }
    lock.unlock();
    inputChanged_.notify_all();
    return std::string(control::kOk);
}

} // namespace
} // namespace hil

int main(int argc, char** argv) {
    int controlFd = -1;
    try {
        hil::Options options = hil::parseOptions(argc, argv);
        controlFd = options.controlFd;
        hil::UsbEmulator emulator(std::move(options));
        return emulator.run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tessary-hil-usb-board: %s\n", error.what());
        if (controlFd >= 0) {
            const std::string message = std::string(hil::control::kError) + error.what();
            ::send(controlFd, message.data(), message.size(), MSG_NOSIGNAL);
        }
        return 1;
    }
}
