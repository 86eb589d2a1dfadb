// The backup archive's MIME type, compiled by update-mime-database as a desktop would, is found
// by name and by content.
#include "core/archive/BackRest.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

const std::string BackupType = "application/x-quietbox-backup";

// Installs the type into the sandboxed XDG_DATA_HOME before the first QMimeDatabase is made.
class MimeTypeTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        const QString mime
            = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/mime");
        ASSERT_TRUE(QDir().mkpath(mime + QStringLiteral("/packages")));
        ASSERT_TRUE(QFile::copy(QStringLiteral(QB_MIME_XML), mime + QStringLiteral("/packages/quietbox.xml")));
        QProcess update;
        update.start(QStringLiteral("update-mime-database"), {mime});
        ASSERT_TRUE(update.waitForFinished(60000));
        ASSERT_EQ(update.exitCode(), 0) << update.readAllStandardError().toStdString();
        ASSERT_TRUE(update.readAllStandardError().isEmpty());
    }
};

TEST_F(MimeTypeTest, NamedByGlobAndByMagic)
{
    const QString dir = qbtest::FreshFolder();
    qbtest::WriteAll(dir + QStringLiteral("/Docs.db"), QByteArray(3000, 'x'));
    const QString archive = qbtest::FreshFolder(QStringLiteral("out")) + QStringLiteral("/backup-without-suffix");
    ASSERT_EQ(BackRest::BackupFolder(dir, archive), BackRest::Ok);
    qbtest::WriteAll(dir + QStringLiteral("/almost"), QByteArray("BACKUQ and more bytes"));

    const QMimeDatabase db;
    EXPECT_EQ(db.mimeTypeForFile(archive, QMimeDatabase::MatchContent).name().toStdString(), BackupType);
    EXPECT_EQ(db.mimeTypeForFile(QStringLiteral("nightly.qba"), QMimeDatabase::MatchExtension).name().toStdString(),
              BackupType);
    EXPECT_NE(db.mimeTypeForFile(dir + QStringLiteral("/almost"), QMimeDatabase::MatchContent).name().toStdString(),
              BackupType);

    const QMimeType type = db.mimeTypeForName(QString::fromStdString(BackupType));
    EXPECT_EQ(type.comment().toStdString(), "Quietbox backup archive");
    EXPECT_EQ(type.genericIconName().toStdString(), "package-x-generic");
}

} // namespace
