#include "BoardOptions.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace hil {

namespace {

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), {}};
}

InputMode inputMode(const std::string& text) {
    if (text == "streaming")
        return InputMode::Streaming;
    if (text == "on-change")
        return InputMode::OnChange;
    throw std::invalid_argument("unknown input mode " + text);
}

} // namespace

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
        if (flag == "--unplug-after-write") {
            options.unplugAfterWrite = true;
            continue;
        }
        if (i + 1 >= argc)
            throw std::invalid_argument("missing value after " + flag);
        const std::string value = argv[++i];
        if (flag == "--serial")
            id.uniq = value;
        else if (flag == "--name")
            id.name = value;
        else if (flag == "--manufacturer")
            id.manufacturer = value;
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
        else if (flag == "--mode")
            options.mode = inputMode(value);
        else if (flag == "--lifetime")
            options.lifetimeMs = static_cast<int>(number(value, 86400000));
        else if (flag == "--control-fd")
            options.controlFd = static_cast<int>(number(value, 1024));
        else
            throw std::invalid_argument("unknown option " + flag);
    }
    return options;
}

void loadMemory(const std::string& path, hid::sim::SimulatedFirmware& firmware) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
    if (bytes.size() != firmware.memory.size())
        throw std::runtime_error("--memory-init wants a file of exactly 256 bytes: " + path);
    std::copy(bytes.begin(), bytes.end(), firmware.memory.begin());
}

std::array<std::uint8_t, 4> inputReport(std::uint32_t buttons) {
    std::array<std::uint8_t, 4> report{};
    for (std::size_t i = 0; i < report.size(); ++i)
        report[i] = static_cast<std::uint8_t>(buttons >> (8 * i));
    return report;
}

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

FeatureReport nextAnswer(hid::sim::SimulatedFirmware& firmware) {
    FeatureReport answer{};
    firmware.answer(answer.data(), answer.size());
    return answer;
}

} // namespace hil
