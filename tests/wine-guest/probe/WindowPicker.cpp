// Plays a user of the native window from outside it: starts tessary32-config.exe, waits for its
// window, makes picks in its drop-down lists as a user's click would (the selection, then
// CBN_SELENDOK to the list's parent), prints what the window shows, closes it and prints how
// it exited, one fact a line, for the scenario program on the Linux side.
//
//   tessary-wine-pick WINDOW_EXE STEP... [show CONTROL...]
//
// A step is a pick, LIST=ITEM: ITEM is the item's text when it starts with "=", otherwise its
// index: "SerNo==TS32-0001" picks the board of that serial, "Enc3=2" the third item of
// channel 3's list. A pick waits until its list is enabled and holds the item. The other
// steps: "wait=MS" lets the window run; "drop=LIST" opens a list as a user's click does and
// "dropped=LIST" prints whether it is still open; "await-enabled=LIST" waits until the list is
// enabled and holds items (a board is loaded); "await-empty=LIST" prints "awaiting LIST",
// then waits until the list is empty and disabled (the window's state with no board) and
// prints how long that took. Exits 0 when every step was done.
#include "Layout.h"
#include "Win32Window.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <windows.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A program's start under Wine in an emulated machine takes seconds.
constexpr auto kWaitLimit = 60s;
constexpr DWORD kExitLimitMs = 30000;

const Clock::time_point started = Clock::now();

// Each line ends with the milliseconds since the start.
void say(const char* format, auto... values) {
    std::printf(format, values...);
    std::printf(
        " @%lld\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count()));
    std::fflush(stdout);
}

std::optional<app::Control> controlNamed(const std::string& name) {
    for (const app::ControlLayout& row : app::kLayout)
        if (name == row.name)
            return row.control;
    return std::nullopt;
}

struct Search {
    int id;
    HWND found;
};

BOOL CALLBACK matchId(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    if (GetDlgCtrlID(window) != search->id)
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND controlWindow(HWND main, app::Control control) {
    Search search{app::win32::kFirstControlId + int(control), nullptr};
    EnumChildWindows(main, matchId, LPARAM(&search));
    return search.found;
}

template <typename Condition> bool waitFor(Condition condition) {
    const Clock::time_point giveUp = Clock::now() + kWaitLimit;
    while (!condition()) {
        if (Clock::now() > giveUp)
            return false;
        Sleep(50);
    }
    return true;
}

// A drop-down list's text is its selected item's. Asked for in UTF-16: under Wine 8 an ANSI
// CB_GETLBTEXT sent from another process came back holding the UTF-16 text.
std::string textOf(HWND window) {
    wchar_t text[256] = {};
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    const LRESULT selected =
        lstrcmpiW(className, L"ComboBox") == 0 ? SendMessageW(window, CB_GETCURSEL, 0, 0) : CB_ERR;
    if (selected == CB_ERR)
        GetWindowTextW(window, text, 256);
    else if (SendMessageW(window, CB_GETLBTEXTLEN, WPARAM(selected), 0) < 256)
        SendMessageW(window, CB_GETLBTEXT, WPARAM(selected), LPARAM(text));
    // The window's texts are single-byte characters.
    std::string narrow;
    for (const wchar_t* unit = text; *unit; ++unit)
        narrow += char(*unit);
    return narrow;
}

// The index of the item a pick names, once the list is enabled and holds it; -1 otherwise.
int itemOf(HWND list, const std::string& item) {
    if (!IsWindowEnabled(list))
        return -1;
    if (item.starts_with("="))
        return int(SendMessageA(list, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(item.c_str() + 1)));
    const int index = std::atoi(item.c_str());
    return index < int(SendMessageA(list, CB_GETCOUNT, 0, 0)) ? index : -1;
}

bool pick(HWND main, const std::string& argument) {
    const std::size_t equals = argument.find('=');
    const std::optional<app::Control> control =
        controlNamed(argument.substr(0, equals == std::string::npos ? 0 : equals));
    HWND list = control ? controlWindow(main, *control) : nullptr;
    if (!list) {
        say("no-list %s", argument.c_str());
        return false;
    }
    const std::string item = argument.substr(equals + 1);
    int index = -1;
    if (!waitFor([&] { return (index = itemOf(list, item)) >= 0; })) {
        say("no-item %s", argument.c_str());
        return false;
    }
    SendMessageA(list, CB_SETCURSEL, WPARAM(index), 0);
    SendMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), CBN_SELENDOK),
                 LPARAM(list));
    say("picked %s %d", argument.c_str(), index);
    return true;
}

// The steps other than picks; nothing when the argument is a pick.
std::optional<bool> otherStep(HWND main, const std::string& argument) {
    const std::size_t equals = argument.find('=');
    const std::string step = argument.substr(0, equals == std::string::npos ? 0 : equals);
    const std::string value = argument.substr(equals + 1);
    if (step == "wait") {
        Sleep(DWORD(std::atoi(value.c_str())));
        say("waited %s", value.c_str());
        return true;
    }
    if (step != "drop" && step != "dropped" && step != "await-empty" && step != "await-enabled")
        return std::nullopt;
    const std::optional<app::Control> control = controlNamed(value);
    HWND list = control ? controlWindow(main, *control) : nullptr;
    if (!list) {
        say("no-list %s", value.c_str());
        return false;
    }
    if (step == "drop") {
        SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
        say("dropped %s %d", value.c_str(), int(SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0)));
    } else if (step == "await-enabled") {
        const bool enabled = waitFor(
            [&] { return IsWindowEnabled(list) && SendMessageW(list, CB_GETCOUNT, 0, 0) > 0; });
        say(enabled ? "enabled %s" : "never-enabled %s", value.c_str());
        return enabled;
    } else if (step == "dropped") {
        say("still-dropped %s %d", value.c_str(),
            int(SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0)));
    } else {
        say("awaiting %s", value.c_str());
        const Clock::time_point from = Clock::now();
        const bool emptied = waitFor(
            [&] { return SendMessageW(list, CB_GETCOUNT, 0, 0) == 0 && !IsWindowEnabled(list); });
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from).count();
        say(emptied ? "emptied %s after %lld ms" : "still-filled %s after %lld ms", value.c_str(),
            static_cast<long long>(took));
        return emptied;
    }
    return true;
}

void show(HWND main, const std::string& name) {
    const std::optional<app::Control> control = controlNamed(name);
    HWND window = control ? controlWindow(main, *control) : nullptr;
    say("shows %s %s", name.c_str(), window ? textOf(window).c_str() : "(none)");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        say("usage: tessary-wine-pick WINDOW_EXE LIST=ITEM... [show CONTROL...]");
        return 2;
    }
    std::string command = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        say("start-failed %lu", GetLastError());
        return 1;
    }
    HWND main = nullptr;
    bool done = waitFor([&] {
        main = FindWindowW(app::win32::kWindowClass, nullptr);
        return main && IsWindowVisible(main);
    });
    say(done ? "window" : "no-window");
    int at = 2;
    for (; done && at < argc && std::strcmp(argv[at], "show") != 0; ++at) {
        const std::optional<bool> other = otherStep(main, argv[at]);
        done = other ? *other : pick(main, argv[at]);
    }
    for (++at; done && at < argc; ++at)
        show(main, argv[at]);
    if (main)
        PostMessageA(main, WM_CLOSE, 0, 0);
    DWORD code = 1;
    if (WaitForSingleObject(process.hProcess, kExitLimitMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        say("no-exit");
        done = false;
    } else {
        GetExitCodeProcess(process.hProcess, &code);
        say("exit %lu", code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return done && code == 0 ? 0 : 1;
}
