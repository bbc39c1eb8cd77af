// The window as it is created, held control by control against the layout table: kind,
// container, text, font, position and size, enabled state and keyboard order; and that the
// texts fit.
#include "Layout.h"

#include "DropDownList.h"
#include "SimulatedPlatform.h"
#include "frmMain.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

enum class Kind { Button, List, TextBox, Frame, Label, Line, Timer };

struct Row {
    const char* name;
    Kind kind;
    const char* in;
    const char* text;
    int left, top, width, height; // twips; a line runs from left to left + width at top
    const char* font;             // "" for the window's default font
    int tab;                      // -1: the control has no place in the tab order
    bool enabled;
};

// Every control, in the order the window creates them, from the layout table both views use.
Kind kindOf(app::ControlKind kind) {
    switch (kind) {
    case app::ControlKind::CommandButton:
        return Kind::Button;
    case app::ControlKind::DropDownList:
        return Kind::List;
    case app::ControlKind::TextBox:
        return Kind::TextBox;
    case app::ControlKind::Frame:
        return Kind::Frame;
    case app::ControlKind::Label:
        return Kind::Label;
    case app::ControlKind::Line:
        return Kind::Line;
    case app::ControlKind::Timer:
        break;
    }
    return Kind::Timer;
}

std::vector<Row> designed() {
    std::vector<Row> rows;
    for (const app::ControlLayout& c : app::kLayout) {
        const char* in = c.in == app::Container::Window ? app::kWindowName
                                                        : app::layoutOf(app::frameOf(c.in)).name;
        const char* font = c.font == app::FontFace::Arial         ? "Arial"
                           : c.font == app::FontFace::MsSansSerif ? "MS Sans Serif"
                                                                  : "";
        rows.push_back({c.name, kindOf(c.kind), in, c.text, c.left, c.top, c.width, c.height, font,
                        c.tabIndex, c.enabled});
    }
    return rows;
}

const std::vector<Row> kDesign = designed();

// 15 twips to the pixel; both edges are rounded, so the size is what lies between them.
int edge(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

QRect designedPixels(const Row& row) {
    if (row.kind == Kind::Line)
        return {edge(row.left), edge(row.top), edge(row.left + row.width) - edge(row.left), 1};
    return {edge(row.left), edge(row.top), edge(row.left + row.width) - edge(row.left),
            edge(row.top + row.height) - edge(row.top)};
}

bool hasKind(const QObject* control, Kind kind) {
    switch (kind) {
    case Kind::Button:
        return qobject_cast<const QPushButton*>(control) != nullptr;
    case Kind::List:
        return qobject_cast<const DropDownList*>(control) != nullptr;
    case Kind::TextBox:
        return qobject_cast<const QLineEdit*>(control) != nullptr;
    case Kind::Frame:
        return qobject_cast<const QGroupBox*>(control) != nullptr;
    case Kind::Label:
        return qobject_cast<const QLabel*>(control) != nullptr;
    case Kind::Line: {
        const auto* line = qobject_cast<const QFrame*>(control);
        return line && line->frameShape() == QFrame::HLine;
    }
    case Kind::Timer:
        return qobject_cast<const QTimer*>(control) != nullptr;
    }
    return false;
}

// What the control shows when created; a list shows nothing and holds no items.
QString textOf(const QObject* control) {
    if (const auto* button = qobject_cast<const QPushButton*>(control))
        return button->text();
    if (const auto* box = qobject_cast<const QLineEdit*>(control))
        return box->text();
    if (const auto* frame = qobject_cast<const QGroupBox*>(control))
        return frame->title();
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (const auto* list = qobject_cast<const DropDownList*>(control))
        return list->count() == 0 && list->currentIndex() == -1 ? QString() : QStringLiteral("?");
    return {};
}

class LayoutTest : public ::testing::Test {
protected:
    hid::sim::SimulatedPlatform platform;
    frmMain window{platform};

    QObject* control(const char* name) {
        return window.findChild<QObject*>(QString::fromLatin1(name));
    }
    QWidget* widget(const char* name) {
        return window.findChild<QWidget*>(QString::fromLatin1(name));
    }
};

TEST_F(LayoutTest, WindowHasItsNameTitleClientSizeAndIcon) {
    EXPECT_EQ(window.objectName(), QStringLiteral("frmMain"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tessary-32 Kelmora - Ver 1.2"));
    EXPECT_EQ(window.minimumSize(), QSize(313, 541));
    EXPECT_EQ(window.maximumSize(), QSize(313, 541));
    const QList<QSize> iconSizes = window.windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)));
    EXPECT_TRUE(iconSizes.contains(QSize(32, 32)));
}

