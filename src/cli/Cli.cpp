#include "Cli.h"

#include "CliContext.h"
#include "Commands.h"
#include "ProjectVersion.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <exception>
#include <nlohmann/json.hpp>

namespace cli {

namespace {

// Every subcommand, in the order --help lists them. A new one adds its function here.
constexpr AddCommand kCommands[] = {addList,    addShow,    addSet,   addSelfTest,  addSave,
                                    addRestore, addMonitor, addCheck, addProvision, addReport};

constexpr char kFooter[] = R"(Exit codes:
  0  done; monitor: stopped with Ctrl-C; check: nothing wrong found
  1  an exchange with the board failed, or it read back other values than were written;
     monitor, check: the board was unplugged or its inputs cannot be read; check: something
     is wrong; provision: a board failed
  2  wrong usage or bad input; nothing was written
  3  no board found
  4  a board is plugged in but this user may not open it)";

constexpr char kSerialHelp[] = "The board to work on, by its serial number; needed to write when "
                               "two or more boards are plugged in";
constexpr char kJsonHelp[] = "Machine-readable output";

// A script that asked for JSON reads why the command failed from standard output too.
void printJsonError(std::ostream& out, const std::string& message, int code) {
    const nlohmann::ordered_json error{{"error", message}, {"exit_code", code}};
    out << error.dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

} // namespace

bool asksForDemo(const std::vector<std::string>& args) {
    return std::find(args.begin(), args.end(), "--demo") != args.end();
}

int run(hid::ApiDeclarations& platform, const std::vector<std::string>& args, std::ostream& out,
        std::ostream& err, const Environment& environment) {
    Context context{platform, out, err, {}, false, environment, {}};
    CLI::App app("Sets up Tessary-32 boards: lists them, shows and writes their settings, runs "
                 "their self test, saves and restores their settings as JSON, and shows their "
                 "inputs as they change.",
                 "tessary32");
    app.add_option("--serial", context.serial, kSerialHelp);
    app.add_flag("--json", context.json, kJsonHelp);
    // main() has seen it already (asksForDemo) and passed the simulated boards.
    bool demo = false;
    app.add_flag("--demo", demo,
                 "Works on three simulated boards instead of the ones plugged in: try any "
                 "command without a board");
    app.set_version_flag("--version", std::string("tessary32 ") + TESSARY_VERSION);
    app.footer(kFooter);
    app.require_subcommand(1);
    app.fallthrough();

    Runner runner;
    for (const AddCommand add : kCommands)
        add(app, runner);
    // A subcommand's help shows the options that go with it, and points to the exit codes.
    for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
        command->add_option("--serial", context.serial, kSerialHelp);
        command->add_flag("--json", context.json, kJsonHelp);
        command->footer("Exit codes: see tessary32 --help.");
    }
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error, out, err) == 0 ? kOk : kBadInput;
        if (code != kOk && std::find(args.begin(), args.end(), "--json") != args.end())
            printJsonError(out, error.what(), code);
        return code;
    }
    int code = kFailed;
    try {
        code = runner(context);
    } catch (const std::exception& error) {
        code = fail(context, kFailed, std::string("unexpected error: ") + error.what());
    }
    if (context.json && code != kOk && context.failure && !context.printedJson)
        printJsonError(out, *context.failure, code);
    return code;
}

} // namespace cli
