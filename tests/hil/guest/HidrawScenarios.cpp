// The Linux platform layer and the board protocol against boards the kernel really sees:
// virtual boards made with /dev/uhid appear as hidraw devices, and the same code the window
// uses finds them, opens them, talks to them and notices when they go. Then the same with
// boards that are real USB devices (UsbScenarios.cpp), and the shipped command line against
// them (CliScenarios.cpp).
//
//   tessary-hil-test [--board PATH-OF-tessary-hil-board]
//                    [--usb-board PATH-OF-tessary-hil-usb-board] [--cli PATH-OF-tessary32]
//
// Prints one line per scenario, "PASS name" or "FAIL name: reasons", and exits non-zero when
// any scenario failed.
#include "BoardProcess.h"
#include "BoardSession.h"
#include "GuestBench.h"
#include "HidStrings.h"
#include "HidrawPlatform.h"
#include "Protocol.h"
#include "Scenario.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace hil {

using hid::Bool32;
using hid::Handle;

// Enough time for a board streaming every 5 ms to have queued input reports; a slow guest
// gets up to kInputPatience before a streaming board's read counts as failed.
constexpr auto kInputSettle = std::chrono::milliseconds(60);
constexpr auto kInputPatience = std::chrono::milliseconds(1000);
// The supervisor searches every 250 ms after a loss; a replugged board must be found soon.
constexpr auto kSearchInterval = std::chrono::milliseconds(250);
// The supervisor's interval while a board is attached: one presence read per tick.
constexpr auto kAttachedInterval = std::chrono::milliseconds(500);
constexpr int kSearchTicks = 12;

// The encoder codes of channels 1 to 16 on board A, and the items they read back as.
constexpr std::array<std::uint8_t, 16> kEncoderCodes{
    0x00, 0x02, 0x04, 0x08, 0x0E, 0x06, 0x01, 0xF0, 0x02, 0x04, 0x08, 0x00, 0x0A, 0x0C, 0x03, 0x80};
constexpr std::array<int, 16> kEncoderItems{0, 1, 2, 3, 3, 2, 0, 0, 1, 2, 3, 0, 3, 3, 1, 0};

// Distinct bytes everywhere, so a block from the wrong place shows.
Memory patternMemory(unsigned seed) {
    Memory memory{};
    for (std::size_t i = 0; i < memory.size(); ++i)
        memory[i] = static_cast<std::uint8_t>(i * 37 + seed);
    return memory;
}

Memory boardAMemory() {
    Memory memory = patternMemory(11);
    for (int channel = 1; channel <= 16; ++channel)
        memory[config::encoderAddress(channel)] = kEncoderCodes[channel - 1];
    memory[0x40] = 6;    // pulse width "48 ms"
    memory[0x4E] = 0xFF; // rotary start "Auto"
    return memory;
}

BoardSpec boardA() {
    BoardSpec spec;
    spec.serial = "TS32-A-0001";
    spec.name = "Tessary-32 Kelmora";
    spec.product = 0x0002;
    spec.version = 0x0103;
    spec.buttons = 0x80000401;
    spec.memory = boardAMemory();
    return spec;
}

BoardSpec boardB() {
    BoardSpec spec;
    spec.serial = "TS32-B-0002";
    spec.name = "Tessary-32 Second";
    spec.product = 0x0004;
    spec.version = 0x0201;
    spec.memory = patternMemory(99);
    return spec;
}

// The family's vendor, a product that is not one of the boards.
BoardSpec otherProduct() {
    BoardSpec spec;
    spec.serial = "TS32-X-0005";
    spec.name = "Tessary other product";
    spec.product = 0x0005;
    return spec;
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    char digits[4];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += text.empty() ? "" : " ";
        text += digits;
    }
    return text;
}

std::string joined(const std::vector<std::string>& texts) {
    std::string text = "[";
    for (const std::string& item : texts)
        text += (text.size() > 1 ? ", " : "") + item;
    return text + "]";
}

int openDescriptors() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator{}));
}

std::vector<std::string> listBoards(config::BoardSession& session) {
    std::vector<std::string> serials;
    for (const config::BoardListing& listing : session.listBoards())
        serials.push_back(listing.serial);
    return serials;
}

ReadBack readBack(config::BoardSession& session) {
    ReadBack result;
    result.settings = session.readSettings([&](const config::ReadBackBlock&) { ++result.reads; });
    result.error = session.lastError();
    return result;
}

