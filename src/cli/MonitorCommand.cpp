// tessary32 monitor: the board's inputs as they change, until Ctrl-C or until the board goes.
#include "BoardChoice.h"
#include "Commands.h"
#include "MonitorLoop.h"
#include "MonitorText.h"
#include "Watching.h"

#include <CLI/CLI.hpp>

namespace cli {

namespace {

std::string encoderPairs(const monitor::MonitorOptions& options) {
    std::string pairs;
    for (int pair = 0; pair < monitor::kPairs; ++pair) {
        const std::string& mode = options.pairModes[static_cast<std::size_t>(pair)];
        if (mode != "off")
            pairs += (pairs.empty() ? "" : ", ") + std::string("B") + std::to_string(2 * pair + 1) +
                     " B" + std::to_string(2 * pair + 2) + " (" + mode + ")";
    }
    return pairs.empty() ? "none" : pairs;
}

int runMonitor(Context& context) {
    ChosenBoard board(context);
    monitor::MonitorOptions options;
    if (const int code = openToWatch(board, options); code != kOk)
        return code;
    const std::string name = watchedName(board);

    context.environment.catchInterrupt();
    context.err << "tessary32: watching the inputs of board " << name
                << "; encoders: " << encoderPairs(options) << ". Ctrl-C stops." << std::endl;
    const monitor::MonitorIo io{clockOf(context), context.environment.stopRequested,
                                MonitorWriter(context.out, context.err, name, context.json)};
    return monitorExitCode(
        monitor::runMonitor(context.platform, monitoredBoard(board), options, io).end);
}

} // namespace

void addMonitor(CLI::App& app, Runner& runner) {
    app.add_subcommand("monitor", "Shows the board's inputs as they change, one line per change "
                                  "and one per encoder turn, until Ctrl-C or until it is "
                                  "unplugged")
        ->callback([&runner] { runner = runMonitor; });
}

} // namespace cli
