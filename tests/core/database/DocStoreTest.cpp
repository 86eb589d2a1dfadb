#include "core/database/DocStore.h"

#include "core/common/QbError.h"
#include "core/database/Query.h"
#include "core/database/Schema.h"
#include "core/database/SqlEngine.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QBuffer>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

namespace {

// A source that fails after `limit` bytes, like a broken disk or pipe.
class FailingBuffer : public QBuffer
{
public:
    FailingBuffer(const QByteArray& data, qint64 limit)
        : m_limit(limit)
    {
        setData(data);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (pos() >= m_limit)
            return -1;
        return QBuffer::readData(data, qMin(maxSize, m_limit - pos()));
    }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (pos() + size > m_limit)
            return -1;
        return QBuffer::writeData(data, size);
    }

private:
    qint64 m_limit;
};

QByteArray RandomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

} // namespace

TEST(DocStore, CreateDocumentRecordFillsIdentifierTypeNameAndDates)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    const QDate before = QDate::currentDate();
    const QString id = store.CreateDocumentRecord(QStringLiteral("Нотатка 1"), QStringLiteral("IMG"));
    const QDate after = QDate::currentDate(); // a run across midnight may see either day
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{32}$")).match(id).hasMatch()) << id.toStdString();
    const auto row = store.FindDocument(id);
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->Name, QStringLiteral("Нотатка 1"));
    EXPECT_EQ(row->Type, QStringLiteral("IMG"));
    EXPECT_TRUE(row->CDate == before || row->CDate == after) << row->CDate.toString().toStdString();
    EXPECT_EQ(row->LDate, row->CDate);
    EXPECT_NE(store.CreateDocumentRecord(QStringLiteral("Нотатка 1"), QStringLiteral("IMG")), id);
    EXPECT_EQ(store.ListDocuments().size(), 2u);

    db.Connection.Close();
    EXPECT_EQ(store.CreateDocumentRecord(QStringLiteral("x"), QStringLiteral("TXT")), QString());
}

TEST(DocStore, LongTextsAreCutToTheirColumnWidths)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    const QString emoji = QString::fromUtf8("\xF0\x9F\x93\x84"); // one character, two UTF-16 units
    const QString longName = QString(63, QLatin1Char('n')) + emoji + QStringLiteral("tail");
    const QString id = store.CreateDocumentRecord(longName, QString(40, QChar(0x0416)));
    auto row = store.FindDocument(id);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->Name, QString(63, QLatin1Char('n')) + emoji);
    EXPECT_EQ(row->Type, QString(32, QChar(0x0416)));

    store.RenameDocument(id, QString(70, QLatin1Char('r')));
    EXPECT_EQ(store.FindDocument(id)->Name, QString(64, QLatin1Char('r')));
    EXPECT_EQ(Schema::CutToWidth(QStringLiteral("abc"), 5), QStringLiteral("abc"));
}

TEST(DocStore, TenThousandDocumentsAreListedInNameOrder)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    QStringList names;
    db.Connection.Exec(QStringLiteral("BEGIN"));
    for (int i = 0; i < 10000; ++i) {
        // Letters of either case, digits and blanks: a reader's order is then the lower-case
        // text's, with upper case first among names that differ only in case.
        QString name = QStringLiteral("doc %1").arg(QRandomGenerator::global()->bounded(5000), 5, 10, QLatin1Char('0'));
        for (QChar& c : name)
            if (QRandomGenerator::global()->bounded(2))
                c = c.toUpper();
        names << name;
        store.CreateDocumentRecord(name, QStringLiteral("TXT"));
    }
    db.Connection.Exec(QStringLiteral("COMMIT"));

    const auto rows = store.ListDocuments();
    ASSERT_EQ(rows.size(), 10000u);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int folded = a.toLower().compare(b.toLower());
        return folded != 0 ? folded < 0 : a < b;
    });
    QSet<QString> ids;
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].Name, names[int(i)]) << "row " << i;
        ids.insert(rows[i].Id);
    }
    EXPECT_EQ(ids.size(), 10000);
}