// What the window shows for each setting is what the board's memory holds.
void checkSettings(Scenario& s, const ReadBack& got, const Memory& memory) {
    s.expectEqual(got.error.message(), config::SessionError{}.message(), "read-back error");
    s.expectEqual(got.reads, config::kReadBackReads, "reads that succeeded");
    for (int channel = 1; channel <= 16; ++channel)
        s.expectEqual(got.settings.encoderMode[channel - 1].value_or(-99),
                      config::encoderModeIndex(memory[config::encoderAddress(channel)]),
                      "encoder item of channel " + std::to_string(channel));
    s.expectEqual(got.settings.pulseWidth.value_or(-99),
                  config::pulseWidthIndex(memory[config::kPulseWidthAddress]), "pulse width item");
    s.expectEqual(got.settings.rotStart.value_or(-99),
                  config::rotStartIndex(memory[config::kRotStartAddress]), "rotary start item");
}

// The selector items the window would show.
struct Decoded {
    std::optional<int> pulseWidth;
    std::optional<int> rotStart;
    std::optional<std::array<int, 16>> encoders;
};

Decoded decode(const ReadBack& got) {
    Decoded decoded{got.settings.pulseWidth, got.settings.rotStart, std::nullopt};
    if (std::all_of(got.settings.encoderMode.begin(), got.settings.encoderMode.end(),
                    [](const std::optional<int>& mode) { return mode.has_value(); })) {
        std::array<int, 16> encoders{};
        for (std::size_t i = 0; i < encoders.size(); ++i)
            encoders[i] = *got.settings.encoderMode[i];
        decoded.encoders = encoders;
    }
    return decoded;
}

void checkDecoded(Scenario& s, const Decoded& decoded, std::array<int, 16> encoders, int pulseWidth,
                  int rotStart) {
    s.expectEqual(decoded.pulseWidth.value_or(-99), pulseWidth, "pulse width item");
    s.expectEqual(decoded.rotStart.value_or(-99), rotStart, "rotary start item");
    if (!s.check(decoded.encoders.has_value(), "no encoder block decoded"))
        return;
    for (int channel = 1; channel <= 16; ++channel)
        s.expectEqual((*decoded.encoders)[channel - 1], encoders[channel - 1],
                      "encoder item of channel " + std::to_string(channel));
}

// A presence read as the supervisor makes it; returns the read's result.
Bool32 presenceRead(Bench& bench, std::array<std::uint8_t, 65>& buffer, std::uint32_t& bytesRead) {
    buffer.fill(0);
    bytesRead = 0;
    config::OpenBoard board = bench.board();
    return bench.platform().ReadFile(board.readHandle, buffer.data(),
                                     board.capabilities.InputReportByteLength, &bytesRead,
                                     &board.readOverlapped);
}

std::optional<std::string> serialText(hid::ApiDeclarations& api, hid::Handle handle) {
    constexpr std::uint32_t kQueryLength = 100;
    std::array<std::uint8_t, 2 * kQueryLength + 1> text{};
    if (api.HidD_GetSerialNumberString(handle, text.data(), kQueryLength) == 0)
        return std::nullopt;
    return hid::lowByteText(text.data(), text.size());
}

// A presence read of a streaming board that brings a report, retried until kInputPatience has
// passed.
Bool32 streamingRead(Bench& bench, std::array<std::uint8_t, 65>& buffer, std::uint32_t& bytesRead) {
    const auto giveUp = std::chrono::steady_clock::now() + kInputPatience;
    std::this_thread::sleep_for(kInputSettle);
    while (!presenceRead(bench, buffer, bytesRead) || bytesRead == 0) {
        if (std::chrono::steady_clock::now() > giveUp)
            return 0;
        std::this_thread::sleep_for(kInputSettle);
    }
    return 1;
}

// Presence checks until one fails; the count of those that succeeded, or -1 when they never
// stop.
int drainPresence(config::BoardSession& session, int limit) {
    for (int count = 0; count < limit; ++count)
        if (!session.checkPresence())
            return count;
    return -1;
}

// The supervisor's presence check of a streaming board, retried until kInputPatience has passed.
bool streamingPresence(config::BoardSession& session) {
    const auto giveUp = std::chrono::steady_clock::now() + kInputPatience;
    std::this_thread::sleep_for(kInputSettle);
    while (!session.checkPresence()) {
        if (std::chrono::steady_clock::now() > giveUp)
            return false;
        std::this_thread::sleep_for(kInputSettle);
    }
    return true;
}

