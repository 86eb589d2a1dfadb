#include "app/Fmain.h"
#include "app/QuietboxApplication.h"
#include "app/Windows.h"
#include "core/common/CoreDumps.h"
#include "core/common/SingleInstance.h"
#include "core/database/DatabaseSession.h"
#include "core/documents/OleContainer.h"

#include <QCommandLineParser>
#include <QDialog>
#include <cstdio>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
// Under the sanitizer build: the session bus library keeps a buffer it never frees (seen under Xvfb).
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}
#endif

int main(int argc, char** argv)
{
    // Before anything decrypted is in memory.
    CoreDumps::Forbid();

    // --help and --version answer without a display too.
    for (int i = 1; i < argc; ++i)
        for (const char* option : {"-h", "--help", "--help-all", "-v", "--version"})
            if (std::strcmp(argv[i], option) == 0)
                qputenv("QT_QPA_PLATFORM", "offscreen");

    // Docking and stay-on-top need X11; on Wayland use XWayland unless the user chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        && qEnvironmentVariable("XDG_SESSION_TYPE") == QStringLiteral("wayland")
        && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    TQuietboxApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quietbox"));
    QApplication::setApplicationVersion(QStringLiteral(QUIETBOX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.quietbox.quietbox"));
    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Keeps documents out of sight in private, optionally encrypted databases."));
    options.addHelpOption();
    options.addVersionOption();
    options.process(app);
    // A second start brings the running Quietbox to the front and leaves: two would fight over
    // the settings file and the databases.
    TSingleInstance instance;
    if (!instance.Claim()) {
        std::fprintf(stderr, "Quietbox is already running.\n");
        return 0;
    }
    CloseOnTerminate(app);
    TOleContainer::SweepLeftovers(); // decrypted object files a killed run left behind

    CreateWindows();
    // What a killed pack or password change left in clear goes now, not at that database's next open.
    Windows().Session->SweepRegisteredFolders();
    QApplication::setWindowIcon(Windows().Fmain->windowIcon());
    Windows().Fmain->show();
    QObject::connect(&instance, &TSingleInstance::Requested, Windows().Fmain, [] { BringToFront(); });
    const int rc = app.exec();
    DestroyWindows();
    return rc;
}
