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
    // The window is laid out in pixels of a 96-dpi screen; on others Qt scales it by the
    // screen's exact factor, so that it keeps its designed size there too.
    QApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(app::kProductName));
    QApplication::setApplicationVersion(QString::fromLatin1(app::kFileVersion));

    NativePlatform platform;
    frmMain window(platform);
    window.Form_Load();
    return QApplication::exec();
}