TEST(DocStore, NamesAreListedIgnoringCaseWithAccentsAndOtherScriptsInPlace)
{
    // Under the C locale as under English the common rules apply; a locale of its own may
    // differ (Swedish puts "Ä" after "Z"), so the test fixes the locale.
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedKingdom)}) {
        SCOPED_TRACE(locale.name().toStdString());
        const QLocale saved;
        QLocale::setDefault(locale);
        qbtest::TempDatabase db;
        QLocale::setDefault(saved);
        TDocStore store(db.Connection);
        for (const char* name :
             {"Zebra", "apple", "Äpfel", "banana", "Apple", "Яблуко", "їжак", "бета", "Éclair", "eclair"})
            store.CreateDocumentRecord(QString::fromUtf8(name), QStringLiteral("TXT"));
        QStringList listed;
        for (const TDocRow& row : store.ListDocuments())
            listed << row.Name;
        EXPECT_EQ(listed.join(QLatin1Char('|')),
                  QString::fromUtf8("Äpfel|Apple|apple|banana|eclair|Éclair|Zebra|бета|їжак|Яблуко"));
    }
}

TEST(DocStore, ListReadInStretchesJoinsIntoTheWholeList)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    for (const char* name : {"same", "same", "Same", "same", "b", "A", "", "zz", "same "})
        store.CreateDocumentRecord(QString::fromUtf8(name), QStringLiteral("TXT"));
    // Names another program may leave: none, numbers, bytes. They sort apart from the texts.
    db.Connection.Exec(QStringLiteral("insert into Docs (Doc_id, Doc_name) values ('N1', null), ('N2', null), "
                                      "('I1', 42), ('R1', 1.5), ('B1', x'00ff'), ('B2', x'01')"));
    std::vector<QString> whole;
    for (const TDocRow& row : store.ListDocuments())
        whole.push_back(row.Id);
    ASSERT_EQ(whole.size(), 15u);
    for (int stretch : {1, 2, 3, 7, 100}) {
        TDocStore::ListPosition position;
        std::vector<QString> joined;
        for (int rounds = 0; rounds < 100; ++rounds) {
            const auto rows = store.ListDocuments(position, stretch);
            for (const TDocRow& row : rows)
                joined.push_back(row.Id);
            if (int(rows.size()) < stretch)
                break;
        }
        EXPECT_EQ(joined, whole) << "stretches of " << stretch;
        EXPECT_EQ(position.Read, 15);
    }
}

TEST(DocStore, NameOrderIndexFollowsTheLocaleAndStaysSound)
{
    const auto orderIndexes = [](TDatabaseConnection& c) {
        QStringList names;
        TQuery q(
            c,
            QStringLiteral("select name from sqlite_master where type = 'index' and name like 'Docs!_name!_order!_%' "
                           "escape '!' order by name"));
        while (q.Next())
            names << q.Value(0).toString();
        return names;
    };
    const auto listed = [](TDatabaseConnection& c) {
        QStringList names;
        for (const TDocRow& row : TDocStore(c).ListDocuments())
            names << row.Name;
        return names.join(QLatin1Char('|'));
    };
    const auto integrity = [](TDatabaseConnection& c) {
        TQuery q(c, QStringLiteral("PRAGMA integrity_check"));
        return q.Next() ? q.Value(0).toString() : QString();
    };
    const QLocale saved;
    const auto openUnder = [&](TDatabaseConnection& c, const QLocale& locale) {
        c.Close();
        QLocale::setDefault(locale);
        c.Open();
        const QString index = SqlEngine::NameOrderIndex();
        QLocale::setDefault(saved);
        return index;
    };

    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    for (const char* name : {"Zebra", "Äpfel", "apple", "Ödem", "oak"})
        store.CreateDocumentRecord(QString::fromUtf8(name), QStringLiteral("TXT"));
    // An index left by another order (another locale, collator or program version) is replaced.
    db.Connection.Exec(QStringLiteral("create index Docs_name_order_0123456789ab on Docs (Doc_name collate nocase)"));

    const QString english = openUnder(db.Connection, QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(orderIndexes(db.Connection), QStringList{english});
    EXPECT_EQ(listed(db.Connection), QString::fromUtf8("Äpfel|apple|oak|Ödem|Zebra"));

    // Swedish sorts "Ä" and "Ö" after "Z": a new index, and changes keep it sound.
    const QString swedish = openUnder(db.Connection, QLocale(QLocale::Swedish, QLocale::Sweden));
    EXPECT_NE(swedish, english);
    EXPECT_EQ(orderIndexes(db.Connection), QStringList{swedish});
    EXPECT_EQ(listed(db.Connection), QString::fromUtf8("apple|oak|Zebra|Äpfel|Ödem"));
    const QString id = store.CreateDocumentRecord(QStringLiteral("öl"), QStringLiteral("TXT"));
    store.RenameDocument(id, QStringLiteral("Ål"));
    EXPECT_EQ(listed(db.Connection), QString::fromUtf8("apple|oak|Zebra|Ål|Äpfel|Ödem"));
    EXPECT_EQ(integrity(db.Connection), QStringLiteral("ok"));

    EXPECT_EQ(openUnder(db.Connection, QLocale(QLocale::English, QLocale::UnitedStates)), english);
    EXPECT_EQ(orderIndexes(db.Connection), QStringList{english});
    EXPECT_EQ(listed(db.Connection), QString::fromUtf8("Ål|Äpfel|apple|oak|Ödem|Zebra"));
    EXPECT_EQ(integrity(db.Connection), QStringLiteral("ok"));
}

// Builds, under the order index's own name, an index sorted by byte order reversed: what a
// false name or a collator that changed under the fingerprint leaves.
void PlantReversedOrderIndex(const QString& folder)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(folder + QStringLiteral("/Docs.db")).constData(), &db), SQLITE_OK);
    const auto reversed = [](void*, int n1, const void* a, int n2, const void* b) {
        const int order = std::memcmp(a, b, size_t(std::min(n1, n2)));
        return -(order != 0 ? order : n1 - n2);
    };
    sqlite3_create_collation(db, SqlEngine::NameCollation, SQLITE_UTF8, nullptr, reversed);
    const QString index = SqlEngine::NameOrderIndex();
    const QByteArray sql
        = QStringLiteral("DROP INDEX IF EXISTS %1; %2;").arg(index, SqlEngine::NameOrderIndexSql(index)).toUtf8();
    EXPECT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

