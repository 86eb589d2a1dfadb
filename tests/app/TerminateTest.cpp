#include "app/Fmain.h"
#include "app/Windows.h"
#include "core/database/DatabaseSession.h"
#include "core/settings/SettingsFile.h"
#include "gui/archive/backUpRestore.h"
#include "gui/database/Chngpwd.h"
#include "gui/database/actions_with_db.h"
#include "gui/database/askBaseAndPwd.h"
#include "gui/database/edit_database.h"
#include "gui/dialogs/sure_hecked.h"
#include "support/ModalDriver.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
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

void ControlChoice(const char* button)
{
    OnModal<TD_action_with_db>([button](TD_action_with_db* d) {
        d->findChild<QRadioButton*>(QString::fromLatin1(button))->click();
        d->OKBtn->click();
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
    const QString folder = FreshDatabase();
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
        Windows().Fmain->OpenDatabaseDirect(QStringLiteral("Work"), folder, QString());
        if (!Windows().Session->DatabaseOpen())
            std::printf("NOT OPENED\n");
        if (which == QStringLiteral("edit")) {
            ControlChoice("RB_edit_database");
            OnModal<TD_edit_database>([](TD_edit_database*) { Terminate(); });
        } else if (which == QStringLiteral("backup")) {
            ControlChoice("RB_edit_database");
            OnModal<TD_edit_database>([](TD_edit_database* d) { d->SB_back_up->click(); });
            OnModal<TFBackUpRestore>([](TFBackUpRestore*) { Terminate(); });
        } else if (which == QStringLiteral("drop")) {
            ControlChoice("RB_drop_database");
            OnModal<TFsure_checked>([](TFsure_checked*) { Terminate(); });
        } else if (which == QStringLiteral("password")) {
            QTimer::singleShot(0, [] { Windows().Fmain->TB_chng_pwdClick(); });
            OnModal<TFChngPwd>([](TFChngPwd*) { Terminate(); });
        } else if (which == QStringLiteral("selection")) {
            QTimer::singleShot(0, [] { Windows().Fmain->SBreopenClick(); });
            OnModal<TFaskBaseAndPwd>([](TFaskBaseAndPwd*) { Terminate(); });
        }
    });
    const int rc = QApplication::exec();
    const int selectionsBefore = which == QStringLiteral("selection") ? 1 : 0;
    DestroyWindows();
    ::alarm(0);
    std::printf("ENDED rc=%d extra-selections=%d docs=%d\n%s\n", rc, selections.shows - selectionsBefore,
                int(QFileInfo::exists(folder + QStringLiteral("/Docs.db"))), ReadAll(file).constData());
    std::fflush(stdout);
}

TEST(TerminateTest, SigtermEndsTheProgramWhateverDialogIsOpenWithoutReopeningAndWritesTheSettings)
{
    for (const char* which : {"edit", "backup", "drop", "password", "selection"}) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QB_TERM_CASE"), QString::fromLatin1(which));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=TerminateProbe.Run")});
        // Within the bound the program sets itself; past it the alarm would end it as killed.
        ASSERT_TRUE(child.waitForFinished(int(TerminateBoundSeconds) * 1000 + 30000)) << which;
        const QByteArray out = child.readAllStandardOutput();
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << which;
        EXPECT_TRUE(out.contains("ENDED rc=0 extra-selections=0 docs=1")) << which << "\n" << out.constData();
        EXPECT_FALSE(out.contains("NOT OPENED")) << which;
        // The database was open when the signal came (or just before): the settings written at
        // the end name it as the last used.
        EXPECT_TRUE(out.contains("LAST_OPEN_NAME=\"Work\"")) << which;
    }
}

} // namespace
