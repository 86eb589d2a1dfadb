#include "app/Fmain.h"
#include "app/Windows.h"
#include "core/common/QbError.h"
#include "core/database/DatabaseSession.h"
#include "core/database/DocStore.h"
#include "core/settings/SettingsFile.h"
#include "gui/archive/backUpRestore.h"
#include "gui/database/Chngpwd.h"
#include "gui/database/JobProgress.h"
#include "gui/database/actions_with_db.h"
#include "gui/database/askBaseAndPwd.h"
#include "gui/database/edit_database.h"
#include "gui/dialogs/sure_hecked.h"
#include "support/Child.h"
#include "support/ModalDriver.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

using namespace qbtest;

namespace {

// Counts how often a window is shown.
class ShowCounter : public QObject
{
public:
    int shows = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

void Terminate()
{
    ::kill(::getpid(), SIGTERM);
}

// SIGTERM as soon as a job's window shows, while the job runs.
void TerminateDuringTheJob()
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer] {
        if (TJobProgress::Showing()) {
            timer->stop();
            Terminate();
        }
    });
    timer->start(5);
}

// Which of the passwords opens the database: "OLD", "NEW", "" (none), or "-" (none of them).
const char* OpeningPassword(const QString& folder)
{
    for (const char* password : {"OLD", "NEW", ""}) {
        try {
            qbtest::CountDocuments(folder, QString::fromLatin1(password));
            return password;
        } catch (const QbError&) {
        }
    }
    return "-";
}

void ControlChoice(const char* button)
{
    OnModal<TD_action_with_db>([button](TD_action_with_db* d) {
        d->findChild<QRadioButton*>(QString::fromLatin1(button))->click();
        Child<QPushButton>(d, "OKBtn")->click();
    });
    QTimer::singleShot(0, [] { static_cast<TD_action_with_db*>(Windows().D_action_with_db)->DatabaseControl(); });
}

