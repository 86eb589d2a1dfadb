#include "core/database/TextIndex.h"

#include "core/database/DatabaseSession.h"
#include "core/database/DocStore.h"
#include "core/database/Query.h"
#include "core/database/TextIndexer.h"
#include "core/documents/OleContainer.h"
#include "core/documents/Search.h"
#include "core/settings/SettingsModel.h"
#include "support/TempDatabase.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace {

const QString TXT = QStringLiteral("TXT");

QByteArray Letter(const QString& text)
{
    QTextDocument document;
    document.setPlainText(text);
    return document.toHtml().toUtf8();
}

// What the index holds, and what a build from nothing would make of the rows as they are.
// Documents "Doc i" holding "wordi common", made in one transaction.
void AddDocs(TDatabaseConnection& c, int count, const std::function<QByteArray(const QString&)>& content)
{
    TDocStore store(c);
    c.Exec(QStringLiteral("BEGIN"));
    for (int i = 0; i < count; ++i) {
        const QString id = store.CreateDocumentRecord(QStringLiteral("Doc %1").arg(i), TXT);
        store.WriteContentBytes(id, QStringLiteral("Image"), content(QStringLiteral("word%1 common").arg(i)));
    }
    c.Exec(QStringLiteral("COMMIT"));
}

QStringList Indexed(TDatabaseConnection& c)
{
    QStringList out;
    TQuery q(c, QStringLiteral("select docid, name, body from Docs_text order by docid"));
    while (q.Next())
        out << QStringLiteral("%1|%2|%3").arg(q.Value(0).toString(), q.Value(1).toString(), q.Value(2).toString());
    return out;
}

QStringList Rebuilt(TDatabaseConnection& c)
{
    QStringList out;
    TQuery q(c, QStringLiteral("select rowid, Doc_name, Doc_type, Image, OLEobj from Docs order by rowid"));
    while (q.Next()) {
        QByteArray object = q.Value(4).toByteArray();
        QBuffer cell(&object);
        cell.open(QIODevice::ReadOnly);
        const QString body = object.isEmpty() || q.Value(2).toString() == TXT
            ? TextIndex::PlainText(q.Value(2).toString(), q.Value(3).toByteArray())
            : TextIndex::ObjectFileName(q.Value(1).toString(), cell);
        out << QStringLiteral("%1|%2|%3").arg(q.Value(0).toString(), q.Value(1).toString(), body);
    }
    return out;
}

void ExpectInStep(TDatabaseConnection& c, const char* after)
{
    EXPECT_TRUE(TextIndex::Complete(c)) << after;
    EXPECT_EQ(Indexed(c), Rebuilt(c)) << after;
    // The words themselves (segments) agree with the stored text.
    EXPECT_NO_THROW(c.Exec(QStringLiteral("insert into Docs_text(Docs_text) values('integrity-check')"))) << after;
}

QStringList Found(TDatabaseConnection& c, const QString& words)
{
    QStringList names;
    for (const TSearchHit& hit : TDocSearch::Run(c, words, TDocSearch::InText, false))
        names << hit.Name;
    return names;
}

bool FileHolds(const QString& folder, const QByteArray& needle)
{
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile f(info.filePath());
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains(needle))
            return true;
    }
    return false;
}