void enumeration(Bench& bench, Scenario& s) {
    const int descriptors = openDescriptors();
    s.expectEqual(joined(listBoards(bench.session())),
                  joined({bench.a->spec().serial, bench.b->spec().serial}), "boards listed");
    s.check(!bench.session().open(bench.other->spec().serial),
            "the other product was opened as a board");
    s.check(!bench.session().open("TS32-A"), "a serial prefix matched a board");
    bench.checkNothingOpen(s, descriptors);
}

void checkIdentity(Bench& bench, Scenario& s, const BoardProcess& board,
                   const std::string& versionText) {
    ClosesBoard closes{bench};
    if (!bench.open(s, board.spec().serial))
        return;
    const config::OpenBoard open = bench.board();
    const config::BoardListing& listing = open.listing;
    const std::string who = board.spec().serial + ": ";
    s.expectEqual(listing.vendorId, 0x1209, who + "VendorID");
    s.expectEqual(listing.productId, board.spec().product, who + "ProductID");
    s.expectEqual(listing.versionNumber, board.spec().version, who + "VersionNumber");
    s.expectEqual(config::BoardVersion::fromReleaseNumber(listing.versionNumber).text(),
                  versionText, who + "version shown");
    s.expectEqual(listing.devicePath, "/dev/" + board.node(), who + "device path");
    s.expectEqual(serialText(bench.platform(), open.featureHandle).value_or("(failed)"),
                  board.spec().serial, who + "serial text");
    const config::BoardDetails details = bench.session().readDetails();
    s.expectEqual(details.product.value_or("(failed)"), board.spec().name, who + "product string");
    s.check(!details.manufacturer,
            who + "a manufacturer string came back from a device that has none");
}

void identity(Bench& bench, Scenario& s) {
    checkIdentity(bench, s, *bench.a, "1.3");
    checkIdentity(bench, s, *bench.b, "2.1");
}

void capabilities(Bench& bench, Scenario& s) {
    ClosesBoard closes{bench};
    if (!bench.open(s, bench.a->spec().serial))
        return;
    const hid::HidpCaps caps = bench.board().capabilities;
    s.expectEqual(caps.InputReportByteLength, 5, "InputReportByteLength");
    s.expectEqual(caps.FeatureReportByteLength, 65, "FeatureReportByteLength");
}

void readBackExchange(Bench& bench, Scenario& s) {
    ClosesBoard closes{bench};
    if (!bench.open(s, bench.a->spec().serial))
        return;
    const ReadBack got = readBack(bench.session());
    checkSettings(s, got, bench.a->spec().memory);
    checkDecoded(s, decode(got), kEncoderItems, 5, 0);
    s.check(bench.a->memory() == bench.a->spec().memory, "the read-back changed the memory");
}

void writeSettings(Bench& bench, Scenario& s) {
    ClosesBoard closes{bench};
    if (!bench.open(s, bench.a->spec().serial))
        return;
    Memory expected = bench.a->memory();
    const auto write = [&](std::uint8_t address, std::uint8_t value) {
        s.check(bench.session().writeSetting(address, value),
                "write of address " + std::to_string(address) + " failed");
        expected[address] = value;
    };

    // Every value differs from the byte it replaces, so a write that lands nowhere shows.
    std::array<int, 16> modes{};
    for (int channel = 1; channel <= 16; ++channel) {
        modes[channel - 1] = (channel + 2) % 4;
        write(config::encoderAddress(channel), config::encoderModeValue(modes[channel - 1]));
    }
    write(config::kPulseWidthAddress, config::pulseWidthValue(24)); // "200 ms"
    write(config::kRotStartAddress, config::rotStartValue(32));     // "33"
    s.expectEqual(bench.a->memory()[0x4E], 0x20, "rotary start byte after writing 33");
    write(config::kRotStartAddress, config::rotStartValue(0)); // "Auto"

    const Memory memory = bench.a->memory();
    for (std::size_t address = 0; address < memory.size(); ++address)
        s.expectEqual(memory[address], expected[address], "memory byte " + std::to_string(address));
    s.expectEqual(memory[0x3E], 0x04, "channel 16 byte (1:2)");
    s.expectEqual(memory[0x40], 0x19, "pulse width byte (200 ms)");
    s.expectEqual(memory[0x4E], 0xFF, "rotary start byte (Auto)");

    const ReadBack got = readBack(bench.session());
    checkSettings(s, got, memory);
    checkDecoded(s, decode(got), modes, 24, 0);
}

