// tessary32 report: everything a maker needs to look into a problem, in one text to send: the
// utility's version, the system, each board's identity, capabilities, report descriptor,
// settings and self test, whether this user may open it, and every error met on the way. It
// only reads: the self test is a request the board answers without changing a setting.
#include "../app/AppIdentity.h"
#include "BoardChoice.h"
#include "Commands.h"
#include "ConsoleText.h"
#include "SettingText.h"
#include "Watching.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/utsname.h>
#include <unistd.h>
#endif

namespace cli {

namespace {

using Document = nlohmann::ordered_json;

#ifdef _WIN32
std::string systemText() {
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    using WineGetVersion = const char*(CDECL*)();
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    std::string text = "Windows";
    if (const auto get = ntdll != nullptr ? reinterpret_cast<RtlGetVersion>(reinterpret_cast<void*>(
                                                GetProcAddress(ntdll, "RtlGetVersion")))
                                          : nullptr;
        get != nullptr && get(&info) == 0)
        text += " " + std::to_string(info.dwMajorVersion) + "." +
                std::to_string(info.dwMinorVersion) + "." + std::to_string(info.dwBuildNumber);
    if (const auto wine = ntdll != nullptr
                              ? reinterpret_cast<WineGetVersion>(reinterpret_cast<void*>(
                                    GetProcAddress(ntdll, "wine_get_version")))
                              : nullptr)
        text += std::string(" (Wine ") + wine() + ")";
    return text;
}

std::optional<bool> mayOpen(const std::string&) {
    return std::nullopt;
}

bool udevApplies() {
    return false;
}

std::optional<std::string> udevRule() {
    return std::nullopt;
}
#else
std::string systemText() {
    utsname name{};
    if (uname(&name) != 0)
        return "unknown";
    return std::string(name.sysname) + " " + name.release + " " + name.version + " " + name.machine;
}

std::optional<bool> mayOpen(const std::string& device) {
    if (!device.starts_with("/dev/"))
        return std::nullopt;
    return ::access(device.c_str(), R_OK | W_OK) == 0;
}

bool udevApplies() {
    return true;
}

// Where udev reads rules from, the local folders first.
std::optional<std::string> udevRule() {
    for (const char* folder :
         {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d"}) {
        const std::filesystem::path rule = std::filesystem::path(folder) / "70-tessary32.rules";
        std::error_code error;
        if (std::filesystem::exists(rule, error))
            return rule.string();
    }
    return std::nullopt;
}
#endif

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        text += (text.empty() ? "" : " ") + std::string(hex);
    }
    return text;
}

Document text(const std::optional<std::string>& boardText) {
    return boardText ? Document(latin1ToUtf8(*boardText)) : Document();
}

// One board as far as it could be read; each failure goes into errors.
Document boardReport(hid::ApiDeclarations& platform, const config::BoardListing& listing,
                     Document& errors) {
    const config::BoardVersion version =
        config::BoardVersion::fromReleaseNumber(listing.versionNumber);
    Document board{{"serial", latin1ToUtf8(listing.serial)},
                   {"device", latin1ToUtf8(listing.devicePath)},
                   {"vendor_id", hex4(listing.vendorId)},
                   {"product_id", hex4(listing.productId)},
                   {"version", version.text()}};
    const std::optional<bool> openable = mayOpen(listing.devicePath);
    board["may_open"] = openable ? Document(*openable) : Document();
    const auto failed = [&](const std::string& what, const config::SessionError& error) {
        errors.push_back(latin1ToUtf8(listing.serial + ": " + what + ": " + error.message()));
    };
    config::BoardSession session(platform);
    const bool opened = session.open(listing.serial);
    if (!openable) // where only an open tells
        board["may_open"] =
            opened || session.lastError().kind != config::SessionError::Kind::PermissionDenied;
    if (!opened) {
        failed("open", session.lastError());
        return board;
    }
    const config::BoardDetails details = session.readDetails();
    board["manufacturer"] = text(details.manufacturer);
    board["product"] = text(details.product);
    const config::OpenBoard open = session.board();
    board["input_report_length"] = open.capabilities.InputReportByteLength;
    board["feature_report_length"] = open.capabilities.FeatureReportByteLength;
    const auto descriptor = platform.GetReportDescriptor(open.featureHandle);
    board["report_descriptor"] = descriptor ? Document(hexBytes(*descriptor)) : Document();
    const config::BoardSettings settings = session.readSettings();
    if (!settings.complete())
        failed("read-back", session.lastError());
    Document values = Document::object();
    for (const config::Setting& setting : allSettings()) {
        if (setting.kind == config::Setting::Kind::RotStart && !version.offersRotStart())
            continue;
        const std::optional<int> index = settings.indexOf(setting);
        values[keyOf(setting)] = index ? Document(valueText(setting, *index)) : Document();
    }
    board["settings"] = values;
    if (version.offersSelfTest()) {
        const config::SelfTestOutcome outcome = session.selfTest();
        board["self_test"] = outcome.text();
        if (outcome.kind == config::SelfTestOutcome::Kind::NoAnswer)
            failed("self test", session.lastError());
    } else {
        board["self_test"] = Document();
    }
    session.close();
    return board;
}

std::string shown(const Document& value) {
    if (value.is_null())
        return "(none)";
    if (value.is_string())
        return printable(value.get<std::string>());
    if (value.is_boolean())
        return value.get<bool>() ? "yes" : "no";
    return value.dump();
}

void printRow(Context& context, const std::string& indent, const std::string& name,
              const std::string& value) {
    char padded[32];
    std::snprintf(padded, sizeof padded, "%-24s", (indent + name).c_str());
    context.out << padded << value << '\n';
}

void printText(Context& context, Document report) {
    printRow(context, "", "utility", shown(report["utility"]));
    printRow(context, "", "system", shown(report["system"]));
    if (report.contains("udev_rule"))
        printRow(context, "", "udev rule",
                 report["udev_rule"].is_null() ? "not installed" : shown(report["udev_rule"]));
    printRow(context, "", "boards", std::to_string(report["boards"].size()));
    for (const Document& board : report["boards"]) {
        context.out << '\n' << "board " << shown(board["serial"]) << '\n';
        for (const auto& [key, value] : board.items()) {
            if (key == "serial")
                continue;
            if (key == "settings") {
                for (const auto& [setting, settingValue] : value.items())
                    printRow(context, "  ", setting, shown(settingValue));
                continue;
            }
            std::string name = key;
            std::replace(name.begin(), name.end(), '_', ' ');
            printRow(context, "  ", name, shown(value));
        }
    }
    context.out << '\n' << "errors" << (report["errors"].empty() ? ": none" : "") << '\n';
    for (const Document& error : report["errors"])
        context.out << "  " << shown(error) << '\n';
}

int runReport(Context& context) {
    Document errors = Document::array();
    config::BoardSession scan(context.platform);
    const std::vector<config::BoardListing> listings = scan.listBoards();
    if (listings.empty())
        errors.push_back(latin1ToUtf8("list: " + scan.lastError().message()));
    Document boards = Document::array();
    for (const config::BoardListing& listing : listings)
        if (context.serial.empty() || listing.serial == context.serial)
            boards.push_back(boardReport(context.platform, listing, errors));
    Document report{{"utility", std::string("tessary32 ") + TESSARY_FILE_VERSION},
                    {"system", systemText()}};
    if (udevApplies()) {
        const std::optional<std::string> rule = udevRule();
        report["udev_rule"] = rule ? Document(latin1ToUtf8(*rule)) : Document();
    }
    report["boards"] = boards;
    report["errors"] = errors;
    if (context.json)
        context.out << report.dump(2, ' ', true, Document::error_handler_t::replace) << '\n';
    else
        printText(context, report);
    return kOk;
}

} // namespace

void addReport(CLI::App& app, Runner& runner) {
    app.add_subcommand("report", "Writes everything to send the maker when something is wrong: "
                                 "versions, system, each board's identity, descriptor, settings "
                                 "and self test, access and errors; writes nothing to a board")
        ->callback([&runner] { runner = runReport; });
}

} // namespace cli
