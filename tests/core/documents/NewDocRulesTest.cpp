#include "core/documents/wz_new_doc_rules.h"
#include "core/settings/OrbPigger.h"

#include <QMimeData>
#include <gtest/gtest.h>

using namespace NewDocRules;

namespace {

TEST(NewDocRules, ButtonsFollowPageNameModeAndChoice)
{
    struct Row
    {
        const char* what;
        TState state;
        bool prev, next, finish, navigationShown;
    };
    const Row rows[]{
        {"start page with a name",
         {StartPage, QStringLiteral("Doc"), false, NativePage, false, false},
         false,
         true,
         false,
         true},
        {"a blank name stops Next",
         {StartPage, QStringLiteral("  \t"), false, NativePage, false, false},
         false,
         false,
         false,
         true},
        {"native choice is always complete",
         {ReadyPage, QStringLiteral("Doc"), false, NativePage, false, false},
         true,
         false,
         true,
         true},
        {"no server selected",
         {ReadyPage, QStringLiteral("Doc"), false, ServerPage, false, true},
         true,
         false,
         false,
         true},
        {"a server selected",
         {ReadyPage, QStringLiteral("Doc"), false, ServerPage, true, false},
         true,
         false,
         true,
         true},
        {"no format selected",
         {ReadyPage, QStringLiteral("Doc"), false, ClipboardPage, true, false},
         true,
         false,
         false,
         true},
        {"paste mode hides Prior and Next",
         {ReadyPage, QStringLiteral("Doc"), true, ClipboardPage, false, true},
         true,
         false,
         true,
         false},
        {"an unknown inner page is never complete",
         {ReadyPage, QStringLiteral("Doc"), false, 7, true, true},
         true,
         false,
         false,
         true},
    };
    for (const Row& row : rows) {
        const TButtons b = Buttons(row.state);
        EXPECT_EQ(b.enabled.prev, row.prev) << row.what;
        EXPECT_EQ(b.enabled.next, row.next) << row.what;
        EXPECT_EQ(b.enabled.finish, row.finish) << row.what;
        EXPECT_TRUE(b.enabled.cancel) << row.what;
        EXPECT_EQ(b.prevVisible, row.navigationShown) << row.what;
        EXPECT_EQ(b.nextVisible, row.navigationShown) << row.what;
    }
}

TEST(NewDocRules, ChoicesMapToPagesAndTypes)
{
    EXPECT_EQ(InnerPageFor(AsNative), NativePage);
    EXPECT_EQ(InnerPageFor(AsOleObject), ServerPage);
    EXPECT_EQ(InnerPageFor(FromClipboard), ClipboardPage);
    EXPECT_EQ(InnerPageFor(-1), NativePage);
    EXPECT_EQ(NativeType(0), QStringLiteral("IMG"));
    EXPECT_EQ(NativeType(1), QStringLiteral("TXT"));
    EXPECT_EQ(NativeType(-1), QString());
    EXPECT_EQ(PasteFormats(true, true, true), (QStringList{BitmapFormat, TextFormat, ObjectFormat}));
    EXPECT_EQ(PasteFormats(false, true, false), QStringList{TextFormat});
}

TEST(NewDocRules, TheDefaultServerIsFoundByNameIgnoringCase)
{
    TOrbPigger node;
    node.SetText(QStringLiteral("<OLE_SERVERS DEFAULT=\"WRITER\"><SERVER NAME=\"\" CLASS=\"x\"/>"
                                "<SERVER NAME=\"Sketch\" CLASS=\"org.s\"/><SERVER NAME=\" Writer \" CLASS=\"org.w\"/>"
                                "</OLE_SERVERS>"));
    EXPECT_EQ(DefaultServer(&node, OleServerList::Rows(&node)), 1) << "the blank entry is not listed";
    node.SetAttr(QStringLiteral("DEFAULT"), QStringLiteral("Nobody"));
    EXPECT_EQ(DefaultServer(&node, OleServerList::Rows(&node)), -1);
    EXPECT_EQ(DefaultServer(nullptr, {}), -1);
}

TEST(NewDocRules, TextBecomesLinesAtEveryKindOfBreak)
{
    EXPECT_EQ(SplitLines(QStringLiteral("a\r\nb\rc\nd")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")}));
    EXPECT_EQ(SplitLines(QStringLiteral("end\r\n")), QStringList{QStringLiteral("end")});
    EXPECT_EQ(SplitLines(QStringLiteral("\n\n")), (QStringList{QString(), QString()}));
    EXPECT_TRUE(SplitLines(QString()).isEmpty());
}

TEST(NewDocRules, APictureInAnyFormatCountsAsABitmap)
{
    QMimeData png;
    png.setData(QStringLiteral("image/png"), "bytes");
    QMimeData text;
    text.setText(QStringLiteral("image/png"));
    EXPECT_TRUE(OffersBitmap(&png));
    EXPECT_FALSE(OffersBitmap(&text));
    EXPECT_FALSE(OffersBitmap(nullptr));
}

} // namespace
