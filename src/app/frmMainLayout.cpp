// The window as designed, built from the layout table: every control with its name, container,
// text, font, position, size, tab order and enabled state when the window is created. Positions
// are in twips, 15 to the pixel at 96 dpi; edges are rounded, not sizes, so that neighbours stay
// flush. Qt scales the pixels on screens of other densities.
#include "AppIdentity.h"
#include "DetailField.h"
#include "DropDownList.h"
#include "Layout.h"
#include "frmMain.h"

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <algorithm>

// The window's resources live in a static library, whose registration a linker would drop
// unless something refers to it.
static void registerResources() {
    Q_INIT_RESOURCE(tessary_window);
}

namespace {

QRect pixelGeometry(const app::ControlLayout& row) {
    const app::PixelRect at = app::pixelRect(row);
    return {at.left, at.top, at.width, at.height};
}

QFont arial() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(app::kFontPoints);
    return font;
}

// Where MS Sans Serif is missing, fontconfig would fall back to DejaVu Sans, which is too wide
// for "Manufacturer" in its label; Liberation Sans keeps the proportions the window was drawn
// with. Arial needs no help: fontconfig maps it to its metric twin Liberation Sans.
QFont msSansSerif() {
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(app::kFontPoints);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

// A control in a frame takes the frame's font when it is the same, without a font of its own: a
// list given one builds its popup at once.
template <typename Control>
Control* place(Control* control, const char* name, const QRect& geometry, const QFont& font) {
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(geometry);
    if (font != control->font())
        control->setFont(font);
    return control;
}

// Captions sit at the top of their labels, in line with the text of the list beside them.
QLabel* label(QWidget* parent, const char* name, const char* text, const QRect& geometry,
              const QFont& font = arial()) {
    QLabel* caption = place(new QLabel(QString::fromLatin1(text), parent), name, geometry, font);
    caption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Texts from a board are shown as their characters, never read as markup.
    caption->setTextFormat(Qt::PlainText);
    return caption;
}

// Fusion's default inner padding leaves "200 ms" one pixel short of room beside the arrow in
// the 68-pixel lists; two pixels less on the left make it fit and keep the native look. A style
// sheet would do the same, but makes building and painting every list several times dearer.
class ListStyle : public QProxyStyle {
public:
    static constexpr int kNarrowerPadding = 2;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                         SubControl subControl, const QWidget* widget) const override {
        QRect rect = QProxyStyle::subControlRect(control, option, subControl, widget);
        const auto* box = qstyleoption_cast<const QStyleOptionComboBox*>(option);
        if (control != CC_ComboBox || subControl != SC_ComboBoxEditField || box == nullptr ||
            box->editable)
            return rect;
        if (option->direction == Qt::RightToLeft)
            return rect.adjusted(0, 0, kNarrowerPadding, 0);
        return rect.adjusted(-kNarrowerPadding, 0, 0, 0);
    }

    // A serial too long for its list ends in "…" rather than being cut to another valid serial.
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* box = qstyleoption_cast<const QStyleOptionComboBox*>(option);
        if (element != CE_ComboBoxLabel || box == nullptr || box->editable) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionComboBox shown(*box);
        shown.currentText =
            DropDownList::shownText(box->currentText, box->fontMetrics,
                                    subControlRect(CC_ComboBox, box, SC_ComboBoxEditField, widget));
        QProxyStyle::drawControl(element, &shown, painter, widget);
    }
};

// The lists' style serves the whole application: a list given a style of its own builds its
// popup at once.
void useListStyle() {
    if (dynamic_cast<ListStyle*>(QApplication::style()) == nullptr)
        QApplication::setStyle(new ListStyle);
}

DropDownList* dropDownList(QWidget* parent, const char* name, const QRect& geometry) {
    return place(new DropDownList(parent), name, geometry, arial());
}

QGroupBox* frame(QWidget* parent, const char* name, const char* caption, const QRect& geometry) {
    return place(new QGroupBox(QString::fromLatin1(caption), parent), name, geometry, arial());
}

// The four device-detail fields show the system's window colours.
QLabel* detailField(QWidget* parent, const char* name, const QRect& geometry) {
    DetailField* field = place(new DetailField(parent), name, geometry, arial());
    QPalette colours = field->palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Active, QPalette::Base));
    colours.setColor(QPalette::WindowText, colours.color(QPalette::Active, QPalette::Text));
    field->setPalette(colours);
    field->setAutoFillBackground(true);
    return field;
}

QIcon applicationIcon() {
    registerResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/tessary32-config-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/tessary32-config-32.png"), QSize(32, 32));
    return icon;
}

QFont fontOf(app::FontFace face) {
    return face == app::FontFace::MsSansSerif ? msSansSerif() : arial();
}

bool isDetailField(app::Control control) {
    using app::Control;
    return control == Control::lblManuf || control == Control::lblProduct ||
           control == Control::lblVersion || control == Control::lblSerialNumber;
}

