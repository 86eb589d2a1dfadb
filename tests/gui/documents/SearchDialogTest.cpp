#include "DocumentsFixture.h"
#include "core/database/TextIndex.h"
#include "gui/documents/search.h"
#include "support/ModalDriver.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

namespace {

class SearchDialogTest : public qbtest::DocumentsFixture
{
protected:
    static QStringList Results(const TD_search* d)
    {
        QStringList names;
        for (int i = 0; i < d->LV1->topLevelItemCount(); ++i)
            names << d->LV1->topLevelItem(i)->text(0) + QLatin1Char('/') + d->LV1->topLevelItem(i)->text(1);
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
        EXPECT_FALSE(d->Btn_search->isEnabled());
        EXPECT_FALSE(d->Btn_go_to->isEnabled());
        // Enter in the field searches although "Search" is disabled: every document matches.
        QTest::keyClick(d->Edit1, Qt::Key_Return);
        EXPECT_EQ(
            Results(d),
            (QStringList{QStringLiteral("alpha/TXT"), QStringLiteral("alphabet/IMG"), QStringLiteral("Beta/TXT")}));
        EXPECT_TRUE(d->isVisible()) << "Enter does not close the dialog";

        d->LV1->setCurrentItem(d->LV1->topLevelItem(2));
        EXPECT_TRUE(d->Btn_go_to->isEnabled());
        QTest::mouseClick(d->Btn_go_to, Qt::LeftButton);
        EXPECT_EQ(List()->CurrentName(), QStringLiteral("Beta"));
        d->LV1->setCurrentItem(d->LV1->topLevelItem(0));
        QTest::keyClick(d->LV1, Qt::Key_Return);
        EXPECT_EQ(List()->CurrentName(), QStringLiteral("alpha"));
        EXPECT_TRUE(d->isVisible());

        QTest::keyClicks(d->Edit1, QStringLiteral("zzz"));
        EXPECT_TRUE(d->Btn_search->isEnabled());
        QTest::mouseClick(d->Btn_search, Qt::LeftButton);
        EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Context \"zzz\" \nnot found"));
        EXPECT_TRUE(Results(d).isEmpty());

        d->Edit1->setText(QStringLiteral("al"));
        d->RB_at_begin->click();
        d->CB_case->click();
        QTest::keyClick(d->Edit1, Qt::Key_Enter);
        EXPECT_EQ(Results(d).size(), 2);
        d->CB_case->click(); // changing the case choice empties the results
        EXPECT_TRUE(Results(d).isEmpty());
        QTest::keyClick(d->Edit1, Qt::Key_Enter);
        EXPECT_EQ(Results(d).size(), 2);
        d->RB_in_name->click(); // so does the mode choice
        EXPECT_TRUE(Results(d).isEmpty());
        d->RB_at_begin->click();
        QTest::keyClick(d->Edit1, Qt::Key_Enter);
        QTest::keyClick(d, Qt::Key_Escape);
    });
    Main()->TB_searchClick();
    ASSERT_TRUE(ran);
    EXPECT_FALSE(dialog->isVisible());

    // The document behind an entry was deleted meanwhile: Go to leaves the list where it is.
    ASSERT_EQ(List()->CurrentName(), QStringLiteral("alpha"));
    DialogScript::QueueAnswers({true});
    Main()->TB_del_docClick();
    ASSERT_EQ(List()->Q1->RowCount(), 2);
    ran = false;
    qbtest::OnModal<TD_search>([&](TD_search* d) {
        ran = true;
        EXPECT_EQ(d->Edit1->text(), QStringLiteral("al"));
        EXPECT_EQ(Results(d).size(), 2) << "results stay between openings";
        List()->SetCurrentRow(1);
        d->LV1->setCurrentItem(d->LV1->topLevelItem(0));
        QTest::mouseClick(d->Btn_go_to, Qt::LeftButton);
        EXPECT_EQ(List()->CurrentRow(), 1);
        d->LV1->setCurrentItem(d->LV1->topLevelItem(1));
        QTest::mouseClick(d->Btn_go_to, Qt::LeftButton);
        EXPECT_EQ(List()->CurrentName(), QStringLiteral("alphabet"));
        QTest::mouseClick(d->Btn_close, Qt::LeftButton);
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
        d->RB_in_text->click();
        EXPECT_FALSE(d->CB_case->isEnabled());
        const struct
        {
            const char* typed;
            QStringList found;
        } rows[] = {
            {"CAFE", {QStringLiteral("Open cafe/IMG"), QStringLiteral("To Anna/TXT")}}, // names count too
            {"lett*", {QStringLiteral("Note/TXT")}},
            {"\"is open\"", {QStringLiteral("To Anna/TXT")}},
            {"open nine", {QStringLiteral("To Anna/TXT")}},
        };
        for (const auto& r : rows) {
            d->Edit1->setText(QString::fromUtf8(r.typed));
            QTest::keyClick(d->Edit1, Qt::Key_Return);
            EXPECT_EQ(Results(d), r.found) << r.typed;
        }
        ASSERT_EQ(d->LV1->topLevelItemCount(), 1);
        EXPECT_TRUE(d->LV1->topLevelItem(0)->text(2).contains(QStringLiteral("Caf\u00e9 is open at nine")));
        d->LV1->setCurrentItem(d->LV1->topLevelItem(0));
        QTest::keyClick(d->LV1, Qt::Key_Return);
        EXPECT_EQ(List()->CurrentName(), QStringLiteral("To Anna"));
        d->RB_in_name->click();
        EXPECT_TRUE(d->CB_case->isEnabled());
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
        d->Edit1->setText(QStringLiteral("N%N%N%N%N%N%X"));
        qbtest::OnModal<QDialog>(
            [&](QDialog* progress) {
                auto* stop = progress->findChild<QPushButton*>(QStringLiteral("Btn_stop"));
                ASSERT_NE(stop, nullptr);
                stopped = true;
                QTest::mouseClick(stop, Qt::LeftButton);
            },
            d);
        QTest::mouseClick(d->Btn_search, Qt::LeftButton);
        EXPECT_TRUE(Results(d).isEmpty());
        EXPECT_EQ(DialogScript::LastShown(), shownBefore) << "a stopped search says nothing";
        QTest::keyClick(d, Qt::Key_Escape);
    });
    Main()->TB_searchClick();
    EXPECT_TRUE(stopped);
}

} // namespace
