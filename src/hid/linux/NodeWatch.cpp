#include "NodeWatch.h"

#include <array>
#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

namespace hid {

namespace {
constexpr std::uint32_t kMembership = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                      IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// Events that leave a directory unwatched from then on.
constexpr std::uint32_t kWatchLost = IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;
} // namespace

NodeWatch::NodeWatch(const std::string& nodeDirectory, const std::string& classDirectory)
    : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    watching_ = fd_ >= 0 && ::inotify_add_watch(fd_, nodeDirectory.c_str(), kMembership) >= 0 &&
                ::inotify_add_watch(fd_, classDirectory.c_str(), kMembership) >= 0;
}

NodeWatch::~NodeWatch() {
    if (fd_ >= 0)
        ::close(fd_);
}

// True when nothing happened since the last call. An overflowed queue or a lost watch counts
// as a change, the latter for good.
bool NodeWatch::drained() {
    alignas(inotify_event) std::array<char, 4096> events{};
    bool quiet = true;
    for (ssize_t got; (got = ::read(fd_, events.data(), events.size())) != 0;) {
        if (got < 0)
            return quiet && (errno == EAGAIN || errno == EWOULDBLOCK);
        quiet = false;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events.data() + at);
            if ((event->mask & kWatchLost) != 0)
                watching_ = false;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return false;
}

std::uint64_t NodeWatch::look() {
    const bool quiet = watching_ && drained();
    if (!quiet || distrusted_ || !watching_)
        ++generation_;
    distrusted_ = false;
    return generation_;
}

} // namespace hid
