// tessary32's core over simulated boards: what each subcommand sends on the wire, what it
// prints, and the exit code of every failure and bad input.
#include "Cli.h"

#include "ProjectVersion.h"
#include "SimulatedPlatform.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <unistd.h>

namespace {

using hid::sim::DeviceId;
using hid::sim::Op;
using ::testing::HasSubstr;
using ::testing::Not;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kReportLength = 65;

// A feature report of the board's length: the head, then zeros.
Bytes report(std::initializer_list<std::uint8_t> head) {
    Bytes bytes(kReportLength, 0);
    std::copy(head.begin(), head.end(), bytes.begin());
    return bytes;
}

const Bytes kReadBackRequest = report({0x00, 0xE0, 0x00, 0x05});

class CliTest : public ::testing::Test {
protected:
    DeviceId addBoard(std::u16string serial = u"0001", std::uint16_t version = 0x0103,
                      std::uint16_t product = 0x0001) {
        hid::sim::InterfaceSpec spec;
        spec.serial = std::move(serial);
        spec.versionNumber = version;
        spec.productId = product;
        const DeviceId board = sim.add(spec);
        sim.firmware(board).memory[0x40] = 6;    // 48 ms
        sim.firmware(board).memory[0x4E] = 0xFF; // Auto
        return board;
    }

    int run(std::vector<std::string> args) {
        std::ostringstream outStream, errStream;
        sim.clearCalls();
        const int code = cli::run(sim, args, outStream, errStream, environment);
        out = outStream.str();
        err = errStream.str();
        return code;
    }

    // The feature reports sent, in order.
    std::vector<Bytes> sent() const {
        std::vector<Bytes> reports;
        for (const hid::sim::Call& call : sim.callsOf(Op::HidD_SetFeature))
            reports.push_back(call.bytes);
        return reports;
    }
    bool wroteSetting() const {
        const std::vector<Bytes> reports = sent();
        return std::any_of(reports.begin(), reports.end(),
                           [](const Bytes& r) { return r.size() > 1 && r[1] == 0xEE; });
    }

