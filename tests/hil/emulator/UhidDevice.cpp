#include "UhidDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace hil {

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

template <std::size_t N> void copyText(std::uint8_t (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

} // namespace

UhidDevice::UhidDevice(const DeviceIdentity& identity, std::span<const std::uint8_t> descriptor) {
    fd_ = ::open("/dev/uhid", O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0)
        fail("open /dev/uhid");
    uhid_event event{};
    event.type = UHID_CREATE2;
    uhid_create2_req& create = event.u.create2;
    copyText(create.name, identity.name);
    copyText(create.uniq, identity.uniq);
    copyText(create.phys, "tessary-hil/" + identity.uniq);
    create.bus = identity.bus;
    create.vendor = identity.vendor;
    create.product = identity.product;
    create.version = identity.version;
    create.rd_size = static_cast<std::uint16_t>(std::min(descriptor.size(), sizeof create.rd_data));
    std::copy_n(descriptor.begin(), create.rd_size, create.rd_data);
    write(event);
}

UhidDevice::~UhidDevice() {
    if (fd_ < 0)
        return;
    try {
        destroy();
    } catch (const std::system_error&) {
        // Closing the file destroys the device as well.
    }
    ::close(fd_);
}

void UhidDevice::write(const uhid_event& event) {
    if (::write(fd_, &event, sizeof event) != static_cast<ssize_t>(sizeof event))
        fail("write /dev/uhid");
}

std::optional<uhid_event> UhidDevice::readEvent() {
    uhid_event event{};
    const ssize_t got = ::read(fd_, &event, sizeof event);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return std::nullopt;
    if (got <= 0)
        fail("read /dev/uhid");
    return event;
}

void UhidDevice::sendInput(std::span<const std::uint8_t> report) {
    uhid_event event{};
    event.type = UHID_INPUT2;
    event.u.input2.size = static_cast<std::uint16_t>(report.size());
    std::copy(report.begin(), report.end(), event.u.input2.data);
    write(event);
}

void UhidDevice::replyGetReport(std::uint32_t id, std::span<const std::uint8_t> report) {
    uhid_event event{};
    event.type = UHID_GET_REPORT_REPLY;
    event.u.get_report_reply.id = id;
    event.u.get_report_reply.err = 0;
    event.u.get_report_reply.size = static_cast<std::uint16_t>(report.size());
    std::copy(report.begin(), report.end(), event.u.get_report_reply.data);
    write(event);
}

void UhidDevice::failGetReport(std::uint32_t id, std::uint16_t error) {
    uhid_event event{};
    event.type = UHID_GET_REPORT_REPLY;
    event.u.get_report_reply.id = id;
    event.u.get_report_reply.err = error;
    write(event);
}

void UhidDevice::replySetReport(std::uint32_t id, std::uint16_t error) {
    uhid_event event{};
    event.type = UHID_SET_REPORT_REPLY;
    event.u.set_report_reply.id = id;
    event.u.set_report_reply.err = error;
    write(event);
}

void UhidDevice::destroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    uhid_event event{};
    event.type = UHID_DESTROY;
    write(event);
}

} // namespace hil
