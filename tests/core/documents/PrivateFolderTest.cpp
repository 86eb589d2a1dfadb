#include "core/common/PrivateFolder.h"

#include "core/common/QbError.h"
#include "core/documents/OleContainer.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qbtest;

namespace {

int Mode(const QString& path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// Restores an environment variable and the umask when the test ends.
struct EnvGuard
{
    QByteArray name;
    QByteArray value = qgetenv(name.constData());
    mode_t mask = ::umask(022);
    ~EnvGuard()
    {
        qputenv(name.constData(), value);
        ::umask(mask);
    }
};

// A holder process: its object folder, or empty when it did not start.
QString StartHolder(QProcess& holder)
{
    holder.start(QStringLiteral(QB_FOLDER_HOLDER), {});
    if (!holder.waitForReadyRead(10000))
        return QString();
    return QFile::decodeName(holder.readLine().trimmed());
}

} // namespace

TEST(PrivateFolderTest, UnusableRuntimeFolderFallsBackToAPrivateCacheFolder)
{
    const EnvGuard guard{"XDG_RUNTIME_DIR"};
    const QString runtime = QString::fromLocal8Bit(guard.value);
    const QString open = FreshFolder(QStringLiteral("open runtime"));
    QFile::setPermissions(open,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                              | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/private");
    QDir(cache).removeRecursively();
    const std::vector<std::pair<QByteArray, QString>> rows = {
        {QByteArray(), cache}, // unset
        {"relative/runtime", cache}, // relative
        {QFile::encodeName(runtime + QStringLiteral("/missing")), cache}, // missing
        {QFile::encodeName(open), cache}, // others may enter
        {guard.value, runtime}, // usable
    };
    for (const auto& [value, expected] : rows) {
        if (value.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", value);
        EXPECT_EQ(TPrivateFolder::Base(), expected) << value.constData();
        TPrivateFolder folder(TOleContainer::FolderPrefix);
        EXPECT_EQ(QFileInfo(folder.Path()).path(), expected);
        EXPECT_EQ(Mode(folder.Path()), 0700);
        EXPECT_EQ(Mode(expected), 0700) << "made private whatever the umask";
        const QString lock
            = expected + QStringLiteral("/.") + QFileInfo(folder.Path()).fileName() + QStringLiteral(".lock");
        EXPECT_TRUE(QFileInfo::exists(lock));
        folder.Wipe();
        EXPECT_FALSE(QFileInfo::exists(folder.Path()));
        EXPECT_FALSE(QFileInfo::exists(lock));
    }
    // A cache folder that others can enter is made private again, not used as it is.
    qunsetenv("XDG_RUNTIME_DIR");
    QFile::setPermissions(cache,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                              | QFileDevice::ReadOther | QFileDevice::ExeOther);
    EXPECT_EQ(TPrivateFolder::Base(), cache);
    EXPECT_EQ(Mode(cache), 0700);
}

TEST(PrivateFolderTest, NextStartWipesTheFoldersOfKilledRunsButNotOfLiveOnes)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QProcess killed;
    QProcess live;
    const QString killedFolder = StartHolder(killed);
    const QString liveFolder = StartHolder(live);
    ASSERT_FALSE(killedFolder.isEmpty());
    ASSERT_FALSE(liveFolder.isEmpty());
    killed.kill(); // SIGKILL: nothing of the holder's own runs
    ASSERT_TRUE(killed.waitForFinished(10000));
    ASSERT_EQ(ReadAll(killedFolder + QStringLiteral("/object.txt")), QByteArray("secret"));
    // A folder made before folders had locks is a leftover too.
    const QString oldFolder = runtime + QLatin1Char('/') + TOleContainer::FolderPrefix + QStringLiteral("old");
    QDir().mkpath(oldFolder);
    WriteAll(oldFolder + QStringLiteral("/object.txt"), "old secret");

    EXPECT_EQ(TOleContainer::SweepLeftovers(), 2);
    EXPECT_FALSE(QFileInfo::exists(killedFolder));
    EXPECT_FALSE(QFileInfo::exists(oldFolder));
    EXPECT_EQ(ReadAll(liveFolder + QStringLiteral("/object.txt")), QByteArray("secret")) << "held by a live run";
    EXPECT_EQ(QDir(runtime).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{QLatin1Char('.') + QFileInfo(liveFolder).fileName() + QStringLiteral(".lock"),
                           QFileInfo(liveFolder).fileName()}));

    live.kill();
    ASSERT_TRUE(live.waitForFinished(10000));
    EXPECT_EQ(TOleContainer::SweepLeftovers(), 1);
    EXPECT_TRUE(QDir(runtime).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}