void selfTestResults(Bench& bench, Scenario& s) {
    ClosesBoard closes{bench};
    if (!bench.open(s, bench.a->spec().serial))
        return;
    s.check(config::BoardVersion::fromReleaseNumber(bench.board().listing.versionNumber)
                .offersSelfTest(),
            "board A's version does not offer the self test");
    for (const std::uint8_t result : {std::uint8_t{0}, std::uint8_t{12}}) {
        bench.a->setSelfTestResult(result);
        const config::SelfTestOutcome answer = bench.session().selfTest();
        s.expectEqual(bench.session().lastError().message(), config::SessionError{}.message(),
                      "self-test error");
        s.expectEqual(answer.replyHead[0], 0, "self-test answer byte 0");
        s.expectEqual(answer.text(), result == 0 ? "Passed" : "Failed on B12", "self-test result");
    }
}

void presence(Bench& bench, Scenario& s) {
    ClosesBoard closes{bench};
    if (!bench.open(s, bench.a->spec().serial))
        return;
    std::array<std::uint8_t, 65> buffer{};
    std::uint32_t bytesRead = 0;

    s.check(streamingRead(bench, buffer, bytesRead) != 0, "streaming board: read failed");
    s.expectEqual(bytesRead, 5u, "bytes read");
    const std::uint32_t buttons = bench.a->spec().buttons;
    const std::array<std::uint8_t, 5> expected{
        0, static_cast<std::uint8_t>(buttons), static_cast<std::uint8_t>(buttons >> 8),
        static_cast<std::uint8_t>(buttons >> 16), static_cast<std::uint8_t>(buttons >> 24)};
    s.expectEqual(hexBytes({buffer.data(), 5}), hexBytes(expected), "input report");

    bench.a->setInput(false);
    int queued = 0;
    while (queued < 100 && presenceRead(bench, buffer, bytesRead) != 0 && bytesRead > 0)
        ++queued;
    s.check(queued < 100, "silent board: reports never stop");
    std::this_thread::sleep_for(kInputSettle);
    // A board that sends only on change is still there: the read completes with nothing read.
    s.check(presenceRead(bench, buffer, bytesRead) != 0, "silent board: counted as lost");
    s.expectEqual(bytesRead, 0u, "bytes read from a silent board");
    s.check(bench.session().checkPresence(), "silent board: the supervisor counts it as lost");

    bench.a->setInput(true);
    s.check(streamingRead(bench, buffer, bytesRead) != 0, "streaming again: read failed");
}

// What the unplugged board's handles still give: nothing.
void checkLostHandles(Bench& bench, Scenario& s) {
    config::BoardSession& session = bench.session();
    const config::OpenBoard lost = session.board();
    s.check(!session.checkPresence(), "a presence read succeeded again");
    s.check(session.selfTest().kind == config::SelfTestOutcome::Kind::NoAnswer,
            "a self test was answered on the unplugged board");
    s.check(!session.writeSetting(config::kPulseWidthAddress, 1),
            "a feature send succeeded on the unplugged board");
    hid::HiddAttributes attributes;
    s.check(!bench.platform().HidD_GetAttributes(lost.featureHandle, attributes),
            "attributes read from the unplugged board");
    s.check(!serialText(bench.platform(), lost.featureHandle),
            "a serial number read from the unplugged board");
}

void unplug(Bench& bench, Scenario& s) {
    ClosesBoard closes{bench};
    if (!bench.open(s, bench.a->spec().serial))
        return;
    config::BoardSession& session = bench.session();
    std::this_thread::sleep_for(kAttachedInterval);
    s.check(streamingPresence(session), "presence read failed before");
    std::this_thread::sleep_for(kAttachedInterval);
    bench.lostNode = bench.a->node();
    bench.a->unplug();
    const int descriptors = openDescriptors();

    // The reports queued before the unplug do not make the board look present: the very next
    // presence read sees the loss.
    s.expectEqual(drainPresence(session, 100), 0, "presence reads that succeeded after the unplug");
    checkLostHandles(bench, s);

    // The supervisor's loss handling, then its search.
    bench.close();
    s.expectEqual(openDescriptors(), descriptors - 2, "open file descriptors after closing");
    s.expectEqual(joined(listBoards(session)), joined({bench.b->spec().serial}),
                  "boards listed after the unplug");
    s.check(!session.open(bench.a->spec().serial), "the unplugged board was found");
    bench.checkNothingOpen(s, descriptors - 2);

    if (bench.open(s, bench.b->spec().serial))
        checkSettings(s, readBack(session), bench.b->spec().memory);
}

