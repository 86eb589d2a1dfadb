// Every test executable starts here: the user's folders are pointed at a temporary sandbox
// before Qt reads them, so no test touches the real home folder, and the process returns to
// its original working folder at the end.
#ifdef QB_TEST_WIDGETS
// Windows are tested under the program's own application object, with its error display.
#include "app/QuietboxApplication.h"
using TestApplication = TQuietboxApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QTemporaryDir sandbox(QDir::tempPath() + QStringLiteral("/quietbox-test-XXXXXX"));
    if (!sandbox.isValid())
        return 2;
    const QByteArray root = QFile::encodeName(sandbox.path());
    const char* subdirs[][2] = {{"XDG_CONFIG_HOME", "/config"},
                                {"XDG_DATA_HOME", "/data"},
                                {"XDG_CACHE_HOME", "/cache"},
                                {"XDG_RUNTIME_DIR", "/runtime"},
                                {"HOME", "/home"}};
    for (const auto& [var, sub] : subdirs) {
        const QByteArray dir = root + sub;
        QDir().mkpath(QFile::decodeName(dir));
        qputenv(var, dir);
    }
    QFile::setPermissions(QFile::decodeName(root + "/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("QB_SANDBOX", root);
    // No bus of the person running the tests either, and no bus started for them through X11
    // (libdbus's autolaunch); a test that wants a bus starts its own daemon.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root + "/runtime/no-session-bus");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + root + "/runtime/no-system-bus");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    const QString startDir = QDir::currentPath();
    ::testing::InitGoogleTest(&argc, argv);
    // CTest runs long executables in shards; a process a test starts inherits the shard's
    // variables but must run the case it names.
    if (GTEST_FLAG_GET(filter) != "*") {
        qunsetenv("GTEST_TOTAL_SHARDS");
        qunsetenv("GTEST_SHARD_INDEX");
    }
    TestApplication app(argc, argv);
    TestApplication::setApplicationName(QStringLiteral("quietbox"));
    const int rc = RUN_ALL_TESTS();
    QDir::setCurrent(startDir);
    return rc;
}
