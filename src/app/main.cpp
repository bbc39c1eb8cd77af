#include "AppIdentity.h"
#include "ProjectVersion.h"
#include "frmMain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#if defined(_WIN32)
#include "Win32Platform.h"
using NativePlatform = hid::Win32Platform;
#elif defined(TESSARY_HIDRAW)
#include "DesktopNotifier.h"
#include "HidrawPlatform.h"
using NativePlatform = hid::HidrawPlatform;
#else
#error "No device access for this platform"
#endif

namespace {

constexpr int kUsageError = 2;

// --help and --version print and end the program; anything else the window does not know ends
// it with a usage line, so a mistyped option does not open the window silently.
// Called once QApplication has taken the options that are Qt's own (-platform, -style, ...).
void parseCommandLine() {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Sets up Tessary-32 USB input boards."));
    parser.addHelpOption();
    parser.addVersionOption();
    if (parser.parse(QApplication::arguments()) && parser.positionalArguments().isEmpty()) {
        if (parser.isSet(QStringLiteral("version")))
            parser.showVersion();
        if (parser.isSet(QStringLiteral("help")))
            parser.showHelp(0);
        return;
    }
    const QString error = parser.errorText().isEmpty()
                              ? QStringLiteral("Unexpected argument '%1'.")
                                    .arg(parser.positionalArguments().constFirst())
                              : parser.errorText();
    const QByteArray program = QApplication::applicationFilePath().section('/', -1).toLocal8Bit();
    std::fprintf(stderr, "%s: %s\nUsage: %s [--help] [--version]\n", program.constData(),
                 error.toLocal8Bit().constData(), program.constData());
    std::exit(kUsageError);
}

} // namespace

int main(int argc, char* argv[]) {
    // The window is laid out in pixels of a 96-dpi screen; on others Qt scales it by the
    // screen's exact factor, so that it keeps its designed size there too.
    QApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(app::kProductName));
    QApplication::setApplicationVersion(QStringLiteral(TESSARY_VERSION));
    // On Wayland the window's app ID, which docks match to the desktop entry as X matches
    // StartupWMClass to the window's class, the application's name.
    QApplication::setDesktopFileName(QStringLiteral("io.github.tessary32.Config"));
    parseCommandLine();

    NativePlatform platform;
#if defined(TESSARY_HIDRAW)
    const DesktopNotifier notifier(QDBusConnection::sessionBus());
    platform.setPermissionListener([&notifier](const hid::PermissionRefusal& refusal) {
        std::cerr << DesktopNotifier::errorLine(refusal) << std::flush;
        notifier.boardRefused(refusal);
    });
#endif
    frmMain window(platform);
    window.Form_Load();
    return QApplication::exec();
}
