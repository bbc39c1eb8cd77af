#include "Win32Window.h"

#include "AppIdentity.h"

#include <algorithm>
#include <commctrl.h>
#include <string>
#include <vector>

namespace app::win32 {

namespace {

constexpr wchar_t kContainerClass[] = L"Tessary32ConfigFrame";
constexpr wchar_t kIconName[] = L"IDI_ICON1";
constexpr UINT_PTR kTimerId = 1;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// How far an open list reaches below its field, in twips.
constexpr int kDroppedListTwips = 3600;

// The window's texts are single-byte characters, shown as the code points they stand for.
std::wstring wide(const std::string& text) {
    return {text.begin(), text.end()};
}

std::string narrow(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (wchar_t unit : text)
        bytes.push_back(unit < 0x100 ? char(unit) : '?');
    return bytes;
}

const wchar_t* classOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::DropDownList:
        return L"COMBOBOX";
    case ControlKind::CommandButton:
    case ControlKind::Frame:
        return L"BUTTON";
    case ControlKind::TextBox:
        return L"EDIT";
    case ControlKind::Label:
    case ControlKind::Line:
    case ControlKind::Timer:
        break;
    }
    return L"STATIC";
}

bool isDetailField(Control control) {
    return control == Control::lblManuf || control == Control::lblProduct ||
           control == Control::lblVersion || control == Control::lblSerialNumber;
}

// The controls that show a board's strings, which may be too long for them.
bool showsBoardString(Control control) {
    return control == Control::SerNo || isDetailField(control);
}

DWORD styleOf(const ControlLayout& row) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (inTabOrder(row))
        style |= WS_TABSTOP;
    // The serial list draws its own field, to end a serial too long for it with an ellipsis.
    if (row.control == Control::SerNo)
        style |= CBS_OWNERDRAWFIXED | CBS_HASSTRINGS;
    // A detail field takes the pointer, so that its tooltip sees it.
    if (isDetailField(row.control))
        style |= SS_NOTIFY;
    switch (row.kind) {
    case ControlKind::DropDownList:
        return style | WS_VSCROLL | CBS_DROPDOWNLIST;
    case ControlKind::CommandButton:
        return style | BS_PUSHBUTTON;
    case ControlKind::Frame:
        return style | BS_GROUPBOX;
    case ControlKind::TextBox:
        return style | ES_AUTOHSCROLL;
    case ControlKind::Line:
        return style | SS_ETCHEDHORZ;
    case ControlKind::Label:
    case ControlKind::Timer:
        break;
    }
    // Board strings are shown as their characters: an ampersand is no mnemonic.
    return style | SS_LEFT | SS_NOPREFIX;
}

constexpr wchar_t kEllipsis = L'\u2026';
constexpr int kListTextPadding = 2; // pixels between an owner-drawn item's edge and its text

// text, or the longest start of it that fits width pixels with an ellipsis after it.
std::wstring elided(HDC context, const std::wstring& text, int width) {
    const auto fits = [&](const std::wstring& candidate) {
        SIZE size{};
        GetTextExtentPoint32W(context, candidate.c_str(), int(candidate.size()), &size);
        return size.cx <= width;
    };
    if (fits(text))
        return text;
    std::size_t fitting = 0;
    std::size_t tooLong = text.size();
    while (tooLong - fitting > 1) {
        const std::size_t middle = (fitting + tooLong) / 2;
        (fits(text.substr(0, middle) + kEllipsis) ? fitting : tooLong) = middle;
    }
    return text.substr(0, fitting) + kEllipsis;
}

