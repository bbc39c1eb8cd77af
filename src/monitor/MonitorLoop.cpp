#include "MonitorLoop.h"

#include <algorithm>
#include <span>

namespace monitor {

MonitorSession::MonitorSession(hid::ApiDeclarations& api, MonitoredBoard board,
                               const MonitorOptions& options, const MonitorIo& io)
    : api_(api), board_(std::move(board)), io_(io), monitor_(options),
      // One byte more than the longest report, so that a longer one shows as such.
      buffer_(std::size_t{board_.inputReportLength} + 1) {}

MonitorSession::~MonitorSession() {
    if (havePreparsed_)
        api_.HidD_FreePreparsedData(preparsed_);
}

bool MonitorSession::start() {
    havePreparsed_ = api_.HidD_GetPreparsedData(board_.featureHandle, preparsed_) != 0;
    if (!havePreparsed_) {
        ended(MonitorEnd::NoLayout);
        return false;
    }
    const std::uint32_t mostButtons =
        api_.HidP_MaxUsageListLength(hid::HidpReportType::Input, hid::kButtonPage, preparsed_);
    if (mostButtons == 0) {
        ended(MonitorEnd::NoButtons);
        return false;
    }
    usages_.resize(mostButtons);
    start_ = io_.nowMs();
    return true;
}

MonitorSession::Step MonitorSession::step(std::uint32_t longestWaitMs) {
    std::uint32_t length = 0;
    const hid::InputWait wait = api_.WaitForInputReport(board_.readHandle, buffer_.data(),
                                                        static_cast<std::uint32_t>(buffer_.size()),
                                                        length, waitMs(longestWaitMs));
    now_ = io_.nowMs() - start_;
    if (wait == hid::InputWait::Failed) {
        const hid::PlatformError& error = api_.lastError();
        if (error.kind == hid::PlatformError::Kind::Gone)
            ended(MonitorEnd::Unplugged);
        else
            ended(MonitorEnd::ReadFailed, error.code);
        return Step::Ended;
    }
    if (wait == hid::InputWait::Report)
        take(length);
    hand(monitor_.expire(now_));
    return wait == hid::InputWait::Report ? Step::Report : Step::Idle;
}

void MonitorSession::finish() {
    hand(monitor_.finish());
    if (result_.wrongLength > 0 || result_.unknownReportId > 0)
        io_.onEvent(ReportsSkipped{result_.wrongLength, result_.unknownReportId});
}

void MonitorSession::ended(MonitorEnd end, int errorCode) {
    result_.end = end;
    io_.onEvent(MonitorEnded{end, errorCode});
}

void MonitorSession::hand(const MonitorEvents& events) const {
    for (const MonitorEvent& event : events)
        io_.onEvent(event);
}

std::uint32_t MonitorSession::waitMs(std::uint32_t longestWaitMs) const {
    const std::optional<std::int64_t> turnEnd = monitor_.nextExpiry();
    if (!turnEnd)
        return longestWaitMs;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(*turnEnd - now_, 0, longestWaitMs));
}

void MonitorSession::take(std::uint32_t length) {
    ++result_.reports;
    auto count = static_cast<std::uint32_t>(usages_.size());
    const hid::Bool32 status =
        api_.HidP_GetUsages(hid::HidpReportType::Input, hid::kButtonPage, 0, usages_.data(), &count,
                            preparsed_, buffer_.data(), length);
    if (status == hid::HIDP_STATUS_SUCCESS) {
        const auto pressed = hid::inputsFromButtons(std::span<const std::uint16_t>(
            usages_.data(), std::min<std::size_t>(count, usages_.size())));
        hand(monitor_.update(now_, pressed));
    } else if (status == hid::HIDP_STATUS_REPORT_DOES_NOT_EXIST) {
        ++result_.unknownReportId;
    } else if (status != hid::HIDP_STATUS_INCOMPATIBLE_REPORT_ID) {
        ++result_.wrongLength;
    } // a report with no buttons in it changes none
}

MonitorResult runMonitor(hid::ApiDeclarations& api, const MonitoredBoard& board,
                         const MonitorOptions& options, const MonitorIo& io) {
    MonitorSession session(api, board, options, io);
    if (!session.start())
        return session.result();
    while (!io.stopRequested() && session.step(kLongestWaitMs) != MonitorSession::Step::Ended) {
    }
    session.finish();
    return session.result();
}

} // namespace monitor
