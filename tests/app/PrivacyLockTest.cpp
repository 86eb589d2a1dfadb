#include "core/database/PrivacyLock.h"

#include "core/database/DocStore.h"
#include "core/documents/DocContent.h"
#include "core/documents/FakeObjectServer.h"
#include "core/documents/OleContainer.h"
#include "core/documents/RichTextStore.h"
#include "core/jobs/JobRunner.h"
#include "core/settings/OrbPigger.h"
#include "core/settings/SettingsKeys.h"
#include "gui/database/askBaseAndPwd.h"
#include "gui/documents/OLE_DOC.h"
#include "gui/documents/O_db_rtf.h"
#include "gui/documents/db_rtf.h"
#include "gui/documents/doc_content.h"
#include "gui/documents/doc_list.h"
#include "gui/documents/search.h"
#include "gui/widgets/ClipboardGuard.h"
#include "support/AppFixture.h"
#include "support/Child.h"
#include "support/ModalDriver.h"
#include "support/TempDatabase.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>
#include <atomic>
#include <thread>

using qbtest::AppFixture;
using qbtest::OnModal;

namespace {

const QString kPw = QStringLiteral("PW");

// Whether this process holds the file open.
bool HeldOpen(const QString& file)
{
    const QString target = QFileInfo(file).canonicalFilePath();
    for (const QFileInfo& fd :
         QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == target)
            return true;
    return false;
}

// The widgets of the program that still hold the word (typed, shown, or listed).
QStringList WidgetsHolding(const QString& word)
{
    QStringList holders;
    for (QWidget* w : QApplication::allWidgets()) {
        QString text;
        if (auto* edit = qobject_cast<QTextEdit*>(w))
            text = edit->toPlainText();
        else if (auto* line = qobject_cast<QLineEdit*>(w))
            text = line->text();
        else if (auto* tree = qobject_cast<QTreeWidget*>(w))
            for (int i = 0; i < tree->topLevelItemCount(); ++i)
                text += tree->topLevelItem(i)->text(0) + tree->topLevelItem(i)->text(2);
        if (text.contains(word))
            holders << w->objectName() + QLatin1Char('/') + w->window()->objectName();
    }
    return holders;
}

class PrivacyLockTest : public AppFixture
{
protected:
    TPrivacyLock* Lock() const { return Part<TPrivacyLock>("Lock"); }

    // Starts the windows over a database registered as "Secret", open, protected unless
    // password is empty.
    void OpenSecret(const QString& password = kPw)
    {
        StartApp("<SETTINGS><BASE_LIST/></SETTINGS>");
        folder = qbtest::FreshDatabase(password);
        TOrbPigger* entry = Settings()->Model().BaseListNode()->AddChild(QStringLiteral("BASE"));
        entry->SetAttr(QStringLiteral("NAME"), QStringLiteral("Secret"));
        entry->SetAttr(QStringLiteral("PATH"), folder);
        Main()->OpenDatabaseDirect(QStringLiteral("Secret"), folder, password);
        ASSERT_TRUE(Main()->DatabaseOpen());
    }
    void WaitLocked() const
    {
        for (int i = 0; i < 400 && !Lock()->Locked(); ++i)
            QTest::qWait(5);
    }
    void UnlockWith(const QString& password) const
    {
        OnModal<TFaskBaseAndPwd>([password](TFaskBaseAndPwd* d) {
            QTest::keyClicks(qbtest::Child<QLineEdit>(d, "Edit_pwd"), password);
            qbtest::Child<QPushButton>(d, "BtnOK")->click();
        });
        Part<QPushButton>("Btn_unlock")->click();
    }
    QString DbFile() const { return folder + QStringLiteral("/Docs.db"); }
    // A column of a document, read through a connection of its own.
    QByteArray Stored(const QString& id, const QString& column) const
    {
        TDatabaseConnection c;
        c.SetParams(folder);
        c.AddPassword(kPw);
        c.Open();
        const QByteArray bytes = TDocStore(c).ReadContentBytes(id, column);
        c.Close();
        return bytes;
    }

