#include "DocumentsFixture.h"
#include "core/database/Connection.h"
#include "core/database/DocStore.h"
#include "core/database/Query.h"
#include "core/settings/OrbPigger.h"
#include "gui/database/askBaseAndPwd.h"
#include "gui/documents/doc_list.h"
#include "support/TempDatabase.h"

#include <QCoreApplication>
#include <QDate>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

namespace {

class DocListTest : public qbtest::DocumentsFixture
{
protected:
    QString StoredName(const QString& id) const
    {
        const auto row = TDocStore(ADB()).FindDocument(id);
        return row ? row->Name : QStringLiteral("<missing>");
    }
    int NameColumn() const { return List()->ColumnOf(QStringLiteral("doc_name")); }
    int ChooseColumn() const { return List()->ColumnOf(QStringLiteral("CHOISE_IT")); }

    // Types a new name into the current row's name cell.
    QLineEdit* StartRename(const QString& text)
    {
        List()->SelectColumn(NameColumn());
        Grid()->edit(Grid()->currentIndex());
        auto* editor = qobject_cast<QLineEdit*>(Grid()->indexWidget(Grid()->currentIndex()));
        if (!editor)
            return nullptr;
        editor->selectAll();
        QTest::keyClicks(editor, text);
        return editor;
    }
};

TEST_F(DocListTest, ALongListShowsItsFirstRowsAtOnceAndTheRestWhileIdle)
{
    OpenDatabase([](TDocStore& store) {
        for (int i = 0; i < 3 * TOdic::IdleRows; ++i)
            store.CreateDocumentRecord(QStringLiteral("doc %1").arg(i % 5000, 4, 10, QLatin1Char('0')),
                                       QStringLiteral("TXT"));
    });
    const int total = 3 * TOdic::IdleRows;
    QStringList whole;
    for (const TDocRow& row : TDocStore(ADB()).ListDocuments())
        whole << row.Id;
    const auto ids = [&] {
        QStringList out;
        for (int r = 0; r < Query()->RowCount(); ++r)
            out << Query()->Row(r).value(QStringLiteral("doc_id")).toString();
        return out;
    };
    const auto reopen = [&] {
        List()->CloseList();
        List()->OpenList();
        ASSERT_EQ(Query()->RowCount(), TOdic::FirstRows);
        ASSERT_FALSE(List()->Complete());
    };

    reopen();
    for (int turns = 0; !List()->Complete() && turns < 1000; ++turns)
        QCoreApplication::processEvents();
    EXPECT_EQ(ids(), whole);

    // Ctrl+End goes to the real last row, not the last one read so far.
    reopen();
    QTest::keyClick(Grid(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_TRUE(List()->Complete());
    EXPECT_EQ(List()->CurrentRow(), total - 1);

    // A rename moves its row past the rows read; the rest is read first, so it is listed once.
    reopen();
    QLineEdit* editor = StartRename(QStringLiteral("zzz last"));
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(List()->PostPending());
    QStringList listed = ids();
    EXPECT_EQ(listed.size(), total);
    listed.removeDuplicates();
    EXPECT_EQ(listed.size(), total);
}

TEST_F(DocListTest, GridShowsItsColumnsAndStatus)
{
    OpenDatabase([](TDocStore& store) { store.CreateDocumentRecord(QStringLiteral("one"), QStringLiteral("TXT")); });
    EXPECT_EQ(List()->objectName(), QStringLiteral("O_doc_list1"));
    EXPECT_EQ(List()->CurrentRow(), 0);
    EXPECT_EQ(List()->SelectedColumn(), ChooseColumn());
    EXPECT_EQ(List()->CurrentId().size(), 32);
    EXPECT_EQ(List()->FieldText(QStringLiteral("DOC_TYPE")), QStringLiteral("TXT")) << "field names ignore case";
    EXPECT_TRUE(List()->FieldText(QStringLiteral("no_such_field")).isEmpty());
    const QHeaderView* header = Grid()->horizontalHeader();
    QStringList titles;
    for (int c = 0; c < Query()->columnCount(); ++c)
        titles << Query()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(titles, (QStringList{QStringLiteral(">>"), QStringLiteral("Is"), QStringLiteral("Document name")}));
    EXPECT_EQ(header->sectionSize(0), 20);
    EXPECT_EQ(header->sectionSize(1), 20);
    EXPECT_EQ(header->sectionSize(2), 202);
    TDatabaseConnection closed;
    const TO_doc_list unopened(closed); // before any database is open
    EXPECT_EQ(qbtest::Child<TDicGrid>(&unopened, "Grid1")->horizontalHeader()->count(), 3);
    EXPECT_EQ(qbtest::Child<TDicGrid>(&unopened, "Grid1")->horizontalHeader()->sectionSize(1), 20);
    EXPECT_EQ(qbtest::Child<TDicGrid>(&unopened, "Grid1")->horizontalHeader()->sectionSize(2), 202);
    EXPECT_FALSE(Grid()->verticalHeader()->isVisible());
    EXPECT_FALSE(Query()->flags(Query()->index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(Query()->flags(Query()->index(0, 1)) & Qt::ItemIsEditable);
    EXPECT_TRUE(Query()->flags(Query()->index(0, 2)) & Qt::ItemIsEditable);

    EXPECT_EQ(TO_doc_list::TypeIcon(QStringLiteral("IMG")), 2);
    EXPECT_EQ(TO_doc_list::TypeIcon(QStringLiteral("TXT")), 3);
    EXPECT_EQ(TO_doc_list::TypeIcon(QStringLiteral("URL")), 4);
    EXPECT_EQ(TO_doc_list::TypeIcon(QStringLiteral("txt")), 1) << "types compare exactly";
    EXPECT_EQ(TO_doc_list::TypeIcon(QString()), 1);
    EXPECT_EQ(List()->ImageList1().size(), 5);
    Grid()->grab(); // draws every cell, icons included

    EXPECT_EQ(qbtest::Child<QLabel>(List(), "Panel1")->text(), QStringLiteral("Item select mode"));
    List()->SelectColumn(NameColumn());
    EXPECT_EQ(qbtest::Child<QLabel>(List(), "Panel1")->text(), QStringLiteral("Line edit mode"));
    // The name column reaches past the list's edge; choosing it keeps the first columns in sight.
    ASSERT_LT(Grid()->viewport()->width(), header->length());
    EXPECT_EQ(Grid()->horizontalScrollBar()->value(), 0);
}

TEST_F(DocListTest, TypeColumnIsNeverLeftSelected)
{
    OpenDatabase([](TDocStore& store) { store.CreateDocumentRecord(QStringLiteral("one"), QStringLiteral("TXT")); });
    const int typeColumn = List()->ColumnOf(QStringLiteral("doc_type"));
    List()->SelectColumn(ChooseColumn());
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(Grid(), i % 2 ? Qt::Key_Left : Qt::Key_Right);
        EXPECT_NE(List()->SelectedColumn(), typeColumn) << "step " << i;
    }
    List()->SelectColumn(typeColumn);
    EXPECT_NE(List()->SelectedColumn(), typeColumn);
}

TEST_F(DocListTest, RenamingInPlaceIsStoredAtOnce)
{
    OpenDatabase([](TDocStore& store) {
        store.CreateDocumentRecord(QStringLiteral("alpha"), QStringLiteral("TXT"));
        store.CreateDocumentRecord(QStringLiteral("beta"), QStringLiteral("IMG"));
    });
    const QString id = List()->CurrentId();
    ASSERT_EQ(List()->CurrentName(), QStringLiteral("alpha"));
    QLineEdit* editor = StartRename(QStringLiteral("Alpha renamed"));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(StoredName(id), QStringLiteral("alpha")) << "not before it is posted";
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the editor hands its text over once its key event is done
    EXPECT_EQ(StoredName(id), QStringLiteral("Alpha renamed"));
    EXPECT_EQ(List()->CurrentName(), QStringLiteral("Alpha renamed"));

    // A name longer than the column is stored cut to 64 characters.
    editor = StartRename(QString(70, QLatin1Char('n')));
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(List()->PostPending());
    EXPECT_EQ(StoredName(id), QString(64, QLatin1Char('n')));
    EXPECT_EQ(List()->CurrentName(), QString(64, QLatin1Char('n'))) << "the list shows what is stored";

    // Choosing the row posts an open rename before the choose handler runs.
    editor = StartRename(QStringLiteral("chosen"));
    ASSERT_NE(editor, nullptr);
    QString nameWhenChosen;
    List()->SetChooseHandler([&](QObject*) { nameWhenChosen = StoredName(id); });
    List()->Choose(nullptr);
    EXPECT_EQ(nameWhenChosen, QStringLiteral("chosen"));
    EXPECT_EQ(List()->SelectedColumn(), NameColumn()) << "the remembered column is selected again";

    // Leaving the grid returns the selection to the choose column.
    List()->SelectColumn(NameColumn());
    QLineEdit outside(Main());
    outside.show();
    outside.setFocus();
    EXPECT_EQ(List()->SelectedColumn(), ChooseColumn());

    // An edit still open when the database closes is posted first.
    Grid()->setFocus();
    editor = StartRename(QStringLiteral("closing"));
    ASSERT_NE(editor, nullptr);
    Main()->CloseDatabase();
    EXPECT_FALSE(List()->IsActive());
    EXPECT_TRUE(List()->CurrentId().isEmpty());
    EXPECT_TRUE(List()->CurrentName().isEmpty());
    EXPECT_FALSE(List()->HasRecords());
    Main()->OpenDatabaseDirect(QStringLiteral("Docs"), Windows().Settings->DatabasePath(QStringLiteral("Docs")), {});
    EXPECT_EQ(StoredName(id), QStringLiteral("closing"));
}

TEST_F(DocListTest, RenameOfAVanishedRowIsReportedAndRevertedInTheList)
{
    OpenDatabase([](TDocStore& store) { store.CreateDocumentRecord(QStringLiteral("alpha"), QStringLiteral("TXT")); });
    const QString id = List()->CurrentId();
    TDocStore(ADB()).DeleteDocument(id); // behind the list's back
    QLineEdit* editor = StartRename(QStringLiteral("new"));
    ASSERT_NE(editor, nullptr);
    EXPECT_FALSE(List()->PostPending());
    EXPECT_TRUE(DialogScript::LastShown().contains(id)) << DialogScript::LastShown().toStdString();
    EXPECT_EQ(List()->CurrentName(), QStringLiteral("alpha"));
}

TEST_F(DocListTest, AppendAndDeleteGoThroughTheirGuards)
{
    OpenDatabase();
    EXPECT_FALSE(List()->HasRecords());
    EXPECT_FALSE(List()->AppendRecord({{QStringLiteral("doc_name"), QStringLiteral("x")}}))
        << "the grid never inserts on its own";
    const QString before = QDate::currentDate().toString(Qt::ISODate);
    ASSERT_TRUE(List()->AppendAllowed({{QStringLiteral("Doc_name"), QStringLiteral("new one")},
                                       {QStringLiteral("doc_type"), QStringLiteral("TXT")}}));
    const QString id = List()->CurrentId();
    EXPECT_EQ(id.size(), 32);
    EXPECT_EQ(StoredName(id), QStringLiteral("new one"));
    EXPECT_EQ(qbtest::Child<QLabel>(List(), "Panel1")->text(), QStringLiteral("Item select mode"));
    const QString after = QDate::currentDate().toString(Qt::ISODate); // a run across midnight sees either
    const QString created = List()->FieldText(QStringLiteral("c_date"));
    EXPECT_TRUE(created == before || created == after) << created.toStdString();

    DialogScript::QueueAnswers({false, true});
    EXPECT_FALSE(List()->DeleteCurrent());
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Delete \"new one\"?"));
    EXPECT_EQ(StoredName(id), QStringLiteral("new one"));
    EXPECT_TRUE(List()->DeleteCurrent());
    EXPECT_EQ(StoredName(id), QStringLiteral("<missing>"));
    EXPECT_FALSE(List()->HasRecords());

    // A name longer than its column is listed as it is stored.
    ASSERT_TRUE(List()->AppendAllowed({{QStringLiteral("doc_name"), QString(80, QLatin1Char('x'))}}));
    EXPECT_EQ(List()->CurrentName(), QString(64, QLatin1Char('x')));
    EXPECT_EQ(StoredName(List()->CurrentId()), List()->CurrentName());
}

} // namespace