TEST(DocStore, AnOrderIndexInAnotherOrderIsRebuiltOrLeftUnused)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    QStringList names;
    db.Connection.Exec(QStringLiteral("BEGIN"));
    for (int i = 0; i < 360; ++i) {
        names << QStringLiteral("doc %1").arg((i * 7919) % 360, 3, 10, QLatin1Char('0'));
        store.CreateDocumentRecord(names.last(), QStringLiteral("TXT"));
    }
    db.Connection.Exec(QStringLiteral("COMMIT"));
    names.sort();
    const auto listInStretches = [&] {
        QStringList listed;
        TDocStore::ListPosition position;
        for (int round = 0; round < 10; ++round)
            for (const TDocRow& row : store.ListDocuments(position, 256))
                listed << row.Name;
        return listed;
    };
    const auto reopen = [&] {
        db.Connection.Close();
        db.Connection.Open();
    };

    db.Connection.Close();
    PlantReversedOrderIndex(db.Folder);
    reopen();
    EXPECT_TRUE(db.Connection.NameOrderTrusted());
    EXPECT_EQ(listInStretches().join(QLatin1Char('|')), names.join(QLatin1Char('|')));
    {
        TQuery check(db.Connection, QStringLiteral("PRAGMA integrity_check"));
        ASSERT_TRUE(check.Next());
        EXPECT_EQ(check.Value(0).toString(), QStringLiteral("ok"));
    }

    // Where it cannot be rebuilt (a read-only file), it is not used, and the user is told.
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes read-only files";
    db.Connection.Close();
    PlantReversedOrderIndex(db.Folder);
    QFile::setPermissions(db.Folder + QStringLiteral("/Docs.db"), QFileDevice::ReadOwner);
    reopen();
    EXPECT_FALSE(db.Connection.NameOrderTrusted());
    EXPECT_TRUE(db.Connection.NameOrderProblem().contains(QStringLiteral("could not be rebuilt")));
    EXPECT_EQ(listInStretches().join(QLatin1Char('|')), names.join(QLatin1Char('|')));
    QFile::setPermissions(db.Folder + QStringLiteral("/Docs.db"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// Other SQLite programs have no DOCNAME; reading the table must not need it.
TEST(DocStore, OtherProgramsReadTheTableWithoutTheNameOrder)
{
    qbtest::TempDatabase db;
    TDocStore(db.Connection).CreateDocumentRecord(QStringLiteral("only"), QStringLiteral("TXT"));
    db.Connection.Close();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(db.Folder + QStringLiteral("/Docs.db")).constData(), &other), SQLITE_OK);
    for (const char* sql : {"SELECT Doc_name FROM Docs", "SELECT Doc_id, Doc_name, Doc_type, C_date, L_date FROM Docs",
                            "SELECT * FROM Docs ORDER BY Doc_name", "SELECT Doc_id FROM Docs WHERE Doc_name > ''",
                            "SELECT count(*) FROM Docs WHERE Doc_name IS NOT NULL"}) {
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(other, sql, -1, &stmt, nullptr), SQLITE_OK)
            << sql << ": " << sqlite3_errmsg(other);
        EXPECT_EQ(sqlite3_step(stmt), SQLITE_ROW) << sql;
        sqlite3_finalize(stmt);
    }
    sqlite3_close(other);
}