std::wstring windowText(HWND window) {
    std::wstring text(std::size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(std::size_t(GetWindowTextW(window, text.data(), int(text.size()))));
    return text;
}

// What of a control its parent shows: the detail fields reach past their frame's right edge.
int shownWidth(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    RECT parent{};
    GetClientRect(GetParent(control), &parent);
    const int shownRight = std::min(rect.right, parent.right - GetSystemMetrics(SM_CXEDGE));
    return std::max(0, int(shownRight - rect.left));
}

// The width an owner-drawn list item's text may take.
int listTextWidth(const RECT& item) {
    return std::max(0, int(item.right - item.left) - 2 * kListTextPadding);
}

// A device context on window with font selected, for measuring text as it is drawn.
class FontContext {
public:
    FontContext(HWND window, HFONT font) : window_(window), context_(GetDC(window)) {
        old_ = SelectObject(context_, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    }
    ~FontContext() {
        SelectObject(context_, old_);
        ReleaseDC(window_, context_);
    }
    FontContext(const FontContext&) = delete;
    FontContext& operator=(const FontContext&) = delete;
    HDC get() const { return context_; }

private:
    HWND window_;
    HDC context_;
    HGDIOBJ old_;
};

HFONT fontOf(HWND window) {
    return HFONT(SendMessageW(window, WM_GETFONT, 0, 0));
}

HFONT createFont(const wchar_t* face, int dpi) {
    LOGFONTW font{};
    // 9.75 points: 13 pixels at 96 dpi.
    font.lfHeight = -MulDiv(975, dpi, 7200);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

void registerClasses(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.cbWndExtra = sizeof(void*);
    windowClass.lpszClassName = kContainerClass;
    windowClass.lpfnWndProc = DefWindowProcW; // replaced per window once it exists
    RegisterClassExW(&windowClass);
    windowClass.lpszClassName = kWindowClass;
    windowClass.hIcon = HICON(LoadImageW(instance, kIconName, IMAGE_ICON, 32, 32, 0));
    windowClass.hIconSm = HICON(LoadImageW(instance, kIconName, IMAGE_ICON, 16, 16, 0));
    RegisterClassExW(&windowClass);
}

} // namespace

Win32Window::Win32Window(hid::ApiDeclarations& api, HINSTANCE instance)
    : instance_(instance), logic_(api, *this) {
    registerClasses(instance_);
    window_ =
        CreateWindowExW(0, kWindowClass, wide(app::kWindowTitle).c_str(), kWindowStyle,
                        CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance_, nullptr);
    SetWindowLongPtrW(window_, 0, LONG_PTR(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, LONG_PTR(&Win32Window::windowProc));
    createControls();
    createToolTips();
    orderForTabbing();
    applyLayout(int(GetDpiForWindow(window_)));
}

Win32Window::~Win32Window() {
    if (!logic_.unloaded())
        logic_.Form_Unload();
    if (IsWindow(window_)) {
        SetWindowLongPtrW(window_, 0, 0);
        DestroyWindow(window_);
    }
    DeleteObject(arial_);
    DeleteObject(msSansSerif_);
}

HWND Win32Window::container(Container in) const {
    return in == Container::Frame1 ? frame1_ : in == Container::Frame3 ? frame3_ : window_;
}

void Win32Window::createControls() {
    for (const ControlLayout& row : kLayout)
        controls_[std::size_t(row.control)] = createControl(row);
}

// A frame is a container window, so that disabling it blocks input to all it holds, with its
// group box drawn inside it.
HWND Win32Window::createControl(const ControlLayout& row) {
    if (row.kind == ControlKind::Timer)
        return nullptr;
    const HMENU id = HMENU(INT_PTR(kFirstControlId + int(row.control)));
    HWND parent = container(row.in);
    if (row.kind == ControlKind::Frame) {
        HWND frame =
            CreateWindowExW(WS_EX_CONTROLPARENT, kContainerClass, L"", WS_CHILD | WS_VISIBLE, 0, 0,
                            0, 0, window_, nullptr, instance_, nullptr);
        SetWindowLongPtrW(frame, GWLP_WNDPROC, LONG_PTR(&Win32Window::containerProc));
        (row.control == Control::Frame1 ? frame1_ : frame3_) = frame;
        EnableWindow(frame, row.enabled);
        parent = frame;
    }
    const DWORD extended = row.kind == ControlKind::TextBox ? WS_EX_CLIENTEDGE : 0;
    HWND control = CreateWindowExW(extended, classOf(row.kind), wide(row.text).c_str(),
                                   styleOf(row), 0, 0, 0, 0, parent, id, instance_, nullptr);
    if (isDetailField(row.control)) {
        SetWindowLongPtrW(
            control, GWLP_USERDATA,
            SetWindowLongPtrW(control, GWLP_WNDPROC, LONG_PTR(&Win32Window::detailFieldProc)));
    }
    EnableWindow(control, row.enabled);
    return control;
}

namespace {

// Where a control stands in the keyboard order of its parent: the controls that take the
// focus by their tab positions, a frame's container by the first of its own, then the rest.
int tabKey(const ControlLayout& row) {
    if (row.kind == ControlKind::Frame) {
        int first = INT_MAX;
        for (const ControlLayout& inside : kLayout)
            if (inside.in != Container::Window && frameOf(inside.in) == row.control &&
                inTabOrder(inside))
                first = std::min(first, inside.tabIndex);
        return first;
    }
    return inTabOrder(row) ? row.tabIndex : INT_MAX;
}

// A closed list is as high as its field, which its font decides; the design's height wins.
void fitListField(HWND list, int height) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        RECT now{};
        GetWindowRect(list, &now);
        const int excess = int(now.bottom - now.top) - height;
        if (excess == 0)
            return;
        const LRESULT field = SendMessageW(list, CB_GETITEMHEIGHT, WPARAM(-1), 0);
        SendMessageW(list, CB_SETITEMHEIGHT, WPARAM(-1), field - excess);
    }
}

} // namespace

// The dialog manager moves the focus in the order of the windows' z-order, descending into
// the frames' containers. Ordered so, the keys visit Delay, Enc1 to Enc16, SerNo, RotStart
// and Selftest; a group box stays under the controls it frames, and SerNo over the
// field it covers.
void Win32Window::orderForTabbing() {
    std::vector<const ControlLayout*> rows;
    for (const ControlLayout& row : kLayout)
        if (row.kind != ControlKind::Timer)
            rows.push_back(&row);
    std::stable_sort(rows.begin(), rows.end(), [](const ControlLayout* a, const ControlLayout* b) {
        return tabKey(*a) < tabKey(*b);
    });
    std::array<HWND, 3> last{}; // per parent: the window, Frame1, Frame3
    for (const ControlLayout* row : rows) {
        HWND self =
            row->kind == ControlKind::Frame
                ? container(row->control == Control::Frame1 ? Container::Frame1 : Container::Frame3)
                : control(row->control);
        HWND& previous = last[std::size_t(row->in)];
        SetWindowPos(self, previous ? previous : HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = self;
    }
    for (Control frame : {Control::Frame1, Control::Frame3})
        SetWindowPos(control(frame), HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

HFONT Win32Window::fontFor(FontFace face) const {
    return face == FontFace::Arial         ? arial_
           : face == FontFace::MsSansSerif ? msSansSerif_
                                           : nullptr;
}

// Positions, sizes and fonts at the monitor's dots per inch: at 96, 15 twips to the pixel.
void Win32Window::applyLayout(int dpi) {
    HFONT oldArial = arial_;
    HFONT oldMsSansSerif = msSansSerif_;
    arial_ = createFont(L"Arial", dpi);
    msSansSerif_ = createFont(L"MS Sans Serif", dpi);
    for (const ControlLayout& row : kLayout) {
        HWND self = control(row.control);
        if (!self)
            continue;
        const PixelRect at = pixelRect(row, dpi);
        if (HFONT font = fontFor(row.font))
            SendMessageW(self, WM_SETFONT, WPARAM(font), FALSE);
        if (row.kind == ControlKind::Frame) {
            SetWindowPos(
                container(row.control == Control::Frame1 ? Container::Frame1 : Container::Frame3),
                nullptr, at.left, at.top, at.width, at.height, SWP_NOZORDER | SWP_NOACTIVATE);
            SetWindowPos(self, nullptr, 0, 0, at.width, at.height, SWP_NOZORDER | SWP_NOACTIVATE);
            continue;
        }
        const int height = row.kind == ControlKind::Line ? 2
                           : row.kind == ControlKind::DropDownList
                               ? at.height + MulDiv(kDroppedListTwips, dpi, kTwipsPerInch)
                               : at.height;
        SetWindowPos(self, nullptr, at.left, at.top, at.width, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (row.kind == ControlKind::DropDownList)
            fitListField(self, at.height);
        if (row.control == Control::SerNo) {
            TEXTMETRICW metrics{};
            GetTextMetricsW(FontContext(self, arial_).get(), &metrics);
            SendMessageW(self, CB_SETITEMHEIGHT, 0, metrics.tmHeight + 2);
        }
    }
    RECT frame{0, 0, pixelEdge(kClientWidthTwips, dpi), pixelEdge(kClientHeightTwips, dpi)};
    AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, 0, UINT(dpi));
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    DeleteObject(oldArial);
    DeleteObject(oldMsSansSerif);
}

// Messages

LRESULT CALLBACK Win32Window::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, 0));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

// A frame's container hands its controls' notifications on to the window.
LRESULT CALLBACK Win32Window::containerProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
    case WM_MEASUREITEM:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        return SendMessageW(GetParent(window), message, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        onCommand(wParam, lParam);
        return 0;
    case WM_TIMER:
        if (wParam == kTimerId)
            logic_.Timer_Timer();
        return 0;
    // The serial list's items, measured when it is made, until the layout sets their height.
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = 16;
        return TRUE;
    case WM_DRAWITEM:
        drawListItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_CTLCOLORSTATIC: {
        const int id = GetDlgCtrlID(HWND(lParam)) - kFirstControlId;
        if (id >= 0 && id < int(kControlCount) && isDetailField(Control(id))) {
            auto* context = reinterpret_cast<HDC>(wParam);
            SetTextColor(context, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(context, GetSysColor(COLOR_WINDOW));
            return LRESULT(GetSysColorBrush(COLOR_WINDOW));
        }
        break;
    }
    case WM_DPICHANGED: {
        applyLayout(HIWORD(wParam));
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_CLOSE:
        if (!logic_.unloaded())
            logic_.Form_Unload();
        DestroyWindow(window_);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

// A user's pick in a list is CBN_SELENDOK, also when it picks the item already selected.
void Win32Window::onCommand(WPARAM wParam, LPARAM lParam) {
    if (!lParam)
        return;
    const int id = LOWORD(wParam) - kFirstControlId;
    if (id < 0 || id >= int(kControlCount))
        return;
    const Control source = Control(id);
    const ControlKind kind = layoutOf(source).kind;
    if (source == Control::SerNo && HIWORD(wParam) == CBN_SELCHANGE)
        updateToolTip(source);
    if (kind == ControlKind::DropDownList && HIWORD(wParam) == CBN_SELENDOK)
        logic_.selectionMade(source);
    else if (kind == ControlKind::CommandButton && HIWORD(wParam) == BN_CLICKED)
        logic_.clicked(source);
}

bool Win32Window::isList(HWND window) const {
    return std::any_of(kLayout.begin(), kLayout.end(), [&](const ControlLayout& row) {
        return row.kind == ControlKind::DropDownList && control(row.control) == window;
    });
}

// Windows sends the wheel to the window under the pointer. A list that lacks the keyboard focus
// must not follow it: that would write to the board, or open another board, while the user
// merely scrolls.
bool Win32Window::preTranslate(MSG& message) {
    if (message.message == WM_MOUSEWHEEL && isList(message.hwnd) && GetFocus() != message.hwnd)
        return true;
    return IsDialogMessageW(window_, &message) != FALSE;
}

int Win32Window::run() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (preTranslate(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return int(message.wParam);
}

// The view's operations

void Win32Window::showWindow() {
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
}

void Win32Window::setText(Control name, const std::string& text) {
    SetWindowTextW(control(name), wide(text).c_str());
    if (showsBoardString(name))
        updateToolTip(name);
}

// A frame is disabled as a whole, its container with its group box.
void Win32Window::setEnabled(Control name, bool enabled) {
    const ControlLayout& row = layoutOf(name);
    if (row.kind == ControlKind::Timer)
        return;
    if (row.kind == ControlKind::Frame)
        EnableWindow(container(name == Control::Frame1 ? Container::Frame1 : Container::Frame3),
                     enabled);
    EnableWindow(control(name), enabled);
}

// An empty list is left alone, as search ticks with no board find it: a reset repaints it.
void Win32Window::removeAllItems(Control list) {
    if (SendMessageW(control(list), CB_GETCOUNT, 0, 0) <= 0)
        return;
    SendMessageW(control(list), CB_RESETCONTENT, 0, 0);
    if (showsBoardString(list))
        updateToolTip(list);
}

void Win32Window::addItem(Control list, const std::string& text, int index) {
    SendMessageW(control(list), CB_INSERTSTRING, WPARAM(index), LPARAM(wide(text).c_str()));
    if (showsBoardString(list))
        fitDroppedWidth(list);
}

int Win32Window::listIndex(Control list) const {
    return int(SendMessageW(control(list), CB_GETCURSEL, 0, 0));
}

// CB_SETCURSEL notifies nobody, so the event a selection by the program raises is raised here.
void Win32Window::setListIndex(Control list, int index) {
    const int count = int(SendMessageW(control(list), CB_GETCOUNT, 0, 0));
    SendMessageW(control(list), CB_SETCURSEL, WPARAM(index >= 0 && index < count ? index : -1), 0);
    if (showsBoardString(list))
        updateToolTip(list);
    logic_.selectionMade(list);
}

namespace {

std::wstring itemText(HWND list, int index) {
    const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (length < 0)
        return {};
    std::wstring text(std::size_t(length) + 1, L'\0');
    SendMessageW(list, CB_GETLBTEXT, WPARAM(index), LPARAM(text.data()));
    text.resize(std::size_t(length));
    return text;
}

} // namespace

std::string Win32Window::selectedText(Control list) const {
    const int index = listIndex(list);
    return index < 0 ? std::string() : narrow(itemText(control(list), index));
}

// CB_FINDSTRINGEXACT ignores case; serial texts that differ only in case are different boards.
int Win32Window::findItem(Control list, const std::string& text) const {
    const int count = int(SendMessageW(control(list), CB_GETCOUNT, 0, 0));
    for (int index = 0; index < count; ++index)
        if (narrow(itemText(control(list), index)) == text)
            return index;
    return -1;
}

void Win32Window::setTimerEnabled(bool enabled) {
    timerEnabled_ = enabled;
    if (enabled)
        SetTimer(window_, kTimerId, UINT(timerInterval_), nullptr);
    else
        KillTimer(window_, kTimerId);
}

void Win32Window::setTimerInterval(int milliseconds) {
    timerInterval_ = milliseconds;
    if (timerEnabled_)
        SetTimer(window_, kTimerId, UINT(timerInterval_), nullptr);
}

// Strings that may not fit their controls

LRESULT CALLBACK Win32Window::detailFieldProc(HWND field, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    const auto* self =
        reinterpret_cast<const Win32Window*>(GetWindowLongPtrW(GetAncestor(field, GA_ROOT), 0));
    if (message == WM_PAINT && self) {
        self->paintDetailField(field);
        return 0;
    }
    const auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(field, GWLP_USERDATA));
    const LRESULT result = CallWindowProcW(original, field, message, wParam, lParam);
    // A static may draw a new text at once, as it would draw it: it is drawn again here.
    if (message == WM_SETTEXT || message == WM_ENABLE)
        InvalidateRect(field, nullptr, TRUE);
    return result;
}

// On one line, in the system's window colours, cut short with an ellipsis where the frame
// hides the rest of the field.
void Win32Window::paintDetailField(HWND field) const {
    PAINTSTRUCT paint{};
    HDC context = BeginPaint(field, &paint);
    RECT client{};
    GetClientRect(field, &client);
    FillRect(context, &client, GetSysColorBrush(COLOR_WINDOW));
    SetTextColor(context, GetSysColor(COLOR_WINDOWTEXT));
    SetBkMode(context, TRANSPARENT);
    const HGDIOBJ old = SelectObject(context, fontOf(field));
    const std::wstring shown = elided(context, windowText(field), shownWidth(field));
    DrawTextW(context, shown.c_str(), int(shown.size()), &client,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(context, old);
    EndPaint(field, &paint);
}

// The serial list's items: whole in the open list, cut short with an ellipsis in the field.
void Win32Window::drawListItem(const DRAWITEMSTRUCT& item) const {
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    if (item.itemID != UINT(-1)) {
        const int colour = (item.itemState & ODS_DISABLED) != 0 ? COLOR_GRAYTEXT
                           : selected                           ? COLOR_HIGHLIGHTTEXT
                                                                : COLOR_WINDOWTEXT;
        SetTextColor(item.hDC, GetSysColor(colour));
        SetBkMode(item.hDC, TRANSPARENT);
        const HGDIOBJ old = SelectObject(item.hDC, fontOf(item.hwndItem));
        std::wstring text = itemText(item.hwndItem, int(item.itemID));
        if ((item.itemState & ODS_COMBOBOXEDIT) != 0)
            text = elided(item.hDC, text, listTextWidth(item.rcItem));
        RECT room = item.rcItem;
        room.left += kListTextPadding;
        DrawTextW(item.hDC, text.c_str(), int(text.size()), &room,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(item.hDC, old);
    }
    if ((item.itemState & ODS_FOCUS) != 0)
        DrawFocusRect(item.hDC, &item.rcItem);
}

std::wstring Win32Window::shownText(Control name) const {
    HWND shown = control(name);
    const FontContext context(shown, fontOf(shown));
    if (name != Control::SerNo)
        return elided(context.get(), windowText(shown), shownWidth(shown));
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    GetComboBoxInfo(shown, &info);
    const int index = listIndex(name);
    return index < 0 ? std::wstring()
                     : elided(context.get(), itemText(shown, index), listTextWidth(info.rcItem));
}

void Win32Window::createToolTips() {
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&classes);
    toolTips_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
    for (const ControlLayout& row : kLayout) {
        if (!showsBoardString(row.control))
            continue;
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = GetParent(control(row.control));
        tool.uId = UINT_PTR(control(row.control));
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(toolTips_, TTM_ADDTOOLW, 0, LPARAM(&tool));
    }
}

// The whole text while the control shows it cut short; none otherwise.
void Win32Window::updateToolTip(Control name) {
    HWND shown = control(name);
    const int index = name == Control::SerNo ? listIndex(name) : 0;
    const std::wstring whole = name != Control::SerNo ? windowText(shown)
                               : index < 0            ? std::wstring()
                                                      : itemText(shown, index);
    std::wstring tip = shownText(name) == whole ? std::wstring() : whole;
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = GetParent(shown);
    tool.uId = UINT_PTR(shown);
    tool.lpszText = tip.data();
    SendMessageW(toolTips_, TTM_UPDATETIPTEXTW, 0, LPARAM(&tool));
}

// The open list is as wide as its longest item, so that every serial is read whole there.
void Win32Window::fitDroppedWidth(Control list) {
    HWND shown = control(list);
    const FontContext context(shown, fontOf(shown));
    RECT field{};
    GetWindowRect(shown, &field);
    int widest = int(field.right - field.left);
    const int count = int(SendMessageW(shown, CB_GETCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        const std::wstring text = itemText(shown, index);
        SIZE size{};
        GetTextExtentPoint32W(context.get(), text.c_str(), int(text.size()), &size);
        widest =
            std::max(widest, int(size.cx) + 2 * kListTextPadding + GetSystemMetrics(SM_CXVSCROLL) +
                                 2 * GetSystemMetrics(SM_CXEDGE));
    }
    SendMessageW(shown, CB_SETDROPPEDWIDTH, WPARAM(widest), 0);
}

} // namespace app::win32
