#include "core/intake/OleServerList.h"

#include "core/settings/OrbPigger.h"

#include <gtest/gtest.h>

using OleServerList::TServerRow;

namespace {

std::unique_ptr<TOrbPigger> Tree(const char* text)
{
    auto root = std::make_unique<TOrbPigger>();
    root->SetText(QString::fromUtf8(text));
    return root;
}

TEST(OleServerList, AMissingNodeIsAppendedAfterTheDatabaseList)
{
    auto root = Tree("<SETTINGS><BASE_LIST/></SETTINGS>");
    TOrbPigger* node = OleServerList::ServersNode(*root);
    ASSERT_EQ(root->ChildCount(), 2);
    EXPECT_EQ(root->Child(1), node);
    EXPECT_EQ(node->Name(), QStringLiteral("OLE_SERVERS"));
    EXPECT_EQ(OleServerList::ServersNode(*root), node) << "found, not added, the second time";
}

TEST(OleServerList, RowsAreTrimmedAndBlankNamesLeftOut)
{
    auto root = Tree("<SETTINGS><OLE_SERVERS><SERVER NAME=\" Writer \" CLASS=\" org.w \"/>"
                     "<SERVER NAME=\"  \" CLASS=\"hidden\"/><SERVER CLASS=\"nameless\"/>"
                     "<SERVER NAME=\"Paint\"/></OLE_SERVERS></SETTINGS>");
    const QList<TServerRow> expected{{QStringLiteral("Writer"), QStringLiteral("org.w")},
                                     {QStringLiteral("Paint"), QString()}};
    EXPECT_EQ(OleServerList::Rows(OleServerList::ServersNode(*root)), expected);
    EXPECT_TRUE(OleServerList::Rows(nullptr).isEmpty());
}

TEST(OleServerList, StoringARowFindsItsEntryByTheShownName)
{
    struct Row
    {
        const char* what;
        const char* caption;
        const char* cls;
        const char* newName;
        const char* after; // the node's markup afterwards
    };
    const Row rows[]{
        {"a new row is appended", "org.new", "org.new", "org.new",
         "<OLE_SERVERS><SERVER NAME=\"Gimp\" CLASS=\"gimp\"/><SERVER NAME=\"org.new\" "
         "CLASS=\"org.new\"/></OLE_SERVERS>"},
        {"a rename finds the old name ignoring case", " GIMP ", "gimp", "Pictures",
         "<OLE_SERVERS><SERVER NAME=\"Pictures\" CLASS=\"gimp\"/></OLE_SERVERS>"},
        {"a blank new name keeps the stored one", "Gimp", "gimp2", "  ",
         "<OLE_SERVERS><SERVER NAME=\"Gimp\" CLASS=\"gimp2\"/></OLE_SERVERS>"},
        {"a row without class stores nothing", "Gimp", " ", "Other",
         "<OLE_SERVERS><SERVER NAME=\"Gimp\" CLASS=\"gimp\"/></OLE_SERVERS>"},
        {"a blank caption stores nothing", " ", "gimp", "Other",
         "<OLE_SERVERS><SERVER NAME=\"Gimp\" CLASS=\"gimp\"/></OLE_SERVERS>"},
    };
    for (const Row& row : rows) {
        auto root = Tree("<SETTINGS><OLE_SERVERS><SERVER NAME=\"Gimp\" CLASS=\"gimp\"/></OLE_SERVERS></SETTINGS>");
        TOrbPigger* node = OleServerList::ServersNode(*root);
        OleServerList::StoreServerRow(node, QString::fromUtf8(row.caption), QString::fromUtf8(row.cls),
                                      QString::fromUtf8(row.newName));
        QString markup = node->GetText();
        markup.remove(QLatin1Char('\r')).remove(QLatin1Char('\n')).remove(QLatin1Char('\t'));
        EXPECT_EQ(markup, QString::fromUtf8(row.after)) << row.what;
    }
}

TEST(OleServerList, RemovingTakesTheEntryOfThatName)
{
    auto root = Tree("<SETTINGS><OLE_SERVERS><SERVER NAME=\"A\" CLASS=\"a\"/><SERVER NAME=\"B\" CLASS=\"b\"/>"
                     "</OLE_SERVERS></SETTINGS>");
    TOrbPigger* node = OleServerList::ServersNode(*root);
    EXPECT_FALSE(OleServerList::RemoveServer(node, QStringLiteral("C")));
    EXPECT_TRUE(OleServerList::RemoveServer(node, QStringLiteral("b")));
    EXPECT_EQ(OleServerList::Rows(node), (QList<TServerRow>{{QStringLiteral("A"), QStringLiteral("a")}}));
}

} // namespace