// Rows another program wrote with an identifier that is no text can be listed, read and removed.
TEST(DocStore, RowsWithIdentifiersThatAreNoTextCanBeShownAndDeleted)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    const QString mine = store.CreateDocumentRecord(QStringLiteral("mine"), QStringLiteral("TXT"));
    db.Connection.Exec(QStringLiteral("insert into Docs (Doc_id, Doc_name, Doc_type) values "
                                      "(x'00ff', 'bytes', 'TXT'), (x'', 'none', 'TXT'), (x'4142', 'AB', 'TXT')"));
    std::vector<TDocRow> rows = store.ListDocuments();
    ASSERT_EQ(rows.size(), 4u);
    QSet<QString> ids;
    for (const TDocRow& row : rows) {
        ids.insert(row.Id);
        const auto found = store.FindDocument(row.Id);
        ASSERT_TRUE(found.has_value()) << row.Name.toStdString();
        EXPECT_EQ(found->Name, row.Name);
        EXPECT_EQ(found->Id, row.Id);
    }
    EXPECT_EQ(ids.size(), 4);
    for (const TDocRow& row : rows) {
        if (row.Id == mine)
            continue;
        SCOPED_TRACE(row.Name.toStdString());
        store.WriteContentBytes(row.Id, QStringLiteral("Image"), "content");
        EXPECT_EQ(store.ReadContentBytes(row.Id, QStringLiteral("Image")), QByteArray("content"));
        store.RenameDocument(row.Id, row.Name + QStringLiteral("!"));
        EXPECT_EQ(store.FindDocument(row.Id)->Name, row.Name + QStringLiteral("!"));
        store.DeleteDocument(row.Id);
        EXPECT_FALSE(store.FindDocument(row.Id).has_value());
    }
    rows = store.ListDocuments();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Id, mine);
}

TEST(DocStore, RenameUpdateAndDeleteAreStoredAtOnce)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    const QString a = store.CreateDocumentRecord(QStringLiteral("b second"), QStringLiteral("TXT"));
    const QString b = store.CreateDocumentRecord(QStringLiteral("a first"), QStringLiteral("IMG"));
    store.WriteContentBytes(b, QStringLiteral("Image"), QByteArrayLiteral("picture"));

    store.RenameDocument(a, QStringLiteral("0 renamed"));
    TDocRow changed = *store.FindDocument(b);
    const QString newId = TDocStore::NewIdentifier();
    changed.Id = newId;
    changed.Type = QStringLiteral("txt");
    store.UpdateDocument(b, changed);
    EXPECT_THROW(store.UpdateDocument(b, changed), QbError);
    EXPECT_THROW(store.RenameDocument(QStringLiteral("NOPE"), QStringLiteral("x")), QbError);

    // Nothing is pending: a fresh connection sees every change.
    db.Connection.Close();
    db.Connection.Open();
    auto rows = store.ListDocuments();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Name, QStringLiteral("0 renamed"));
    EXPECT_EQ(rows[1].Id, newId);
    EXPECT_EQ(rows[1].Type, QStringLiteral("txt"));
    EXPECT_EQ(store.ReadContentBytes(newId, QStringLiteral("Image")), QByteArrayLiteral("picture"));

    // A change writes the creation date the row has: none stays none, an old one stays old.
    for (const QVariant& created : {QVariant(), QVariant(QStringLiteral("2001-02-03"))}) {
        TQuery set(db.Connection, QStringLiteral("update Docs set C_date = :D where Doc_id = :ID"));
        set.Bind(QStringLiteral(":D"), created);
        set.Bind(QStringLiteral(":ID"), a);
        set.Exec();
        TDocRow renamed = *store.FindDocument(a);
        renamed.Name = QStringLiteral("renamed again");
        store.UpdateDocument(a, renamed);
        EXPECT_EQ(store.FindDocument(a)->CDate, QDate::fromString(created.toString(), Qt::ISODate));
        EXPECT_EQ(store.FindDocument(a)->Name, QStringLiteral("renamed again"));
    }

    store.DeleteDocument(newId);
    EXPECT_THROW(store.DeleteDocument(newId), QbError);
    EXPECT_THROW(store.ReadContentBytes(newId, QStringLiteral("Image")), QbError);
    rows = store.ListDocuments();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Id, a);
}

