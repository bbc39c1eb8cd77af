// Watching an open board: waits for its input reports without busy-waiting, reads the pressed
// inputs from each through the platform's usage query, and hands on the events InputMonitor
// makes of them until it is asked to stop or the board goes away.
#pragma once

#include "ApiDeclarations.h"
#include "InputMonitor.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace monitor {

// The longest a wait lasts, so that a request to stop is seen soon although no report comes.
inline constexpr std::uint32_t kLongestWaitMs = 500;

struct MonitoredBoard {
    hid::Handle featureHandle = hid::kInvalidHandle; // for the preparsed data
    hid::Handle readHandle = hid::kInvalidHandle;    // opened for overlapped reads
    std::uint16_t inputReportLength = 0;             // with the report-ID byte
};

struct MonitorIo {
    std::function<std::int64_t()> nowMs;
    std::function<bool()> stopRequested;
    std::function<void(const MonitorEvent&)> onEvent; // each event, in order
};

struct MonitorResult {
    MonitorEnd end = MonitorEnd::Stopped;
    std::uint64_t reports = 0;
    std::uint64_t wrongLength = 0;     // skipped: a length the descriptor does not give
    std::uint64_t unknownReportId = 0; // skipped: an ID the descriptor does not declare
};

// One monitoring of one board, a wait at a time: for callers that have their own event loop.
class MonitorSession {
public:
    MonitorSession(hid::ApiDeclarations& api, MonitoredBoard board, const MonitorOptions& options,
                   const MonitorIo& io);
    ~MonitorSession();
    MonitorSession(const MonitorSession&) = delete;
    MonitorSession& operator=(const MonitorSession&) = delete;

    // Takes the board's layout; false, with a MonitorEnded event, when its inputs cannot be
    // read.
    bool start();
    enum class Step { Report, Idle, Ended };
    // Waits at most longestWaitMs, less when a turn is about to end, and takes one report.
    // Ended once the board has gone or cannot be read.
    Step step(std::uint32_t longestWaitMs);
    // When the turn under way ends, in ms since the start, if no pulse comes.
    std::optional<std::int64_t> nextTurnEnd() const { return monitor_.nextExpiry(); }
    // Hands on the turns still under way and what was skipped.
    void finish();
    const MonitorResult& result() const { return result_; }

private:
    std::uint32_t waitMs(std::uint32_t longestWaitMs) const;
    void take(std::uint32_t length);
    void ended(MonitorEnd end, int errorCode = 0);
    void hand(const MonitorEvents& events) const;

    hid::ApiDeclarations& api_;
    MonitoredBoard board_;
    MonitorIo io_;
    InputMonitor monitor_;
    hid::PreparsedData preparsed_ = 0;
    bool havePreparsed_ = false;
    std::int64_t start_ = 0;
    std::int64_t now_ = 0;
    std::vector<std::uint16_t> usages_;
    std::vector<std::uint8_t> buffer_;
    MonitorResult result_;
};

// Monitors until stopRequested or the board goes.
MonitorResult runMonitor(hid::ApiDeclarations& api, const MonitoredBoard& board,
                         const MonitorOptions& options, const MonitorIo& io);

} // namespace monitor