    QString folder;
};

TEST_F(PrivacyLockTest, LockWritesBackThePendingEditClosesTheFileAndUnlockAsksThePassword)
{
    OpenSecret();
    auto* viewer = Part<TO_doc_content>("O_doc_content1");
    const QString id = TDocStore(TDatabaseConnection::ADB())
                           .CreateDocumentRecord(QStringLiteral("zebra note"), QStringLiteral("TXT"));
    viewer->SetContent(id, QStringLiteral("TXT"), TDocContent::Text({QStringLiteral("zebra")}));
    viewer->ShowDocument(id, QStringLiteral("TXT"));
    auto* search = qobject_cast<TD_search*>(Windows().D_search); // its results name the document
    qbtest::Child<QLineEdit>(search, "Edit1")->setText(QStringLiteral("zebra"));
    search->Btn_searchClick();
    ASSERT_EQ(qbtest::Child<QTreeWidget>(search, "LV1")->topLevelItemCount(), 1);
    EXPECT_TRUE(Part<QAction>("N_lock")->isVisible());
    EXPECT_TRUE(HeldOpen(DbFile()));

    // An unrequested lock arrives while the edit window holds typed text.
    OnModal<TF_db_rtf>([this](TF_db_rtf* w) {
        QTest::keyClicks(qbtest::Child<QTextEdit>(w, "RichEdit1"), QStringLiteral("typed "));
        Lock()->Lock(false);
    });
    viewer->EditDocument();
    WaitLocked();
    ASSERT_TRUE(Lock()->Locked());
    EXPECT_FALSE(Main()->DatabaseOpen());
    EXPECT_FALSE(Part<TO_doc_list>("O_doc_list1")->IsActive());
    EXPECT_FALSE(viewer->Shown());
    EXPECT_FALSE(HeldOpen(DbFile())) << "the key and the file are let go";
    EXPECT_TRUE(Part("Panel_locked")->isVisibleTo(Main()));
    EXPECT_FALSE(Part("Splitter1")->isVisibleTo(Main()));
    EXPECT_TRUE(Part<QLabel>("Label_locked")->text().contains(QStringLiteral("Secret")));
    EXPECT_EQ(WidgetsHolding(QStringLiteral("zebra")).join(QLatin1Char(' ')).toStdString(), "")
        << "no window keeps the document";

    TRichTextDocument stored; // the edit is in the file
    RichTextStore::Load(stored, Stored(id, QStringLiteral("Image")));
    EXPECT_TRUE(stored.toPlainText().contains(QStringLiteral("typed"))) << stored.toPlainText().toStdString();

    // The wrong-password policy's message, and still locked; then the right one reopens.
    UnlockWith(QStringLiteral("nope"));
    EXPECT_TRUE(Lock()->Locked());
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Incorrect password.\nTry again."));
    UnlockWith(kPw);
    EXPECT_FALSE(Lock()->Locked());
    EXPECT_TRUE(Main()->DatabaseOpen());
    EXPECT_TRUE(Part("Splitter1")->isVisibleTo(Main()));
    EXPECT_FALSE(Part("Panel_locked")->isVisibleTo(Main()));
}

// An object open in its server: the server is asked to end and what it saved is stored; one
// that does not end is ended only when the user says so.
TEST_F(PrivacyLockTest, AnObjectOpenInItsServerIsStoredAndItsServerEndedFirst)
{
    const QString ends = QStringLiteral("qbtest-lock-ends");
    const QString stays = QStringLiteral("qbtest-lock-stays");
    qbtest::AddFakeServer(ends, "printf ' saved' >> \"$1\"; exec sleep 60");
    qbtest::AddFakeServer(stays, "trap '' TERM; printf ' saved' >> \"$1\"; while :; do sleep 0.1; done");
    OpenSecret();
    auto* frame = qbtest::Child<TO_OLE_DOC>(Main(), "O_OLE_DOC1");
    frame->Container()->SetEndWait(300);

    struct Case
    {
        QString server;
        QList<bool> answers; // to "end it now?", in order; the lock follows the last
    };
    for (const Case& c : {Case{ends, {}}, Case{stays, {false, true}}}) {
        SCOPED_TRACE(c.server.toStdString());
        if (Lock()->Locked())
            UnlockWith(kPw);
        ASSERT_TRUE(Main()->DatabaseOpen());
        TDocStore store(TDatabaseConnection::ADB());
        const QString id = store.CreateDocumentRecord(QStringLiteral("object"), c.server);
        store.WriteContentBytes(id, QStringLiteral("OLEobj"), qbtest::StoredForm(c.server.toUtf8(), "txt", "x"));
        Part<TO_doc_content>("O_doc_content1")->ShowDocument(id, c.server);
        frame->ShowObject();
        const QString file = frame->Container()->EditedFilePath();
        auto saved = [&file] {
            QFile f(file);
            return f.open(QIODevice::ReadOnly) && f.readAll().endsWith(" saved");
        };
        for (int i = 0; i < 400 && !saved(); ++i)
            QTest::qWait(5);
        ASSERT_TRUE(saved());

        DialogScript::QueueAnswers(c.answers);
        const int asked = int(DialogScript::Shown().size());
        const int tries = std::max(1, int(c.answers.size()));
        for (int i = 0; i < tries; ++i) {
            ASSERT_FALSE(Lock()->Locked());
            Lock()->Lock(false);
            if (i + 1 < tries) {
                EXPECT_EQ(frame->Container()->ObjectState(), TOleContainer::osOpen) << "kept open by the user";
            }
        }
        EXPECT_EQ(DialogScript::PendingAnswers(), 0);
        EXPECT_EQ(DialogScript::Shown().size() - asked, c.answers.size());
        if (!c.answers.isEmpty()) {
            EXPECT_EQ(DialogScript::LastShown(), TO_OLE_DOC::LockEndText(QStringLiteral("Fake ") + c.server));
        }
        ASSERT_TRUE(Lock()->Locked());
        EXPECT_TRUE(qbtest::LeftoverObjectFolders().isEmpty());
        EXPECT_FALSE(HeldOpen(DbFile()));
        TOleContainer object;
        QBuffer cell;
        cell.setData(Stored(id, QStringLiteral("OLEobj")));
        cell.open(QIODevice::ReadOnly);
        object.ReadFromStream(cell);
        EXPECT_EQ(object.ObjectBytes(), QByteArray("x saved"));
    }
}

TEST_F(PrivacyLockTest, UnprotectedDatabasesAreNeverLockedIdleFollowsTheClockAndWaitsForAJob)
{
    OpenSecret(QString());
    EXPECT_FALSE(Part<QAction>("N_lock")->isVisible());
    Lock()->Lock(true);
    EXPECT_FALSE(Lock()->Locked());
    EXPECT_TRUE(Main()->DatabaseOpen());
    Main()->CloseDatabase();

    Main()->OpenDatabaseDirect(QStringLiteral("Secret"), qbtest::FreshDatabase(kPw), kPw);
    ASSERT_TRUE(Main()->DatabaseOpen());
    qint64 now = 1000000;
    Lock()->Clock = [&now] { return now; };
    Lock()->CheckIdle();
    EXPECT_FALSE(Lock()->Locked()) << "idle is off unless set";
    Root().SetAttr(SettingsKey::LockIdleMinutes, QStringLiteral("5"));
    Lock()->ReadSettings(); // as after the settings dialog
    EXPECT_EQ(Lock()->IdleMinutes(), 5);
    now += 4 * 60 * 1000;
    Lock()->CheckIdle();
    EXPECT_FALSE(Lock()->Locked());
    QTest::mouseMove(Part("ToolBar1")); // input restarts the wait
    QTest::keyClick(qbtest::Child<QWidget>(Main(), "Grid1"), Qt::Key_Down);
    now += 2 * 60 * 1000;
    Lock()->CheckIdle();
    EXPECT_FALSE(Lock()->Locked());
    auto* copied = new QMimeData;
    copied->setText(QStringLiteral("from a document"));
    TClipboardGuard::Put(copied);
    std::atomic<bool> release{false};
    TJobRunner job; // a job on the database: the lock waits for its end
    ASSERT_TRUE(job.Start([&release](TJobContext&) {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }));
    now += 5 * 60 * 1000;
    Lock()->CheckIdle();
    QTest::qWait(150);
    EXPECT_FALSE(Lock()->Locked());
    release = true;
    WaitLocked();
    EXPECT_TRUE(Lock()->Locked());
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData(), nullptr) << "what was copied goes with the lock";
    Lock()->SetIdleMinutes(0);
}

