#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    // Offscreen unless a run asks for another platform (the accessibility run under X).
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
