// The backup and restore dialog, and the start of archive jobs.
#include "gui/archive/backUpRestore.h"

#include "core/common/Paths.h"
#include "core/database/Connection.h"
#include "core/jobs/JobRunner.h"
#include "gui/dialogs/CentreOnScreen.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/widgets/OrbFileEdit.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <memory>

QString TFBackUpRestore::ArchiveFilter()
{
    return QStringLiteral("archive|*.qba");
}

namespace {

const QString SameFolderText = QStringLiteral("The archive and the database can not be placed in the same folder");

// Restoring replaces every file of the target: refuse a folder that holds files but no database,
// so a mistyped path cannot empty an unrelated folder.
bool HoldsOtherFilesOnly(const QString& folder)
{
    const QDir dir(folder);
    if (!dir.exists() || dir.exists(TDatabaseConnection::FileName))
        return false;
    return !dir.entryList(QDir::Files | QDir::Hidden | QDir::System).isEmpty();
}

// The result's fixed text, with the reason on the lines beneath it.
QString WithReason(const QString& text, const QString& why)
{
    return why.isEmpty() ? text : text + QStringLiteral("\n") + why;
}

} // namespace

void ShowMessageText(const QString& text)
{
    if (Dialogs::MessageInstalled())
        Dialogs::ShowMessage(text);
    else
        Dialogs::PlainMessage(nullptr, Dialogs::Plain::Information, text);
}

bool StartArchiveJob(TJobRunner& runner, std::function<int(const BackRest::ProgressCallback&)> job,
                     std::function<void(int percent)> progress, std::function<void(int code)> done)
{
    // Written by the worker, read once the runner has joined it (Finished).
    auto code = std::make_shared<int>(BackRest::Failed);
    runner.SetStoppable(true); // a stopped archive job leaves nothing behind
    auto* context = new QObject(&runner);
    QObject::connect(&runner, &TJobRunner::Progress, context, [progress](int percent) {
        if (progress)
            progress(percent);
    });
    QObject::connect(&runner, &TJobRunner::Finished, context, [&runner, context, code, done](const QString&) {
        // Gone before `done` could start the next job on the same runner.
        QObject::disconnect(&runner, nullptr, context, nullptr);
        context->deleteLater();
        if (done)
            done(*code);
    });
    const bool started = runner.Start([job = std::move(job), code](TJobContext& ctx) {
        *code = job([&ctx](int percent, bool& stopNow) {
            ctx.Report(percent);
            if (ctx.StopRequested())
                stopNow = true;
        });
    });
    if (!started)
        delete context;
    return started;
}

QString ResolveFolder(const QString& path, const QString& start)
{
    if (!path.isEmpty()) {
        const QFileInfo info(QDir(start).absoluteFilePath(path));
        if (info.isDir() && info.isExecutable())
            return Paths::CanonicalFolder(info.absoluteFilePath());
    }
    return Paths::CanonicalFolder(start);
}

bool SameFolder(const QString& a, const QString& b, const QString& start)
{
    return ResolveFolder(a, start) == ResolveFolder(b, start);
}

