#include "MonitorLoop.h"

#include <algorithm>
#include <vector>

namespace monitor {

namespace {

void print(std::ostream& out, const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        out << line << '\n';
    if (!lines.empty())
        out.flush();
}

// The preparsed data for as long as the monitoring lasts.
class Preparsed {
public:
    Preparsed(hid::ApiDeclarations& api, hid::Handle device) : api_(api) {
        valid_ = api_.HidD_GetPreparsedData(device, data_) != 0;
    }
    ~Preparsed() {
        if (valid_)
            api_.HidD_FreePreparsedData(data_);
    }
    Preparsed(const Preparsed&) = delete;
    Preparsed& operator=(const Preparsed&) = delete;
    bool valid() const { return valid_; }
    hid::PreparsedData data() const { return data_; }

private:
    hid::ApiDeclarations& api_;
    hid::PreparsedData data_ = 0;
    bool valid_ = false;
};

class Session {
public:
    Session(hid::ApiDeclarations& api, const MonitoredBoard& board, const MonitorOptions& options,
            const MonitorIo& io, hid::PreparsedData preparsed, std::uint32_t mostButtons)
        : api_(api), board_(board), io_(io), monitor_(options), preparsed_(preparsed),
          usages_(std::max<std::uint32_t>(mostButtons, 1)),
          // One byte more than the longest report, so that a longer one shows as such.
          buffer_(std::size_t{board.inputReportLength} + 1) {}

    MonitorResult run() {
        const std::int64_t start = io_.nowMs();
        std::int64_t now = 0;
        while (!io_.stopRequested()) {
            std::uint32_t length = 0;
            const hid::InputWait wait = api_.WaitForInputReport(
                board_.readHandle, buffer_.data(), static_cast<std::uint32_t>(buffer_.size()),
                length, waitMs(now));
            now = io_.nowMs() - start;
            if (wait == hid::InputWait::Failed) {
                result_.end = readFailure();
                break;
            }
            if (wait == hid::InputWait::Report)
                take(now, length);
            print(io_.out, monitor_.expire(now));
        }
        print(io_.out, monitor_.finish());
        reportSkipped();
        return result_;
    }

private:
    std::uint32_t waitMs(std::int64_t now) const {
        const std::optional<std::int64_t> expiry = monitor_.nextExpiry();
        if (!expiry)
            return kLongestWaitMs;
        return static_cast<std::uint32_t>(
            std::clamp<std::int64_t>(*expiry - now, 0, kLongestWaitMs));
    }

    void take(std::int64_t now, std::uint32_t length) {
        ++result_.reports;
        auto count = static_cast<std::uint32_t>(usages_.size());
        const hid::Bool32 status =
            api_.HidP_GetUsages(hid::HidpReportType::Input, hid::kButtonPage, 0, usages_.data(),
                                &count, preparsed_, buffer_.data(), length);
        if (status == hid::HIDP_STATUS_SUCCESS) {
            const auto pressed = hid::inputsFromButtons(std::span<const std::uint16_t>(
                usages_.data(), std::min<std::size_t>(count, usages_.size())));
            print(io_.out, monitor_.update(now, pressed));
        } else if (status == hid::HIDP_STATUS_REPORT_DOES_NOT_EXIST) {
            ++result_.unknownReportId;
        } else if (status != hid::HIDP_STATUS_INCOMPATIBLE_REPORT_ID) {
            ++result_.wrongLength;
        } // a report with no buttons in it changes none
    }

    MonitorEnd readFailure() {
        if (api_.lastError().kind == hid::PlatformError::Kind::Gone) {
            io_.err << "tessary32: board " << board_.name << " was unplugged\n";
            return MonitorEnd::Unplugged;
        }
        io_.err << "tessary32: reading the inputs of board " << board_.name << " failed";
        if (api_.lastError().code != 0)
            io_.err << " (error " << api_.lastError().code << ")";
        io_.err << '\n';
        return MonitorEnd::ReadFailed;
    }

    void reportSkipped() const {
        if (result_.wrongLength > 0)
            io_.err << "tessary32: skipped " << result_.wrongLength
                    << " input reports of a length the report descriptor does not give\n";
        if (result_.unknownReportId > 0)
            io_.err << "tessary32: skipped " << result_.unknownReportId
                    << " input reports with a report ID the report descriptor does not declare\n";
    }

    hid::ApiDeclarations& api_;
    const MonitoredBoard& board_;
    const MonitorIo& io_;
    InputMonitor monitor_;
    hid::PreparsedData preparsed_;
    std::vector<std::uint16_t> usages_;
    std::vector<std::uint8_t> buffer_;
    MonitorResult result_;
};

} // namespace

MonitorResult runMonitor(hid::ApiDeclarations& api, const MonitoredBoard& board,
                         const MonitorOptions& options, const MonitorIo& io) {
    const Preparsed preparsed(api, board.featureHandle);
    if (!preparsed.valid()) {
        io.err << "tessary32: cannot read the report descriptor of board " << board.name << '\n';
        return {MonitorEnd::NoLayout};
    }
    const std::uint32_t mostButtons =
        api.HidP_MaxUsageListLength(hid::HidpReportType::Input, hid::kButtonPage, preparsed.data());
    if (mostButtons == 0) {
        io.err << "tessary32: the report descriptor of board " << board.name
               << " declares no Button usages in its input reports, so its inputs cannot be"
                  " told apart\n";
        return {MonitorEnd::NoButtons};
    }
    return Session(api, board, options, io, preparsed.data(), mostButtons).run();
}

int exitCode(const MonitorResult& result) {
    return result.end == MonitorEnd::Stopped ? 0 : 1;
}

} // namespace monitor
