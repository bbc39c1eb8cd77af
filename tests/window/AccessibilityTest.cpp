// What a screen reader is told of every control of the loaded window, through QAccessible, and
// that a new self-test result is announced; and the detail captions' look in their disabled
// frame.
#include "AtspiReader.h"
#include "WindowFixture.h"

#include <QAccessible>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QImage>
#include <vector>

namespace {

struct Heard {
    const char* control;
    QAccessible::Role role; // NoRole: the control has no accessible object
    const char* name;
    const char* value;
};

// Every control of the window with a board of version 1.3 loaded (manufacturer "Tessary",
// product "Tessary-32", serial "0001", B5 B6 in mode "1:2", pulses of 16 ms, the others at the
// board's zero), after one self test that passed.
const std::vector<Heard> kHeard = {
    {"Selftest", QAccessible::Button, "Self diagnostic", ""},
    {"RotStart", QAccessible::ComboBox, "Rotary switches starting position", "Auto"},
    {"Text1", QAccessible::EditableText, "Self diagnostic reply", "0 0"},
    {"Frame3", QAccessible::Grouping, "Rotary encoders", ""},
    {"Enc16", QAccessible::ComboBox, "B31 B32 encoder mode", "off"},
    {"Enc15", QAccessible::ComboBox, "B29 B30 encoder mode", "off"},
    {"Enc14", QAccessible::ComboBox, "B27 B28 encoder mode", "off"},
    {"Enc13", QAccessible::ComboBox, "B25 B26 encoder mode", "off"},
    {"Enc12", QAccessible::ComboBox, "B23 B24 encoder mode", "off"},
    {"Enc11", QAccessible::ComboBox, "B21 B22 encoder mode", "off"},
    {"Enc10", QAccessible::ComboBox, "B19 B20 encoder mode", "off"},
    {"Enc9", QAccessible::ComboBox, "B17 B18 encoder mode", "off"},
    {"Enc8", QAccessible::ComboBox, "B15 B16 encoder mode", "off"},
    {"Enc7", QAccessible::ComboBox, "B13 B14 encoder mode", "off"},
    {"Enc6", QAccessible::ComboBox, "B11 B12 encoder mode", "off"},
    {"Enc5", QAccessible::ComboBox, "B9 B10 encoder mode", "off"},
    {"Enc4", QAccessible::ComboBox, "B7 B8 encoder mode", "off"},
    {"Enc3", QAccessible::ComboBox, "B5 B6 encoder mode", "1:2"},
    {"Enc2", QAccessible::ComboBox, "B3 B4 encoder mode", "off"},
    {"Enc1", QAccessible::ComboBox, "B1 B2 encoder mode", "off"},
    {"Delay", QAccessible::ComboBox, "Pulse width", "16 ms"},
    {"Label21", QAccessible::StaticText, "B31 B32", ""},
    {"Label20", QAccessible::StaticText, "B29 B30", ""},
    {"Label19", QAccessible::StaticText, "B27 B28", ""},
    {"Label18", QAccessible::StaticText, "B25 B26", ""},
    {"Label17", QAccessible::StaticText, "B23 B24", ""},
    {"Label16", QAccessible::StaticText, "B21 B22", ""},
    {"Label15", QAccessible::StaticText, "B19 B20", ""},
    {"Label14", QAccessible::StaticText, "B17 B18", ""},
    {"Label13", QAccessible::StaticText, "B15 B16", ""},
    {"Label12", QAccessible::StaticText, "B13 B14", ""},
    {"Label11", QAccessible::StaticText, "B11 B12", ""},
    {"Label10", QAccessible::StaticText, "B9 B10", ""},
    {"Label9", QAccessible::StaticText, "B7 B8", ""},
    {"Label8", QAccessible::StaticText, "B5 B6", ""},
    {"Label7", QAccessible::StaticText, "B3 B4", ""},
    {"Label6", QAccessible::StaticText, "B1 B2", ""},
    {"Line1", QAccessible::Separator, "", ""},
    {"Label1", QAccessible::StaticText, "Pulse width", ""},
    {"Frame1", QAccessible::Grouping, "Device details", ""},
    {"SerNo", QAccessible::ComboBox, "Serial number", "0001"},
    {"Timer", QAccessible::NoRole, "", ""},
    {"lblSerialNumber", QAccessible::StaticText, "Serial number field", ""},
    {"lblVersion", QAccessible::StaticText, "Version", "1.3"},
    {"lblProduct", QAccessible::StaticText, "Product", "Tessary-32"},
    {"lblManuf", QAccessible::StaticText, "Manufacturer", "Tessary"},
    {"Label2", QAccessible::StaticText, "Version", ""},
    {"Label5", QAccessible::StaticText, "Product", ""},
    {"Label4", QAccessible::StaticText, "Manufacturer", ""},
    {"Label3", QAccessible::StaticText, "Serial Number", ""},
    {"TestResult", QAccessible::StaticText, "Self diagnostic result: Passed", "Passed"},
    {"Label22", QAccessible::StaticText, "Rotary switches starting position", ""},
};

class AccessibilityTest : public WindowFixture {
protected:
    static bool offscreen() {
        return QGuiApplication::platformName() == QLatin1String("offscreen");
    }
    static bool bridgeCameUp() {
        QDeadlineTimer deadline(10000);
        while (!QAccessible::isActive() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return QAccessible::isActive();
    }
};

TEST_F(AccessibilityTest, EveryControlHasTheNameRoleAndValueAScreenReaderReads) {
    const DeviceId board = addBoard(u"0001");
    sim.firmware(board).memory[config::encoderAddress(3)] = config::encoderModeValue(2);
    sim.firmware(board).memory[config::kPulseWidthAddress] = config::pulseWidthValue(1);
    load();
    window->Selftest->click();
    ASSERT_EQ(kHeard.size(), 52u);
    for (const Heard& heard : kHeard) {
        SCOPED_TRACE(heard.control);
        QObject* control = window->findChild<QObject*>(QString::fromLatin1(heard.control));
        ASSERT_NE(control, nullptr);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
        if (heard.role == QAccessible::NoRole) {
            EXPECT_EQ(accessible, nullptr);
            continue;
        }
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->role(), heard.role);
        EXPECT_EQ(accessible->text(QAccessible::Name).toStdString(), heard.name);
        EXPECT_EQ(accessible->text(QAccessible::Value).toStdString(), heard.value);
    }
}

// A screen reader takes the frame's title as the label of every list in it unless the list
// says otherwise; the encoder lists name themselves.
TEST_F(AccessibilityTest, ListsAreNotLabelledByTheirFrame) {
    load();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(window->Enc[0]);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->relations(QAccessible::Label).isEmpty());
    ASSERT_EQ(list->childCount(), 1);
    EXPECT_EQ(list->child(0)->object(), window->Enc[0]->view());
}

