// The window over simulated boards, loaded and ticked by the test.
#pragma once

#include "DropDownList.h"
#include "Protocol.h"
#include "SimulatedPlatform.h"
#include "frmMain.h"

#include <QAbstractItemView>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using hid::sim::Call;
using hid::sim::DeviceId;
using hid::sim::InterfaceSpec;
using hid::sim::Op;

class WindowFixture : public ::testing::Test {
protected:
    hid::sim::SimulatedPlatform sim;
    std::unique_ptr<frmMain> window;

    DeviceId addBoard(std::optional<std::u16string> serial, std::uint16_t version = 0x0103) {
        InterfaceSpec spec;
        spec.serial = std::move(serial);
        spec.versionNumber = version;
        return sim.add(spec);
    }
    DeviceId addOtherDevice(std::uint16_t vendor, std::uint16_t product) {
        InterfaceSpec spec;
        spec.vendorId = vendor;
        spec.productId = product;
        return sim.add(spec);
    }

    void load() {
        window = std::make_unique<frmMain>(sim);
        window->Form_Load();
    }
    void tick() { window->Timer_Timer(); }

    bool attached() const { return window->deviceAttached(); }
    DeviceId openBoard() const {
        return attached() ? sim.deviceBehind(window->session.board().featureHandle)
                          : hid::sim::kNoDevice;
    }
    int interval() const { return window->Timer->interval(); }
    bool timerRunning() const { return window->Timer->isActive(); }

    static QStringList items(const DropDownList* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->itemText(i);
        return texts;
    }

    // Feature reports sent, with their bytes.
    std::vector<Call> sent() const { return sim.callsOf(Op::HidD_SetFeature); }
    std::size_t callCount(Op op) const { return sim.callsOf(op).size(); }

    // Two handles while a board is open, none otherwise; nothing else left open, and no
    // overlapped read ever reissued, abandoned to a closed handle or waited for in vain.
    void expectNoLeak() const {
        EXPECT_EQ(sim.openDeviceHandles(), attached() ? 2 : 0);
        EXPECT_EQ(sim.openInfoSets(), 0);
        EXPECT_EQ(sim.openPreparsedData(), 0);
        const hid::sim::ReadMisuses& misuses = sim.readMisuses();
        EXPECT_EQ(misuses.readsOnOverlappedInFlight, 0);
        EXPECT_EQ(misuses.closesWithReadInFlight, 0);
        EXPECT_EQ(misuses.waitsThatWouldHang, 0);
    }

    void TearDown() override {
        if (window)
            expectNoLeak();
    }
};

// Picks an item the way a user does: opens the list and confirms the item with the keyboard.
inline void pick(DropDownList* list, int index) {
    list->showPopup();
    QAbstractItemView* view = list->view();
    view->setCurrentIndex(list->model()->index(index, 0));
    QTest::keyClick(view, Qt::Key_Return);
}

inline std::vector<std::uint8_t> reportHead(std::uint8_t address, std::uint8_t value,
                                            std::size_t length = 65) {
    std::vector<std::uint8_t> report(length, 0);
    report[1] = config::kWriteSetting;
    report[2] = address;
    report[3] = value;
    return report;
}
