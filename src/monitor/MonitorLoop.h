// Watching an open board: waits for its input reports without busy-waiting, reads the pressed
// inputs from each through the platform's usage query, and prints what InputMonitor makes of
// them until it is asked to stop or the board goes away.
#pragma once

#include "ApiDeclarations.h"
#include "InputMonitor.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace monitor {

// The longest a wait lasts, so that a request to stop is seen soon although no report comes.
inline constexpr std::uint32_t kLongestWaitMs = 250;

struct MonitoredBoard {
    hid::Handle featureHandle = hid::kInvalidHandle; // for the preparsed data
    hid::Handle readHandle = hid::kInvalidHandle;    // opened for overlapped reads
    std::uint16_t inputReportLength = 0;             // with the report-ID byte
    std::string name;                                // how messages name the board
};

struct MonitorIo {
    std::ostream& out; // the lines
    std::ostream& err; // messages
    std::function<std::int64_t()> nowMs;
    std::function<bool()> stopRequested;
};

enum class MonitorEnd {
    Stopped,    // asked to stop
    Unplugged,  // the board went away
    ReadFailed, // reading failed for another reason
    NoLayout,   // the board's report descriptor could not be had
    NoButtons,  // its descriptor declares no Button usages
};

struct MonitorResult {
    MonitorEnd end = MonitorEnd::Stopped;
    std::uint64_t reports = 0;
    std::uint64_t wrongLength = 0;     // skipped: a length the descriptor does not give
    std::uint64_t unknownReportId = 0; // skipped: an ID the descriptor does not declare
};

MonitorResult runMonitor(hid::ApiDeclarations& api, const MonitoredBoard& board,
                         const MonitorOptions& options, const MonitorIo& io);

// 0 when monitoring stopped as asked, else 1.
int exitCode(const MonitorResult& result);

} // namespace monitor