    std::string file(const std::string& name, const std::string& content) {
        const std::filesystem::path path = directory / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    void SetUp() override { std::filesystem::create_directories(directory); }
    void TearDown() override {
        std::filesystem::remove_all(directory);
        EXPECT_EQ(sim.openDeviceHandles(), 0);
        EXPECT_EQ(sim.openInfoSets(), 0);
        EXPECT_EQ(sim.openPreparsedData(), 0);
    }

    hid::sim::SimulatedPlatform sim;
    cli::Environment environment;
    std::string out;
    std::string err;
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() /
        ("tessary32-cli-" + std::to_string(::getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(CliTest, ListGivesSerialUsbIdVersionAndDeviceOfEveryBoard) {
    addBoard(u"0001", 0x0103);
    addBoard(u"B-2", 0x0101, 0x0004);
    ASSERT_EQ(run({"list"}), 0) << err;
    EXPECT_EQ(out, "0001\t1209:0001\t1.3\tsim:hid#0\nB-2\t1209:0004\t1.1\tsim:hid#1\n");

    ASSERT_EQ(run({"list", "--json"}), 0) << err;
    const auto listed = nlohmann::json::parse(out)["boards"];
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1]["serial"], "B-2");
    EXPECT_EQ(listed[1]["product_id"], "0004");
    EXPECT_EQ(listed[1]["version"], "1.1");
    EXPECT_EQ(listed[1]["device"], "sim:hid#1");
}

TEST_F(CliTest, ShowReadsEverySettingWithOneReadBackOfNineTransfers) {
    const DeviceId board = addBoard();
    auto& memory = sim.firmware(board).memory;
    memory[0x24] = 0x04; // b5-b6: 1:2
    memory[0x3E] = 0x0E; // b31-b32: the highest bit decides, 1:4
    memory[0x4E] = 1;    // 2

    ASSERT_EQ(run({"show"}), 0) << err;
    EXPECT_EQ(sent(), std::vector<Bytes>{kReadBackRequest});
    EXPECT_EQ(sim.callsOf(Op::HidD_GetFeature).size(), 8u);
    // One walk: the board's two handles. Opening an idle USB board costs 50 ms on Linux.
    EXPECT_EQ(sim.callsOf(Op::CreateFileA).size(), 2u);
    for (const char* line : {"manufacturer  Tessary\n", "version       1.3\n",
                             "b1-b2         off\n", "b5-b6         1:2\n", "b31-b32       1:4\n",
                             "pulse-width   48 ms\n", "rotary-start  2\n"})
        EXPECT_THAT(out, HasSubstr(line));

    ASSERT_EQ(run({"--json", "show"}), 0) << err;
    const auto shown = nlohmann::json::parse(out);
    EXPECT_EQ(shown["product"], "Tessary-32");
    EXPECT_EQ(shown["settings"].size(), 18u);
    EXPECT_EQ(shown["settings"]["b5-b6"], "1:2");
    EXPECT_EQ(shown["settings"]["pulse-width"], "48 ms");
}

TEST_F(CliTest, ShowOfABoardBefore12HasNoStartingPosition) {
    addBoard(u"0001", 0x0101);
    ASSERT_EQ(run({"show", "--json"}), 0) << err;
    const auto shown = nlohmann::json::parse(out);
    EXPECT_EQ(shown["version"], "1.1");
    EXPECT_FALSE(shown["settings"].contains("rotary-start"));
    EXPECT_EQ(shown["settings"].size(), 17u);
}

TEST_F(CliTest, SetWritesEachSettingThenVerifiesWithOneReadBack) {
    const DeviceId board = addBoard();
    ASSERT_EQ(run({"set", "b31-b32=1:4", "pulse-width=200ms", "enc1=1:1", "rotary-start=Auto"}), 0)
        << err;
    EXPECT_EQ(sent(), (std::vector<Bytes>{report({0x00, 0xEE, 0x3E, 0x08}),
                                          report({0x00, 0xEE, 0x40, 0x19}),
                                          report({0x00, 0xEE, 0x20, 0x02}),
                                          report({0x00, 0xEE, 0x4E, 0xFF}), kReadBackRequest}));
    EXPECT_EQ(sim.callsOf(Op::HidD_GetFeature).size(), 8u);
    EXPECT_EQ(sim.firmware(board).memory[0x40], 0x19);
    EXPECT_THAT(out, HasSubstr("pulse-width   200 ms\n"));
}

TEST_F(CliTest, ReadBackThatDiffersFromTheWriteFailsNamingTheDevice) {
    const DeviceId board = addBoard();
    sim.beforeCall = [&](Op op, DeviceId) {
        if (op == Op::HidD_GetFeature)
            sim.firmware(board).memory[0x40] = 1; // the board keeps 8 ms, whatever it was sent
    };
    EXPECT_EQ(run({"set", "pulse-width=200"}), 1);
    EXPECT_THAT(err, HasSubstr("pulse-width is 8 ms, not 200 ms"));
    EXPECT_THAT(err, HasSubstr("sim:hid#0"));

    EXPECT_EQ(run({"--json", "set", "pulse-width=200"}), 1);
    EXPECT_EQ(nlohmann::json::parse(out)["verified"], false);
}

TEST_F(CliTest, RestoreOntoAnotherBoardWritesOnlyWhatDiffersThenVerifies) {
    const DeviceId from = addBoard(u"0001");
    const DeviceId to = addBoard(u"0002");
    for (const DeviceId board : {from, to}) {
        auto& memory = sim.firmware(board).memory;
        memory[0x3E] = 0x08;
        memory[0x40] = 0x19;
    }
    sim.firmware(from).memory[0x20] = 0x02;
    sim.firmware(from).memory[0x4E] = 5;
    const std::string saved = (directory / "saved.json").string();
    ASSERT_EQ(run({"--serial", "0001", "save", saved}), 0) << err;
    EXPECT_FALSE(wroteSetting());

    ASSERT_EQ(run({"--serial", "0002", "restore", saved}), 0) << err;
    EXPECT_EQ(sent(), (std::vector<Bytes>{kReadBackRequest, report({0x00, 0xEE, 0x20, 0x02}),
                                          report({0x00, 0xEE, 0x4E, 0x05}), kReadBackRequest}));
    EXPECT_EQ(sim.firmware(to).memory, sim.firmware(from).memory);

    ASSERT_EQ(run({"restore", "--serial", "0002", saved}), 0) << err;
    EXPECT_EQ(sent(), std::vector<Bytes>{kReadBackRequest});

    // "-" is standard input.
    sim.firmware(to).memory[0x20] = 0;
    std::stringstream savedText;
    savedText << std::ifstream(saved).rdbuf();
    environment.in = &savedText;
    ASSERT_EQ(run({"--serial", "0002", "restore", "-"}), 0) << err;
    EXPECT_EQ(sent(), (std::vector<Bytes>{kReadBackRequest, report({0x00, 0xEE, 0x20, 0x02}),
                                          kReadBackRequest}));
}

TEST_F(CliTest, SavedFileNamesItsFormatTheBoardAndEverySetting) {
    addBoard(u"0001", 0x0102);
    ASSERT_EQ(run({"save", "-"}), 0) << err;
    const auto saved = nlohmann::json::parse(out);
    EXPECT_EQ(saved["format"], "tessary32-settings");
    EXPECT_EQ(saved["format_version"], 1);
    EXPECT_EQ(saved["board"]["serial"], "0001");
    EXPECT_EQ(saved["board"]["version"], "1.2");
    EXPECT_EQ(saved["settings"].size(), 18u);
    EXPECT_EQ(saved["settings"]["rotary-start"], "Auto");
}

// --serial takes a serial as list --json shows it, in UTF-8, for a command that reads and for
// one that writes.
TEST_F(CliTest, SerialIsChosenAsListed) {
    addBoard(u"0001");
    const DeviceId accented = addBoard(u"B\u00e901");
    ASSERT_EQ(run({"--json", "list"}), 0) << err;
    const std::string serial = nlohmann::json::parse(out)["boards"][1]["serial"];
    EXPECT_EQ(serial, "B\xC3\xA9"
                      "01");
    for (const char* command : {"show", "set"}) {
        std::vector<std::string> args{"--serial", serial, command};
        if (args.back() == "set")
            args.push_back("b1-b2=1:1");
        ASSERT_EQ(run(args), 0) << command << ": " << err;
        for (const hid::sim::Call& call : sim.callsOf(Op::HidD_SetFeature))
            EXPECT_EQ(call.device, accented) << command;
    }
    EXPECT_EQ(sim.firmware(accented).memory[0x20], 0x02) << "b1-b2 is 1:1";
}

TEST_F(CliTest, HelpOfASubcommandShowsItsOptionsAndVersionIsTheProjects) {
    ASSERT_EQ(run({"restore", "--help"}), 0) << err;
    for (const char* words : {"--serial", "--json", "- for standard input", "tessary32 --help"})
        EXPECT_THAT(out, HasSubstr(words));
    EXPECT_THAT(out, Not(HasSubstr("no board found")));
    ASSERT_EQ(run({"--version"}), 0) << err;
    EXPECT_EQ(out, "tessary32 " TESSARY_VERSION "\n");
}

// A script that asks for JSON reads why a command failed from standard output, in the one JSON
// document it gets there; the message on standard error stays.
TEST_F(CliTest, WithJsonAFailureIsToldInTheOneDocumentOnStandardOutput) {
    const auto failsInOneDocument = [this](const std::vector<std::string>& args) {
        EXPECT_NE(run(args), 0) << args.back();
        EXPECT_FALSE(err.empty()) << args.back();
        if (!nlohmann::json::accept(out)) {
            ADD_FAILURE() << args.back() << ": not one JSON document: " << out;
            return nlohmann::json::object();
        }
        const auto document = nlohmann::json::parse(out);
        EXPECT_NE(document.value("error", ""), "") << args.back() << ": " << out;
        return document;
    };
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--json", "show"},
                                                 {"list", "--json"},
                                                 {"--json", "--colour", "list"},
                                                 {"--json", "set", "b1-b2"}})
        failsInOneDocument(args);

