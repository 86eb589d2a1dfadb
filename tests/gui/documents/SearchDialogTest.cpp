#include "DocumentsFixture.h"
#include "core/database/TextIndex.h"
#include "gui/documents/search.h"
#include "support/Child.h"
#include "support/ModalDriver.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

using qbtest::Child;

namespace {

class SearchDialogTest : public qbtest::DocumentsFixture
{
protected:
    static QTreeWidget* Hits(const TD_search* d) { return Child<QTreeWidget>(d, "LV1"); }
    static QLineEdit* Typed(const TD_search* d) { return Child<QLineEdit>(d, "Edit1"); }
    static QAbstractButton* Button(const TD_search* d, const char* name) { return Child<QAbstractButton>(d, name); }
    static void Pick(const TD_search* d, int row) { Hits(d)->setCurrentItem(Hits(d)->topLevelItem(row)); }
    static QStringList Results(const TD_search* d)
    {
        QStringList names;
        for (int i = 0; i < Hits(d)->topLevelItemCount(); ++i)
            names << Hits(d)->topLevelItem(i)->text(0) + QLatin1Char('/') + Hits(d)->topLevelItem(i)->text(1);
        return names;
    }
};

TEST_F(SearchDialogTest, SearchGoToAndWhatStaysBetweenOpenings)
{
    OpenDatabase([](TDocStore& s) {
        s.CreateDocumentRecord(QStringLiteral("alphabet"), QStringLiteral("IMG"));
        s.CreateDocumentRecord(QStringLiteral("Beta"), QStringLiteral("TXT"));
        s.CreateDocumentRecord(QStringLiteral("alpha"), QStringLiteral("TXT"));
    });
    auto* dialog = qobject_cast<TD_search*>(Windows().D_search);
    ASSERT_NE(dialog, nullptr);

    bool ran = false;
    qbtest::OnModal<TD_search>([&](TD_search* d) {
        ran = true;
        EXPECT_FALSE(Button(d, "Btn_search")->isEnabled());
        EXPECT_FALSE(Button(d, "Btn_go_to")->isEnabled());
        // Enter in the field searches although "Search" is disabled: every document matches.
        QTest::keyClick(Typed(d), Qt::Key_Return);
        EXPECT_EQ(
            Results(d),
            (QStringList{QStringLiteral("alpha/TXT"), QStringLiteral("alphabet/IMG"), QStringLiteral("Beta/TXT")}));
        EXPECT_TRUE(d->isVisible()) << "Enter does not close the dialog";

        Pick(d, 2);
        EXPECT_TRUE(Button(d, "Btn_go_to")->isEnabled());
        QTest::mouseClick(Button(d, "Btn_go_to"), Qt::LeftButton);
        EXPECT_EQ(List()->CurrentName(), QStringLiteral("Beta"));
        Pick(d, 0);
        QTest::keyClick(Hits(d), Qt::Key_Return);
        EXPECT_EQ(List()->CurrentName(), QStringLiteral("alpha"));
        EXPECT_TRUE(d->isVisible());

        QTest::keyClicks(Typed(d), QStringLiteral("zzz"));
        EXPECT_TRUE(Button(d, "Btn_search")->isEnabled());
        QTest::mouseClick(Button(d, "Btn_search"), Qt::LeftButton);
        EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Context \"zzz\" \nnot found"));
        EXPECT_TRUE(Results(d).isEmpty());

        Typed(d)->setText(QStringLiteral("al"));
        Button(d, "RB_at_begin")->click();
        Button(d, "CB_case")->click();
        QTest::keyClick(Typed(d), Qt::Key_Enter);
        EXPECT_EQ(Results(d).size(), 2);
        Button(d, "CB_case")->click(); // changing the case choice empties the results
        EXPECT_TRUE(Results(d).isEmpty());
        QTest::keyClick(Typed(d), Qt::Key_Enter);
        EXPECT_EQ(Results(d).size(), 2);
        Button(d, "RB_in_name")->click(); // so does the mode choice
        EXPECT_TRUE(Results(d).isEmpty());
        Button(d, "RB_at_begin")->click();
        QTest::keyClick(Typed(d), Qt::Key_Enter);
        QTest::keyClick(d, Qt::Key_Escape);
    });
    Main()->TB_searchClick();
    ASSERT_TRUE(ran);
    EXPECT_FALSE(dialog->isVisible());

    // The document behind an entry was deleted meanwhile: Go to leaves the list where it is.
    ASSERT_EQ(List()->CurrentName(), QStringLiteral("alpha"));
    DialogScript::QueueAnswers({true});
    Main()->TB_del_docClick();
    ASSERT_EQ(Query()->RowCount(), 2);
    ran = false;
    qbtest::OnModal<TD_search>([&](TD_search* d) {
        ran = true;
        EXPECT_EQ(Typed(d)->text(), QStringLiteral("al"));
        EXPECT_EQ(Results(d).size(), 2) << "results stay between openings";
        List()->SetCurrentRow(1);
        Pick(d, 0);
        QTest::mouseClick(Button(d, "Btn_go_to"), Qt::LeftButton);
        EXPECT_EQ(List()->CurrentRow(), 1);
        Pick(d, 1);
        QTest::mouseClick(Button(d, "Btn_go_to"), Qt::LeftButton);
        EXPECT_EQ(List()->CurrentName(), QStringLiteral("alphabet"));
        QTest::mouseClick(Button(d, "Btn_close"), Qt::LeftButton);
    });
    Main()->TB_searchClick();
    EXPECT_TRUE(ran);
}

