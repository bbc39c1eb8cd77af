// The Linux platform layer against boards that are real USB devices (FunctionFS on dummy_hcd):
// usbhid enumerates them, so their identity and strings come from the USB device in sysfs and
// every feature report crosses the wire as a control request, which the emulator records.
#include "GuestBench.h"
#include "HidStrings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace hil {
namespace {

// Control requests as the emulator logs them: bmRequestType bRequest wValue wIndex wLength.
constexpr std::string_view kGetReportDescriptor = "81 06 2200 0000";
constexpr std::string_view kSetIdleZero = "21 0A 0000 0000 0000";
constexpr std::string_view kSetFeature = "21 09 0300 0000 0040";
constexpr std::string_view kGetFeature = "A1 01 0300 0000 0040";
// The supervisor's ticks while a board is attached, sped up: only their count matters here.
constexpr int kIdleTicks = 20;
constexpr auto kIdleTick = std::chrono::milliseconds(50);
constexpr std::uint8_t kPulseWidthAddress = 0x40;

BoardSpec usbBoard(const std::string& serial, std::uint16_t version, unsigned seed) {
    BoardSpec spec;
    spec.usb = true;
    spec.serial = serial;
    spec.manufacturer = "Tessary Labs";
    spec.name = "Tessary-32 Kelmora";
    spec.product = 0x0002;
    spec.version = version;
    spec.memory = patternMemory(seed);
    return spec;
}

struct UsbBoards {
    std::unique_ptr<BoardProcess> streaming, idle, third;
};
UsbBoards boards;

std::size_t countStarting(const std::vector<std::string>& wire, std::string_view prefix) {
    return static_cast<std::size_t>(
        std::count_if(wire.begin(), wire.end(),
                      [&](const std::string& line) { return line.starts_with(prefix); }));
}

// The first requests, shortened, and how many there were.
std::string wireText(const std::vector<std::string>& wire) {
    constexpr std::size_t kShown = 4;
    std::string text;
    for (std::size_t i = 0; i < std::min(wire.size(), kShown); ++i)
        text += (text.empty() ? "" : " | ") + wire[i].substr(0, 40);
    if (wire.size() > kShown)
        text += " | ... (" + std::to_string(wire.size()) + " in all)";
    return text.empty() ? "(nothing)" : text;
}

// The read-back at the platform interface, for its bytes: the request, then eight feature
// reads of FeatureReportByteLength bytes. Each must be [0, base, 32 bytes of memory from base,
// zeros], lowest base first.
void checkBlocksByteExact(Scenario& s, Bench& bench, const Memory& memory) {
    hid::ApiDeclarations& api = bench.platform();
    const config::OpenBoard board = bench.board();
    const std::uint32_t length = board.capabilities.FeatureReportByteLength;
    config::Report request = config::readBackRequest(length);
    s.check(api.HidD_SetFeature(board.featureHandle, request.data(), length) != 0,
            "the read-back request failed");
    for (std::size_t block = 0; block < 8; ++block) {
        config::Report got(length, 0xCC); // stale bytes must not survive the read
        got[0] = 0;                       // the report ID asked for
        config::Report expected(length, 0);
        expected[1] = static_cast<std::uint8_t>(32 * block);
        std::copy_n(memory.begin() + static_cast<std::ptrdiff_t>(32 * block), 32,
                    expected.begin() + 2);
        if (!s.check(api.HidD_GetFeature(board.featureHandle, got.data(), length),
                     "feature read " + std::to_string(block + 1) + " failed"))
            continue;
        s.expectEqual(hexBytes(got), hexBytes(expected), "block " + std::to_string(block + 1));
    }
}

// usbhid asks for the report descriptor and sets the idle rate to 0 when it binds.
void plugRequests(Bench&, Scenario& s) {
    for (BoardProcess* board : {boards.streaming.get(), boards.idle.get()}) {
        const std::vector<std::string> wire = board->wire();
        const std::string who = board->spec().serial + ": ";
        s.expectEqual(countStarting(wire, kGetReportDescriptor), 1u,
                      who + "report descriptor requests");
        s.expectEqual(countStarting(wire, kSetIdleZero), 1u, who + "SET_IDLE(0) requests");
        s.note(who + "plugged in " + std::to_string(board->plugTime().count()) +
               " ms; control requests at plug: " + wireText(wire));
    }
}

void checkUsbIdentity(Bench& bench, Scenario& s, const BoardProcess& board,
                      const std::string& versionText) {
    ClosesBoard closes{bench};
    if (!bench.open(s, board.spec().serial))
        return;
    const config::OpenBoard open = bench.board();
    const std::string who = board.spec().serial + ": ";
    const config::BoardListing& listing = open.listing;
    s.expectEqual(listing.vendorId, 0x1209, who + "VendorID");
    s.expectEqual(listing.productId, board.spec().product, who + "ProductID");
    s.expectEqual(listing.versionNumber, board.spec().version, who + "VersionNumber (bcdDevice)");
    const auto version = config::BoardVersion::fromReleaseNumber(listing.versionNumber);
    s.expectEqual(version.text(), versionText, who + "version shown");
    s.check(version.offersRotStart() && version.offersSelfTest(), who + "a version gate is shut");
    const config::BoardDetails details = bench.session().readDetails();
    s.expectEqual(details.manufacturer.value_or("(failed)"), board.spec().manufacturer,
                  who + "manufacturer");
    // HID_NAME would be "manufacturer product": the product alone comes from the USB device.
    s.expectEqual(details.product.value_or("(failed)"), board.spec().name, who + "product");
    s.expectEqual(serialText(bench.platform(), open.featureHandle).value_or("(failed)"),
                  board.spec().serial, who + "serial text");
    const std::string device =
        std::filesystem::canonical("/sys/class/hidraw/" + board.node() + "/device").string();
    s.check(device.find("/usb") != std::string::npos, who + "no USB parent: " + device);
}

void identity(Bench& bench, Scenario& s) {
    checkUsbIdentity(bench, s, *boards.streaming, "1.3");
    checkUsbIdentity(bench, s, *boards.idle, "1.10");
}

void writeAndReadBack(Bench& bench, Scenario& s) {
    ClosesBoard closes{bench};
    BoardProcess& board = *boards.streaming;
    if (!bench.open(s, board.spec().serial))
        return;
    board.wire(); // forget the requests so far
    // "1:4" on channel 16: EE 3E 08 and zeros up to the 64 data bytes, no report-ID byte.
    s.check(bench.session().writeSetting(config::Setting::encoder(16), 3), "the write failed");
    std::vector<std::string> wire = board.wire();
    if (s.expectEqual(wire.size(), 1u, "requests of the write: " + wireText(wire)))
        s.expectEqual(wire[0], std::string(kSetFeature) + " EE3E08" + std::string(2 * 61, '0'),
                      "the write on the wire");
    const Memory memory = board.memory();
    s.expectEqual(memory[0x3E], 0x08, "channel 16 byte");

    checkSettings(s, readBack(bench.session()), memory);
    checkBlocksByteExact(s, bench, memory);
    wire = board.wire();
    s.expectEqual(countStarting(wire, kSetFeature), 2u, "read-back requests sent");
    s.expectEqual(countStarting(wire, kGetFeature), 16u, "feature reads on the wire");

    board.setSelfTestResult(12);
    s.expectEqual(bench.session().selfTest().text(), std::string("Failed on B12"),
                  "self-test result");
}

// A board that sends nothing while its inputs rest is still there: the supervisor's presence
// read must not count it lost, reopen it and read its settings again.
void idleBoard(Bench& bench, Scenario& s) {
    ClosesBoard closes{bench};
    BoardProcess& board = *boards.idle;
    if (!bench.open(s, board.spec().serial))
        return;
    const hid::Handle feature = bench.board().featureHandle;
    const hid::Handle read = bench.board().readHandle;
    const unsigned inputsBefore = board.inputsTaken();
    board.wire();

    int lost = 0;
    for (int tick = 0; tick < kIdleTicks; ++tick) {
        std::this_thread::sleep_for(kIdleTick);
        if (bench.session().checkPresence())
            continue;
        ++lost; // what the supervisor does next: close, find again, read the settings
        bench.close();
        if (bench.session().open(board.spec().serial))
            readBack(bench.session());
    }
    s.expectEqual(lost, 0,
                  "ticks that counted the idle board lost (a quiet board that is "
                  "plugged in must count as present)");
    s.check(bench.board().featureHandle == feature && bench.board().readHandle == read,
            "the board was opened again");
    s.expectEqual(wireText(board.wire()), std::string("(nothing)"),
                  "requests during the idle ticks (a reload shows here)");
    s.expectEqual(board.inputsTaken(), inputsBefore, "input reports sent by the idle board");

    // A change of its inputs is sent once, and read as it was sent.
    board.setButtons(0x00000105);
    std::this_thread::sleep_for(kIdleTick);
    std::array<std::uint8_t, 65> buffer{};
    std::uint32_t bytesRead = 0;
    s.check(presenceRead(bench, buffer, bytesRead) != 0, "the changed inputs were not read");
    s.expectEqual(hexBytes({buffer.data(), 5}), std::string("00 05 01 00 00"), "input report");
    s.expectEqual(board.inputsTaken(), inputsBefore + 1, "input reports after one change");
}

void threeBoards(Bench& bench, Scenario& s) {
    boards.third = bench.start(usbBoard("TS32-U-0003", 0x0103, 33));
    std::vector<BoardProcess*> all{boards.streaming.get(), boards.idle.get(), boards.third.get()};
    std::vector<std::string> expected;
    for (BoardProcess* board : all)
        expected.push_back(board->spec().serial);
    for (BoardProcess* board : all)
        board->wire(); // forget the requests so far
    std::vector<std::string> listed = listBoards(bench.session());
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    s.expectEqual(joined(listed), joined(expected), "boards listed");

    std::set<std::string> paths;
    for (std::size_t i = 0; i < all.size(); ++i) {
        ClosesBoard closes{bench};
        if (!bench.open(s, all[i]->spec().serial))
            continue;
        paths.insert(bench.board().listing.devicePath);
        s.check(
            bench.session().writeSetting(kPulseWidthAddress, static_cast<std::uint8_t>(0x10 + i)),
            all[i]->spec().serial + ": the write failed");
    }
    s.expectEqual(paths.size(), all.size(), "distinct device paths");
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string who = all[i]->spec().serial + ": ";
        s.expectEqual(all[i]->memory()[kPulseWidthAddress], 0x10 + i, who + "pulse width byte");
        s.expectEqual(countStarting(all[i]->wire(), kSetFeature), 1u, who + "writes received");
    }
}

