// The Windows device layer from inside Windows: drives Win32Platform and the board API through
// HID.DLL and SETUPAPI.dll, and prints what every call gave, one fact a line, for the scenario
// program on the Linux side to check against what the boards received.
//
//   tessary-wine-probe interfaces
//   tessary-wine-probe exchange SERIAL ADDRESS VALUE
//   tessary-wine-probe selftest SERIAL
//   tessary-wine-probe hold SERIAL
//   tessary-wine-probe search SERIAL TICKS
//
// Several commands may follow one another on one command line; each starts with its name.
// "hold" opens the board, starts the presence read, prints "open" and checks presence as the
// window's timer does until the board is gone. "search" makes the window's search of a tick
// (list the boards, look for SERIAL) TICKS times, 50 ms apart, and prints how often SetupAPI
// was walked and each device path that was opened.
#include "BoardSession.h"
#include "Win32Platform.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kHoldChecks = 20;
constexpr auto kHoldInterval = std::chrono::milliseconds(500); // the window's, while attached
constexpr auto kSearchInterval = std::chrono::milliseconds(50);

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void say(const char* format, auto... values) {
    std::printf(format, values...);
    std::printf("\n");
    std::fflush(stdout);
}

// Every present HID interface, as the walk sees it: whether it opens, and its identity.
void interfaces(hid::Win32Platform& api) {
    hid::Guid guid;
    api.HidD_GetHidGuid(guid);
    const hid::Handle set =
        api.SetupDiGetClassDevsA(guid, hid::DIGCF_PRESENT | hid::DIGCF_DEVICEINTERFACE);
    for (std::uint32_t index = 0;; ++index) {
        hid::DeviceInterfaceData data;
        data.cbSize = hid::kInterfaceDataCbSize;
        if (!api.SetupDiEnumDeviceInterfaces(set, guid, index, data))
            break;
        std::uint32_t needed = 0;
        api.SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &needed, nullptr);
        std::vector<std::uint8_t> detail(needed + 1, 0);
        std::memcpy(detail.data(), &hid::kDetailDataCbSize, sizeof hid::kDetailDataCbSize);
        if (!api.SetupDiGetDeviceInterfaceDetailA(set, data, detail.data(), needed, nullptr,
                                                  nullptr)) {
            say("interface %u detail-failed", index);
            continue;
        }
        const std::string path(reinterpret_cast<const char*>(detail.data()) +
                               hid::kDetailPathOffset);
        const hid::Handle device = api.CreateFileA(path, hid::GENERIC_READ | hid::GENERIC_WRITE,
                                                   hid::FILE_SHARE_READ | hid::FILE_SHARE_WRITE,
                                                   nullptr, hid::OPEN_EXISTING, 0);
        if (device == hid::kInvalidHandle) {
            say("interface %u open-failed %d %s", index, api.lastError().code, path.c_str());
            continue;
        }
        hid::HiddAttributes attributes;
        attributes.Size = 12;
        const bool read = api.HidD_GetAttributes(device, attributes) != 0;
        say("interface %u %04x:%04x version %04x attributes %d %s", index, attributes.VendorID,
            attributes.ProductID, attributes.VersionNumber, read, path.c_str());
        api.CloseHandle(device);
    }
    say("destroy %d", api.SetupDiDestroyDeviceInfoList(set));
}

bool open(config::BoardSession& session, const std::string& serial) {
    if (session.open(serial))
        return true;
    say("open-failed %s", session.lastError().message().c_str());
    return false;
}

void printSettings(const config::BoardSettings& settings) {
    std::string encoders;
    for (const std::optional<int>& mode : settings.encoderMode)
        encoders += " " + (mode ? std::to_string(*mode) : std::string("-"));
    say("encoders%s", encoders.c_str());
    say("pulse-width %d", settings.pulseWidth.value_or(-99));
    say("rot-start %d", settings.rotStart.value_or(-99));
}