TEST_F(LayoutTest, EveryControlIsCreatedAsDrawn) {
    for (const Row& row : kDesign) {
        SCOPED_TRACE(row.name);
        QObject* found = control(row.name);
        ASSERT_NE(found, nullptr);
        EXPECT_TRUE(hasKind(found, row.kind));
        ASSERT_NE(found->parent(), nullptr);
        EXPECT_EQ(found->parent()->objectName().toStdString(), row.in);
        if (row.kind == Kind::Timer) {
            const auto* timer = static_cast<QTimer*>(found);
            EXPECT_FALSE(timer->isActive());
            EXPECT_EQ(timer->interval(), 50);
            continue;
        }
        auto* shown = static_cast<QWidget*>(found);
        EXPECT_EQ(shown->geometry(), designedPixels(row));
        EXPECT_EQ(textOf(shown).toStdString(), row.text);
        // Its own state: a control in a disabled frame is greyed but not itself disabled.
        EXPECT_NE(shown->testAttribute(Qt::WA_ForceDisabled), row.enabled);
        if (row.kind == Kind::Line)
            continue;
        if (*row.font == '\0') {
            EXPECT_FALSE(shown->testAttribute(Qt::WA_SetFont));
            EXPECT_EQ(shown->font(), window.font());
            continue;
        }
        EXPECT_EQ(shown->font().family().toStdString(), row.font);
        EXPECT_EQ(shown->font().pointSizeF(), 9.75);
        EXPECT_FALSE(shown->font().bold() || shown->font().italic() || shown->font().underline());
    }
    const auto direct = Qt::FindDirectChildrenOnly;
    EXPECT_EQ(window.findChildren<QWidget*>(direct).size() +
                  window.Frame1->findChildren<QObject*>(direct).size() +
                  window.Frame3->findChildren<QWidget*>(direct).size(),
              kDesign.size());
}

// The controls that take the focus, in the order of their tab positions, follow each other
// in the window's focus chain, and the last leads back to the first.
TEST_F(LayoutTest, TabKeyVisitsTheFocusableControlsInTheirOrder) {
    std::vector<Row> focusable;
    std::copy_if(kDesign.begin(), kDesign.end(), std::back_inserter(focusable),
                 [](const Row& r) { return r.kind == Kind::Button || r.kind == Kind::List; });
    std::sort(focusable.begin(), focusable.end(),
              [](const Row& a, const Row& b) { return a.tab < b.tab; });
    std::vector<std::string> expected;
    for (const Row& row : focusable)
        expected.emplace_back(row.name);

    std::vector<std::string> visited;
    for (QWidget* next = widget(expected.front().c_str()); visited.size() <= expected.size();
         next = next->nextInFocusChain()) {
        if (next->focusPolicy() & Qt::TabFocus)
            visited.push_back(next->objectName().toStdString());
    }
    expected.push_back(expected.front());
    EXPECT_EQ(visited, expected);
}

TEST_F(LayoutTest, SerialNumberListLiesOverTheLeftOfItsField) {
    const QRect list = window.SerNo->geometry();
    EXPECT_EQ(window.Frame1->childAt(list.center()), window.SerNo);
    EXPECT_EQ(window.Frame1->childAt(list.right() + 2, list.center().y()), window.lblSerialNumber);
}

// The detail fields show the system's window colours, the other labels the frame's.
TEST_F(LayoutTest, DetailFieldsUseTheWindowColours) {
    const QPalette system = window.palette();
    for (QLabel* field :
         {window.lblManuf, window.lblProduct, window.lblVersion, window.lblSerialNumber}) {
        SCOPED_TRACE(field->objectName().toStdString());
        EXPECT_TRUE(field->autoFillBackground());
        EXPECT_EQ(field->palette().color(QPalette::Window), system.color(QPalette::Base));
        EXPECT_EQ(field->palette().color(QPalette::WindowText), system.color(QPalette::Text));
    }
    EXPECT_FALSE(window.Label3->autoFillBackground());
}

// With the fonts the window asks for (Arial and MS Sans Serif, both served by Liberation Sans
// here), every caption and every item of a filled list fits its control uncut.
class TextsFitTest : public LayoutTest {
protected:
    static int advance(const QWidget* control, const QString& text) {
        return QFontMetrics(control->font()).horizontalAdvance(text);
    }
    static int editFieldWidth(const DropDownList* list) {
        QStyleOptionComboBox option;
        option.initFrom(list);
        option.editable = false;
        option.subControls = QStyle::SC_All;
        const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                          QStyle::SC_ComboBoxEditField, list);
        return field.width() - 2; // the text is drawn one pixel in from either side
    }
};

TEST_F(TextsFitTest, FontsResolveToTheMetricCompatibleFace) {
    for (QWidget* control : std::initializer_list<QWidget*>{window.Label3, window.Label4,
                                                            window.Selftest, window.Enc[0]}) {
        SCOPED_TRACE(control->objectName().toStdString());
        EXPECT_EQ(QFontInfo(control->font()).family(), QStringLiteral("Liberation Sans"));
        EXPECT_EQ(QFontInfo(control->font()).pixelSize(), 13);
    }
}

TEST_F(TextsFitTest, CaptionsFitTheirLabelsAndTheButton) {
    for (QLabel* label : window.findChildren<QLabel*>()) {
        SCOPED_TRACE(label->objectName().toStdString());
        EXPECT_LE(advance(label, label->text()), label->contentsRect().width());
    }
    QStyleOptionButton option;
    option.initFrom(window.Selftest);
    const QRect contents = window.Selftest->style()->subElementRect(QStyle::SE_PushButtonContents,
                                                                    &option, window.Selftest);
    EXPECT_LE(advance(window.Selftest, window.Selftest->text()), contents.width());
}

TEST_F(TextsFitTest, EveryItemFitsBesideTheArrowOfItsList) {
    hid::sim::InterfaceSpec board;
    board.versionNumber = 0x0103;
    platform.add(board);
    window.Form_Load();
    for (DropDownList* list : window.findChildren<DropDownList*>()) {
        SCOPED_TRACE(list->objectName().toStdString());
        ASSERT_GT(list->count(), 0);
        for (int i = 0; i < list->count(); ++i)
            EXPECT_LE(advance(list, list->itemText(i)), editFieldWidth(list))
                << list->itemText(i).toStdString();
    }
}

} // namespace
