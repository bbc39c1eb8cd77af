// Whether hidraw nodes may have come, gone or been handed to another device since the last
// look. The search looks twenty times a second; on a system where nothing was plugged or
// unplugged, one read of an inotify descriptor answers for every node, where checking each
// node costs a system call apiece.
//
// The kernel creates /dev/hidrawN after the node's sysfs entries, so sysfs lists a node by the
// time its event is seen. It removes /dev/hidrawN before them, so a listing made in between
// still names the node: such a listing is distrusted until the node's entries are gone too.
// The sysfs class directory is watched as well, for trees whose entries do raise events
// (sysfs raises none). Where no watch can be had, everything counts as changed, always.
#pragma once

#include <cstdint>
#include <string>

namespace hid {

class NodeWatch {
public:
    NodeWatch(const std::string& nodeDirectory, const std::string& classDirectory);
    ~NodeWatch();
    NodeWatch(const NodeWatch&) = delete;
    NodeWatch& operator=(const NodeWatch&) = delete;

    // Takes the events since the last call; a new number after any of them, and after every
    // call while nothing is watched.
    std::uint64_t look();
    // The number look() last gave.
    std::uint64_t generation() const { return generation_; }
    // Keeps the next look() from trusting what was seen: for a listing the watch cannot vouch
    // for yet, such as a sysfs entry whose node is not there.
    void distrust() { distrusted_ = true; }

private:
    bool drained();

    int fd_ = -1;
    bool watching_ = false;
    bool distrusted_ = true;
    std::uint64_t generation_ = 0;
};

} // namespace hid