QFrame* line(QWidget* parent, const char* name, const QRect& geometry) {
    auto* drawn = new QFrame(parent);
    drawn->setObjectName(QString::fromLatin1(name));
    drawn->setFrameShape(QFrame::HLine);
    drawn->setFrameShadow(QFrame::Plain);
    drawn->setLineWidth(1);
    drawn->setGeometry(geometry);
    return drawn;
}

} // namespace

void frmMain::createControls() {
    useListStyle();
    setObjectName(QString::fromLatin1(app::kWindowName));
    setWindowTitle(QString::fromLatin1(app::kWindowTitle));
    setWindowIcon(applicationIcon());
    setFixedSize(app::pixelEdge(app::kClientWidthTwips), app::pixelEdge(app::kClientHeightTwips));
    for (const app::ControlLayout& row : app::kLayout)
        controls_[std::size_t(row.control)] = createControl(row);
    bindControls();
    // The states once every control is there, so each frame's children see their frame's.
    for (const app::ControlLayout& row : app::kLayout)
        if (auto* shown = qobject_cast<QWidget*>(control(row.control)))
            shown->setEnabled(row.enabled);
    SerNo->raise(); // the list covers the left part of the serial-number field
    setTabOrder();
}

QObject* frmMain::createControl(const app::ControlLayout& row) {
    QWidget* parent = row.in == app::Container::Window
                          ? this
                          : static_cast<QWidget*>(control(app::frameOf(row.in)));
    const QRect geometry = pixelGeometry(row);
    const QFont font = fontOf(row.font);
    QWidget* created = nullptr;
    switch (row.kind) {
    case app::ControlKind::CommandButton:
        created =
            place(new QPushButton(QString::fromLatin1(row.text), parent), row.name, geometry, font);
        break;
    case app::ControlKind::DropDownList:
        created = dropDownList(parent, row.name, geometry);
        break;
    case app::ControlKind::TextBox: // keeps the window's default font
        created = new QLineEdit(QString::fromLatin1(row.text), parent);
        created->setObjectName(QString::fromLatin1(row.name));
        created->setGeometry(geometry);
        if (!app::inTabOrder(row))
            created->setFocusPolicy(Qt::NoFocus);
        break;
    case app::ControlKind::Frame:
        created = frame(parent, row.name, row.text, geometry);
        break;
    case app::ControlKind::Label:
        created = isDetailField(row.control) ? detailField(parent, row.name, geometry)
                                             : label(parent, row.name, row.text, geometry, font);
        break;
    case app::ControlKind::Line:
        created = line(parent, row.name, geometry);
        break;
    case app::ControlKind::Timer: {
        auto* timer = new QTimer(parent);
        timer->setObjectName(QString::fromLatin1(row.name));
        timer->setInterval(app::kTimerIntervalMs);
        return timer;
    }
    }
    return created;
}

void frmMain::bindControls() {
    using app::Control;
    const auto as = [this]<typename Widget>(Control name, Widget*& member) {
        member = static_cast<Widget*>(control(name));
    };
    as(Control::Selftest, Selftest);
    as(Control::RotStart, RotStart);
    as(Control::Text1, Text1);
    as(Control::Frame3, Frame3);
    for (int channel = 1; channel <= kEncoderChannels; ++channel) {
        as(app::encoderList(channel), Enc[channel - 1]);
        as(app::encoderLabel(channel), encoderLabels[channel - 1]);
    }
    as(Control::Delay, Delay);
    as(Control::Line1, Line1);
    as(Control::Label1, Label1);
    as(Control::Frame1, Frame1);
    as(Control::SerNo, SerNo);
    as(Control::Timer, Timer);
    as(Control::lblSerialNumber, lblSerialNumber);
    as(Control::lblVersion, lblVersion);
    as(Control::lblProduct, lblProduct);
    as(Control::lblManuf, lblManuf);
    as(Control::Label2, Label2);
    as(Control::Label5, Label5);
    as(Control::Label4, Label4);
    as(Control::Label3, Label3);
    as(Control::TestResult, TestResult);
    as(Control::Label22, Label22);
}

// Delay, Enc1 to Enc16, SerNo, RotStart, Selftest; labels, frames and Text1 take no focus.
void frmMain::setTabOrder() {
    std::vector<const app::ControlLayout*> focusable;
    for (const app::ControlLayout& row : app::kLayout)
        if (app::inTabOrder(row))
            focusable.push_back(&row);
    std::sort(focusable.begin(), focusable.end(),
              [](const auto* a, const auto* b) { return a->tabIndex < b->tabIndex; });
    for (std::size_t i = 1; i < focusable.size(); ++i)
        QWidget::setTabOrder(static_cast<QWidget*>(control(focusable[i - 1]->control)),
                             static_cast<QWidget*>(control(focusable[i]->control)));
}