// Events reach assistive tools only while accessibility is live: on the desktop, or in the
// run of this test under an AT-SPI bus (tests/window/with-atspi).
TEST_F(AccessibilityTest, NewSelfTestResultIsAnnounced) {
    if (offscreen())
        GTEST_SKIP() << "no accessibility bridge on the offscreen platform";
    ASSERT_TRUE(bridgeCameUp()) << "the AT-SPI bridge did not come up";

    const DeviceId board = addBoard(u"0001");
    load();
    static QObject* watched = nullptr;
    static int announced = 0;
    watched = window->TestResult;
    announced = 0;
    QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
        if (event->object() == watched && event->type() == QAccessible::NameChanged)
            ++announced;
    });
    window->Selftest->click();
    const int afterPass = announced;
    sim.firmware(board).selfTestResult = 7;
    window->Selftest->click();
    QAccessible::installUpdateHandler(nullptr);

    EXPECT_EQ(afterPass, 1);
    EXPECT_EQ(announced, 2);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window->TestResult)
                  ->text(QAccessible::Name)
                  .toStdString(),
              "Self diagnostic result: Failed on B7");
}

// The detail frame is disabled until a board is loaded; its captions still look enabled,
// while they, like the rest of the frame, take no input.
TEST_F(AccessibilityTest, DetailCaptionsLookEnabledInTheDisabledFrame) {
    load();
    ASSERT_FALSE(window->Frame1->isEnabled());
    for (QLabel* caption : {window->Label2, window->Label3, window->Label4, window->Label5}) {
        SCOPED_TRACE(caption->objectName().toStdString());
        EXPECT_FALSE(caption->isEnabled());
        const QImage disabled = caption->grab().toImage();
        window->Frame1->setEnabled(true);
        const QImage enabled = caption->grab().toImage();
        window->Frame1->setEnabled(false);
        EXPECT_EQ(disabled, enabled);
    }
    // Other labels still grey while disabled.
    const QImage greyed = window->Label1->grab().toImage();
    window->Frame3->setEnabled(true);
    window->Label1->setEnabled(true);
    EXPECT_NE(window->Label1->grab().toImage(), greyed);
}

