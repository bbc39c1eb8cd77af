// tessary32-list: prints one line per board of the family that is plugged in, with its serial
// text, USB vendor:product and version, found through the real platform layer.
#include "BoardConnection.h"
#include "Protocol.h"

#ifdef _WIN32
#include "Win32Platform.h"
#else
#include "HidrawPlatform.h"
#endif

#include <cstdio>
#include <optional>
#include <string>

namespace {

#ifdef _WIN32
using NativePlatform = hid::Win32Platform;
#else
using NativePlatform = hid::HidrawPlatform;
#endif

void printBoard(const std::optional<std::string>& serial, const hid::HiddAttributes& attributes) {
    const std::string version =
        config::BoardVersion::fromReleaseNumber(attributes.VersionNumber).text();
    std::printf("%s\t%04x:%04x\tversion%s\n", serial ? serial->c_str() : "(no serial number)",
                attributes.VendorID, attributes.ProductID, version.c_str());
}

} // namespace

int main() {
    NativePlatform platform;
    hid::BoardConnection connection(platform);
    int boards = 0;
    connection.walkInterfaces([&] {
        printBoard(connection.serialText(), connection.deviceAttributes);
        ++boards;
        return hid::BoardConnection::AfterBoard::CloseAndContinue;
    });
    if (boards == 0)
        std::fprintf(stderr, "No board found.\n");
    return 0;
}
