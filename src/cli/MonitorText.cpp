#include "MonitorText.h"

#include <cstdio>
#include <type_traits>

namespace cli {

namespace {

bool has(hid::InputSet inputs, int index) {
    return ((inputs >> index) & 1u) != 0;
}

std::string timeStamp(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%6lld ms  ", static_cast<long long>(ms));
    return text;
}

std::string pulseCount(int count, const std::string& input, bool first) {
    if (first)
        return std::to_string(count) + (count == 1 ? " pulse on " : " pulses on ") + input;
    return std::to_string(count) + " on " + input;
}

std::string pulseWidths(const monitor::EncoderTurn& turn) {
    if (!turn.shortestMs || !turn.longestMs)
        return {};
    const int total = turn.pulses[0] + turn.pulses[1];
    if (*turn.shortestMs == *turn.longestMs)
        return ", " + std::to_string(*turn.shortestMs) + (total == 1 ? " ms" : " ms each");
    return ", " + std::to_string(*turn.shortestMs) + " to " + std::to_string(*turn.longestMs) +
           " ms";
}

} // namespace

std::string inputName(int index) {
    return "B" + std::to_string(index + 1);
}

std::string inputNames(hid::InputSet inputs, const std::string& sign) {
    std::string list;
    for (int index = 0; index < hid::kBoardInputs; ++index)
        if (has(inputs, index))
            list += (list.empty() ? "" : " ") + sign + inputName(index);
    return list;
}

std::string jsonInputNames(hid::InputSet inputs) {
    std::string list = "[";
    for (int index = 0; index < hid::kBoardInputs; ++index)
        if (has(inputs, index))
            list += (list.size() > 1 ? ",\"" : "\"") + inputName(index) + "\"";
    return list + "]";
}

std::string monitorLine(const monitor::InputChange& change, bool json) {
    if (json)
        return "{\"ms\":" + std::to_string(change.ms) + ",\"down\":" + jsonInputNames(change.down) +
               ",\"up\":" + jsonInputNames(change.up) + "}";
    const std::string downs = inputNames(change.down, "+");
    const std::string ups = inputNames(change.up, "-");
    return timeStamp(change.ms) + downs + (downs.empty() || ups.empty() ? "" : " ") + ups;
}

std::string monitorLine(const monitor::EncoderTurn& turn, bool json) {
    const std::array<std::string, 2> inputs{inputName(2 * turn.pair), inputName(2 * turn.pair + 1)};
    if (json) {
        std::string line = "{\"ms\":" + std::to_string(turn.ms) + ",\"pair\":\"" + inputs[0] + " " +
                           inputs[1] + "\",\"mode\":\"" + turn.mode + "\",\"pulses\":{\"" +
                           inputs[0] + "\":" + std::to_string(turn.pulses[0]) + ",\"" + inputs[1] +
                           "\":" + std::to_string(turn.pulses[1]) + "}";
        if (turn.shortestMs && turn.longestMs)
            line += ",\"shortestMs\":" + std::to_string(*turn.shortestMs) +
                    ",\"longestMs\":" + std::to_string(*turn.longestMs);
        return line + ",\"held\":" + jsonInputNames(turn.held) + "}";
    }
    std::string counts;
    for (std::size_t side = 0; side < 2; ++side)
        if (turn.pulses[side] > 0)
            counts += (counts.empty() ? "" : " and ") +
                      pulseCount(turn.pulses[side], inputs[side], counts.empty());
    std::string line = timeStamp(turn.ms) + inputs[0] + " " + inputs[1] + " (" + turn.mode +
                       "): " + (counts.empty() ? "no whole pulse" : counts) + pulseWidths(turn);
    if (turn.held != 0)
        line += ", still down: " + inputNames(turn.held);
    return line;
}

void MonitorWriter::operator()(const monitor::MonitorEvent& event) {
    std::visit(
        [this](const auto& value) {
            using Kind = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Kind, monitor::InputChange> ||
                          std::is_same_v<Kind, monitor::EncoderTurn>)
                line(monitorLine(value, json_));
            else
                message(value);
        },
        event);
}

void MonitorWriter::line(const std::string& text) {
    out_ << text << '\n';
    out_.flush();
}

void MonitorWriter::message(const monitor::MonitorEnded& ended) {
    switch (ended.end) {
    case monitor::MonitorEnd::Stopped:
        return;
    case monitor::MonitorEnd::Unplugged:
        err_ << "tessary32: board " << board_ << " was unplugged\n";
        return;
    case monitor::MonitorEnd::ReadFailed:
        err_ << "tessary32: reading the inputs of board " << board_ << " failed";
        if (ended.errorCode != 0)
            err_ << " (error " << ended.errorCode << ")";
        err_ << '\n';
        return;
    case monitor::MonitorEnd::NoLayout:
        err_ << "tessary32: cannot read the report descriptor of board " << board_ << '\n';
        return;
    case monitor::MonitorEnd::NoButtons:
        err_ << "tessary32: the report descriptor of board " << board_
             << " declares no Button usages in its input reports, so its inputs cannot be"
                " told apart\n";
        return;
    }
}

void MonitorWriter::message(const monitor::ReportsSkipped& skipped) {
    if (skipped.wrongLength > 0)
        err_ << "tessary32: skipped " << skipped.wrongLength
             << " input reports of a length the report descriptor does not give\n";
    if (skipped.unknownReportId > 0)
        err_ << "tessary32: skipped " << skipped.unknownReportId
             << " input reports with a report ID the report descriptor does not declare\n";
}

int monitorExitCode(monitor::MonitorEnd end) {
    return end == monitor::MonitorEnd::Stopped ? 0 : 1;
}

} // namespace cli