TEST(TextIndex, EveryWriteKeepsItInStep)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    const QString letter = store.CreateDocumentRecord(QStringLiteral("Letter to Anna"), TXT);
    store.WriteContentBytes(letter, QStringLiteral("Image"), Letter(QStringLiteral("Dear Anna,\nthe café is open.")));
    ASSERT_TRUE(TextIndex::Build(db.Connection));
    ExpectInStep(db.Connection, "build");

    QString note, object;
    struct Step
    {
        const char* what;
        std::function<void()> run;
    };
    const Step steps[] = {
        {"create", [&] { note = store.CreateDocumentRecord(QStringLiteral("Note"), TXT); }},
        {"store plain text", [&] { store.WriteContentBytes(note, QStringLiteral("Image"), "Buy pears"); }},
        {"store html",
         [&] { store.WriteContentBytes(letter, QStringLiteral("Image"), Letter(QStringLiteral("Bonjour"))); }},
        {"create object", [&] { object = store.CreateDocumentRecord(QStringLiteral("Scan"), QString()); }},
        {"store object",
         [&] {
             store.WriteContentBytes(
                 object, QStringLiteral("OLEobj"),
                 TOleContainer::StoredHeaderFor(QStringLiteral("org.test.viewer"), QStringLiteral("pdf"), 9)
                     + "not words");
         }},
        {"rename object", [&] { store.RenameDocument(object, QStringLiteral("Tax scan")); }},
        {"rename", [&] { store.RenameDocument(note, QStringLiteral("Shopping")); }},
        {"retype",
         [&] {
             store.UpdateDocument(note, {note, QStringLiteral("IMG"), QStringLiteral("Shopping"), {}, {}});
         }},
        {"delete", [&] { store.DeleteDocument(letter); }},
        {"protect", [&] { db.Connection.Restructure(QStringLiteral("pw")); }},
        {"create when protected", [&] { store.CreateDocumentRecord(QStringLiteral("Élan"), TXT); }},
        {"pack", [&] { db.Connection.Restructure(QString()); }},
    };
    for (const Step& step : steps) {
        step.run();
        ExpectInStep(db.Connection, step.what);
    }
    EXPECT_EQ(Found(db.Connection, QStringLiteral("elan")), QStringList{QStringLiteral("Élan")});
    // An object's file name is its name with the object's suffix; its content is not read.
    EXPECT_EQ(Found(db.Connection, QStringLiteral("pdf")), QStringList{QStringLiteral("Tax scan")});
    EXPECT_TRUE(Found(db.Connection, QStringLiteral("words")).isEmpty());
    EXPECT_TRUE(Found(db.Connection, QStringLiteral("bonjour")).isEmpty()); // its document is gone
}

TEST(TextIndex, AFailedWriteLeavesTheIndexAsItWas)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    const QString id = store.CreateDocumentRecord(QStringLiteral("Kept"), TXT);
    ASSERT_TRUE(TextIndex::Build(db.Connection));
    EXPECT_ANY_THROW(store.InsertDocument({id, TXT, QStringLiteral("Same id"), {}, {}})); // key taken
    EXPECT_ANY_THROW(store.RenameDocument(QStringLiteral("NOSUCHID"), QStringLiteral("x")));
    ExpectInStep(db.Connection, "failed writes");
}

TEST(TextIndex, AStoppedBuildResumesAtTheNextOpen)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    AddDocs(db.Connection, 450, [](const QString& words) { return words.toUtf8(); });
    int asked = 0;
    EXPECT_FALSE(TextIndex::Build(db.Connection, {}, [&] { return ++asked > 1; }));
    EXPECT_FALSE(TextIndex::Complete(db.Connection));
    const int partial = int(Indexed(db.Connection).size());
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, 450);
    // Written meanwhile: indexed at once, and not again in the wrong place.
    store.CreateDocumentRecord(QStringLiteral("Late"), TXT);

    db.Connection.Close();
    db.Connection.Open();
    std::vector<int> progress;
    EXPECT_TRUE(TextIndex::Build(db.Connection, [&](int p) { progress.push_back(p); }));
    ExpectInStep(db.Connection, "resumed");
    ASSERT_FALSE(progress.empty());
    EXPECT_GT(progress.front(), 0); // started where it stopped
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(Found(db.Connection, QStringLiteral("word449")), QStringList{QStringLiteral("Doc 449")});
}

// Runs the event loop until done() or ms have passed.
bool SpinUntil(const std::function<bool()>& done, int ms = 60000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

TEST(TextIndex, TheOpenBuildsItInTheBackgroundAndACloseStopsIt)
{
    qbtest::TempDatabase db;
    AddDocs(db.Connection, 700, Letter);
    db.Connection.Close();
    TSettingsModel settings;
    TDatabaseSession session(settings);
    TDatabaseConnection& c = session.Connection();
    TTextIndexer indexer(session);
    QSignalSpy progress(&indexer, &TTextIndexer::Progress);
    QSignalSpy ended(&indexer, &TTextIndexer::Ended);
    const auto indexed = [&c] { return TextIndex::Exists(c) ? Indexed(c).size() : 0; };

    session.OpenDatabaseDirect(QStringLiteral("T"), db.Folder, QString());
    ASSERT_TRUE(session.DatabaseOpen());
    // A write of the window's under way, or a job on the connection: the build waits.
    c.Exec(QStringLiteral("SAVEPOINT edit"));
    SpinUntil([] { return false; }, 200);
    EXPECT_EQ(indexed(), 0);
    c.Exec(QStringLiteral("RELEASE edit"));
    ASSERT_TRUE(SpinUntil([&] { return !progress.isEmpty(); }));
    EXPECT_TRUE(indexer.Running());
    session.CloseDatabase();
    ASSERT_EQ(ended.size(), 1);
    EXPECT_FALSE(ended.first().first().toBool());
    EXPECT_FALSE(indexer.Running());

    db.Connection.Open();
    const qsizetype partial = Indexed(db.Connection).size();
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, 700);
    // Found by name as ever, though the index is not complete.
    EXPECT_EQ(TDocSearch::Run(db.Connection, QStringLiteral("Doc 699"), TDocSearch::InName, false).size(), 1u);
    db.Connection.Close();

    const qsizetype reported = progress.size();
    session.OpenDatabaseDirect(QStringLiteral("T"), db.Folder, QString());
    ASSERT_TRUE(SpinUntil([&] { return ended.size() == 2; }));
    EXPECT_TRUE(ended.last().first().toBool());
    ExpectInStep(c, "built in the background");
    ASSERT_GT(progress.size(), reported);
    EXPECT_GE(progress.at(reported).first().toInt(), int(partial * 100 / 700)) << "resumed, not started again";
    EXPECT_EQ(Found(c, QStringLiteral("word699")), QStringList{QStringLiteral("Doc 699")});
    session.CloseDatabase();
}

