// The window as designed, once: every control with its name, kind, container, text, position
// and size in twips, font, tab position and enabled state when the window is created. Both
// views build from this table, and the layout tests hold each view against it.
#pragma once

#include "Controls.h"

#include <array>

namespace app {

enum class ControlKind { Label, Frame, DropDownList, CommandButton, TextBox, Line, Timer };
enum class Container { Window, Frame1, Frame3 };
enum class FontFace { WindowDefault, Arial, MsSansSerif };

struct ControlLayout {
    Control control;
    const char* name;
    ControlKind kind;
    Container in;
    const char* text;
    // Twips from the container's top-left corner. A line runs from left to left + width at top;
    // the timer has a position but no size.
    int left, top, width, height;
    FontFace font;
    int tabIndex; // -1: no place in the tab order
    bool enabled;
};

inline constexpr const char* kWindowName = "frmMain";
inline constexpr int kClientWidthTwips = 4695;
inline constexpr int kClientHeightTwips = 8115;
inline constexpr int kTwipsPerInch = 1440;
inline constexpr double kFontPoints = 9.75;
inline constexpr int kTimerIntervalMs = 50;

extern const std::array<ControlLayout, kControlCount> kLayout;

inline const ControlLayout& layoutOf(Control control) {
    return kLayout[std::size_t(control)];
}
// The frame a container stands for.
constexpr Control frameOf(Container in) {
    return in == Container::Frame1 ? Control::Frame1 : Control::Frame3;
}
// A control that can take the keyboard focus.
constexpr bool takesFocus(ControlKind kind) {
    return kind == ControlKind::DropDownList || kind == ControlKind::CommandButton ||
           kind == ControlKind::TextBox;
}

// A control the tab key visits.
constexpr bool inTabOrder(const ControlLayout& row) {
    return row.tabIndex >= 0 && takesFocus(row.kind);
}

// An edge in twips as a pixel coordinate at dots-per-inch dpi. Edges are rounded, not sizes,
// so that neighbours stay flush.
constexpr int pixelEdge(int twips, int dpi = 96) {
    return (twips * dpi + kTwipsPerInch / 2) / kTwipsPerInch;
}

struct PixelRect {
    int left, top, width, height;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Where a control lies in its container, in pixels at dpi. A line is one pixel high.
constexpr PixelRect pixelRect(const ControlLayout& row, int dpi = 96) {
    const int left = pixelEdge(row.left, dpi);
    const int top = pixelEdge(row.top, dpi);
    const int height =
        row.kind == ControlKind::Line ? 1 : pixelEdge(row.top + row.height, dpi) - top;
    return {left, top, pixelEdge(row.left + row.width, dpi) - left, height};
}

} // namespace app