TFBackUpRestore::TFBackUpRestore(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FBackUpRestore"));
    setModal(true);
    StartFolder = QDir::currentPath();
    m_runner = new TJobRunner(this);

    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));

    auto progressBar = [this](const char* name) {
        auto* bar = new QProgressBar(this);
        bar->setObjectName(QString::fromLatin1(name));
        bar->setRange(0, 100);
        bar->setValue(0);
        return bar;
    };
    auto fileEdit = [this](const char* name) {
        auto* edit = new TOrbFileEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->SetDialogTitle(QStringLiteral("Archive file"));
        edit->setMinimumWidth(360);
        return edit;
    };

    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    OrbFileEdit1 = fileEdit("OrbFileEdit1");
    ProgressBar1 = progressBar("ProgressBar1");
    auto* backUpLayout = new QVBoxLayout(TabSheet1);
    backUpLayout->addWidget(new QLabel(QStringLiteral("File to place the database archive:")));
    backUpLayout->addWidget(OrbFileEdit1);
    backUpLayout->addWidget(ProgressBar1);
    backUpLayout->addStretch();

    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    Label_attention = new QLabel(
        QStringLiteral("ATTENTION! The content of the database will be replaced with the content of the archive"));
    Label_attention->setObjectName(QStringLiteral("Label_attention"));
    Label_attention->setWordWrap(true);
    OrbFileEdit2 = fileEdit("OrbFileEdit2");
    ProgressBar2 = progressBar("ProgressBar2");
    auto* restoreLayout = new QVBoxLayout(TabSheet2);
    restoreLayout->addWidget(new QLabel(QStringLiteral("File to get the archive from")));
    restoreLayout->addWidget(Label_attention);
    restoreLayout->addWidget(OrbFileEdit2);
    restoreLayout->addWidget(ProgressBar2);
    restoreLayout->addStretch();

    PageControl1->addWidget(TabSheet1);
    PageControl1->addWidget(TabSheet2);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    SB_stop = new QPushButton(QStringLiteral("Stop"), this);
    SB_stop->setObjectName(QStringLiteral("SB_stop"));
    SB_stop->setAutoDefault(false);
    SB_stop->setEnabled(false);
    connect(OKBtn, &QPushButton::clicked, this, &TFBackUpRestore::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TFBackUpRestore::reject);
    connect(SB_stop, &QPushButton::clicked, this, &TFBackUpRestore::Stop);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SB_stop);
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    layout->addLayout(buttons);
}