// The desktop's signals on a private bus: the screen saver, and logind's suspend and its lock
// of this session (whose object path escapes a leading digit).
TEST_F(PrivacyLockTest, ScreenLockAndSuspendSignalsLockUnlessTurnedOff)
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        GTEST_SKIP() << "dbus-daemon is missing";
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    ASSERT_TRUE(daemon.waitForReadyRead(10000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    {
        QDBusConnection listener = QDBusConnection::connectToBus(address, QStringLiteral("qb-listener"));
        QDBusConnection desktop = QDBusConnection::connectToBus(address, QStringLiteral("qb-desktop"));
        ASSERT_TRUE(desktop.registerService(QStringLiteral("org.freedesktop.login1")));
        OpenSecret();
        const QByteArray sessionId = qgetenv("XDG_SESSION_ID");
        qputenv("XDG_SESSION_ID", "2");
        ASSERT_TRUE(Lock()->Listen(listener, listener));
        if (sessionId.isNull())
            qunsetenv("XDG_SESSION_ID");
        else
            qputenv("XDG_SESSION_ID", sessionId);

        struct Signal
        {
            const char* path;
            const char* interface;
            const char* name;
            int argument; // -1: none
            bool* setting;
            bool locks;
        };
        const Signal signals_[] = {
            {"/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged", false, nullptr, false},
            {"/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged", true,
             &Lock()->LockOnScreenLock, false},
            {"/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged", true, nullptr, true},
            {"/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep", false, nullptr, false},
            {"/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep", true,
             &Lock()->LockOnSuspend, false},
            {"/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep", true, nullptr, true},
            {"/org/freedesktop/login1/session/_32", "org.freedesktop.login1.Session", "Lock", -1,
             &Lock()->LockOnScreenLock, false},
            {"/org/freedesktop/login1/session/_32", "org.freedesktop.login1.Session", "Lock", -1, nullptr, true},
        };
        for (const Signal& s : signals_) {
            if (!Main()->DatabaseOpen())
                Main()->OpenDatabaseDirect(QStringLiteral("Secret"), folder, kPw);
            ASSERT_FALSE(Lock()->Locked());
            Lock()->LockOnScreenLock = Lock()->LockOnSuspend = true;
            if (s.setting)
                *s.setting = false; // the trigger turned off
            QDBusMessage m = QDBusMessage::createSignal(QString::fromLatin1(s.path), QString::fromLatin1(s.interface),
                                                        QString::fromLatin1(s.name));
            if (s.argument >= 0)
                m << bool(s.argument);
            ASSERT_TRUE(desktop.send(m));
            desktop.call(QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
            for (int i = 0; i < 100 && Lock()->Locked() != s.locks; ++i)
                QTest::qWait(5);
            EXPECT_EQ(Lock()->Locked(), s.locks) << s.name << ' ' << s.argument;
        }
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("qb-listener"));
    QDBusConnection::disconnectFromBus(QStringLiteral("qb-desktop"));
    daemon.kill();
    daemon.waitForFinished();
}

} // namespace
