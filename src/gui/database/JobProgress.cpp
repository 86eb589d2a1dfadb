#include "gui/database/JobProgress.h"

#include "gui/dialogs/CentreOnScreen.h"
#include "gui/dialogs/Dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScopedValueRollback>
#include <QVBoxLayout>

TJobProgress::TJobProgress(QWidget* parent, const QString& text, TJobRunner* runner)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                  | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("JobProgress"));
    setWindowTitle(QStringLiteral("Please wait"));
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose);
    Label_job = new QLabel(text, this);
    Label_job->setObjectName(QStringLiteral("Label_job"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 0); // no steps known yet
    ProgressBar1->setMinimumWidth(280);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label_job);
    layout->addWidget(ProgressBar1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_runner = runner ? runner : new TJobRunner(this);
    connect(m_runner, &TJobRunner::Progress, this, [this](int percent) {
        ProgressBar1->setRange(0, 100);
        ProgressBar1->setValue(percent);
    });
}

TJobProgress* TJobProgress::Run(QWidget* parent, const QString& text, TJobRunner::Work work,
                                std::function<void(const QString& error)> done, bool stoppable)
{
    auto* window = new TJobProgress(parent, text, nullptr);
    window->m_runner->SetStoppable(stoppable);
    connect(window->m_runner, &TJobRunner::Finished, window, [window, done](const QString& error) {
        // Closed first, so what `done` shows is not behind a window that blocks input.
        window->CloseForGood();
        if (done)
            done(error);
    });
    if (!window->m_runner->Start(std::move(work))) {
        delete window;
        if (done)
            done(QStringLiteral("The operation could not be started."));
        return nullptr;
    }
    window->Show();
    return window;
}

void TJobProgress::CloseForGood()
{
    // A question it was asking is moot now: the outcome follows instead.
    if (m_asking)
        if (auto* question = qobject_cast<QDialog*>(QApplication::activeModalWidget()); question && question != this)
            question->reject();
    hide();
    deleteLater();
}

TJobProgress* TJobProgress::Watch(QWidget* parent, const QString& text, TJobRunner& runner)
{
    if (!runner.Busy())
        return nullptr;
    auto* window = new TJobProgress(parent, text, &runner);
    connect(&runner, &TJobRunner::Ending, window, [window] { window->CloseForGood(); });
    window->Show();
    return window;
}

void TJobProgress::Show()
{
    adjustSize();
    show();
    CentreOnScreen(this);
}

// A job that stops at a safe point is asked to; any other is only said to go on.
void TJobProgress::reject()
{
    if (!m_runner->Busy()) {
        QDialog::reject();
        return;
    }
    if (m_asking)
        return;
    const QScopedValueRollback<bool> asking(m_asking, true);
    if (!m_runner->Stoppable()) {
        Dialogs::ShowMessage(QStringLiteral("%1\nThe operation can not be interrupted.\nThe window closes when it "
                                            "ends.")
                                 .arg(Label_job->text()));
        return;
    }
    if (Dialogs::Confirm(
            QStringLiteral("%1\nStop it?\nThe database stays as it was before the operation.").arg(Label_job->text()))
        && m_runner->Busy()) {
        m_runner->RequestStop();
        Label_job->setText(QStringLiteral("Stopping..."));
    }
}

void TJobProgress::closeEvent(QCloseEvent* e)
{
    if (m_runner->Busy()) {
        e->ignore();
        reject();
        return;
    }
    QDialog::closeEvent(e);
}