// Details, capabilities, one presence read, one write and the read-back of every block.
void exchange(hid::ApiDeclarations& api, config::BoardSession& session, const std::string& serial,
              unsigned address, unsigned value) {
    if (!open(session, serial))
        return;
    const config::BoardDetails details = session.readDetails();
    say("manufacturer %s", details.manufacturer.value_or("(failed)").c_str());
    say("product %s", details.product.value_or("(failed)").c_str());
    say("version %04x", details.versionNumber);
    const hid::HidpCaps caps = session.board().capabilities;
    say("lengths input %u output %u feature %u", caps.InputReportByteLength,
        caps.OutputReportByteLength, caps.FeatureReportByteLength);
    say("usage %04x:%04x", caps.UsagePage, caps.Usage);
    // The read handle is new, so its queue of input reports is still empty: the first read
    // may wait, as on Windows; the one after it finds the reports that came since.
    for (const char* which : {"first", "later"}) {
        const bool present = session.checkPresence();
        say("presence-%s %d %s, GetLastError %d", which, present,
            session.lastError().message().c_str(), present ? 0 : api.lastError().code);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    say("write %d",
        session.writeSetting(static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(value)));
    const config::BoardSettings settings = session.readSettings();
    say("read-back %s", session.lastError().message().c_str());
    printSettings(settings);
    session.close();
}

void selfTest(config::BoardSession& session, const std::string& serial) {
    if (!open(session, serial))
        return;
    say("selftest %s", session.selfTest().text().c_str());
    session.close();
}

// Presence checks until one fails, then what the other calls give on the lost board. On an
// idle board the first check leaves its read pending; the unplug completes it with an error.
void hold(hid::ApiDeclarations& api, config::BoardSession& session, const std::string& serial) {
    if (!open(session, serial))
        return;
    const bool first = session.checkPresence();
    say("pending %d", first && session.board().presenceReadInFlight);
    say("open");
    const Clock::time_point opened = Clock::now();
    int checks = 0;
    while (checks < kHoldChecks && session.checkPresence()) {
        ++checks;
        std::this_thread::sleep_for(kHoldInterval);
    }
    if (checks == kHoldChecks) {
        say("still-there after %d checks", checks);
    } else {
        say("lost after %lld ms, %d checks: %s, GetLastError %d", msSince(opened), checks,
            session.lastError().message().c_str(), api.lastError().code);
        const bool wrote = session.writeSetting(0x40, 1);
        say("write-after-loss %d: %s, GetLastError %d", wrote,
            session.lastError().message().c_str(), api.lastError().code);
        const config::BoardSettings settings = session.readSettings();
        say("read-back-after-loss %d: %s", settings.complete(),
            session.lastError().message().c_str());
    }
    const Clock::time_point closing = Clock::now();
    session.close();
    say("closed in %lld ms", msSince(closing));
}

// The search of a tick of the window while no board is open, over and over.
void search(hid::Win32Platform& api, config::BoardSession& session, const std::string& serial,
            int ticks) {
    const std::size_t walksBefore = api.interfaceWalks();
    const std::map<std::string, std::size_t> opensBefore = api.opensByPath();
    for (int tick = 0; tick < ticks; ++tick) {
        session.listBoards();
        if (session.open(serial))
            session.close();
        std::this_thread::sleep_for(kSearchInterval);
    }
    say("hears-of-interfaces %d", api.hearsOfInterfaces());
    say("walks %zu", api.interfaceWalks() - walksBefore);
    for (const auto& [path, count] : api.opensByPath()) {
        const auto before = opensBefore.find(path);
        const std::size_t earlier = before == opensBefore.end() ? 0 : before->second;
        if (count > earlier)
            say("opened %zu %s", count - earlier, path.c_str());
    }
}

unsigned number(const char* text) {
    return static_cast<unsigned>(std::strtoul(text, nullptr, 0));
}

} // namespace

int main(int argc, char** argv) {
    hid::Win32Platform api;
    config::BoardSession session(api);
    for (int i = 1; i < argc;) {
        const std::string command = argv[i++];
        const int left = argc - i;
        if (command == "interfaces") {
            interfaces(api);
        } else if (command == "exchange" && left >= 3) {
            exchange(api, session, argv[i], number(argv[i + 1]), number(argv[i + 2]));
            i += 3;
        } else if (command == "selftest" && left >= 1) {
            selfTest(session, argv[i++]);
        } else if (command == "hold" && left >= 1) {
            hold(api, session, argv[i++]);
        } else if (command == "search" && left >= 2) {
            search(api, session, argv[i], std::atoi(argv[i + 1]));
            i += 2;
        } else {
            std::fprintf(stderr, "tessary-wine-probe: bad command %s\n", command.c_str());
            return 2;
        }
        say("done %s", command.c_str());
    }
    return 0;
}
