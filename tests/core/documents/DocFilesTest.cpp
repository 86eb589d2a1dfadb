#include "core/documents/DocFiles.h"

#include "core/common/QbError.h"
#include "core/database/DocStore.h"
#include "core/documents/FakeObjectServer.h"
#include "core/documents/OleContainer.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QUrl>
#include <gtest/gtest.h>

using DocFiles::Format;

namespace {

QByteArray RandomBytes(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char& c : bytes)
        c = char(generator.generate());
    return bytes;
}

QImage Pattern()
{
    QImage image(37, 21, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 6, y * 12, (x * y) % 256));
    return image;
}

TDocRow Row(TDatabaseConnection& connection, const QString& id)
{
    return TDocStore(connection).FindDocument(id).value();
}

class DocFilesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        qbtest::AddFakeServer(QStringLiteral("org.test.binary"), "true", QStringLiteral("application/octet-stream"));
        ASSERT_NO_THROW(db.Connection.Open());
    }
    qbtest::TempDatabase db;
    QString out = qbtest::FreshFolder();
};

} // namespace

TEST_F(DocFilesTest, ImportThenExportGivesBackWhatWasImported)
{
    const QString in = qbtest::FreshFolder();
    // Larger than a chunk of the streams, so that the chunks join up.
    const QByteArray object = RandomBytes(700 * 1024 + 3);
    qbtest::WriteAll(in + QStringLiteral("/data.bin"), object);
    const QByteArray text = "first line\nsecond — line\n";
    qbtest::WriteAll(in + QStringLiteral("/notes.txt"), text);
    ASSERT_TRUE(Pattern().save(in + QStringLiteral("/picture.png")));

    struct Case
    {
        const char* file;
        QString type;
        Format format;
        const char* suffix;
    };
    const Case cases[] = {
        {"data.bin", QString(), Format::Native, "bin"},
        {"notes.txt", QStringLiteral("TXT"), Format::PlainText, "txt"},
        {"notes.txt", QStringLiteral("TXT"), Format::Native, "html"},
        {"picture.png", QStringLiteral("IMG"), Format::Png, "png"},
        {"picture.png", QStringLiteral("IMG"), Format::Native, "bmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QString source = in + QLatin1Char('/') + QLatin1String(c.file);
        const QString id = DocFiles::ImportFile(db.Connection, source);
        const TDocRow row = Row(db.Connection, id);
        EXPECT_EQ(row.Name, QLatin1String(c.file));
        EXPECT_EQ(row.Type, c.type);
        EXPECT_EQ(DocFiles::SuffixFor(db.Connection, row, c.format), QLatin1String(c.suffix));
        const QString target
            = out + QStringLiteral("/") + QString::number(int(c.format)) + QLatin1Char('.') + QLatin1String(c.suffix);
        DocFiles::ExportDocument(db.Connection, row, c.format, target, false);
        EXPECT_EQ(QFileInfo(target).permissions(),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        if (c.type.isEmpty()) {
            EXPECT_EQ(qbtest::ReadAll(target), object);
        } else if (c.type == QStringLiteral("TXT")) {
            EXPECT_EQ(DocFiles::PlainText(db.Connection, id), QString::fromUtf8(text));
            if (c.format == Format::PlainText) {
                EXPECT_EQ(qbtest::ReadAll(target), text);
            }
        } else {
            EXPECT_EQ(QImage(target).convertToFormat(QImage::Format_RGB32), Pattern());
        }
    }
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), 5) << "no temporary file stays";
}

TEST_F(DocFilesTest, ExportNeverOverwritesUnlessAskedAndAFailureLeavesNothing)
{
    const QString source = qbtest::FreshFolder() + QStringLiteral("/a.bin");
    qbtest::WriteAll(source, QByteArray("new\0bytes", 9));
    const TDocRow row = Row(db.Connection, DocFiles::ImportFile(db.Connection, source));
    const QString target = out + QStringLiteral("/a.bin");
    qbtest::WriteAll(target, "old");
    EXPECT_THROW(DocFiles::ExportDocument(db.Connection, row, Format::Native, target, false), QbError);
    EXPECT_EQ(qbtest::ReadAll(target), QByteArray("old"));
    DocFiles::ExportDocument(db.Connection, row, Format::Native, target, true);
    EXPECT_EQ(qbtest::ReadAll(target), QByteArray("new\0bytes", 9));

    const QString stopped = out + QStringLiteral("/stopped.bin");
    EXPECT_THROW(DocFiles::ExportDocument(db.Connection, row, Format::Native, stopped, false,
                                          [](qint64, qint64) { return false; }),
                 QbError);
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("a.bin")});
}

