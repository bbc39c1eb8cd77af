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
