#include "core/archive/BackRest.h"
#include "core/database/Connection.h"
#include "core/database/DBactions.h"
#include "core/database/Schema.h"
#include "core/settings/OrbPigger.h"
#include "core/settings/SettingsFile.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

mode_t Mode(const QString& path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return mode_t(-1);
    return st.st_mode & 07777;
}

// A umask that lets everyone read, as most desktops have, for the length of a test.
class OpenUmask
{
public:
    OpenUmask()
        : m_old(::umask(022))
    {
    }
    ~OpenUmask() { ::umask(m_old); }

private:
    mode_t m_old;
};

} // namespace

// Every file and folder the program creates is its user's alone, even where older files and
// folders were readable by others.
TEST(FileModes, EverythingCreatedIsPrivate)
{
    const OpenUmask umask;
    const QString work = qbtest::FreshFolder();
    const QString db = qbtest::FreshDatabase();
    const QString archive = work + QStringLiteral("/copy.qba");
    struct Case
    {
        const char* what;
        std::function<void()> make;
        QStringList paths; // with the mode each must have
        mode_t mode;
    };
    const QString settingsFile = TSettingsFile::SettingsFileName();
    const std::vector<Case> cases{
        {"new database", [] {}, {db + QStringLiteral("/Docs.db")}, 0600},
        {"settings",
         [&] {
             // An older, readable folder and file get tightened on the next save.
             QDir().mkpath(QFileInfo(settingsFile).absolutePath());
             ::chmod(QFile::encodeName(QFileInfo(settingsFile).absolutePath()).constData(), 0755);
             qbtest::WriteAll(settingsFile, "<SETTINGS/>");
             ::chmod(QFile::encodeName(settingsFile).constData(), 0644);
             TSettingsFile file;
             TSettingsFile::FillDefaults(file.Root());
             ASSERT_TRUE(file.Save());
         },
         {settingsFile},
         0600},
        {"settings folder", [] {}, {QFileInfo(settingsFile).absolutePath()}, 0700},
        {"markup file",
         [&] { TOrbPigger().SaveToFile(work + QStringLiteral("/tree.SET")); },
         {work + QStringLiteral("/tree.SET")},
         0600},
        {"anchor table", [] { Schema::CreateAnchorTable(); }, {Schema::AnchorTablePath()}, 0600},
        {"data folder", [] {}, {QFileInfo(Schema::AnchorTablePath()).absolutePath()}, 0700},
        {"backup archive",
         [&] {
             qbtest::WriteAll(archive, "an older archive");
             ::chmod(QFile::encodeName(archive).constData(), 0644);
             ASSERT_EQ(BackRest::BackupFolder(db, archive), 0);
         },
         {archive},
         0600},
        {"restored folder",
         [&] { ASSERT_EQ(BackRest::RestoreFolder(archive, work + QStringLiteral("/restored")), 0); },
         {work + QStringLiteral("/restored")},
         0700},
        {"restored file", [] {}, {work + QStringLiteral("/restored/Docs.db")}, 0600},
        {"password put on, then packed",
         [&] {
             TDatabaseConnection adb;
             SetDatabasePassword(adb, db, QStringLiteral("secret"));
             adb.SetParams(db);
             adb.AddPassword(QStringLiteral("secret"));
             adb.Open();
             PackTable(adb);
             adb.Close();
         },
         {db + QStringLiteral("/Docs.db")},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.make();
        for (const QString& path : c.paths) {
            const mode_t wanted = c.mode ? c.mode : (QFileInfo(path).isDir() ? 0700 : 0600);
            EXPECT_EQ(Mode(path), wanted) << path.toStdString();
        }
    }
    EXPECT_EQ(QDir(db).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Docs.db")});
}
