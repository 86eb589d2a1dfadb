#include "core/common/QbError.h"
#include "core/database/DocStore.h"
#include "core/database/Query.h"
#include "core/documents/FakeObjectServer.h"
#include "core/documents/OleContainer.h"
#include "gui/documents/ChooseObject.h"
#include "gui/documents/OLE_DOC.h"
#include "support/Child.h"
#include "support/DialogScript.h"
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
const QString Grower = QStringLiteral("qbtest-ole-grower");
const QString Sleeper = QStringLiteral("qbtest-ole-sleeper");
const QString Launcher = QStringLiteral("qbtest-ole-launcher");

class OleDocTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        AddFakeServer(Editor, "printf ' edited' >> \"$1\"");
        AddFakeServer(QStringLiteral("qbtest-gui-viewer"), "true", QStringLiteral("image/png"));
        AddFakeServer(Office, LockingServerScript(" saved", " closed"));
        AddFakeServer(QStringLiteral("qbtest-failing-gui"), "exit 3");
        // Grows the object by 256 KB, more than a database held at its size can take.
        AddFakeServer(Grower, "head -c 262144 /dev/zero | tr '\\0' g >> \"$1\"");
        AddFakeServer(Sleeper, "exec sleep 60");
        AddFakeServer(Launcher, "exit 0");
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
        return frame.Container()->ObjectBytes();
    }

    // The database may not grow: a write that needs a new page fails as on a full disk.
    void HoldDatabaseAtItsSize(bool hold)
    {
        qint64 pages = 1073741823;
        if (hold) {
            TQuery count(Db.Connection, QStringLiteral("PRAGMA page_count"));
            count.Next();
            pages = count.Value(0).toLongLong();
        }
        TQuery(Db.Connection, QStringLiteral("PRAGMA max_page_count = %1").arg(pages)).Next();
    }

    TempDatabase Db;
    TDocStore Store{Db.Connection};
};

TEST_F(OleDocTest, RecordsWithoutAnObjectLeaveTheContainerEmpty)
{
    TO_OLE_DOC frame(Db.Connection);
    const QString id = Store.CreateDocumentRecord(QStringLiteral("no object"), QString());
    frame.LoadObject(id);
    EXPECT_TRUE(frame.ObjectLoaded());
    EXPECT_EQ(frame.ObjectKey(), id);
    EXPECT_EQ(frame.Container()->ObjectState(), TOleContainer::osEmpty);
    EXPECT_TRUE(Child<TOleView>(&frame, "OLE_viewer")->Caption().isEmpty());
    frame.SaveObject(id); // an empty container writes nothing
    EXPECT_TRUE(Store.ReadContentBytes(id, QStringLiteral("OLEobj")).isEmpty());
    EXPECT_TRUE(DialogScript::Shown().isEmpty());

    Store.WriteContentBytes(id, QStringLiteral("OLEobj"), "not an object");
    EXPECT_THROW(frame.LoadObject(id), QbError);
    EXPECT_EQ(frame.Container()->ObjectState(), TOleContainer::osEmpty);
}

TEST_F(OleDocTest, ObjectRoundTripsThroughTheRecord)
{
    const QString id = StoredObject(QByteArray("r\0und", 5));
    TO_OLE_DOC frame(Db.Connection);
    frame.LoadObject(id);
    EXPECT_EQ(frame.Container()->ObjectClassName(), Editor);
    EXPECT_EQ(frame.Container()->ObjectBytes(), QByteArray("r\0und", 5));
    EXPECT_FALSE(frame.Container()->Modified());
    EXPECT_EQ(Child<TOleView>(&frame, "OLE_viewer")->Caption(),
              (QStringList{QStringLiteral("Fake ") + Editor, Editor}));

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
    frame.Container()->SetHandOverGrace(0);
    frame.EditObject(id);
    EXPECT_EQ(frame.Container()->ObjectState(), TOleContainer::osLoaded);
    EXPECT_EQ(Content(id), QByteArray("text edited"));
    EXPECT_TRUE(LeftoverObjectFolders().isEmpty());
}