    const DeviceId board = addBoard();
    sim.beforeCall = [&](Op op, DeviceId) {
        if (op == Op::HidD_GetFeature)
            sim.firmware(board).memory[0x40] = 1; // the board keeps 8 ms
    };
    EXPECT_EQ(failsInOneDocument({"--json", "set", "pulse-width=200"}).value("verified", true),
              false);
}

TEST_F(CliTest, BoardTextsReachTheConsoleWithoutControlCharacters) {
    hid::sim::InterfaceSpec spec;
    spec.serial = u"S\x1b[1m";
    spec.manufacturer = u"\x1b]0;title\x07";
    spec.product = u"\x9b"
                   u"2J\u00e9";
    sim.add(spec);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"list"},
                                                 {"show"},
                                                 {"--json", "list"},
                                                 {"--json", "show"},
                                                 {"--serial", "\x1b[31m", "show"}}) {
        run(args);
        for (const std::string* text : {&out, &err}) {
            const bool raw = std::any_of(text->begin(), text->end(), [](char c) {
                const auto byte = static_cast<unsigned char>(c);
                return (byte < 0x20 && byte != '\n' && byte != '\t') || byte >= 0x7F;
            });
            EXPECT_FALSE(raw) << args.back() << ": " << *text;
        }
    }
    run({"show"});
    EXPECT_THAT(out, HasSubstr("manufacturer  \\x1B]0;title\\x07\n"));
}

// ---- every failure and bad input: its exit code, its message, and nothing written ----

