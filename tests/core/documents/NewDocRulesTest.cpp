#include "core/documents/wz_new_doc_rules.h"
#include "core/settings/OrbPigger.h"

#include <QImage>
#include <QMimeData>
#include <gtest/gtest.h>

using namespace NewDocRules;

namespace {

TEST(NewDocRules, ButtonsFollowPageNameModeAndChoice)
{
    const QString doc = QStringLiteral("Doc");
    const struct
    {
        const char* what;
        TState state; // page, name, paste mode, inner page, server selected, format selected
        bool prev, next, finish, navigationShown;
    } rows[]{
        // clang-format off
        {"start page with a name", {StartPage, doc, false, NativePage, false, false}, false, true, false, true},
        {"a blank name stops Next", {StartPage, QStringLiteral("  \t"), false, NativePage, false, false}, false, false, false, true},
        {"native choice is always complete", {ReadyPage, doc, false, NativePage, false, false}, true, false, true, true},
        {"no server selected", {ReadyPage, doc, false, ServerPage, false, true}, true, false, false, true},
        {"a server selected", {ReadyPage, doc, false, ServerPage, true, false}, true, false, true, true},
        {"no format selected", {ReadyPage, doc, false, ClipboardPage, true, false}, true, false, false, true},
        {"paste mode hides Prior and Next", {ReadyPage, doc, true, ClipboardPage, false, true}, true, false, true, false},
        {"an unknown inner page is never complete", {ReadyPage, doc, false, 7, true, true}, true, false, false, true},
        // clang-format on
    };
    for (const auto& row : rows) {
        const TButtons b = Buttons(row.state);
        EXPECT_EQ(b.enabled.prev, row.prev) << row.what;
        EXPECT_EQ(b.enabled.next, row.next) << row.what;
        EXPECT_EQ(b.enabled.finish, row.finish) << row.what;
        EXPECT_TRUE(b.enabled.cancel) << row.what;
        EXPECT_EQ(b.prevVisible && b.nextVisible, row.navigationShown) << row.what;
        EXPECT_EQ(b.prevVisible || b.nextVisible, row.navigationShown) << row.what;
    }
    EXPECT_EQ(InnerPageFor(AsOleObject), ServerPage);
    EXPECT_EQ(InnerPageFor(FromClipboard), ClipboardPage);
    EXPECT_EQ(InnerPageFor(-1), NativePage);
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
}

TEST(NewDocRules, ClipboardTextAndPictures)
{
    EXPECT_EQ(SplitLines(QStringLiteral("a\r\nb\rc\nd\r\n")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")}));
    EXPECT_EQ(SplitLines(QStringLiteral("\n\n")), (QStringList{QString(), QString()}));
    EXPECT_TRUE(SplitLines(QString()).isEmpty());

    QMimeData png;
    png.setData(QStringLiteral("image/png"), "bytes");
    QMimeData text;
    text.setText(QStringLiteral("image/png"));
    EXPECT_FALSE(OffersBitmap(&png)) << "bytes that decode to no picture";
    EXPECT_FALSE(OffersBitmap(&text));
    EXPECT_FALSE(OffersBitmap(nullptr)) << "a clipboard without owner";
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.fill(Qt::green);
    QMimeData image;
    image.setImageData(picture);
    EXPECT_TRUE(OffersBitmap(&image));
}

} // namespace