// The helper side: the program with the database "Work" open, the dialog of QB_TERM_CASE open
// when SIGTERM arrives, as main() runs it.
TEST(TerminateProbe, Run)
{
    const QString which = qEnvironmentVariable("QB_TERM_CASE");
    if (which.isEmpty())
        GTEST_SKIP() << "run as the helper of another test";
    // Protected, with enough in it that a pack or password change takes a moment.
    const QString folder = FreshDatabase(QStringLiteral("OLD"));
    {
        TDatabaseConnection c;
        c.SetParams(folder);
        c.AddPassword(QStringLiteral("OLD"));
        c.Open();
        TDocStore store(c);
        for (int i = 0; i < 4; ++i)
            store.WriteContentBytes(store.CreateDocumentRecord(QStringLiteral("d%1").arg(i), QStringLiteral("TXT")),
                                    QStringLiteral("Image"), QByteArray(1000000, char('a' + i)));
        c.Close();
    }
    const QString file = TSettingsFile::SettingsFileName();
    QDir().mkpath(QFileInfo(file).absolutePath());
    WriteAll(file,
             QStringLiteral("<SETTINGS GS=\"NO\"><BASE_LIST><BASE "
                            "NAME=\"Work\" PATH=\"%1\"/></BASE_LIST></SETTINGS>")
                 .arg(folder)
                 .toUtf8());
    CreateWindows();
    CloseOnTerminate(*qApp);
    ShowCounter selections;
    Windows().FaskBaseAndPwd->installEventFilter(&selections);
    Windows().Fmain->show();
    QTimer::singleShot(0, [which, folder] {
        Windows().Fmain->OpenDatabaseDirect(QStringLiteral("Work"), folder, QStringLiteral("OLD"));
        if (!Windows().Session->DatabaseOpen())
            std::printf("NOT OPENED\n");
        if (which == QStringLiteral("edit")) {
            ControlChoice("RB_edit_database");
            OnModal<TD_edit_database>([](TD_edit_database*) { Terminate(); });
        } else if (which == QStringLiteral("backup")) {
            ControlChoice("RB_edit_database");
            OnModal<TD_edit_database>([](TD_edit_database* d) { Child<QPushButton>(d, "SB_back_up")->click(); });
            OnModal<TFBackUpRestore>([](TFBackUpRestore*) { Terminate(); });
        } else if (which == QStringLiteral("drop")) {
            ControlChoice("RB_drop_database");
            OnModal<TFsure_checked>([](TFsure_checked*) { Terminate(); });
        } else if (which == QStringLiteral("password")) {
            QTimer::singleShot(0, [] { Windows().Fmain->TB_chng_pwdClick(); });
            OnModal<TFChngPwd>([](TFChngPwd*) { Terminate(); });
        } else if (which == QStringLiteral("pack")) {
            ControlChoice("RB_pack_database");
            OnModal<TFsure_checked>([](TFsure_checked* d) {
                qbtest::Child<QCheckBox>(d, "CheckBox1")->click();
                qbtest::Child<QPushButton>(d, "YesBtn")->click();
            });
            TerminateDuringTheJob();
        } else if (which == QStringLiteral("rekey")) {
            QTimer::singleShot(0, [] { Windows().Fmain->TB_chng_pwdClick(); });
            OnModal<TFChngPwd>([](TFChngPwd* d) {
                Child<QLineEdit>(d, "EditOldPwd")->setText(QStringLiteral("OLD"));
                Child<QLineEdit>(d, "EditNewPwd1")->setText(QStringLiteral("NEW"));
                Child<QLineEdit>(d, "EditNewPwd2")->setText(QStringLiteral("NEW"));
                Child<QPushButton>(d, "BtnChange")->click();
            });
            TerminateDuringTheJob();
        } else if (which == QStringLiteral("selection")) {
            QTimer::singleShot(0, [] { Windows().Fmain->SBreopenClick(); });
            OnModal<TFaskBaseAndPwd>([](TFaskBaseAndPwd*) { Terminate(); });
        }
    });
    const int rc = QApplication::exec();
    const int selectionsBefore = which == QStringLiteral("selection") ? 1 : 0;
    DestroyWindows();
    ::alarm(0);
    std::printf("ENDED rc=%d extra-selections=%d files=%s\nPASSWORD=%s\n%s\n", rc, selections.shows - selectionsBefore,
                qPrintable(QDir(folder).entryList(QDir::Files).join(QLatin1Char(','))), OpeningPassword(folder),
                ReadAll(file).constData());
    std::fflush(stdout);
}

TEST(TerminateTest, SigtermEndsTheProgramWhateverDialogIsOpenWithoutReopeningAndWritesTheSettings)
{
    // A pack or password change stops at its safe point, or has just finished: either way one
    // password opens the database, and nothing but the database is left in its folder.
    const std::map<QByteArray, QByteArrayList> passwords{{"pack", {"OLD", ""}}, {"rekey", {"OLD", "NEW"}}};
    for (const char* which : {"edit", "backup", "drop", "password", "pack", "rekey", "selection"}) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QB_TERM_CASE"), QString::fromLatin1(which));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=TerminateProbe.Run")});
        // Within the bound the program sets itself; past it the alarm would end it as killed.
        const bool ended = child.waitForFinished(int(TerminateBoundSeconds) * 1000 + 30000);
        if (!ended) { // what it printed tells where it stopped
            child.kill();
            child.waitForFinished();
        }
        const QByteArray out = child.readAllStandardOutput();
        ASSERT_TRUE(ended) << which << "\n" << out.constData() << child.readAllStandardError().constData();
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << which;
        EXPECT_TRUE(out.contains("ENDED rc=0 extra-selections=0 files=Docs.db\n")) << which << "\n" << out.constData();
        const auto expected = passwords.find(which);
        const QByteArrayList opening = expected == passwords.end() ? QByteArrayList{"OLD"} : expected->second;
        const QByteArray password = out.mid(out.indexOf("PASSWORD=") + 9).split('\n').value(0);
        EXPECT_TRUE(opening.contains(password)) << which << " opens with [" << password.constData() << "]";
        EXPECT_FALSE(out.contains("NOT OPENED")) << which;
        // The database was open when the signal came (or just before): the settings written at
        // the end name it as the last used.
        EXPECT_TRUE(out.contains("LAST_OPEN_NAME=\"Work\"")) << which;
    }
}

} // namespace