TEST(TextIndex, AProtectedFileHoldsNoIndexedTextInClear)
{
    for (const QString& password : {QString(), QStringLiteral("secret")}) {
        qbtest::TempDatabase db(password);
        TDocStore store(db.Connection);
        ASSERT_TRUE(TextIndex::Build(db.Connection));
        const QString id = store.CreateDocumentRecord(QStringLiteral("Letter"), TXT);
        store.WriteContentBytes(id, QStringLiteral("Image"), "Zanzibarquux");
        db.Connection.Close();
        // The plain file shows that the check would see the word.
        EXPECT_EQ(FileHolds(db.Folder, "zanzibarquux"), password.isEmpty()) << password.toStdString();
        EXPECT_EQ(FileHolds(db.Folder, "Zanzibarquux"), password.isEmpty()) << password.toStdString();
    }
}

TEST(TextIndex, WithoutTheIndexNothingChanges)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    const QString id = store.CreateDocumentRecord(QStringLiteral("Plain letter"), TXT);
    store.WriteContentBytes(id, QStringLiteral("Image"), "text");
    store.RenameDocument(id, QStringLiteral("Old letter"));
    EXPECT_FALSE(TextIndex::Exists(db.Connection));
    EXPECT_EQ(TDocSearch::Run(db.Connection, QStringLiteral("letter"), TDocSearch::InName, false).size(), 1u);
    store.DeleteDocument(id);
    TQuery tables(db.Connection, QStringLiteral("select count(*) from sqlite_master where name like 'Docs_text%'"));
    ASSERT_TRUE(tables.Next());
    EXPECT_EQ(tables.Value(0).toInt(), 0);
}

TEST(TextIndex, MatchQueryReadsWordsPrefixesAndPhrases)
{
    const struct
    {
        const char* typed;
        const char* query;
    } rows[] = {
        {"dear anna", "\"dear\" \"anna\""},
        {"lett*", "\"lett*\""},
        {"\"the café\" open", "\"the café\" \"open\""},
        {"NOT or -x", "\"NOT\" \"or\" \"-x\""},
        {"\"unclosed phrase", "\"unclosed phrase\""},
        {"* - \"\"", ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(TextIndex::MatchQuery(QString::fromUtf8(r.typed)), QString::fromUtf8(r.query)) << r.typed;
}

} // namespace

TEST(TextIndex, TheContextShowsTheFirstMatchNearItsStart)
{
    const auto m = [](const char* text) {
        return QString::fromUtf8(text)
            .replace(QLatin1Char('['), TDocSearch::MatchOpen)
            .replace(QLatin1Char(']'), TDocSearch::MatchClose);
    };
    const struct
    {
        const char* snippet;
        const char* shown;
    } rows[] = {
        {"Dear Anna, the [Caf\xc3\xa9] is open", "Dear Anna, the Caf\xc3\xa9 is open"},
        {"\xe2\x80\xa6Marta, the keys to the blue [summer] [house] are", "\xe2\x80\xa6to the blue summer house are"},
        {"abcdefghijklmnopqrstuvwxyz[word]", "\xe2\x80\xa6klmnopqrstuvwxyzword"},
        {"no match at all", "no match at all"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(TDocSearch::ShownContext(m(r.snippet)), QString::fromUtf8(r.shown)) << r.snippet;
}
