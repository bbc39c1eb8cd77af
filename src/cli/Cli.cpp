#include "Cli.h"

#include "../app/AppIdentity.h"
#include "CliContext.h"
#include "Commands.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <exception>

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

} // namespace

int run(hid::ApiDeclarations& platform, const std::vector<std::string>& args, std::ostream& out,
        std::ostream& err, const Environment& environment) {
    Context context{platform, out, err, {}, false, environment};
    CLI::App app("Sets up Tessary-32 boards: lists them, shows and writes their settings, runs "
                 "their self test, saves and restores their settings as JSON, and shows their "
                 "inputs as they change.",
                 "tessary32");
    app.add_option("--serial", context.serial,
                   "The board to work on, by its serial number; needed to write when two or "
                   "more boards are plugged in");
    app.add_flag("--json", context.json, "Machine-readable output");
    app.set_version_flag("--version", std::string("tessary32 ") + TESSARY_FILE_VERSION);
    app.footer(kFooter);
    app.require_subcommand(1);
    app.fallthrough();

    Runner runner;
    for (const AddCommand add : kCommands)
        add(app, runner);
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        return app.exit(error, out, err) == 0 ? kOk : kBadInput;
    }
    try {
        return runner(context);
    } catch (const std::exception& error) {
        return fail(context, kFailed, std::string("unexpected error: ") + error.what());
    }
}

} // namespace cli