constexpr char kGoodFile[] =
    R"({"format": "tessary32-settings", "format_version": 1,
        "board": {"serial": "0001", "vendor_id": "1209", "product_id": "0001", "version": "1.3",
                  "manufacturer": "Tessary", "product": "Tessary-32"},
        "settings": {"b1-b2": "1:1", "pulse-width": "48 ms", "rotary-start": "Auto"}})";

std::string goodFileWith(const std::string& from, const std::string& to) {
    std::string text = kGoodFile;
    const std::size_t at = text.find(from);
    return at == std::string::npos ? "(test fault: " + from + " not found)"
                                   : text.replace(at, from.size(), to);
}

struct Refusal {
    const char* name;
    std::function<void(hid::sim::SimulatedPlatform&)> setUp;
    std::vector<std::string> args; // "FILE" stands for a file holding fileText
    std::string fileText;
    int code;
    std::vector<std::string> says; // on standard output or error
    bool writesNothing = true;
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
    *out << refusal.name;
}

class CliRefusal : public CliTest, public ::testing::WithParamInterface<Refusal> {};

const auto oneBoard = [](hid::sim::SimulatedPlatform& sim) {
    hid::sim::InterfaceSpec spec;
    spec.serial = u"0001";
    sim.add(spec);
};
const auto boardOfVersion = [](std::uint16_t version) {
    return [version](hid::sim::SimulatedPlatform& sim) {
        hid::sim::InterfaceSpec spec;
        spec.versionNumber = version;
        sim.add(spec);
    };
};
const auto noBoard = [](hid::sim::SimulatedPlatform&) {};

