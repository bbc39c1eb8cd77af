// The window as designed: every control with its name, container, text, font, position, size,
// tab order and enabled state when the window is created. Positions are in twips, 15 to the
// pixel at 96 dpi; edges are rounded, not sizes, so that neighbours stay flush.
#include "AppIdentity.h"
#include "DropDownList.h"
#include "frmMain.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTimer>

// The window's resources live in a static library, whose registration a linker would drop
// unless something refers to it.
static void registerResources() {
    Q_INIT_RESOURCE(tessary_window);
}

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kClientWidth = 4695;
constexpr int kClientHeight = 8115;
constexpr double kFontPoints = 9.75;

int pixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

QRect twips(int left, int top, int width, int height) {
    const int x = pixels(left);
    const int y = pixels(top);
    return {x, y, pixels(left + width) - x, pixels(top + height) - y};
}

QFont arial() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(kFontPoints);
    return font;
}

// Where MS Sans Serif is missing, fontconfig would fall back to DejaVu Sans, which is too wide
// for "Manufacturer" in its label; Liberation Sans keeps the proportions the window was drawn
// with. Arial needs no help: fontconfig maps it to its metric twin Liberation Sans.
QFont msSansSerif() {
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(kFontPoints);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

template <typename Control>
Control* place(Control* control, const char* name, const QRect& geometry, const QFont& font) {
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(geometry);
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
};

// One for all lists, living as long as the application.
QStyle* listStyle() {
    static QPointer<ListStyle> style;
    if (style.isNull()) {
        style = new ListStyle;
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

DropDownList* dropDownList(QWidget* parent, const char* name, const QRect& geometry) {
    DropDownList* list = place(new DropDownList(parent), name, geometry, arial());
    list->setStyle(listStyle());
    return list;
}

QGroupBox* frame(QWidget* parent, const char* name, const char* caption, const QRect& geometry) {
    return place(new QGroupBox(QString::fromLatin1(caption), parent), name, geometry, arial());
}

// The four device-detail fields show the system's window colours.
QLabel* detailField(QWidget* parent, const char* name, int top) {
    QLabel* field = label(parent, name, "", twips(1680, top, 3300, 330));
    QPalette colours = field->palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Base));
    colours.setColor(QPalette::WindowText, colours.color(QPalette::Text));
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

} // namespace

void frmMain::createControls() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(app::kWindowTitle));
    setWindowIcon(applicationIcon());
    setFixedSize(pixels(kClientWidth), pixels(kClientHeight));

    Selftest = place(new QPushButton(QStringLiteral("Self Diagnostic"), this), "Selftest",
                     twips(360, 7560, 1575, 375), msSansSerif());
    RotStart = dropDownList(this, "RotStart", twips(360, 6960, 1020, 360));
    // Text1 keeps the window's default font.
    Text1 = new QLineEdit(QStringLiteral("Text1"), this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twips(120, 8520, 4575, 2295));
    Frame3 = frame(this, "Frame3", "Rotary encoders ", twips(120, 2040, 4455, 4815));

    // Two columns of eight encoder channels, each list with the label naming its two inputs.
    for (int channel = kEncoderChannels; channel >= 1; --channel) {
        const int row = (channel - 1) % 8;
        const int left = channel <= 8 ? 240 : 2400;
        Enc[channel - 1] = dropDownList(Frame3, qPrintable(QStringLiteral("Enc%1").arg(channel)),
                                        twips(left, 360 + 480 * row, 900, 360));
    }
    Delay = dropDownList(Frame3, "Delay", twips(240, 4320, 1020, 360));
    for (int channel = kEncoderChannels; channel >= 1; --channel) {
        const int row = (channel - 1) % 8;
        const QRect geometry = channel <= 8 ? twips(1260, 420 + 480 * row, 1095, 375)
                                            : twips(3420, 420 + 480 * row, 1000, 375);
        const QString text = QStringLiteral("B%1 B%2").arg(2 * channel - 1).arg(2 * channel);
        encoderLabels[channel - 1] =
            label(Frame3, qPrintable(QStringLiteral("Label%1").arg(channel + 5)), qPrintable(text),
                  geometry);
    }
    Line1 = new QFrame(Frame3);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Plain);
    Line1->setLineWidth(1);
    Line1->setGeometry(pixels(120), pixels(4200), pixels(4320) - pixels(120), 1);
    Label1 = label(Frame3, "Label1", "Pulse width", twips(1440, 4380, 1335, 375));

    Frame1 = frame(this, "Frame1", "Device details ", twips(120, 0, 4455, 1935));
    SerNo = dropDownList(Frame1, "SerNo", twips(1680, 300, 1320, 360));
    Timer = new QTimer(Frame1);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(50);
    lblSerialNumber = detailField(Frame1, "lblSerialNumber", 360);
    lblVersion = detailField(Frame1, "lblVersion", 1440);
    lblProduct = detailField(Frame1, "lblProduct", 1080);
    lblManuf = detailField(Frame1, "lblManuf", 720);
    Label2 = label(Frame1, "Label2", "Version", twips(240, 1440, 1455, 285));
    Label5 = label(Frame1, "Label5", "Product", twips(240, 1080, 1215, 285));
    Label4 = label(Frame1, "Label4", "Manufacturer", twips(240, 720, 1215, 285), msSansSerif());
    Label3 = label(Frame1, "Label3", "Serial Number", twips(240, 360, 1815, 285));
    SerNo->raise(); // the list covers the left part of the serial-number field

    TestResult = label(this, "TestResult", "", twips(2160, 7620, 2415, 315));
    Label22 =
        label(this, "Label22", "Rotary switches starting position", twips(1560, 7005, 3135, 375));

    setInitialStates();
    setTabOrder();
}

void frmMain::setInitialStates() {
    for (QWidget* control : std::initializer_list<QWidget*>{
             Frame1, SerNo, Frame3, Delay, Label1, RotStart, Label22, Selftest, TestResult})
        control->setEnabled(false);
    for (int channel = 0; channel < kEncoderChannels; ++channel) {
        Enc[channel]->setEnabled(false);
        encoderLabels[channel]->setEnabled(false);
    }
}

// Delay, Enc1 to Enc16, SerNo, Text1, RotStart, Selftest; labels and frames take no focus.
void frmMain::setTabOrder() {
    std::vector<QWidget*> order{Delay};
    order.insert(order.end(), Enc.begin(), Enc.end());
    order.insert(order.end(), {SerNo, Text1, RotStart, Selftest});
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}
