// The utility's window drawn with native Windows controls: a container window for each frame
// holding its group box and controls, drop-down combo boxes, static labels, a push button, an
// edit box and an etched line, laid out from the design's twips at the monitor's DPI. It is the
// view of the window's logic, which it owns, and raises the logic's events from the controls'
// notifications and the timer.
#pragma once

#include "ApiDeclarations.h"
#include "Layout.h"
#include "MainWindowLogic.h"
#include "WindowView.h"

#include <array>
#include <string>
#include <windows.h>

namespace app::win32 {

// How other programs find the window and its controls: a control's ID is kFirstControlId plus
// its place in Control.
inline constexpr wchar_t kWindowClass[] = L"Tessary32ConfigWindow";
inline constexpr int kFirstControlId = 100;

class Win32Window : private WindowView {
public:
    // Creates the window and its controls, hidden; Form_Load shows it.
    Win32Window(hid::ApiDeclarations& api, HINSTANCE instance);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    MainWindowLogic& logic() { return logic_; }
    HWND handle() const { return window_; }
    // The native window of a control; for a frame, its group box. Null for the timer.
    HWND control(Control control) const { return controls_[std::size_t(control)]; }
    // The container window that holds a frame's controls.
    HWND container(Container in) const;

    // What the message loop does with each message before dispatching it: the keyboard's
    // dialog navigation, and the wheel kept from lists that lack the keyboard focus. True when
    // the message has been dealt with.
    bool preTranslate(MSG& message);
    // Runs the message loop until the window is closed; returns the exit code.
    int run();

    bool timerEnabled() const { return timerEnabled_; }
    int timerInterval() const { return timerInterval_; }

    // The text a detail field or the serial list's field draws: its own, ended with an
    // ellipsis where the visible part of the field is too short for it.
    std::wstring shownText(Control control) const;
    // The tooltips that give such a text whole.
    HWND toolTips() const { return toolTips_; }

private:
    static LRESULT CALLBACK windowProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK containerProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void onCommand(WPARAM wParam, LPARAM lParam);

    void createControls();
    HWND createControl(const ControlLayout& row);
    void orderForTabbing();
    void applyLayout(int dpi);
    HFONT fontFor(FontFace face) const;
    bool isList(HWND window) const;

    // Strings that may not fit: drawn elided, whole in a tooltip.
    static LRESULT CALLBACK detailFieldProc(HWND, UINT, WPARAM, LPARAM);
    void paintDetailField(HWND field) const;
    void drawListItem(const DRAWITEMSTRUCT& item) const;
    void createToolTips();
    void updateToolTip(Control control);
    void fitDroppedWidth(Control list);

    // The view's operations
    void showWindow() override;
    void setText(Control control, const std::string& text) override;
    void setEnabled(Control control, bool enabled) override;
    void removeAllItems(Control list) override;
    void addItem(Control list, const std::string& text, int index) override;
    int listIndex(Control list) const override;
    void setListIndex(Control list, int index) override;
    std::string selectedText(Control list) const override;
    int findItem(Control list, const std::string& text) const override;
    void setTimerEnabled(bool enabled) override;
    void setTimerInterval(int milliseconds) override;

    HINSTANCE instance_;
    HWND window_ = nullptr;
    std::array<HWND, kControlCount> controls_{};
    HWND frame1_ = nullptr; // the containers of the two frames
    HWND frame3_ = nullptr;
    HFONT arial_ = nullptr;
    HFONT msSansSerif_ = nullptr;
    HWND toolTips_ = nullptr;
    bool timerEnabled_ = false;
    int timerInterval_ = kTimerIntervalMs;
    MainWindowLogic logic_;
};

} // namespace app::win32