TEST_F(DocFilesTest, AFailedOrStoppedImportLeavesNoHalfDocument)
{
    const QString in = qbtest::FreshFolder();
    const QString small = in + QStringLiteral("/small.bin");
    const QString big = in + QStringLiteral("/big.bin");
    const QString missing = in + QStringLiteral("/missing.bin");
    qbtest::WriteAll(small, "small");
    qbtest::WriteAll(big, RandomBytes(600 * 1024));
    const qint64 all = 5 + 600 * 1024;
    const auto stopAt = [](qint64 at) { return [at](qint64 done, qint64) { return done < at; }; };
    struct Case
    {
        const char* what;
        std::function<QStringList(QStringList& failures)> import;
        QStringList names; // of the documents left
        int failures;
    };
    const Case cases[] = {
        {"one file stopped midway",
         [&](QStringList&) { return QStringList{DocFiles::ImportFile(db.Connection, big, stopAt(300 * 1024))}; },
         {},
         0},
        {"several stopped in the last file: none of them stays",
         [&](QStringList& f) {
             return DocFiles::ImportObjects(db.Connection, {small, big}, f, stopAt(all - 1));
         },
         {},
         0},
        {"a file that fails is passed over",
         [&](QStringList& f) {
             return DocFiles::ImportObjects(db.Connection, {big, missing, small}, f);
         },
         {QStringLiteral("big.bin"), QStringLiteral("small.bin")},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const TDocRow& row : TDocStore(db.Connection).ListDocuments())
            TDocStore(db.Connection).DeleteDocument(row.Id);
        QStringList failures;
        QStringList ids;
        try {
            ids = c.import(failures);
            EXPECT_FALSE(c.names.isEmpty()) << "not stopped";
        } catch (const QbError& e) {
            EXPECT_EQ(e.Kind(), QbErrorKind::Stopped);
            EXPECT_TRUE(c.names.isEmpty()) << e.what();
        }
        EXPECT_EQ(failures.size(), c.failures) << failures.join(QLatin1Char('|')).toStdString();
        QStringList names;
        for (const QString& id : ids) {
            const TDocRow row = Row(db.Connection, id);
            EXPECT_TRUE(row.Type.isEmpty()) << "an embedded object, as a pasted file makes";
            names << row.Name;
        }
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(TDocStore(db.Connection).ListDocuments().size(), size_t(c.names.size()));
    }
}

TEST(DocFilesNames, DroppedEntriesAndFileNames)
{
    qbtest::AddFakeServer(QStringLiteral("org.test.text"), "true", QStringLiteral("text/plain"));
    const QString folder = qbtest::FreshFolder();
    const QString readable = folder + QStringLiteral("/a b.txt");
    const QString locked = folder + QStringLiteral("/locked.txt");
    qbtest::WriteAll(readable, "a");
    qbtest::WriteAll(locked, "b");
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    const QString missing = folder + QStringLiteral("/gone.txt");
    QStringList files, refused;
    DocFiles::SortDropped({QUrl::fromLocalFile(readable).toString(), QStringLiteral("https://example.org/x.txt"),
                           QUrl::fromLocalFile(folder).toString(), locked, missing},
                          files, refused);
    const bool root = QFileInfo(locked).isReadable(); // root reads everything
    EXPECT_EQ(files, root ? QStringList({readable, locked}) : QStringList{readable});
    EXPECT_EQ(refused,
              QStringList({QStringLiteral("https://example.org/x.txt"), folder})
                  + (root ? QStringList() : QStringList{locked}) + QStringList{missing});

    EXPECT_EQ(DocFiles::SafeFileName(QStringLiteral("../a/b\\c\td")), QStringLiteral("_a_b_c_d"));
    EXPECT_EQ(DocFiles::SafeFileName(QStringLiteral(" .. ")), QStringLiteral("document"));
    EXPECT_LE(DocFiles::SafeFileName(QString(300, QChar(0x0434))).toUtf8().size(), 200);
}

TEST_F(DocFilesTest, ExportAllWritesUniqueNamesIntoAnEmptyFolderOnly)
{
    const QString in = qbtest::FreshFolder();
    qbtest::WriteAll(in + QStringLiteral("/same.bin"), QByteArray("\0\1", 2));
    TDocStore store(db.Connection);
    for (const char* name : {"same.bin", "SAME.bin", "a/b"}) {
        const QString id = DocFiles::ImportFile(db.Connection, in + QStringLiteral("/same.bin"));
        store.RenameDocument(id, QLatin1String(name));
    }
    QStringList written;
    qbtest::WriteAll(out + QStringLiteral("/x"), "x");
    EXPECT_THROW(DocFiles::ExportAll(db.Connection, out, written), QbError);
    EXPECT_TRUE(written.isEmpty());

    const QString empty = qbtest::FreshFolder();
    DocFiles::ExportAll(db.Connection, empty, written);
    QStringList sorted = written.join(QLatin1Char('|')).toLower().split(QLatin1Char('|'));
    sorted.sort(); // which of the two spellings comes first depends on the identifiers
    EXPECT_EQ(sorted,
              QStringList({QStringLiteral("a_b.bin"), QStringLiteral("same (2).bin"), QStringLiteral("same.bin")}))
        << written.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(QDir(empty).entryList(QDir::Files | QDir::Hidden).size(), 3);

    // Stopped after the first document: that one stays whole, nothing else does.
    const QString stopped = qbtest::FreshFolder();
    written.clear();
    EXPECT_THROW(DocFiles::ExportAll(db.Connection, stopped, written, [](qint64 done, qint64) { return done < 1; }),
                 QbError);
    EXPECT_EQ(written.size(), 1);
    EXPECT_EQ(QDir(stopped).entryList(QDir::Files | QDir::Hidden), written);
}
