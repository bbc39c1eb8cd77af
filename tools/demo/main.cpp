// The utility over simulated boards, with the bench to plug them in and out.
#include "Demo.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tessary32-demo"));
    demo::Demo demo;
    demo.start();
    return QApplication::exec();
}