TEST(DocStore, ContentColumnFollowsTheExactType)
{
    EXPECT_EQ(TDocStore::ContentColumn(QStringLiteral("TXT")), QStringLiteral("Image"));
    EXPECT_EQ(TDocStore::ContentColumn(QStringLiteral("IMG")), QStringLiteral("Image"));
    EXPECT_EQ(TDocStore::ContentColumn(QStringLiteral("txt")), QStringLiteral("OLEobj"));
    EXPECT_EQ(TDocStore::ContentColumn(QStringLiteral("URL")), QStringLiteral("OLEobj"));
    EXPECT_EQ(TDocStore::ContentColumn(QString()), QStringLiteral("OLEobj"));
}

TEST(DocStoreContent, StreamsRoundTripAndFailuresKeepTheOldContent)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    const QString id = store.CreateDocumentRecord(QStringLiteral("blob"), QString());
    EXPECT_EQ(store.ReadContentBytes(id, QStringLiteral("OLEobj")), QByteArray());

    // Larger than several chunks and not a multiple of the chunk size.
    const QByteArray big = RandomBytes(3 * 1024 * 1024 + 12);
    const QString file = qbtest::FreshFolder() + QStringLiteral("/source файл.bin");
    qbtest::WriteAll(file, big);
    QFile source(file);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    store.WriteContent(id, QStringLiteral("oleobj"), source);
    EXPECT_EQ(store.ReadContentBytes(id, QStringLiteral("OLEobj")), big);
    EXPECT_EQ(store.ReadContentBytes(id, QStringLiteral("Image")), QByteArray());

    // A source that breaks midway: an error, and the old content stays.
    FailingBuffer broken(RandomBytes(1024 * 1024), 600 * 1024);
    broken.open(QIODevice::ReadOnly);
    EXPECT_THROW(store.WriteContent(id, QStringLiteral("OLEobj"), broken), QbError);
    EXPECT_EQ(store.ReadContentBytes(id, QStringLiteral("OLEobj")), big);

    // A destination that breaks midway is reported, not taken for success.
    FailingBuffer full(QByteArray(), 1000);
    full.open(QIODevice::WriteOnly);
    EXPECT_THROW(store.ReadContent(id, QStringLiteral("OLEobj"), full), QbError);

    // Only the two content columns can be streamed.
    EXPECT_THROW(store.ReadContentBytes(id, QStringLiteral("Doc_name")), QbError);
    EXPECT_THROW(store.WriteContentBytes(QStringLiteral("NOPE"), QStringLiteral("Image"), "x"), QbError);

    store.WriteContentBytes(id, QStringLiteral("OLEobj"), QByteArray());
    EXPECT_EQ(store.ReadContentBytes(id, QStringLiteral("OLEobj")), QByteArray());
}

TEST(DocStore, OpenContentReadsTheCellInPlaceWithSeeks)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    const QString id = store.CreateDocumentRecord(QStringLiteral("content"), QStringLiteral("IMG"));
    EXPECT_EQ(store.OpenContent(id, QStringLiteral("Image")), nullptr); // an empty cell
    QByteArray bytes(3 * 100000, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 + i / 251);
    store.WriteContentBytes(id, QStringLiteral("Image"), bytes);

    const auto cell = store.OpenContent(id, QStringLiteral("Image"));
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->size(), bytes.size());
    EXPECT_EQ(cell->peek(5), bytes.left(5));
    ASSERT_TRUE(cell->seek(123457));
    EXPECT_EQ(cell->read(70000), bytes.mid(123457, 70000));
    EXPECT_EQ(cell->pos(), 123457 + 70000);
    ASSERT_TRUE(cell->seek(bytes.size() - 3));
    EXPECT_EQ(cell->readAll(), bytes.right(3)); // never past the end
    EXPECT_FALSE(cell->seek(bytes.size() + 1));
    EXPECT_THROW(store.OpenContent(TDocStore::NewIdentifier(), QStringLiteral("Image")), QbError);
}
