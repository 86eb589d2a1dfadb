#include "core/documents/Search.h"

#include "core/common/QbError.h"
#include "core/database/DocStore.h"
#include "core/database/Query.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>

namespace {

QStringList Names(const std::vector<TSearchHit>& hits)
{
    QStringList names;
    for (const TSearchHit& h : hits)
        names << h.Name;
    return names;
}

TEST(SearchTest, ModesCaseAndWildcards)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    const QStringList names = {QStringLiteral("Banana apple"), QStringLiteral("apple"), QStringLiteral("APPLE jam"),
                               QStringLiteral("abc"),          QStringLiteral("a_c"),   QStringLiteral("100% cotton"),
                               QStringLiteral("Ёлка"),         QStringLiteral("ёжик"),  QStringLiteral(" apple tart"),
                               QStringLiteral("say \"hi\"")};
    for (const QString& n : names)
        store.CreateDocumentRecord(n, QStringLiteral("TXT"));

    struct Row
    {
        const char* text;
        int mode;
        bool caseSensitive;
        QStringList expected; // in the order of the list: by name, ignoring case
    };
    const auto L = [](std::initializer_list<const char*> l) {
        QStringList out;
        for (const char* s : l)
            out << QString::fromUtf8(s);
        return out;
    };
    const Row rows[] = {
        {"apple", TDocSearch::InName, false, L({" apple tart", "apple", "APPLE jam", "Banana apple"})},
        {"apple", TDocSearch::AtBegin, false, L({"apple", "APPLE jam"})},
        {"apple", TDocSearch::InName, true, L({" apple tart", "apple", "Banana apple"})},
        {"APPLE", TDocSearch::AtBegin, true, L({"APPLE jam"})},
        {" apple", TDocSearch::AtBegin, false, L({" apple tart"})}, // blanks are kept
        {"a_c", TDocSearch::AtBegin, false, L({"a_c", "abc"})}, // "_" is any one character
        {"0%c", TDocSearch::InName, false, L({"100% cotton"})},
        {"ЁЛ", TDocSearch::AtBegin, false, L({"Ёлка"})}, // case beyond ASCII
        {"ё", TDocSearch::AtBegin, true, L({"ёжик"})},
        {"\"hi\"", TDocSearch::InName, false, L({"say \"hi\""})}, // quotes are plain text
        {"pear", TDocSearch::InName, false, {}},
        {"APPLE TART", TDocSearch::InName, true, {}},
    };
    for (const Row& r : rows) {
        const auto hits = TDocSearch::Run(db.Connection, QString::fromUtf8(r.text), r.mode, r.caseSensitive);
        EXPECT_EQ(Names(hits), r.expected) << r.text << " mode " << r.mode << " case " << r.caseSensitive;
    }

    // An empty text, or "%" at the beginning, matches every document, in the list's order.
    QStringList listed;
    for (const TDocRow& d : store.ListDocuments())
        listed << d.Name;
    for (const QString& text : {QString(), QStringLiteral("%")})
        for (int mode : {int(TDocSearch::InName), int(TDocSearch::AtBegin)})
            EXPECT_EQ(Names(TDocSearch::Run(db.Connection, text, mode, true)), listed) << text.toStdString();

    // Ids and types come with the names.
    const auto one = TDocSearch::Run(db.Connection, QStringLiteral("abc"), TDocSearch::AtBegin, true);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].Id.size(), 32);
    EXPECT_EQ(one[0].Type, QStringLiteral("TXT"));

    // A case-sensitive search leaves LIKE as the engine has it for everyone else.
    TQuery like(db.Connection, QStringLiteral("select 'a' like 'A'"));
    ASSERT_TRUE(like.Next());
    EXPECT_EQ(like.Value(0).toInt(), 1);
}

TEST(SearchTest, UpperCaseIsUnicodesFullUpperCase)
{
    qbtest::TempDatabase db;
    TDocSearch::Run(db.Connection, QStringLiteral("x"), TDocSearch::InName, false); // registers QB_UPPER
    // Names mapped code point by code point and those that need the whole-text rules: "ß" and
    // ligatures grow, some letters change their length in UTF-8, bytes that are not UTF-8.
    const QByteArray samples[] = {
        "plain ASCII 123 _%",
        "straße",
        "\xc7\x86"
        "emal ǅ",
        "ıi İ",
        "ﬀ ﬁ",
        "ΐ ǰ ŉ",
        "ɐ ſ ẞ ꞵ",
        "Ёлка ёжик",
        "日本 😀 a",
        "a\xc3(b",
        "\xc0\xaf overlong",
        "\xed\xa0\x80 surrogate",
        "cut \xe2\x82",
        "",
    };
    for (const QByteArray& sample : samples) {
        TQuery q(db.Connection, QStringLiteral("select QB_UPPER(cast(:B as text))"));
        q.Bind(QStringLiteral(":B"), sample);
        ASSERT_TRUE(q.Next());
        EXPECT_EQ(q.Value(0).toString(), QString::fromUtf8(sample).toUpper()) << sample.toHex().constData();
    }
}

// A search ends when its stop check says so, however long the engine would take; the check
// is asked again and again while it runs, and afterwards nothing else is stopped.
TEST(SearchTest, StopCheckEndsTheSearch)
{
    qbtest::TempDatabase db;
    TDocStore store(db.Connection);
    db.Connection.Exec(QStringLiteral("BEGIN"));
    for (int i = 0; i < 100; ++i)
        store.CreateDocumentRecord(QString(64, QLatin1Char('N')), QStringLiteral("TXT"));
    db.Connection.Exec(QStringLiteral("COMMIT"));
    int asked = 0;
    bool stopped = false;
    const auto none = TDocSearch::Run(
        db.Connection, QStringLiteral("N"), TDocSearch::InName, true, [&] { return ++asked == 1; }, &stopped);
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(asked, 1);

    asked = 0;
    const auto all = TDocSearch::Run(
        db.Connection, QStringLiteral("N"), TDocSearch::InName, false, [&] { return ++asked < 0; }, &stopped);
    EXPECT_FALSE(stopped);
    EXPECT_EQ(all.size(), 100u);
    EXPECT_GT(asked, 0);
    TQuery after(db.Connection, QStringLiteral("select count(*) from Docs where Doc_name like '%N%N%'"));
    ASSERT_TRUE(after.Next());
    EXPECT_EQ(after.Value(0).toInt(), 100);
}

// Hits name their rows as the document list does, whatever kind the identifier is.
TEST(SearchTest, HitsOfRowsWithoutTextIdentifiersMatchTheList)
{
    qbtest::TempDatabase db;
    db.Connection.Exec(
        QStringLiteral("insert into Docs (Doc_id, Doc_name, Doc_type) values (x'00ff', 'blob id', 'TXT')"));
    const auto hits = TDocSearch::Run(db.Connection, QStringLiteral("blob"), TDocSearch::InName, false);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].Id, TDocStore(db.Connection).ListDocuments().at(0).Id);
}

TEST(SearchTest, ClosedConnectionRaises)
{
    TDatabaseConnection closed;
    EXPECT_THROW(TDocSearch::Run(closed, QStringLiteral("x"), TDocSearch::InName, false), QbError);
}

} // namespace