const std::vector<Refusal> kRefusals{
    {"NoBoard", noBoard, {"show"}, "", 3, {"no board found"}},
    {"NoBoardToList", noBoard, {"list"}, "", 3, {"no board found"}},
    {"PermissionDenied",
     [](hid::sim::SimulatedPlatform& sim) {
         oneBoard(sim);
         sim.failWith(Op::CreateFileA, hid::PlatformError::Kind::PermissionDenied);
     },
     {"list"},
     "",
     4,
     {"sim:hid#0", "/udev/rules.d/70-tessary32.rules", "udevadm control --reload-rules"}},
    {"SerialOfNoBoard", oneBoard, {"--serial", "0009", "show"}, "", 2, {"'0009'", "0001"}},
    {"TwoBoardsWriteOnlyWithSerial",
     [](hid::sim::SimulatedPlatform& sim) {
         oneBoard(sim);
         oneBoard(sim);
     },
     {"set", "b1-b2=off"},
     "",
     2,
     {"--serial"}},
    {"NoSubcommand", oneBoard, {}, "", 2, {"subcommand"}},
    {"UnknownOption", oneBoard, {"--colour", "list"}, "", 2, {"--colour"}},
    {"NotKeyValue", oneBoard, {"set", "b1-b2"}, "", 2, {"KEY=VALUE"}},
    {"UnknownKey", oneBoard, {"set", "b1-b2=off", "b2-b3=off"}, "", 2, {"unknown setting"}},
    {"ValueOutOfRange", oneBoard, {"set", "pulse-width=300"}, "", 2, {"8 ms to 200 ms"}},
    {"OneSettingTwice", oneBoard, {"set", "b1-b2=off", "enc1=1:1"}, "", 2, {"twice"}},
    {"StartingPositionBefore12",
     boardOfVersion(0x0101),
     {"set", "b1-b2=1:1", "rotary-start=3"},
     "",
     2,
     {"1.2"}},
    {"SelfTestBefore13", boardOfVersion(0x0102), {"selftest"}, "", 2, {"1.3"}},
    {"FileNotJson", oneBoard, {"restore", "FILE"}, "board: 1", 2, {"not JSON"}},
    {"FileEmpty", oneBoard, {"restore", "FILE"}, "", 2, {"not JSON"}},
    {"FileCutShort",
     oneBoard,
     {"restore", "FILE"},
     std::string(kGoodFile).substr(0, 150),
     2,
     {"not JSON"}},
    {"FileMissing", oneBoard, {"restore", "/nonexistent/saved.json"}, "", 2, {"cannot read"}},
    {"ProvisionRefusesABadFileBeforeAnyBoard",
     oneBoard,
     {"provision", "FILE"},
     goodFileWith("48 ms", "50 ms"),
     2,
     {"pulse-width", "no board was touched"}},
    {"FileOfAnotherProduct",
     oneBoard,
     {"restore", "FILE"},
     goodFileWith(R"("vendor_id": "1209")", R"("vendor_id": "046d")"),
     2,
     {"another product"}},
    {"FileOfAnotherFormat",
     oneBoard,
     {"restore", "FILE"},
     goodFileWith("tessary32-settings", "other-settings"),
     2,
     {"not a settings file"}},
    {"FileOfNewerFormat",
     oneBoard,
     {"restore", "FILE"},
     goodFileWith(R"("format_version": 1)", R"("format_version": 2)"),
     2,
     {"newer"}},
    {"FileWithDuplicateKey",
     oneBoard,
     {"restore", "FILE"},
     goodFileWith(R"("b1-b2": "1:1")", R"("b1-b2": "1:1", "b1-b2": "off")"),
     2,
     {"'b1-b2' appears twice"}},
    {"FileWithUnknownKey",
     oneBoard,
     {"restore", "FILE"},
     goodFileWith(R"("b1-b2": "1:1")", R"("b1-b2": "1:1", "b2-b3": "off")"),
     2,
     {"unknown setting"}},
    {"FileValueOfWrongType",
     oneBoard,
     {"restore", "FILE"},
     goodFileWith(R"("pulse-width": "48 ms")", R"("pulse-width": 48)"),
     2,
     {"must be a string"}},
    {"FileValueOutOfRange",
     oneBoard,
     {"restore", "FILE"},
     goodFileWith(R"("pulse-width": "48 ms")", R"("pulse-width": "300 ms")"),
     2,
     {"8 ms to 200 ms"}},
    {"FileStartingPositionOntoBoardBefore12",
     boardOfVersion(0x0101),
     {"restore", "FILE"},
     kGoodFile,
     2,
     {"1.2"}},
    {"WriteNotTaken",
     [](hid::sim::SimulatedPlatform& sim) {
         oneBoard(sim);
         sim.setFailing(Op::HidD_SetFeature);
     },
     {"set", "b1-b2=1:1"},
     "",
     1,
     {"b1-b2 was not written", "sim:hid#0"},
     false},
    {"NoReadBackAfterTheWrite",
     [](hid::sim::SimulatedPlatform& sim) {
         oneBoard(sim);
         sim.setFailing(Op::HidD_GetFeature); // the board stops answering once written to
     },
     {"--json", "set", "b1-b2=1:1"},
     "",
     1,
     {"b1-b2 is (not read), not 1:1", R"("verified": false)"},
     false},
    {"RestoreThatDisturbsASettingItDidNotWrite",
     [](hid::sim::SimulatedPlatform& sim) {
         oneBoard(sim);
         auto& memory = sim.firmware(0).memory;
         memory[0x40] = 6; // 48 ms and Auto, as in the file: only b1-b2 differs
         memory[0x4E] = 0xFF;
         sim.beforeCall = [&memory](Op, DeviceId) {
             if (memory[0x20] == 0x02) // once b1-b2 is 1:1, the pulse width drops to 8 ms
                 memory[0x40] = 1;
         };
     },
     {"restore", "FILE"},
     kGoodFile,
     1,
     {"pulse-width is 8 ms, not 48 ms"},
     false},
    {"UnpluggedDuringShow",
     [](hid::sim::SimulatedPlatform& sim) {
         oneBoard(sim);
         sim.beforeCall = [&sim](Op op, DeviceId) {
             if (op == Op::HidD_GetFeature)
                 sim.unplug(0);
         };
     },
     {"show"},
     "",
     1,
     {"unplugged", "sim:hid#0"}},
    {"SelfTestFails",
     [](hid::sim::SimulatedPlatform& sim) {
         oneBoard(sim);
         sim.firmware(0).selfTestResult = 7;
     },
     {"selftest"},
     "",
     1,
     {"Failed on B7\n"},
     false},
    {"SelfTestWithoutAnswer",
     [](hid::sim::SimulatedPlatform& sim) {
         oneBoard(sim);
         sim.setFailing(Op::HidD_GetFeature);
     },
     {"selftest"},
     "",
     1,
     {"No answer\n", "sim:hid#0"},
     false},
};

TEST_P(CliRefusal, GivesItsExitCodeAndSaysWhy) {
    const Refusal& refusal = GetParam();
    refusal.setUp(sim);
    std::vector<std::string> args = refusal.args;
    for (std::string& arg : args)
        if (arg == "FILE")
            arg = file("settings.json", refusal.fileText);
    EXPECT_EQ(run(args), refusal.code) << out << err;
    for (const std::string& words : refusal.says)
        EXPECT_THAT(out + err, HasSubstr(words));
    if (refusal.writesNothing) {
        EXPECT_FALSE(wroteSetting());
    }
}

INSTANTIATE_TEST_SUITE_P(Cli, CliRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