// The third way finds words of the text, shows them in context and goes to the document, whether
// or not the build the open started has finished.
TEST_F(SearchDialogTest, InTheTextFindsWordsAndGoesToTheDocument)
{
    OpenDatabase([](TDocStore& s) {
        const QString letter = s.CreateDocumentRecord(QStringLiteral("To Anna"), QStringLiteral("TXT"));
        s.WriteContentBytes(letter, QStringLiteral("Image"),
                            QByteArrayLiteral("<html><body><p>Dear Anna, the <b>Caf\xc3\xa9</b> is open at nine.</p>"
                                              "</body></html>"));
        const QString note = s.CreateDocumentRecord(QStringLiteral("Note"), QStringLiteral("TXT"));
        s.WriteContentBytes(note, QStringLiteral("Image"), "open the letters");
        s.CreateDocumentRecord(QStringLiteral("Open cafe"), QStringLiteral("IMG"));
    });
    bool ran = false;
    qbtest::OnModal<TD_search>([&](TD_search* d) {
        ran = true;
        Button(d, "RB_in_text")->click();
        EXPECT_FALSE(Button(d, "CB_case")->isEnabled());
        // Which words match: the index's own tests.
        Typed(d)->setText(QStringLiteral("open nine"));
        QTest::keyClick(Typed(d), Qt::Key_Return);
        ASSERT_EQ(Results(d), QStringList{QStringLiteral("To Anna/TXT")});
        EXPECT_TRUE(Hits(d)->topLevelItem(0)->text(2).contains(QStringLiteral("Caf\u00e9 is open at nine")));
        Pick(d, 0);
        QTest::keyClick(Hits(d), Qt::Key_Return);
        EXPECT_EQ(List()->CurrentName(), QStringLiteral("To Anna"));
        Button(d, "RB_in_name")->click();
        EXPECT_TRUE(Button(d, "CB_case")->isEnabled());
        QTest::keyClick(d, Qt::Key_Escape);
    });
    Main()->TB_searchClick();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(TextIndex::Complete(TDatabaseConnection::ADB()));
}

// A search that would run for minutes shows a window whose Stop ends it; nothing is reported.
TEST_F(SearchDialogTest, ALongSearchCanBeStopped)
{
    OpenDatabase([](TDocStore& s) {
        for (int i = 0; i < 100; ++i)
            s.CreateDocumentRecord(QString(64, QLatin1Char('N')), QStringLiteral("TXT"));
    });
    bool stopped = false;
    qbtest::OnModal<TD_search>([&](TD_search* d) {
        const QString shownBefore = DialogScript::LastShown();
        Typed(d)->setText(QStringLiteral("N%N%N%N%N%N%X"));
        qbtest::OnModal<QDialog>(
            [&](QDialog* progress) {
                auto* stop = qbtest::Child<QPushButton>(progress, "Btn_stop");
                stopped = true;
                QTest::mouseClick(stop, Qt::LeftButton);
            },
            d);
        QTest::mouseClick(Button(d, "Btn_search"), Qt::LeftButton);
        EXPECT_TRUE(Results(d).isEmpty());
        EXPECT_EQ(DialogScript::LastShown(), shownBefore) << "a stopped search says nothing";
        QTest::keyClick(d, Qt::Key_Escape);
    });
    Main()->TB_searchClick();
    EXPECT_TRUE(stopped);
}

} // namespace
