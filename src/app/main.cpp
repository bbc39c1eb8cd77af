#include "AppIdentity.h"
#include "frmMain.h"

#include <QApplication>

#if defined(_WIN32)
#include "Win32Platform.h"
using NativePlatform = hid::Win32Platform;
#elif defined(TESSARY_HIDRAW)
#include "HidrawPlatform.h"
using NativePlatform = hid::HidrawPlatform;
#else
#error "No device access for this platform"
#endif

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(app::kProductName));
    QApplication::setApplicationVersion(QString::fromLatin1(app::kFileVersion));

    NativePlatform platform;
    frmMain window(platform);
    window.Form_Load();
    return QApplication::exec();
}
