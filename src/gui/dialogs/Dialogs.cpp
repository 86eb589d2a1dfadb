#include "gui/dialogs/Dialogs.h"

#include "core/dialogs/DialogSeam.h"
#include "gui/dialogs/msg.h"
#include "gui/dialogs/sure.h"
#include "gui/dialogs/sure_hecked.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>

namespace {

// The window a dialog should belong to: its parent's when that one is on screen, else the
// active window, else a visible one that stays on top, else any visible one.
QWidget* VisibleOwner(QWidget* parent, const QWidget* dialog)
{
    if (parent && parent->window()->isVisible())
        return parent->window();
    if (QWidget* active = QApplication::activeWindow(); active && active != dialog && active->isVisible())
        return active;
    QWidget* any = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == dialog || !w->isVisible() || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip)
            continue;
        if (w->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            return w;
        if (!any)
            any = w;
    }
    return any;
}

bool VisibleWindowStaysOnTop(const QWidget* dialog)
{
    const auto widgets = QApplication::topLevelWidgets();
    return std::any_of(widgets.begin(), widgets.end(), [dialog](const QWidget* w) {
        return w != dialog && w->isVisible() && w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    });
}

// PlaceAbove for the shared dialogs, whose owner comes back when they close.
class TRaised
{
public:
    explicit TRaised(QWidget* dialog)
        : m_dialog(dialog)
        , m_owner(dialog->parentWidget())
    {
        Dialogs::PlaceAbove(dialog, m_owner);
        m_moved = dialog->parentWidget() != m_owner;
    }
    ~TRaised()
    {
        if (m_moved && m_dialog && !m_dialog->isVisible())
            m_dialog->setParent(m_owner, m_dialog->windowFlags());
    }
    TRaised(const TRaised&) = delete;
    TRaised& operator=(const TRaised&) = delete;

private:
    QPointer<QWidget> m_dialog;
    QPointer<QWidget> m_owner;
    bool m_moved = false;
};

QMessageBox::Icon IconOf(Dialogs::Plain kind)
{
    switch (kind) {
        case Dialogs::Plain::Warning:
            return QMessageBox::Warning;
        case Dialogs::Plain::Critical:
            return QMessageBox::Critical;
        case Dialogs::Plain::Information:
            break;
    }
    return QMessageBox::Information;
}

void ShowPlain(QWidget* parent, Dialogs::Plain kind, const QString& text, const QString& caption)
{
    QMessageBox box(IconOf(kind), caption, text, QMessageBox::Ok, parent);
    Dialogs::PlaceAbove(&box, parent);
    box.exec();
}

QString RunFileDialog(QFileDialog& dialog)
{
    Dialogs::PlaceAbove(&dialog, dialog.parentWidget());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

// The windows behind the seam: what core code reaches through TDialogSeam::Current().
class TWindowSeam : public TDialogSeam
{
public:
    QPointer<TDmsg> message;
    QPointer<TFsure> sure;
    QPointer<TFsure_checked> sureChecked;

    void Message(const QString& text) override
    {
        if (message) {
            TRaised raised(message);
            message->ShowText(text);
        }
    }
    void PlainMessage(const QString& text) override
    {
        ShowPlain(nullptr, Dialogs::Plain::Information, text, QStringLiteral("Quietbox"));
    }
    bool Confirm(const QString& question) override { return Ask(sure, question); }
    bool ConfirmChecked(const QString& question) override { return Ask(sureChecked, question); }
    QString ChooseFile(const QString& caption) override
    {
        QFileDialog dialog(nullptr, caption);
        return RunFileDialog(dialog);
    }
    QString TypeText(const QString& caption) override
    {
        QInputDialog dialog;
        dialog.setWindowTitle(caption);
        dialog.setLabelText(caption);
        Dialogs::PlaceAbove(&dialog, nullptr);
        return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
    }

private:
    static bool Ask(TFsure* dialog, const QString& question)
    {
        if (!dialog)
            return false;
        TRaised raised(dialog);
        return dialog->Ask(question);
    }
};

TWindowSeam& Windows()
{
    static TWindowSeam windows;
    return windows;
}

// The test's seam, else the windows while they are installed.
TDialogSeam* Seam()
{
    return TDialogSeam::Current();
}

} // namespace

void Dialogs::Install(TDmsg* message, TFsure* sure, TFsure_checked* sureChecked)
{
    Windows().message = message;
    Windows().sure = sure;
    Windows().sureChecked = sureChecked;
    TDialogSeam::InstallWindows(message ? &Windows() : nullptr);
}

bool Dialogs::MessageInstalled()
{
    return Windows().message != nullptr;
}

void Dialogs::ShowMessage(const QString& text)
{
    if (TDialogSeam* seam = Seam())
        seam->Message(text);
}

bool Dialogs::Confirm(const QString& text)
{
    TDialogSeam* seam = Seam();
    return seam && seam->Confirm(text);
}

bool Dialogs::ConfirmChecked(const QString& text)
{
    TDialogSeam* seam = Seam();
    return seam && seam->ConfirmChecked(text);
}

void Dialogs::PlainMessage(QWidget* parent, Plain kind, const QString& text, const QString& caption)
{
    if (TDialogSeam* seam = TDialogSeam::Installed())
        seam->PlainMessage(text);
    else
        ShowPlain(parent, kind, text, caption);
}

bool Dialogs::PlainQuestion(QWidget* parent, const QString& caption, const QString& question)
{
    if (TDialogSeam* seam = TDialogSeam::Installed())
        return seam->Confirm(question);
    QMessageBox box(QMessageBox::Question, caption, question, QMessageBox::Yes | QMessageBox::No, parent);
    PlaceAbove(&box, parent);
    return box.exec() == QMessageBox::Yes;
}

QDialog* Dialogs::PlainNotice(QWidget* parent, const QString& text)
{
    if (TDialogSeam* seam = TDialogSeam::Installed()) {
        seam->PlainMessage(text);
        return nullptr;
    }
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Quietbox"), text, QMessageBox::Ok, parent);
    PlaceAbove(box, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

QString Dialogs::ChooseFile(QFileDialog& dialog)
{
    if (TDialogSeam* seam = TDialogSeam::Installed())
        return seam->ChooseFile(dialog.windowTitle());
    return RunFileDialog(dialog);
}

QString Dialogs::ChooseObject(QDialog& dialog, const std::function<QString()>& chosen)
{
    if (TDialogSeam* seam = TDialogSeam::Installed())
        return seam->TypeText(dialog.windowTitle());
    PlaceAbove(&dialog, dialog.parentWidget());
    return dialog.exec() == QDialog::Accepted ? chosen() : QString();
}

void Dialogs::PlaceAbove(QWidget* dialog, QWidget* parent)
{
    if (dialog->isVisible())
        return; // a nested call: it is on screen already
    QWidget* owner = VisibleOwner(parent, dialog);
    Qt::WindowFlags flags = dialog->windowFlags();
    if (VisibleWindowStaysOnTop(dialog))
        flags |= Qt::WindowStaysOnTopHint;
    if (owner != dialog->parentWidget() || flags != dialog->windowFlags())
        dialog->setParent(owner, flags);
}
