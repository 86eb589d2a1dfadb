#include "gui/database/JobProgress.h"

#include "gui/dialogs/CentreOnScreen.h"
#include "gui/dialogs/Dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>

TJobProgress::TJobProgress(QWidget* parent, const QString& text, TJobRunner* runner)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                  | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("JobProgress"));
    setWindowTitle(QStringLiteral("Please wait"));
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
    if (m_closing)
        return;
    m_closing = true;
    qApp->removeEventFilter(this);
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
    qApp->installEventFilter(this);
}

TJobProgress* TJobProgress::Showing()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<TJobProgress*>(w); window && window->isVisible() && !window->m_closing)
            return window;
    return nullptr;
}

bool TJobProgress::AskWhileRunning(const std::function<bool()>& ask)
{
    QObject watch; // the connections go when the question has been answered
    for (TJobRunner* runner : TJobRunner::Jobs())
        connect(runner, &TJobRunner::Ending, &watch, [] {
            if (TJobRunner::AnyBusy())
                return;
            // Nothing opens above a modal question but the outcome, which comes after this.
            if (auto* question = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                question->reject();
        });
    return ask();
}

bool TJobProgress::eventFilter(QObject* watched, QEvent* e)
{
    switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::TabletPress:
            break;
        default:
            return false; // closing included
    }
    // A question open above everything has Qt's own modality.
    if (QApplication::activeModalWidget())
        return false;
    if (e->type() == QEvent::Shortcut)
        return true; // this window has none of its own
    const auto* widget = qobject_cast<QWidget*>(watched);
    return widget && widget->window() != this;
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
    m_asking = true;
    // The job's end deletes this window while the question is open.
    const QPointer<TJobProgress> self(this);
    const QString job = Label_job->text();
    if (!m_runner->Stoppable()) {
        AskWhileRunning([&job] {
            Dialogs::ShowMessage(
                QStringLiteral("%1\nThe operation can not be interrupted.\nThe window closes when it ends.").arg(job));
            return false;
        });
    } else if (AskWhileRunning([&job] {
                   return Dialogs::Confirm(
                       QStringLiteral("%1\nStop it?\nThe database stays as it was before the operation.").arg(job));
               })
               && self && m_runner->Busy()) {
        m_runner->RequestStop();
        Label_job->setText(QStringLiteral("Stopping..."));
    }
    if (self)
        m_asking = false;
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
