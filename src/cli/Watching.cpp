#include "Watching.h"

#include "ConsoleText.h"
#include "SettingText.h"

#include <chrono>

namespace cli {

namespace {

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

monitor::MonitorOptions monitorOptionsFor(const config::BoardSettings& settings) {
    monitor::MonitorOptions options;
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

int openToWatch(ChosenBoard& board, monitor::MonitorOptions& options) {
    if (const int code = board.open(Access::Reads); code != kOk)
        return code;
    const config::BoardSettings settings = board.session.readSettings();
    if (!settings.complete())
        return board.failed("the settings could not be read, so its encoders are not known",
                            board.session.lastError());
    options = monitorOptionsFor(settings);
    return kOk;
}

monitor::MonitoredBoard monitoredBoard(const ChosenBoard& board) {
    const config::OpenBoard open = board.session.board();
    return {open.featureHandle, open.readHandle, open.capabilities.InputReportByteLength};
}

std::string watchedName(const ChosenBoard& board) {
    return printable(board.listing.serial) + " (" + printable(board.listing.devicePath) + ")";
}

std::function<std::int64_t()> clockOf(const Context& context) {
    return context.environment.nowMs ? context.environment.nowMs : std::function(steadyMs);
}

} // namespace cli