// Polls like the supervisor until the board is found.
bool findAgain(Bench& bench, const std::string& serial, int& ticks) {
    for (ticks = 1; ticks <= kSearchTicks; ++ticks) {
        if (bench.session().open(serial))
            return true;
        std::this_thread::sleep_for(kSearchInterval);
    }
    return false;
}

// The board comes back as another product and release on the node name the lost one had, so
// anything remembered by node name would show the old identity.
void replug(Bench& bench, Scenario& s) {
    BoardSpec again = bench.a->spec();
    again.product = 0x0003;
    again.version = 0x0104;
    again.memory = patternMemory(200);
    bench.a = bench.start(again);
    const int descriptors = openDescriptors();
    s.note("the lost board was /dev/" + bench.lostNode + ", the new one is /dev/" +
           bench.a->node());

    ClosesBoard closes{bench};
    int ticks = 0;
    if (!s.check(findAgain(bench, again.serial, ticks), "the board was not found again"))
        return;
    s.note("found again at search " + std::to_string(ticks));
    const config::BoardListing found = bench.board().listing;
    s.expectEqual(found.devicePath, "/dev/" + bench.a->node(), "device path");
    s.expectEqual(found.productId, again.product, "ProductID");
    s.expectEqual(found.versionNumber, again.version, "VersionNumber");
    checkSettings(s, readBack(bench.session()), again.memory);
    s.check(streamingPresence(bench.session()), "presence read failed");
    bench.close();
    bench.checkNothingOpen(s, descriptors);
}

// The emulator's own way out for manual use: SIGTERM removes its device before it exits.
void removalBySignal(Bench& bench, Scenario& s) {
    const std::string node = bench.other->node();
    s.check(bench.other->terminate(), "the emulator did not exit cleanly on SIGTERM");
    s.check(!std::filesystem::exists("/sys/class/hidraw/" + node), node + " is still there");
    std::vector<std::string> listed = listBoards(bench.session());
    std::sort(listed.begin(), listed.end()); // the replugged board may have another number
    s.expectEqual(joined(listed), joined({bench.a->spec().serial, bench.b->spec().serial}),
                  "boards listed");
}

bool run(Bench& bench, const char* name, void (*body)(Bench&, Scenario&)) {
    Scenario scenario(name);
    try {
        body(bench, scenario);
    } catch (const std::exception& error) {
        scenario.fail(std::string("exception: ") + error.what());
    }
    scenario.report();
    return scenario.passed();
}

int runAll(const std::string& emulator, const std::string& usbEmulator, const std::string& cli) {
    Bench bench(emulator, usbEmulator);
    bench.a = bench.start(boardA());
    bench.other = bench.start(otherProduct());
    bench.b = bench.start(boardB());

    bool passed = true;
    passed &=
        run(bench, "enumeration: the two boards by serial, not the other product", enumeration);
    passed &= run(bench, "identity: attributes, serial text and strings", identity);
    passed &= run(bench, "capabilities: input 5 bytes, feature 65 bytes", capabilities);
    passed &= run(bench, "read-back: eight blocks decoded to the board's values", readBackExchange);
    passed &= run(bench, "write settings: each kind lands in the board's memory", writeSettings);
    passed &= run(bench, "self test: passes, then fails on input B12", selfTestResults);
    passed &=
        run(bench, "presence read: completes while streaming, and empty while silent", presence);
    passed &= run(bench, "unplug: the next presence read and every feature call fail", unplug);
    passed &= run(bench, "replug: found again by serial with its new identity", replug);
    passed &=
        run(bench, "removal by signal: the emulator's device leaves the kernel", removalBySignal);

    // The USB boards are listed alone.
    bench.a.reset();
    bench.b.reset();
    passed &= runUsbScenarios(bench);
    passed &= runCliScenarios(bench, cli);
    return passed ? 0 : 1;
}

} // namespace hil

int main(int argc, char** argv) {
    std::string emulator = "/bin/tessary-hil-board";
    std::string usbEmulator = "/bin/tessary-hil-usb-board";
    std::string cli = "/bin/tessary32";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--board")
            emulator = argv[i + 1];
        else if (flag == "--usb-board")
            usbEmulator = argv[i + 1];
        else if (flag == "--cli")
            cli = argv[i + 1];
    }
    try {
        return hil::runAll(emulator, usbEmulator, cli);
    } catch (const std::exception& error) {
        std::printf("FAIL setup: %s\n", error.what());
        return 1;
    }
}
