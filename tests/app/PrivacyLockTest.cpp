#include "core/database/PrivacyLock.h"

#include "core/database/DatabaseActions.h"
#include "core/database/DocStore.h"
#include "core/documents/DocContent.h"
#include "core/documents/RichTextStore.h"
#include "core/settings/OrbPigger.h"
#include "gui/database/askBaseAndPwd.h"
#include "gui/documents/O_db_rtf.h"
#include "gui/documents/db_rtf.h"
#include "gui/documents/doc_content.h"
#include "gui/documents/doc_list.h"
#include "support/AppFixture.h"
#include "support/ModalDriver.h"
#include "support/TempDatabase.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTextEdit>

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

class PrivacyLockTest : public AppFixture
{
protected:
    TPrivacyLock* Lock() const { return Main()->Lock; }

    // Starts the windows over a database registered as "Secret", open, protected unless
    // password is empty.
    void OpenSecret(const QString& password = kPw)
    {
        StartApp("<SETTINGS><BASE_LIST/></SETTINGS>");
        folder = qbtest::FreshDatabase(password);
        TOrbPigger* entry = Settings()->BaseListNode()->AddChild(QStringLiteral("BASE"));
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
            QTest::keyClicks(d->Edit_pwd, password);
            d->BtnOK->click();
        });
        Main()->Btn_unlock->click();
    }
    QString DbFile() const { return folder + QStringLiteral("/Docs.db"); }

    QString folder;
};

TEST_F(PrivacyLockTest, LockWritesBackThePendingEditClosesTheFileAndUnlockAsksThePassword)
{
    OpenSecret();
    TO_doc_content* viewer = Main()->O_doc_content1;
    const QString id
        = TDocStore(TDatabaseConnection::ADB()).CreateDocumentRecord(QStringLiteral("note"), QStringLiteral("TXT"));
    viewer->SetContent(id, QStringLiteral("TXT"), TDocContent::Text({QStringLiteral("old")}));
    viewer->ShowDocument(id, QStringLiteral("TXT"));
    EXPECT_TRUE(Main()->N_lock->isVisible());
    EXPECT_TRUE(HeldOpen(DbFile()));

    // An unrequested lock arrives while the edit window holds typed text.
    OnModal<TF_db_rtf>([this](TF_db_rtf* w) {
        QTest::keyClicks(w->Odb_rtf1->RichEdit1, QStringLiteral("typed "));
        Lock()->Lock(false);
    });
    viewer->EditDocument();
    WaitLocked();
    ASSERT_TRUE(Lock()->Locked());
    EXPECT_FALSE(Main()->DatabaseOpen());
    EXPECT_FALSE(Main()->O_doc_list1->IsActive());
    EXPECT_FALSE(viewer->Shown);
    EXPECT_FALSE(HeldOpen(DbFile())) << "the key and the file are let go";
    EXPECT_TRUE(Main()->Panel_locked->isVisibleTo(Main()));
    EXPECT_FALSE(Main()->Splitter1->isVisibleTo(Main()));
    EXPECT_TRUE(Main()->Label_locked->text().contains(QStringLiteral("Secret")));

    TDatabaseConnection c; // the edit is in the file
    c.SetParams(folder);
    c.AddPassword(kPw);
    c.Open();
    TRichTextDocument stored;
    RichTextStore::Load(stored, TDocStore(c).ReadContentBytes(id, QStringLiteral("Image")));
    c.Close();
    EXPECT_TRUE(stored.toPlainText().contains(QStringLiteral("typed"))) << stored.toPlainText().toStdString();

    // The wrong-password policy's message, and still locked; then the right one reopens.
    UnlockWith(QStringLiteral("nope"));
    EXPECT_TRUE(Lock()->Locked());
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Incorrect password.\nTry again."));
    UnlockWith(kPw);
    EXPECT_FALSE(Lock()->Locked());
    EXPECT_TRUE(Main()->DatabaseOpen());
    EXPECT_TRUE(Main()->Splitter1->isVisibleTo(Main()));
    EXPECT_FALSE(Main()->Panel_locked->isVisibleTo(Main()));
}

TEST_F(PrivacyLockTest, ALockWaitsUntilAJobOnTheDatabaseHasEnded)
{
    OpenSecret();
    ASSERT_TRUE(Windows().Actions->Pack());
    Lock()->Lock(false);
    EXPECT_FALSE(Lock()->Locked()) << "the job owns the database";
    Windows().Actions->Runner().RequestStop();
    EXPECT_TRUE(QTest::qWaitFor([this] { return Lock()->Locked(); }, 30000));
    EXPECT_TRUE(DialogScript::LastShown().contains(QStringLiteral("stopped")))
        << DialogScript::LastShown().toStdString();
}

TEST_F(PrivacyLockTest, UnprotectedDatabasesAreNeverLockedAndIdleFollowsTheClock)
{
    OpenSecret(QString());
    EXPECT_FALSE(Main()->N_lock->isVisible());
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
    Root().SetAttr(QString::fromLatin1(TPrivacyLock::IdleMinutesKey), QStringLiteral("5"));
    Lock()->ReadSettings(); // as after the settings dialog
    EXPECT_EQ(Lock()->IdleMinutes(), 5);
    now += 4 * 60 * 1000;
    Lock()->CheckIdle();
    EXPECT_FALSE(Lock()->Locked());
    QTest::mouseMove(Main()->ToolBar1); // input restarts the wait
    QTest::keyClick(Main()->O_doc_list1->Grid1, Qt::Key_Down);
    now += 2 * 60 * 1000;
    Lock()->CheckIdle();
    EXPECT_FALSE(Lock()->Locked());
    now += 5 * 60 * 1000;
    Lock()->CheckIdle();
    EXPECT_TRUE(Lock()->Locked());
    Lock()->SetIdleMinutes(0);
}

// The desktop's signals on a private bus: the screen saver, and logind's suspend.
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
        ASSERT_TRUE(Lock()->Listen(listener, listener));

        struct Signal
        {
            const char* path;
            const char* interface;
            const char* name;
            bool argument;
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
            m << s.argument;
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
