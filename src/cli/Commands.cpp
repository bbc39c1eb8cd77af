#include "Commands.h"

#include "BoardChoice.h"
#include "ConsoleText.h"
#include "SettingText.h"
#include "SettingsFile.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

namespace cli {

namespace {

using Document = nlohmann::ordered_json;

// The command's one JSON document; it tells the failure, if the command failed before.
void print(Context& context, Document document) {
    if (context.failure && document.is_object())
        document["error"] = *context.failure;
    // A file name need not be UTF-8; JSON must be.
    context.out << document.dump(2, ' ', true, Document::error_handler_t::replace) << '\n';
    context.printedJson = true;
}

void printRow(Context& context, const std::string& name, const std::string& value) {
    char padded[16];
    std::snprintf(padded, sizeof padded, "%-14s", name.c_str());
    context.out << padded << value << '\n';
}

Document text(const std::optional<std::string>& boardText) {
    return boardText ? Document(latin1ToUtf8(*boardText)) : Document();
}

// The settings this board offers: the starting position from version 1.2.
std::vector<config::Setting> settingsOffered(const config::BoardVersion& version) {
    std::vector<config::Setting> settings = allSettings();
    if (!version.offersRotStart())
        settings.pop_back();
    return settings;
}

int refuseRotStart(Context& context, const ChosenBoard& board) {
    return fail(context, kBadInput,
                "the board " + printable(board.listing.serial) + " is version " +
                    board.version().text() +
                    ": it has no rotary-start, which boards have from version 1.2; nothing "
                    "was written");
}

bool offers(const ChosenBoard& board, const std::vector<Assignment>& assignments) {
    return board.version().offersRotStart() ||
           std::none_of(assignments.begin(), assignments.end(), [](const Assignment& a) {
               return a.setting.kind == config::Setting::Kind::RotStart;
           });
}

// ---- list ----

int runList(Context& context) {
    config::BoardSession session(context.platform);
    const std::vector<config::BoardListing> boards = session.listBoards();
    Document listed = Document::array();
    for (const config::BoardListing& board : boards) {
        const std::string version =
            config::BoardVersion::fromReleaseNumber(board.versionNumber).text();
        if (!context.json)
            context.out << printable(board.serial) << '\t' << hex4(board.vendorId) << ':'
                        << hex4(board.productId) << '\t' << version << '\t'
                        << printable(board.devicePath) << '\n';
        listed.push_back({{"serial", latin1ToUtf8(board.serial)},
                          {"vendor_id", hex4(board.vendorId)},
                          {"product_id", hex4(board.productId)},
                          {"version", version},
                          {"device", latin1ToUtf8(board.devicePath)}});
    }
    const int code = boards.empty() ? sessionFailed(context, "", session.lastError()) : kOk;
    if (context.json)
        print(context, {{"boards", listed}});
    return code;
}

// ---- show ----

int runShow(Context& context) {
    ChosenBoard board(context);
    if (const int code = board.open(Access::Reads); code != kOk)
        return code;
    const config::BoardDetails details = board.session.readDetails();
    const config::BoardSettings settings = board.session.readSettings();
    const config::SessionError readError = board.session.lastError();
    const std::vector<config::Setting> offered = settingsOffered(details.version());
    const int code =
        settings.complete() ? kOk : board.failed("not every setting could be read back", readError);

    Document values = Document::object();
    for (const config::Setting& setting : offered) {
        const std::optional<int> index = settings.indexOf(setting);
        values[keyOf(setting)] = index ? Document(valueText(setting, *index)) : Document();
    }
    if (context.json) {
        print(context, {{"serial", latin1ToUtf8(board.listing.serial)},
                        {"device", latin1ToUtf8(board.listing.devicePath)},
                        {"manufacturer", text(details.manufacturer)},
                        {"product", text(details.product)},
                        {"version", details.version().text()},
                        {"settings", values}});
    } else {
        const auto shown = [](const std::optional<std::string>& boardText) {
            return boardText ? printable(*boardText) : std::string("(none)");
        };
        printRow(context, "serial", printable(board.listing.serial));
        printRow(context, "device", printable(board.listing.devicePath));
        printRow(context, "manufacturer", shown(details.manufacturer));
        printRow(context, "product", shown(details.product));
        printRow(context, "version", details.version().text());
        for (const config::Setting& setting : offered) {
            const std::optional<int> index = settings.indexOf(setting);
            printRow(context, keyOf(setting), index ? valueText(setting, *index) : "(not read)");
        }
    }
    return code;
}

// ---- writing and checking ----

// Writes each assignment in turn, then reads all back once and compares with expected.
int writeAndVerify(Context& context, ChosenBoard& board, const std::vector<Assignment>& writes,
                   const std::vector<Assignment>& expected, Document& report) {
    Document written = Document::object();
    for (const Assignment& assignment : writes) {
        if (!board.session.writeSetting(assignment.setting, assignment.index)) {
            report["written"] = written;
            return board.failed(keyOf(assignment.setting) + " was not written",
                                board.session.lastError());
        }
        written[keyOf(assignment.setting)] = valueText(assignment.setting, assignment.index);
    }
    report["written"] = written;
    const config::BoardSettings readBack = board.session.readSettings();
    std::string mismatches;
    for (const Assignment& assignment : expected) {
        const std::optional<int> index = readBack.indexOf(assignment.setting);
        if (index == assignment.index)
            continue;
        mismatches += (mismatches.empty() ? "" : "; ") + keyOf(assignment.setting) + " is " +
                      (index ? valueText(assignment.setting, *index) : "(not read)") + ", not " +
                      valueText(assignment.setting, assignment.index);
    }
    report["verified"] = mismatches.empty();
    if (!mismatches.empty())
        return fail(context, kFailed,
                    "the board " + printable(board.listing.serial) + " (" +
                        printable(board.listing.devicePath) +
                        ") reads back otherwise: " + mismatches);
    return kOk;
}

void printWritten(Context& context, const Document& report) {
    if (context.json) {
        print(context, report);
        return;
    }
    const Document written = report.value("written", Document::object());
    for (const auto& [key, value] : written.items())
        printRow(context, key, value.get<std::string>());
}

// ---- set ----

int runSet(Context& context, const std::vector<std::string>& texts) {
    std::vector<Assignment> assignments;
    std::vector<std::uint8_t> addresses;
    for (const std::string& text : texts) {
        std::string error;
        const std::optional<Assignment> assignment = parseAssignment(text, error);
        if (!assignment)
            return fail(context, kBadInput, error + "; nothing was written");
        if (std::find(addresses.begin(), addresses.end(), assignment->setting.address()) !=
            addresses.end())
            return fail(context, kBadInput,
                        keyOf(assignment->setting) + " is given twice; nothing was written");
        addresses.push_back(assignment->setting.address());
        assignments.push_back(*assignment);
    }
    ChosenBoard board(context);
    if (const int code = board.open(Access::Writes); code != kOk)
        return code;
    if (!offers(board, assignments))
        return refuseRotStart(context, board);
    Document report{{"serial", latin1ToUtf8(board.listing.serial)}};
    const int code = writeAndVerify(context, board, assignments, assignments, report);
    printWritten(context, report);
    return code;
}

// ---- selftest ----

// kOk when the test passed; otherwise it tells the user what failed.
int selfTestVerdict(Context& context, ChosenBoard& board, const config::SelfTestOutcome& outcome) {
    switch (outcome.kind) {
    case config::SelfTestOutcome::Kind::Passed:
        return kOk;
    case config::SelfTestOutcome::Kind::Failed:
        return fail(context, kFailed,
                    "the self test of the board " + printable(board.listing.serial) + " (" +
                        printable(board.listing.devicePath) + ") failed on input B" +
                        std::to_string(outcome.input));
    case config::SelfTestOutcome::Kind::NoAnswer:
        break;
    }
    return board.failed("the self test got no answer", board.session.lastError());
}

int runSelfTest(Context& context) {
    ChosenBoard board(context);
    if (const int code = board.open(Access::Writes); code != kOk)
        return code;
    if (!board.version().offersSelfTest())
        return fail(context, kBadInput,
                    "the board " + printable(board.listing.serial) + " is version " +
                        board.version().text() +
                        ": it has no self test, which boards have from version 1.3");
    const config::SelfTestOutcome outcome = board.session.selfTest();
    const int code = selfTestVerdict(context, board, outcome);
    if (context.json)
        print(context, {{"serial", latin1ToUtf8(board.listing.serial)},
                        {"result", outcome.text()},
                        {"failed_input", outcome.kind == config::SelfTestOutcome::Kind::Failed
                                             ? Document(outcome.input)
                                             : Document()}});
    else
        context.out << outcome.text() << '\n';
    return code;
}

// ---- save ----

int runSave(Context& context, const std::string& file) {
    ChosenBoard board(context);
    if (const int code = board.open(Access::Reads); code != kOk)
        return code;
    const config::BoardDetails details = board.session.readDetails();
    const config::BoardSettings settings = board.session.readSettings();
    if (!settings.complete())
        return board.failed("not every setting could be read back; nothing was saved",
                            board.session.lastError());
    std::vector<Assignment> values;
    for (const config::Setting& setting : settingsOffered(details.version())) {
        const int index = *settings.indexOf(setting);
        if (index < 0)
            return fail(context, kFailed,
                        keyOf(setting) + " holds a value that is none of " + valuesTaken(setting) +
                            "; set it first. Nothing was saved");
        values.push_back(Assignment{setting, index});
    }
    const std::string document =
        settingsDocument(board.listing, details, values).dump(2, ' ', true) + '\n';
    if (file == "-") {
        context.out << document;
        return kOk;
    }
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream << document;
    stream.close();
    if (!stream)
        return fail(context, kFailed, "cannot write " + printable(file));
    if (context.json)
        print(context, {{"serial", latin1ToUtf8(board.listing.serial)}, {"file", file}});
    return kOk;
}

// ---- restore ----

// The file's text, or standard input's for "-".
std::optional<std::string> readFile(Context& context, const std::string& file) {
    std::ifstream opened;
    if (file != "-")
        opened.open(file, std::ios::binary);
    std::istream* input = file == "-" ? context.environment.in : &opened;
    if (input == nullptr || !*input)
        return std::nullopt;
    std::istream& stream = *input;
    std::string text;
    // One byte more than a settings file may have, so that a larger one is seen to be larger.
    text.resize(kMaxSettingsFileSize + 1);
    stream.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (stream.bad())
        return std::nullopt;
    text.resize(static_cast<std::size_t>(stream.gcount()));
    return text;
}

int runRestore(Context& context, const std::string& file) {
    const std::optional<std::string> text = readFile(context, file);
    if (!text)
        return fail(context, kBadInput,
                    "cannot read " + (file == "-" ? "standard input" : printable(file)));
    std::string error;
    const std::optional<std::vector<Assignment>> wanted = parseSettingsFile(*text, error);
    if (!wanted)
        return fail(context, kBadInput, printable(file) + ": " + error + "; nothing was written");

    ChosenBoard board(context);
    if (const int code = board.open(Access::Writes); code != kOk)
        return code;
    if (!offers(board, *wanted))
        return refuseRotStart(context, board);
    const config::BoardSettings current = board.session.readSettings();
    std::vector<Assignment> differing;
    std::copy_if(wanted->begin(), wanted->end(), std::back_inserter(differing),
                 [&](const Assignment& a) { return current.indexOf(a.setting) != a.index; });
    Document report{{"serial", latin1ToUtf8(board.listing.serial)}, {"file", file}};
    if (differing.empty()) {
        report["written"] = Document::object();
        report["verified"] = true;
        printWritten(context, report);
        return kOk;
    }
    const int code = writeAndVerify(context, board, differing, *wanted, report);
    printWritten(context, report);
    return code;
}

} // namespace

void addList(CLI::App& app, Runner& runner) {
    app.add_subcommand("list", "Lists the boards plugged in: serial, USB ID, version, device")
        ->callback([&runner] { runner = runList; });
}

void addShow(CLI::App& app, Runner& runner) {
    auto inputs = std::make_shared<bool>(false);
    auto csv = std::make_shared<bool>(false);
    CLI::App* show =
        app.add_subcommand("show", "Shows a board's details and every setting as read back");
    CLI::Option* inputsFlag = show->add_flag(
        "--inputs", *inputs,
        "Shows instead the button each input B1..B32 is to a game: its number in the report "
        "descriptor, on Windows and the key code on Linux");
    show->add_flag("--csv", *csv, "With --inputs: as CSV")->needs(inputsFlag);
    show->callback([&runner, inputs, csv] {
        if (*inputs)
            runner = [csv](Context& context) { return runShowInputs(context, *csv); };
        else
            runner = runShow;
    });
}

void addSet(CLI::App& app, Runner& runner) {
    auto texts = std::make_shared<std::vector<std::string>>();
    CLI::App* set = app.add_subcommand("set", "Writes settings, then reads them back to check");
    set->add_option("KEY=VALUE", *texts,
                    "b1-b2..b31-b32 (or enc1..enc16)=off|1:1|1:2|1:4, "
                    "pulse-width=8..200 (ms, steps of 8), rotary-start=Auto|2..33")
        ->required();
    set->callback([&runner, texts] {
        runner = [texts](Context& context) { return runSet(context, *texts); };
    });
}

void addSelfTest(CLI::App& app, Runner& runner) {
    app.add_subcommand("selftest", "Runs the board's test of its inputs (boards from 1.3)")
        ->callback([&runner] { runner = runSelfTest; });
}

void addSave(CLI::App& app, Runner& runner) {
    auto file = std::make_shared<std::string>();
    CLI::App* save = app.add_subcommand("save", "Saves the board's settings to a JSON file");
    save->add_option("FILE", *file, "The file to write; - for standard output")->required();
    save->callback(
        [&runner, file] { runner = [file](Context& context) { return runSave(context, *file); }; });
}

void addRestore(CLI::App& app, Runner& runner) {
    auto file = std::make_shared<std::string>();
    CLI::App* restore = app.add_subcommand(
        "restore", "Writes the settings of a saved file that differ, then checks");
    restore->add_option("FILE", *file, "A file written by save; - for standard input")->required();
    restore->callback([&runner, file] {
        runner = [file](Context& context) { return runRestore(context, *file); };
    });
}

} // namespace cli
