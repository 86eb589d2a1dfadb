#include "core/common/QbError.h"
#include "core/database/DocStore.h"
#include "core/dialogs/DialogScript.h"
#include "core/documents/FakeObjectServer.h"
#include "core/documents/OleContainer.h"
#include "gui/documents/ChooseObject.h"
#include "gui/documents/OLE_DOC.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace qbtest;

namespace {

const QString Editor = QStringLiteral("qbtest-gui-editor");
const QString Office = QStringLiteral("qbtest-gui-office");

class OleDocTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        AddFakeServer(Editor, "printf ' edited' >> \"$1\"");
        AddFakeServer(QStringLiteral("qbtest-gui-viewer"), "true", QStringLiteral("image/png"));
        AddFakeServer(Office, LockingServerScript(" saved", " closed"));
        AddFakeServer(QStringLiteral("qbtest-failing-gui"), "exit 3");
    }
    void SetUp() override { DialogScript::Start(); }
    void TearDown() override { DialogScript::Stop(); }

    // A document of the editor's class holding an object with the content.
    QString StoredObject(const QByteArray& content, const QString& cls = Editor)
    {
        const QString id = Store.CreateDocumentRecord(QStringLiteral("object"), cls);
        Store.WriteContentBytes(id, QStringLiteral("OLEobj"), StoredForm(cls.toUtf8(), "txt", content));
        return id;
    }
    QByteArray Content(const QString& id)
    {
        TO_OLE_DOC frame(Db.Connection);
        frame.LoadObject(id);
        return frame.OLE_viewer->ObjectBytes();
    }

    TempDatabase Db;
    TDocStore Store{Db.Connection};
};

TEST_F(OleDocTest, RecordsWithoutAnObjectLeaveTheContainerEmpty)
{
    TO_OLE_DOC frame(Db.Connection);
    const QString id = Store.CreateDocumentRecord(QStringLiteral("no object"), QString());
    frame.LoadObject(id);
    EXPECT_TRUE(frame.ObjectLoaded);
    EXPECT_EQ(frame.ObjectKey, id);
    EXPECT_EQ(frame.OLE_viewer->ObjectState(), TOleContainer::osEmpty);
    EXPECT_TRUE(frame.OLE_view->Caption().isEmpty());
    frame.SaveObject(id); // an empty container writes nothing
    EXPECT_TRUE(Store.ReadContentBytes(id, QStringLiteral("OLEobj")).isEmpty());
    EXPECT_TRUE(DialogScript::Shown().isEmpty());

    Store.WriteContentBytes(id, QStringLiteral("OLEobj"), "not an object");
    EXPECT_THROW(frame.LoadObject(id), QbError);
    EXPECT_EQ(frame.OLE_viewer->ObjectState(), TOleContainer::osEmpty);
}

TEST_F(OleDocTest, ObjectRoundTripsThroughTheRecord)
{
    const QString id = StoredObject(QByteArray("r\0und", 5));
    TO_OLE_DOC frame(Db.Connection);
    frame.LoadObject(id);
    EXPECT_EQ(frame.OLE_viewer->ObjectClassName(), Editor);
    EXPECT_EQ(frame.OLE_viewer->ObjectSuffix(), QStringLiteral("txt"));
    EXPECT_EQ(frame.OLE_viewer->ObjectBytes(), QByteArray("r\0und", 5));
    EXPECT_FALSE(frame.OLE_viewer->Modified());
    EXPECT_EQ(frame.OLE_view->Caption(), (QStringList{QStringLiteral("Fake ") + Editor, Editor}));

    // A missing record gets the frame's plain message and nothing is written.
    frame.SaveObject(QStringLiteral("0123456789ABCDEF0123456789ABCDEF"));
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("no record for id \"0123456789ABCDEF0123456789ABCDEF\""));
    // An identifier is a value, never SQL text.
    const QString quote = QStringLiteral("x' or '1'='1");
    frame.SaveObject(quote);
    EXPECT_EQ(DialogScript::LastShown(), TO_OLE_DOC::NoRecordText(quote));
    EXPECT_EQ(Content(id), QByteArray("r\0und", 5));
}