void unplugAndReplug(Bench& bench, Scenario& s) {
    ClosesBoard closes{bench};
    const BoardSpec spec = boards.streaming->spec();
    if (!bench.open(s, spec.serial))
        return;
    s.check(streamingPresence(bench.session()), "presence read failed before");
    const std::string lostNode = boards.streaming->node();
    const auto unplugged = std::chrono::steady_clock::now();
    boards.streaming->unplug();
    s.note("unplug to node gone: " +
           std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - unplugged)
                              .count()) +
           " ms");
    s.expectEqual(drainPresence(bench.session(), 100), 0, "presence reads after the unplug");
    checkLostHandles(bench, s);
    bench.close();
    s.check(!bench.session().open(spec.serial), "the unplugged board was found");

    BoardSpec again = spec;
    again.memory = patternMemory(77);
    boards.streaming = bench.start(again);
    int ticks = 0;
    if (!s.check(findAgain(bench, spec.serial, ticks), "the board was not found again"))
        return;
    s.note("/dev/" + lostNode + " came back as /dev/" + boards.streaming->node() + " after " +
           std::to_string(boards.streaming->plugTime().count()) + " ms, found at search " +
           std::to_string(ticks));
    const config::BoardListing found = bench.board().listing;
    s.expectEqual(found.devicePath, "/dev/" + boards.streaming->node(), "device path");
    s.expectEqual(found.versionNumber, spec.version, "VersionNumber");
    checkSettings(s, readBack(bench.session()), again.memory);
}

} // namespace

bool runUsbScenarios(Bench& bench) {
    try {
        boards.streaming = bench.start(usbBoard("TS32-U-0001", 0x0103, 21));
        BoardSpec idle = usbBoard("TS32-U-0002", 0x0110, 55);
        idle.onChange = true;
        idle.manufacturer = "Tessary Werk";
        idle.buttons = 0;
        boards.idle = bench.start(idle);
    } catch (const std::exception& error) {
        std::printf("FAIL usb setup: %s\n", error.what());
        return false;
    }
    bool passed = true;
    passed &=
        run(bench, "usb plug: usbhid reads the report descriptor and sets idle 0", plugRequests);
    passed &=
        run(bench, "usb identity: bcdDevice is the version, strings from the USB device", identity);
    passed &= run(bench, "usb write and read-back: byte-exact on the wire", writeAndReadBack);
    passed &= run(bench, "usb idle board: 20 ticks attached, no reopen, no reload", idleBoard);
    passed &= run(bench, "usb three boards at once: each gets only its own write", threeBoards);
    passed &=
        run(bench, "usb unplug and replug: lost at once, found again by serial", unplugAndReplug);
    boards = UsbBoards{};
    return passed;
}

} // namespace hil
