// tessary32 provision FILE: sets up a batch of boards from one settings file. Each board plugged
// in is restored from the file (only what differs is written, then one read-back checks it)
// and self tested where its version allows; one line tells how it went, and the same goes as
// JSON into the log. Ctrl-C ends the batch with a summary.
#include "BoardChoice.h"
#include "Commands.h"
#include "ConsoleText.h"
#include "SettingText.h"
#include "SettingsFile.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

namespace cli {

namespace {

using Document = nlohmann::ordered_json;

// A board is looked for this often; plugging one in takes longer than that.
constexpr auto kScanPeriod = std::chrono::milliseconds(200);

struct ProvisionOptions {
    std::string file;
    std::string log;
};

// How one board's provisioning went.
struct Provisioned {
    config::BoardListing board;
    std::vector<Assignment> written;
    bool verified = false;
    std::optional<config::SelfTestOutcome> selfTest; // when the version has one
    std::string failure;                             // empty when it went well
};

std::optional<std::string> readSettingsText(const std::string& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream)
        return std::nullopt;
    std::string text(kMaxSettingsFileSize + 1, '\0');
    stream.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (stream.bad())
        return std::nullopt;
    text.resize(static_cast<std::size_t>(stream.gcount()));
    return text;
}

std::string assignments(const std::vector<Assignment>& written) {
    std::string text;
    for (const Assignment& assignment : written)
        text += (text.empty() ? "" : " ") + keyOf(assignment.setting) + "=" +
                valueText(assignment.setting, assignment.index);
    return text;
}

std::string versionOf(const config::BoardListing& board) {
    return config::BoardVersion::fromReleaseNumber(board.versionNumber).text();
}

std::string lineOf(const Provisioned& done) {
    std::string line =
        printable(done.board.serial) + " " + versionOf(done.board) + ": " +
        (done.written.empty() ? "nothing to write" : "wrote " + assignments(done.written)) + "; " +
        (done.verified ? "verified" : "not verified") + "; ";
    line += done.selfTest ? "self test " + done.selfTest->text() : "no self test";
    if (!done.failure.empty())
        line += "; FAILED: " + printable(done.failure);
    return line;
}

Document jsonOf(const Provisioned& done) {
    Document written = Document::object();
    for (const Assignment& assignment : done.written)
        written[keyOf(assignment.setting)] = valueText(assignment.setting, assignment.index);
    return {{"serial", latin1ToUtf8(done.board.serial)},
            {"device", latin1ToUtf8(done.board.devicePath)},
            {"version", versionOf(done.board)},
            {"written", written},
            {"verified", done.verified},
            {"self_test", done.selfTest ? Document(done.selfTest->text()) : Document()},
            {"ok", done.failure.empty()},
            {"error", done.failure.empty() ? Document() : Document(latin1ToUtf8(done.failure))}};
}

bool offersAll(const config::BoardVersion& version, const std::vector<Assignment>& wanted) {
    return version.offersRotStart() ||
           std::none_of(wanted.begin(), wanted.end(), [](const Assignment& a) {
               return a.setting.kind == config::Setting::Kind::RotStart;
           });
}

// Restores the wanted settings onto one board, verifies them and runs its self test. Stops at
// the first step that fails and leaves the board as that step left it.
Provisioned provision(hid::ApiDeclarations& platform, const config::BoardListing& board,
                      const std::vector<Assignment>& wanted) {
    Provisioned done{board, {}, false, {}, {}};
    config::BoardSession session(platform);
    const auto failed = [&](const std::string& what) {
        done.failure = what;
        if (what.empty() || !session.lastError().message().empty())
            done.failure += (what.empty() ? "" : ": ") + session.lastError().message();
        session.close();
        return done;
    };
    if (!session.open(board.serial))
        return failed("");
    const config::BoardVersion version =
        config::BoardVersion::fromReleaseNumber(board.versionNumber);
    if (!offersAll(version, wanted)) {
        done.failure = "the file sets rotary-start, which boards have from version 1.2";
        session.close();
        return done;
    }
    const config::BoardSettings current = session.readSettings();
    if (!current.complete())
        return failed("the settings could not be read");
    for (const Assignment& assignment : wanted) {
        if (current.indexOf(assignment.setting) == assignment.index)
            continue;
        if (!session.writeSetting(assignment.setting, assignment.index))
            return failed(keyOf(assignment.setting) + " was not written");
        done.written.push_back(assignment);
    }
    const config::BoardSettings readBack = session.readSettings();
    done.verified = std::all_of(wanted.begin(), wanted.end(), [&](const Assignment& a) {
        return readBack.indexOf(a.setting) == a.index;
    });
    if (!done.verified)
        return readBack.complete() ? failed("it reads back other values than were written")
                                   : failed("the read-back failed");
    if (version.offersSelfTest()) {
        done.selfTest = session.selfTest();
        if (done.selfTest->kind == config::SelfTestOutcome::Kind::NoAnswer)
            return failed("the self test got no answer");
        if (done.selfTest->kind == config::SelfTestOutcome::Kind::Failed)
            done.failure = "the self test failed on input B" + std::to_string(done.selfTest->input);
    }
    session.close();
    return done;
}

// A board is new when no board of its serial was at its device at the last scan.
using Seen = std::set<std::pair<std::string, std::string>>;

int runProvision(Context& context, const ProvisionOptions& options) {
    const std::optional<std::string> text = readSettingsText(options.file);
    if (!text)
        return fail(context, kBadInput, "cannot read " + printable(options.file));
    std::string error;
    const std::optional<std::vector<Assignment>> wanted = parseSettingsFile(*text, error);
    if (!wanted)
        return fail(context, kBadInput,
                    printable(options.file) + ": " + error + "; no board was touched");
    std::ofstream log;
    if (!options.log.empty()) {
        log.open(options.log, std::ios::binary | std::ios::app);
        if (!log)
            return fail(context, kBadInput,
                        "cannot write the log " + printable(options.log) +
                            "; no board was touched");
    }

    context.environment.catchInterrupt();
    context.err << "tessary32: provisioning every board plugged in from " << printable(options.file)
                << ". Ctrl-C stops." << std::endl;
    Seen present;
    std::vector<std::string> failures;
    int provisioned = 0;
    while (!context.environment.stopRequested()) {
        config::BoardSession scan(context.platform);
        Seen now;
        for (const config::BoardListing& board : scan.listBoards()) {
            now.insert({board.serial, board.devicePath});
            if (present.count({board.serial, board.devicePath}) != 0)
                continue;
            const Provisioned done = provision(context.platform, board, *wanted);
            context.out << lineOf(done) << std::endl;
            if (log.is_open())
                log << jsonOf(done).dump(-1, ' ', true, Document::error_handler_t::replace) << '\n'
                    << std::flush;
            if (done.failure.empty())
                ++provisioned;
            else
                failures.push_back(printable(board.serial));
        }
        present = std::move(now);
        std::this_thread::sleep_for(kScanPeriod);
    }
    std::string summary = "provisioned " + std::to_string(provisioned) + ", failed " +
                          std::to_string(failures.size());
    for (std::size_t i = 0; i < failures.size(); ++i)
        summary += (i == 0 ? ": " : ", ") + failures[i];
    context.out << summary << '\n';
    return failures.empty() ? kOk : kFailed;
}

} // namespace

void addProvision(CLI::App& app, Runner& runner) {
    auto options = std::make_shared<ProvisionOptions>();
    CLI::App* provision = app.add_subcommand(
        "provision", "Sets up each board plugged in, one after another, from a settings file: "
                     "writes what differs, checks, self tests; until Ctrl-C");
    provision->add_option("FILE", options->file, "A file written by save")->required();
    provision->add_option("--log", options->log, "Appends one JSON line per board to this file");
    provision->callback([&runner, options] {
        runner = [options](Context& context) { return runProvision(context, *options); };
    });
}

} // namespace cli
