// What a screen reader hears of the window, and how the detail frame's captions look.
//
// Every control gets the name a user would give it. On Linux, Qt names a drop-down list after
// its selected item and lets the frame's title label every list inside, so all sixteen encoder
// lists would be read as "Rotary encoders"; the lists here say what they set and give their
// selected item as their text, and as the selected row of their popup. The detail fields are
// named after their captions and give the board's text, whole, as their text.
#include "DropDownList.h"
#include "frmMain.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace {

// Marks a label whose text is a value (a board detail, the self-test result), not a caption.
constexpr char kValueField[] = "tessaryValueField";

// The text of a control as a screen reader reads it: whole, even where the control shows it
// cut short, and never edited or selected. Qt's bridge gives AT-SPI no other way to a list's
// selected item or a label's value than a text interface: it drops the Value text.
class ReadOnlyText : public QAccessibleTextInterface {
public:
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override {
        const QString whole = wholeText();
        if (end < 0 || end > whole.size())
            end = int(whole.size());
        start = std::clamp(start, 0, end);
        return whole.mid(start, end - start);
    }
    int characterCount() const override { return int(wholeText().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

protected:
    virtual QString wholeText() const = 0;
};

class AccessibleDropDownList : public QAccessibleWidget, public ReadOnlyText {
public:
    explicit AccessibleDropDownList(QWidget* list)
        : QAccessibleWidget(list, QAccessible::ComboBox) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name)
            return list()->accessibleName();
        if (kind == QAccessible::Value)
            return list()->currentText();
        return QAccessibleWidget::text(kind);
    }
    // The list's own name says what it sets; the frame's title would only repeat the group.
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override {
        return QAccessibleWidget::relations(match & ~QAccessible::Label);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = list()->view()->isVisible();
        return state;
    }
    // The popup with the items, as a screen reader walks it.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(list()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == list()->view() ? 0 : -1;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction())
            list()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    DropDownList* list() const { return static_cast<DropDownList*>(widget()); }
    QString wholeText() const override { return list()->currentText(); }
};

// Named after its caption; the text shown is its value. The self-test result carries its text
// in the name too: Qt raises a name change whenever the label's text changes (the label has no
// accessible name of its own), so a screen reader announces the new result.
class AccessibleValueField : public QAccessibleWidget, public ReadOnlyText {
public:
    explicit AccessibleValueField(QWidget* field)
        : QAccessibleWidget(field, QAccessible::StaticText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name)
            return name();
        if (kind == QAccessible::Value)
            return value();
        return QAccessibleWidget::text(kind);
    }

private:
    QString value() const { return static_cast<QLabel*>(widget())->text().trimmed(); }
    QString wholeText() const override { return value(); }
    QString name() const {
        const QString caption = widget()->property(kValueField).toString();
        if (!widget()->accessibleName().isEmpty() || value().isEmpty())
            return caption;
        return caption + QStringLiteral(": ") + value();
    }
};

// A line has nothing to read; without a name of its own it would take its frame's title.
class AccessibleSeparator : public QAccessibleWidget {
public:
    explicit AccessibleSeparator(QWidget* line) : QAccessibleWidget(line, QAccessible::Separator) {}
    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Name ? QString() : QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* accessibleControl(const QString& className, QObject* object) {
    if (className == QLatin1String("DropDownList"))
        return new AccessibleDropDownList(static_cast<QWidget*>(object));
    if (className == QLatin1String("QLabel") && object->property(kValueField).isValid())
        return new AccessibleValueField(static_cast<QWidget*>(object));
    if (className == QLatin1String("QFrame") &&
        static_cast<QFrame*>(object)->frameShape() == QFrame::HLine)
        return new AccessibleSeparator(static_cast<QWidget*>(object));
    return nullptr;
}

// A value field's name comes from its caption; its text is its value. Qt may already have
// described the label while it was being set up, as a plain caption; that description goes.
void nameValueField(QLabel* field, const char* caption, bool nameFollowsText = false) {
    field->setProperty(kValueField, QString::fromLatin1(caption));
    if (!nameFollowsText)
        field->setAccessibleName(QString::fromLatin1(caption));
    QAccessible::deleteAccessibleInterface(
        QAccessible::uniqueId(QAccessible::queryAccessibleInterface(field)));
}

} // namespace

// Before the controls are made: Qt keeps the first interface made for a control.
void frmMain::installAccessibleControls() {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleControl);
        return true;
    }();
    Q_UNUSED(installed);
}

void frmMain::describeForAssistiveTools() {
    Frame1->setAccessibleName(QStringLiteral("Device details"));
    Frame3->setAccessibleName(QStringLiteral("Rotary encoders"));
    SerNo->setAccessibleName(QStringLiteral("Serial number"));
    for (int channel = 1; channel <= kEncoderChannels; ++channel)
        Enc[channel - 1]->setAccessibleName(
            QStringLiteral("B%1 B%2 encoder mode").arg(2 * channel - 1).arg(2 * channel));
    Delay->setAccessibleName(QStringLiteral("Pulse width"));
    RotStart->setAccessibleName(QStringLiteral("Rotary switches starting position"));
    Selftest->setAccessibleName(QStringLiteral("Self diagnostic"));
    Text1->setAccessibleName(QStringLiteral("Self diagnostic reply"));
    nameValueField(lblSerialNumber, "Serial number field");
    nameValueField(lblManuf, "Manufacturer");
    nameValueField(lblProduct, "Product");
    nameValueField(lblVersion, "Version");
    nameValueField(TestResult, "Self diagnostic result", true);
}

// The frame blocks input to its captions while it is disabled, as designed, but the captions
// themselves are enabled: they keep the colours of an enabled label.
void frmMain::keepDetailCaptionsLookingEnabled() {
    for (QLabel* caption : {Label2, Label3, Label4, Label5}) {
        QPalette colours = caption->palette();
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto colourRole = static_cast<QPalette::ColorRole>(role);
            colours.setColor(QPalette::Disabled, colourRole,
                             colours.color(QPalette::Active, colourRole));
        }
        caption->setPalette(colours);
    }
}
