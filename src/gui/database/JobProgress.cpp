#include "gui/database/JobProgress.h"

#include "gui/dialogs/CentreOnScreen.h"
#include "gui/dialogs/Dialogs.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

TJobProgress::TJobProgress(QWidget* parent, const QString& text)
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
    m_runner = new TJobRunner(this);
    connect(m_runner, &TJobRunner::Progress, this, [this](int percent) {
        ProgressBar1->setRange(0, 100);
        ProgressBar1->setValue(percent);
    });
}

TJobProgress* TJobProgress::Run(QWidget* parent, const QString& text, TJobRunner::Work work,
                                std::function<void(const QString& error)> done)
{
    auto* window = new TJobProgress(parent, text);
    connect(window->m_runner, &TJobRunner::Finished, window, [window, done](const QString& error) {
        // Closed first, so what `done` shows is not behind a window that blocks input.
        window->hide();
        window->deleteLater();
        if (done)
            done(error);
    });
    if (!window->m_runner->Start(std::move(work))) {
        delete window;
        if (done)
            done(QStringLiteral("The operation could not be started."));
        return nullptr;
    }
    window->adjustSize();
    window->show();
    CentreOnScreen(window);
    return window;
}

// The job cannot be broken off half-way: closing only tells so, and the window stays.
void TJobProgress::reject()
{
    if (m_runner->Busy())
        Dialogs::ShowMessage(QStringLiteral("%1\nThe operation can not be interrupted.\nThe window closes when it "
                                            "ends.")
                                 .arg(Label_job->text()));
    else
        QDialog::reject();
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
