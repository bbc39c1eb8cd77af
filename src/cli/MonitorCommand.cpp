// tessary32 monitor: the board's inputs as they change, until Ctrl-C or until the board goes.
#include "BoardChoice.h"
#include "Commands.h"
#include "ConsoleText.h"
#include "MonitorLoop.h"
#include "SettingText.h"

#include <CLI/CLI.hpp>
#include <chrono>

namespace cli {

namespace {

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The pair modes the board holds, so that its encoders' pulses are gathered into turns.
monitor::MonitorOptions optionsFor(const config::BoardSettings& settings, bool json) {
    monitor::MonitorOptions options;
    options.json = json;
    for (int channel = 1; channel <= monitor::kPairs; ++channel) {
        const config::Setting setting = config::Setting::encoder(channel);
        options.pairModes[static_cast<std::size_t>(channel - 1)] =
            valueText(setting, settings.indexOf(setting).value_or(0));
    }
    const int width = settings.pulseWidth.value_or(-1) >= 0 ? *settings.pulseWidth
                                                            : config::kDefaultPulseWidthIndex;
    options.turnQuietMs = monitor::turnQuietMsFor(config::pulseWidthMs(width));
    return options;
}

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
    if (const int code = board.open(Access::Reads); code != kOk)
        return code;
    const config::BoardSettings settings = board.session.readSettings();
    if (!settings.complete())
        return board.failed("the settings could not be read, so its encoders are not known",
                            board.session.lastError());
    const monitor::MonitorOptions options = optionsFor(settings, context.json);
    const config::OpenBoard open = board.session.board();
    const monitor::MonitoredBoard watched{
        open.featureHandle, open.readHandle, open.capabilities.InputReportByteLength,
        printable(board.listing.serial) + " (" + printable(board.listing.devicePath) + ")"};

    context.environment.catchInterrupt();
    context.err << "tessary32: watching the inputs of board " << watched.name
                << "; encoders: " << encoderPairs(options) << ". Ctrl-C stops." << std::endl;
    const monitor::MonitorIo io{context.out, context.err,
                                context.environment.nowMs ? context.environment.nowMs
                                                          : std::function(steadyMs),
                                context.environment.stopRequested};
    return monitor::exitCode(monitor::runMonitor(context.platform, watched, options, io));
}

} // namespace

void addMonitor(CLI::App& app, Runner& runner) {
    app.add_subcommand("monitor", "Shows the board's inputs as they change, one line per change "
                                  "and one per encoder turn, until Ctrl-C or until it is "
                                  "unplugged")
        ->callback([&runner] { runner = runMonitor; });
}

} // namespace cli