TEST_F(OleDocTest, EditedObjectIsWrittenBackWhenTheServerEnds)
{
    const QString id = StoredObject("text");
    TO_OLE_DOC frame(Db.Connection);
    frame.LoadObject(id);
    frame.OLE_viewer->SetHandOverGrace(0);
    frame.EditObject(id);
    EXPECT_EQ(frame.OLE_viewer->ObjectState(), TOleContainer::osLoaded);
    EXPECT_EQ(Content(id), QByteArray("text edited"));
    EXPECT_TRUE(LeftoverObjectFolders().isEmpty());
}

TEST_F(OleDocTest, FailingServerIsAnErrorAndTheRecordKeepsItsObject)
{
    const QString id = StoredObject("text", QStringLiteral("qbtest-failing-gui"));
    TO_OLE_DOC frame(Db.Connection);
    frame.LoadObject(id);
    frame.OLE_viewer->SetHandOverGrace(0);
    try {
        frame.EditObject(id);
        ADD_FAILURE() << "no error";
    } catch (const QbError& e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("The object server \"Fake qbtest-failing-gui\" ended with the exit code 3."));
    }
    EXPECT_EQ(Content(id), QByteArray("text"));
    EXPECT_TRUE(LeftoverObjectFolders().isEmpty());
}

TEST_F(OleDocTest, SaveInALockingServerReachesTheRecordWhileItIsOpen)
{
    const QString id = StoredObject("text", Office);
    TO_OLE_DOC frame(Db.Connection);
    frame.LoadObject(id);
    frame.OLE_viewer->SetHandOverGrace(0);
    QByteArray storedMidway;
    QObject::connect(frame.OLE_viewer, &TOleContainer::ObjectChanged, &frame, [&] {
        storedMidway = Content(id);
        WriteAll(QFileInfo(frame.OLE_viewer->EditedFilePath()).path() + QStringLiteral("/go"), "");
    });
    frame.EditObject(id);
    EXPECT_EQ(storedMidway, QByteArray("text saved"));
    EXPECT_EQ(Content(id), QByteArray("text saved closed"));
    EXPECT_TRUE(LeftoverObjectFolders().isEmpty());
}

TEST_F(OleDocTest, CloseObjectWritesAChangeBackAndEmptiesTheContainer)
{
    const QString id = StoredObject("old");
    const QString gone = StoredObject("gone");
    struct Row
    {
        QString id;
        bool modified;
        QByteArray stored;
    };
    for (const Row& row : {Row{id, false, "old"}, Row{id, true, "old edited"}, Row{gone, true, {}}}) {
        TO_OLE_DOC frame(Db.Connection);
        frame.LoadObject(row.id);
        frame.OLE_viewer->SetHandOverGrace(0);
        if (row.modified) {
            frame.OLE_viewer->RunVerb(-1);
            frame.OLE_viewer->WaitWhileOpen();
        }
        if (row.id == gone)
            Store.DeleteDocument(gone); // the write-back fails; the close goes on
        frame.CloseObject();
        EXPECT_FALSE(frame.ObjectLoaded);
        EXPECT_EQ(frame.OLE_viewer->ObjectState(), TOleContainer::osEmpty);
        if (row.id != gone) {
            EXPECT_EQ(Content(row.id), row.stored);
        }
    }
}

TEST_F(OleDocTest, InsertObjectDialogFiltersAndAnswersTheContainer)
{
    TD_choose_object dialog;
    const std::vector<std::pair<QString, QStringList>> rows = {
        {QStringLiteral("qbtest-gui"), {Editor, Office, QStringLiteral("qbtest-gui-viewer")}},
        {QStringLiteral("  FAKE QBTEST-GUI-ED"), {Editor}},
        {QStringLiteral("no such server at all"), {}},
    };
    for (const auto& [filter, shown] : rows) {
        dialog.Edit_filter->setText(filter);
        EXPECT_EQ(dialog.ShownClasses(), shown) << filter.toStdString();
        EXPECT_EQ(dialog.Chosen(), shown.value(0)) << filter.toStdString();
        EXPECT_EQ(dialog.BtnOK->isEnabled(), !shown.isEmpty());
    }

    TO_OLE_DOC frame(Db.Connection); // installs the dialog as the chooser
    DialogScript::QueueTexts({QString(), Editor});
    EXPECT_FALSE(frame.OLE_viewer->ChooseObjectDialog());
    EXPECT_TRUE(frame.OLE_viewer->ChooseObjectDialog());
    EXPECT_EQ(frame.OLE_viewer->ObjectClassName(), Editor);
}

} // namespace
