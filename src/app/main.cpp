#include "app/Fmain.h"
#include "app/Windows.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // Docking and stay-on-top need X11; on Wayland use XWayland unless the user chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        && qEnvironmentVariable("XDG_SESSION_TYPE") == QStringLiteral("wayland")
        && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quietbox"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quietbox"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quietbox.png")));

    CreateWindows();
    Windows().Fmain->show();
    const int rc = app.exec();
    DestroyWindows();
    return rc;
}
