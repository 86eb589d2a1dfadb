#include "core/documents/FakeObjectServer.h"
#include "core/documents/OleContainer.h"
#include "core/settings/OrbPigger.h"
#include "core/settings/SettingsModel.h"
#include "gui/intake/OleServers.h"
#include "gui/intake/fixedServers.h"
#include "support/Child.h"
#include "support/DialogScript.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

const QString FakeClass = QStringLiteral("org.example.Sketch");

class ServerPagesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qbtest::AddFakeServer(FakeClass, "exit 0", QStringLiteral("image/png"));
        TOleContainer::SetObjectChooser([this] { return chosen; });
        DialogScript::Start();
    }
    void TearDown() override
    {
        DialogScript::Stop();
        TOleContainer::SetObjectChooser(nullptr);
    }
    void Load(const char* settings) { root.SetText(QString::fromUtf8(settings)); }
    QString Markup(const TOrbPigger* node) const
    {
        return node->GetText().remove(QLatin1Char('\r')).remove(QLatin1Char('\n')).remove(QLatin1Char('\t'));
    }
    template <class T> static T* Part(const QWidget& frame, const char* name) { return qbtest::Child<T>(&frame, name); }
    QStringList Captions(const TOOLEServers& frame) const
    {
        QStringList captions;
        const QTreeWidget* list = Part<QTreeWidget>(frame, "LV1");
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            captions << list->topLevelItem(i)->text(0) + QLatin1Char('|') + list->topLevelItem(i)->text(1);
        return captions;
    }

    TSettingsModel settings;
    TOrbPigger& root = settings.Root();
    TOleContainer container;
    QString chosen; // what the "Insert object" dialog answers; empty: cancelled
};

TEST_F(ServerPagesTest, AddingAServerTwiceSelectsTheRowItAlreadyHas)
{
    TOOLEServers frame;
    auto* list = Part<QTreeWidget>(frame, "LV1");
    EXPECT_FALSE(frame.InitServerList(&container, nullptr)) << "no settings tree";
    Load("<SETTINGS><BASE_LIST/></SETTINGS>");
    ASSERT_TRUE(frame.InitServerList(&container, &root));
    EXPECT_EQ(root.Child(1), frame.ServersNode()) << "OLE_SERVERS is appended after BASE_LIST";

    chosen = FakeClass;
    frame.BtnAddClick();
    list->setCurrentItem(nullptr);
    frame.BtnAddClick();
    EXPECT_EQ(Captions(frame), QStringList{FakeClass + QLatin1Char('|') + FakeClass});
    EXPECT_EQ(list->currentItem(), list->topLevelItem(0)) << "the second add selects the existing row";
    EXPECT_EQ(Markup(frame.ServersNode()),
              QStringLiteral("<OLE_SERVERS><SERVER NAME=\"%1\" CLASS=\"%1\"/></OLE_SERVERS>").arg(FakeClass));

    chosen.clear();
    frame.BtnAddClick();
    EXPECT_EQ(list->topLevelItemCount(), 1);
    EXPECT_TRUE(Part<QPushButton>(frame, "BtnAdd")->isEnabled());
    EXPECT_EQ(container.ObjectState(), TOleContainer::osEmpty) << "the frame keeps no object";
}