TEST_F(OleDocTest, FailingServerIsAnErrorAndTheRecordKeepsItsObject)
{
    const QString id = StoredObject("text", QStringLiteral("qbtest-failing-gui"));
    TO_OLE_DOC frame(Db.Connection);
    frame.LoadObject(id);
    frame.Container()->SetHandOverGrace(0);
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
    frame.Container()->SetHandOverGrace(0);
    QByteArray storedMidway;
    QObject::connect(frame.Container(), &TOleContainer::ObjectChanged, &frame, [&] {
        storedMidway = Content(id);
        WriteAll(QFileInfo(frame.Container()->EditedFilePath()).path() + QStringLiteral("/go"), "");
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
        frame.Container()->SetHandOverGrace(0);
        if (row.modified) {
            frame.Container()->RunVerb(-1);
            frame.Container()->WaitWhileOpen();
        }
        if (row.id == gone)
            Store.DeleteDocument(gone); // the write-back fails; the close goes on
        frame.CloseObject();
        EXPECT_FALSE(frame.ObjectLoaded());
        EXPECT_EQ(frame.Container()->ObjectState(), TOleContainer::osEmpty);
        if (row.id != gone) {
            EXPECT_EQ(Content(row.id), row.stored);
        }
    }
}

TEST_F(OleDocTest, FailedWriteBackSaysWhyAndKeepsTheEditUntilTheUserDecides)
{
    const QString id = StoredObject("text", Grower);
    const QByteArray edited = "text" + QByteArray(262144, 'g');
    const QString chosen = FreshFolder() + QStringLiteral("/kept.txt");
    const QString full = TO_OLE_DOC::WriteBackFailedText(QStringLiteral("Database error: database or disk is full"));
    TO_OLE_DOC frame(Db.Connection);
    frame.LoadObject(id);
    frame.Container()->SetHandOverGrace(0);
    HoldDatabaseAtItsSize(true);

    // Right after the edit: retry (fails again), no file, keep it, then save it to a file.
    DialogScript::QueueAnswers({true, false, false, false});
    DialogScript::QueueFileNames({QString(), chosen});
    EXPECT_NO_THROW(frame.EditObject(id));
    EXPECT_EQ(DialogScript::Shown(),
              (QStringList{full, full, TO_OLE_DOC::SaveAsCaption(), TO_OLE_DOC::DiscardChangeText(), full,
                           TO_OLE_DOC::SaveAsCaption()}))
        << DialogScript::Shown().join(u'|').toStdString();
    EXPECT_EQ(ReadAll(chosen), edited);
    EXPECT_EQ((QFile::permissions(chosen) & (QFileDevice::ReadGroup | QFileDevice::ReadOther)).toInt(), 0);
    EXPECT_EQ(Content(id), QByteArray("text"));
    EXPECT_TRUE(LeftoverObjectFolders().isEmpty()) << "saved elsewhere: the edited file goes";

    // At close: an unanswered question leaves the edit where it was, its file included.
    frame.Container()->RunVerb(-1);
    frame.Container()->WaitWhileOpen();
    const QString file = frame.Container()->EditedFilePath();
    EXPECT_EQ(ReadAll(file), edited + QByteArray(262144, 'g'));
    DialogScript::QueueAnswers({false});
    DialogScript::QueueFileNames({QString()});
    EXPECT_THROW(frame.CloseObject(), QbError); // the discard question found no answer
    EXPECT_TRUE(frame.Container()->Modified());
    EXPECT_TRUE(QFileInfo::exists(file));
    // Once the database can take it, closing writes it.
    HoldDatabaseAtItsSize(false);
    frame.CloseObject();
    EXPECT_EQ(Content(id), edited + QByteArray(262144, 'g'));
    EXPECT_TRUE(LeftoverObjectFolders().isEmpty());
}

TEST_F(OleDocTest, AnOpenEditorIsEndedOnlyWhenTheUserSaysSo)
{
    const QString id = StoredObject("text", Sleeper);
    TO_OLE_DOC frame(Db.Connection);
    frame.LoadObject(id);
    frame.ShowObject();
    const QString question = TO_OLE_DOC::EndEditingText(QStringLiteral("Fake ") + Sleeper);
    DialogScript::QueueAnswers({false, true});
    EXPECT_THROW(frame.CloseObject(), QbError);
    EXPECT_TRUE(frame.Container()->ServerRunning());
    EXPECT_TRUE(QFileInfo::exists(frame.Container()->EditedFilePath()));
    frame.CloseObject();
    EXPECT_EQ(DialogScript::Shown(), (QStringList{question, question}));
    EXPECT_EQ(frame.Container()->ObjectState(), TOleContainer::osEmpty);
    EXPECT_TRUE(LeftoverObjectFolders().isEmpty());

    // A server that passes the file on: the session waits until the user is done.
    const QString handed = StoredObject("text", Launcher);
    frame.LoadObject(handed);
    frame.Container()->SetHandOverGrace(0);
    QObject::connect(frame.Container(), &TOleContainer::ServerHandedOver, &frame, [&] {
        WriteAll(frame.Container()->EditedFilePath(), "saved by the running instance");
        frame.DoneEditing();
    });
    frame.EditObject(handed);
    EXPECT_EQ(DialogScript::LastShown(), TO_OLE_DOC::HandedOverText(QStringLiteral("Fake ") + Launcher));
    EXPECT_EQ(Content(handed), QByteArray("saved by the running instance"));
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
        Child<QLineEdit>(&dialog, "Edit_filter")->setText(filter);
        EXPECT_EQ(dialog.ShownClasses(), shown) << filter.toStdString();
        EXPECT_EQ(dialog.Chosen(), shown.value(0)) << filter.toStdString();
        EXPECT_EQ(Child<QPushButton>(&dialog, "BtnOK")->isEnabled(), !shown.isEmpty());
    }

    TO_OLE_DOC frame(Db.Connection); // installs the dialog as the chooser
    DialogScript::QueueTexts({QString(), Editor});
    EXPECT_FALSE(frame.Container()->ChooseObjectDialog());
    EXPECT_TRUE(frame.Container()->ChooseObjectDialog());
    EXPECT_EQ(frame.Container()->ObjectClassName(), Editor);
}

} // namespace