QString TFBackUpRestore::DefaultArchiveName(const QString& folder)
{
    QString last = QDir::cleanPath(folder);
    last = last.mid(last.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = last.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        last.truncate(dot);
    return last + QStringLiteral(".qba");
}

void TFBackUpRestore::PrepareBackUp(const QString& folder)
{
    OrbFileEdit1->SetFilter(ArchiveFilter());
    StartFolder = QDir::currentPath();
    m_folder = folder;
    PageControl1->setCurrentWidget(TabSheet1);
    setWindowTitle(QStringLiteral("Back Up"));
    OrbFileEdit1->SetFileName(DefaultArchiveName(folder));
    ProgressBar1->setValue(0);
}

void TFBackUpRestore::PrepareRestore(const QString& folder, bool hideWarning)
{
    OrbFileEdit2->SetFilter(ArchiveFilter());
    Label_attention->setVisible(!hideWarning);
    m_folder = folder;
    StartFolder = QDir::currentPath();
    PageControl1->setCurrentWidget(TabSheet2);
    setWindowTitle(QStringLiteral("Restore"));
    ProgressBar2->setValue(0);
}

void TFBackUpRestore::BackUp(const QString& folder)
{
    PrepareBackUp(folder);
    exec();
}

void TFBackUpRestore::Restore(const QString& folder, bool hideWarning)
{
    PrepareRestore(folder, hideWarning);
    exec();
}

bool TFBackUpRestore::SameFolder(const QString& a, const QString& b) const
{
    return ::SameFolder(a, b, StartFolder);
}

QString TFBackUpRestore::ArchivePath(const QString& text) const
{
    return QDir(StartFolder).absoluteFilePath(text);
}

void TFBackUpRestore::OKBtnClick()
{
    if (m_busy)
        return;
    if (PageControl1->currentWidget() == TabSheet1)
        OkBackUp();
    else
        OkRestore();
}

void TFBackUpRestore::OkBackUp()
{
    const QString text = OrbFileEdit1->FileName();
    if (SameFolder(QFileInfo(text).path(), m_folder)) {
        ShowMessageText(SameFolderText);
        return;
    }
    // Written by the job, read once it has ended.
    auto why = std::make_shared<QString>();
    const auto report = [this, why](int code) {
        m_lastCode = code;
        ShowMessageText(code == BackRest::Ok ? QStringLiteral("Archive created")
                                             : WithReason(QStringLiteral("Archive creation error"), *why));
        ProgressBar1->setValue(0);
        accept();
    };
    if (text.trimmed().isEmpty() || m_folder.trimmed().isEmpty()) {
        *why = QStringLiteral("No archive file is given.");
        report(BackRest::Failed);
        return;
    }
    const QString archive = ArchivePath(text);
    const QString folder = QDir(StartFolder).absoluteFilePath(m_folder);
    Run(
        ProgressBar1,
        [archive, folder, why](const BackRest::ProgressCallback& cb) {
            return BackRest::BackupFolder(folder, archive, cb, 0, why.get());
        },
        report);
}

void TFBackUpRestore::OkRestore()
{
    const QString text = OrbFileEdit2->FileName();
    if (SameFolder(m_folder, QFileInfo(text).path())) {
        ShowMessageText(SameFolderText);
        return;
    }
    const QString folder = QDir(StartFolder).absoluteFilePath(m_folder);
    if (m_folder.trimmed().isEmpty() || HoldsOtherFilesOnly(folder)) {
        // Without a database folder to replace there is nothing this dialog may overwrite.
        m_lastCode = BackRest::Failed;
        ShowMessageText(QStringLiteral("The folder \"%1\"\nholds no database: nothing was restored.")
                            .arg(QDir::toNativeSeparators(m_folder)));
        accept();
        return;
    }
    const QString archive = text.trimmed().isEmpty() ? QString() : ArchivePath(text);
    auto why = std::make_shared<QString>();
    if (archive.isEmpty())
        *why = QStringLiteral("No archive file is given.");
    Run(
        ProgressBar2,
        [archive, folder, why](const BackRest::ProgressCallback& cb) {
            return archive.isEmpty() ? int(BackRest::NoArchive)
                                     : BackRest::RestoreFolder(archive, folder, cb, 0, why.get());
        },
        [this, why](int code) {
            m_lastCode = code;
            ShowMessageText(code == BackRest::Ok ? QStringLiteral("Database restored")
                                                 : WithReason(QStringLiteral("Database restore error"), *why));
            ProgressBar2->setValue(0);
            accept();
        });
}

void TFBackUpRestore::Run(QProgressBar* bar, std::function<int(const BackRest::ProgressCallback&)> job,
                          std::function<void(int code)> done)
{
    SetBusy(true);
    const bool started = StartArchiveJob(
        *m_runner, std::move(job), [bar](int percent) { bar->setValue(percent); },
        [this, done](int code) {
            SetBusy(false);
            done(code);
        });
    if (!started) {
        SetBusy(false);
        done(BackRest::Failed);
    }
}

void TFBackUpRestore::Stop()
{
    m_runner->RequestStop();
}

void TFBackUpRestore::SetBusy(bool busy)
{
    m_busy = busy;
    OKBtn->setEnabled(!busy);
    CancelBtn->setEnabled(!busy);
    OrbFileEdit1->setEnabled(!busy);
    OrbFileEdit2->setEnabled(!busy);
    SB_stop->setEnabled(busy);
    if (busy)
        SB_stop->setFocus();
}

// While an operation runs the dialog stays: Escape and the close box offer Stop instead, and the
// dialog closes when the operation has ended.
void TFBackUpRestore::reject()
{
    if (m_busy) {
        if (Dialogs::Confirm(QStringLiteral("The operation is still running.\nStop it?")) && m_busy)
            Stop();
        return;
    }
    QDialog::reject();
}

void TFBackUpRestore::done(int result)
{
    if (m_busy)
        return;
    QDialog::done(result);
}

void TFBackUpRestore::closeEvent(QCloseEvent* e)
{
    if (m_busy) {
        e->ignore();
        reject();
        return;
    }
    QDialog::closeEvent(e);
}

void TFBackUpRestore::showEvent(QShowEvent* e)
{
    CentreOnScreen(this);
    QDialog::showEvent(e);
}