TEST_F(ServerPagesTest, RenamingInPlaceAndRemovingAfterTheQuestion)
{
    Load("<SETTINGS><OLE_SERVERS><SERVER NAME=\"Sketch\" CLASS=\"org.s\"/><SERVER NAME=\" \" CLASS=\"hidden\"/>"
         "<SERVER NAME=\"Writer\" CLASS=\"org.w\"/><SERVER NAME=\"  Paint \" "
         "CLASS=\"org.p\"/></OLE_SERVERS></SETTINGS>");
    TOOLEServers frame;
    auto* list = Part<QTreeWidget>(frame, "LV1");
    frame.show();
    ASSERT_TRUE(frame.InitServerList(&container, &root));
    ASSERT_EQ(
        Captions(frame),
        (QStringList{QStringLiteral("Sketch|org.s"), QStringLiteral("Writer|org.w"), QStringLiteral("Paint|org.p")}));

    auto rename = [&frame, list](int row, const QString& text) {
        list->setCurrentItem(list->topLevelItem(row));
        frame.BtnEditClick();
        auto* editor = qobject_cast<QLineEdit*>(list->indexWidget(list->currentIndex()));
        ASSERT_NE(editor, nullptr);
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the view commits a closing editor a moment later
    };
    rename(0, QStringLiteral("Drawings"));
    rename(1, QStringLiteral("   "));
    rename(2, QStringLiteral(" Paintings  ")); // stored with blanks around: found all the same
    TOrbPigger* node = frame.ServersNode();
    const auto names = [node] {
        QStringList n;
        for (int i = 0; i < node->ChildCount(); ++i)
            n << node->Child(i)->GetAttr(QStringLiteral("NAME"));
        return n;
    };
    EXPECT_EQ(names(),
              (QStringList{QStringLiteral("Drawings"), QStringLiteral(" "), QStringLiteral("Writer"),
                           QStringLiteral("Paintings")}));
    EXPECT_EQ(Captions(frame),
              (QStringList{QStringLiteral("Drawings|org.s"), QStringLiteral("Writer|org.w"),
                           QStringLiteral("Paintings|org.p")}))
        << "a blank rename is refused on screen as in the tree";

    list->setCurrentItem(list->topLevelItem(0));
    DialogScript::QueueAnswers({false, true, true});
    frame.BtnDeleteClick();
    EXPECT_EQ(node->ChildCount(), 4);
    frame.BtnDeleteClick();
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Do you want to remove \"Drawings\" from the list?"));
    list->setCurrentItem(list->topLevelItem(1));
    frame.BtnDeleteClick();
    EXPECT_EQ(names(), (QStringList{QStringLiteral(" "), QStringLiteral("Writer")})) << "each removal is real";
    EXPECT_EQ(Captions(frame), QStringList{QStringLiteral("Writer|org.w")});
}

TEST_F(ServerPagesTest, AcceptModesFollowTheTreeAndWriteIntoIt)
{
    TOFixedServers frame;
    EXPECT_FALSE(frame.InitAcceptModes(&container, nullptr));
    Load("<SETTINGS IMG_SERVER=\"old.viewer\" IMG_ACCEPT_MODE=\"OLE\"/>");
    ASSERT_TRUE(frame.InitAcceptModes(&container, &settings));
    EXPECT_TRUE(Part<QRadioButton>(frame, "RB_OLE_img")->isChecked());

    // Shown again from a reloaded tree: the fields of the earlier one must not leak into it.
    Load("<SETTINGS TXT_ACCEPT_MODE=\"OLE\" TXT_SERVER=\"org.editor\" IMG_SERVER=\"org.viewer\"/>");
    ASSERT_TRUE(frame.InitAcceptModes(&container, &settings));
    EXPECT_EQ(root.GetAttr(QStringLiteral("IMG_SERVER")), QStringLiteral("org.viewer"));
    EXPECT_EQ(Part<QLineEdit>(frame, "Edit_img_server")->text(), QStringLiteral("org.viewer"));
    EXPECT_TRUE(Part<QRadioButton>(frame, "RB_OLE_txt")->isChecked());
    EXPECT_TRUE(Part<QLineEdit>(frame, "Edit_txt_server")->isEnabled());
    EXPECT_TRUE(Part<QRadioButton>(frame, "RB_own_img")->isChecked());
    EXPECT_FALSE(Part<QLineEdit>(frame, "Edit_img_server")->isEnabled());
    EXPECT_FALSE(Part<QToolButton>(frame, "SB_img_server")->isEnabled());

    Part<QRadioButton>(frame, "RB_own_txt")->click();
    EXPECT_EQ(root.GetAttr(QStringLiteral("TXT_ACCEPT_MODE")), QStringLiteral("OWN"));
    EXPECT_FALSE(Part<QToolButton>(frame, "SB_txt_server")->isEnabled());

    Part<QRadioButton>(frame, "RB_OLE_img")->click();
    chosen = FakeClass;
    Part<QToolButton>(frame, "SB_img_server")->click();
    EXPECT_EQ(root.GetAttr(QStringLiteral("IMG_ACCEPT_MODE")), QStringLiteral("OLE"));
    EXPECT_EQ(root.GetAttr(QStringLiteral("IMG_SERVER")), FakeClass);
    EXPECT_EQ(container.ObjectState(), TOleContainer::osEmpty);
}

} // namespace