// What a screen reader finds over AT-SPI, as Orca looks: the focused list's text and the
// selected row of its popup, and each detail field's text, whole also where it is cut short on
// screen. Read again after a pick.
TEST_F(AccessibilityTest, ValuesReachTheScreenReaderOverAtspi) {
    if (offscreen())
        GTEST_SKIP() << "no accessibility bridge on the offscreen platform";
    ASSERT_TRUE(bridgeCameUp()) << "the AT-SPI bridge did not come up";
    const DeviceId board = addBoard(u"TS32-000417123");
    sim.spec(board).manufacturer = u"Tessary Input Devices International";
    sim.firmware(board).memory[config::encoderAddress(3)] = config::encoderModeValue(2);
    sim.firmware(board).memory[config::kPulseWidthAddress] = config::pulseWidthValue(1);
    load();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->Enc[2]->setFocus();
    struct Read {
        const char* name;
        const char* text;
        const char* selectedRow; // "" for a detail field
    };
    const auto readAll = [&](const std::vector<Read>& expected) {
        AtspiReader::run([&](AtspiReader& atspi) {
            const std::optional<AtspiObject> application = atspi.application();
            ASSERT_TRUE(application);
            for (const Read& read : expected) {
                SCOPED_TRACE(read.name);
                const std::optional<AtspiObject> found =
                    atspi.findWithText(*application, QString::fromLatin1(read.name));
                ASSERT_TRUE(found);
                EXPECT_EQ(atspi.text(*found).toStdString(), read.text);
                if (*read.selectedRow == 0)
                    continue;
                QStringList selected;
                for (const AtspiObject& popup : atspi.children(*found))
                    for (const AtspiObject& row : atspi.children(popup))
                        if (atspi.hasState(row, AtspiReader::kStateSelected))
                            selected << atspi.name(row);
                EXPECT_EQ(selected, QStringList{QString::fromLatin1(read.selectedRow)});
            }
            const std::optional<AtspiObject> focused =
                atspi.findWithText(*application, QStringLiteral("B5 B6 encoder mode"));
            ASSERT_TRUE(focused);
            EXPECT_TRUE(atspi.hasState(*focused, AtspiReader::kStateFocused));
        });
    };
    readAll({{"B5 B6 encoder mode", "1:2", "1:2"},
             {"Pulse width", "16 ms", "16 ms"},
             {"Serial number", "TS32-000417123", "TS32-000417123"},
             {"Manufacturer", "Tessary Input Devices International", ""},
             {"Product", "Tessary-32", ""},
             {"Version", "1.3", ""}});
    pick(window->Enc[2], 3);
    readAll({{"B5 B6 encoder mode", "1:4", "1:4"}});
}

} // namespace
