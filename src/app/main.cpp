#include "app/Fmain.h"
#include "app/Windows.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QSocketNotifier>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void OnTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[0], &byte, 1);
}

// A logout or `kill` ends the program like closing its window: the database is closed and the
// settings are written, instead of losing what changed since the last save.
void CloseOnTerminate(QApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        [[maybe_unused]] const auto n = ::read(g_signalPipe[1], &byte, 1);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
                dialog->reject();
        if (Windows().Fmain)
            Windows().Fmain->close();
    });
    struct sigaction sa
    {
    };
    sa.sa_handler = OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
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

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quietbox"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quietbox"));
    QApplication::setApplicationVersion(QStringLiteral(QUIETBOX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.quietbox.quietbox"));
    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Keeps documents out of sight in private, optionally encrypted databases."));
    options.addHelpOption();
    options.addVersionOption();
    options.process(app);
    CloseOnTerminate(app);

    CreateWindows();
    QApplication::setWindowIcon(Windows().Fmain->windowIcon());
    Windows().Fmain->show();
    const int rc = app.exec();
    DestroyWindows();
    return rc;
}
