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
#include "BoardFirmware.h"
#include "ControlChannel.h"
#include "UhidDevice.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
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

// Joystick: 32 one-bit buttons (a 4-byte input report), then 64 vendor-defined bytes as the
// feature report. No report IDs.
constexpr std::array<std::uint8_t, 39> kReportDescriptor{
    0x05, 0x01,       // Usage Page (Generic Desktop)
    0x09, 0x04,       // Usage (Joystick)
    0xA1, 0x01,       // Collection (Application)
    0x05, 0x09,       //   Usage Page (Button)
    0x19, 0x01,       //   Usage Minimum (1)
    0x29, 0x20,       //   Usage Maximum (32)
    0x15, 0x00,       //   Logical Minimum (0)
    0x25, 0x01,       //   Logical Maximum (1)
    0x75, 0x01,       //   Report Size (1)
    0x95, 0x20,       //   Report Count (32)
    0x81, 0x02,       //   Input (Data, Variable, Absolute)
    0x06, 0x00, 0xFF, //   Usage Page (Vendor Defined 0xFF00)
    0x09, 0x01,       //   Usage (1)
    0x26, 0xFF, 0x00, //   Logical Maximum (255)
    0x75, 0x08,       //   Report Size (8)
    0x95, 0x40,       //   Report Count (64)
    0xB1, 0x02,       //   Feature (Data, Variable, Absolute)
    0xC0,             // End Collection
};

constexpr int kTickMs = 2;

struct Options {
    DeviceIdentity identity{"Tessary-32", "HIL0001", BUS_USB, 0x1209, 0x0001, 0x0103};
    std::uint8_t selfTestResult = 0;
    std::string memoryInit;
    std::uint32_t buttons = 0x80000001;
    int inputPeriodMs = 5;
    bool input = true;
    int lifetimeMs = 0;
    int controlFd = -1;
};

unsigned long number(const std::string& text, unsigned long max) {
    std::size_t used = 0;
    const unsigned long value = std::stoul(text, &used, 0);
    if (used != text.size() || value > max)
        throw std::invalid_argument("bad number: " + text);
    return value;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    DeviceIdentity& id = options.identity;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--no-input") {
            options.input = false;
            continue;
        }
        if (i + 1 >= argc)
            throw std::invalid_argument("missing value after " + flag);
        const std::string value = argv[++i];
        if (flag == "--serial")
            id.uniq = value;
        else if (flag == "--name")
            id.name = value;
        else if (flag == "--vendor")
            id.vendor = static_cast<std::uint16_t>(number(value, 0xFFFF));
        else if (flag == "--product")
            id.product = static_cast<std::uint16_t>(number(value, 0xFFFF));
        else if (flag == "--version")
            id.version = static_cast<std::uint16_t>(number(value, 0xFFFF));
        else if (flag == "--selftest")
            options.selfTestResult = static_cast<std::uint8_t>(number(value, 0xFF));
        else if (flag == "--memory-init")
            options.memoryInit = value;
        else if (flag == "--buttons")
            options.buttons = static_cast<std::uint32_t>(number(value, 0xFFFFFFFF));
        else if (flag == "--input-period")
            options.inputPeriodMs = static_cast<int>(number(value, 10000));
        else if (flag == "--lifetime")
            options.lifetimeMs = static_cast<int>(number(value, 86400000));
        else if (flag == "--control-fd")
            options.controlFd = static_cast<int>(number(value, 1024));
        else
            throw std::invalid_argument("unknown option " + flag);
    }
    return options;
}

void loadMemory(const std::string& path, BoardFirmware& firmware) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
    if (bytes.size() != firmware.memory.size())
        throw std::runtime_error("--memory-init wants a file of exactly 256 bytes: " + path);
    std::copy(bytes.begin(), bytes.end(), firmware.memory.begin());
}

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), {}};
}

// The hidraw node the kernel made for our device, found by its identity in sysfs.
std::optional<std::string> findHidrawNode(const DeviceIdentity& identity) {
    char hidId[64];
    std::snprintf(hidId, sizeof hidId, "HID_ID=%04X:%08X:%08X\n", identity.bus, identity.vendor,
                  identity.product);
    const std::string uniq = "HID_UNIQ=" + identity.uniq + "\n";
    DIR* dir = ::opendir("/sys/class/hidraw");
    if (dir == nullptr)
        return std::nullopt;
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind("hidraw", 0) != 0)
            continue;
        const std::string uevent = readFile("/sys/class/hidraw/" + name + "/device/uevent");
        if (uevent.find(hidId) != std::string::npos && uevent.find(uniq) != std::string::npos &&
            ::access(("/dev/" + name).c_str(), F_OK) == 0)
            found = name;
    }
    ::closedir(dir);
    return found;
}

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
    BoardFirmware firmware_;
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

    device_.emplace(options_.identity, kReportDescriptor);
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
        device_->replyGetReport(request.id, firmware_.nextAnswer());
        break;
    }
    case UHID_SET_REPORT: {
        const uhid_set_report_req& request = event.u.set_report;
        if (request.rtype != UHID_FEATURE_REPORT || request.rnum != 0) {
            device_->replySetReport(request.id, EIO);
            break;
        }
        firmware_.receive({request.data, request.size});
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
    std::array<std::uint8_t, 4> report{};
    for (std::size_t i = 0; i < report.size(); ++i)
        report[i] = static_cast<std::uint8_t>(options_.buttons >> (8 * i));
    device_->sendInput(report);
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
