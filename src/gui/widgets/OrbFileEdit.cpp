#include "gui/widgets/OrbFileEdit.h"

#include "gui/dialogs/Dialogs.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QUrl>
#include <optional>

namespace {

// The first local file of a drop, or nothing when the drop holds no local file.
std::optional<QString> FirstDroppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = data->urls();
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return std::nullopt;
}

bool Acceptable(const QString& name)
{
    return !name.isEmpty() && name.size() <= TOrbFileEdit::MaxDroppedName;
}

} // namespace

TOrbFileEdit::TOrbFileEdit(QWidget* parent)
    : TCustomButtonEdit(parent)
{
    setAcceptDrops(true);
}

TOrbCustomEditButton* TOrbFileEdit::ButtonClass(QWidget* holder) const
{
    return new TEllipsisButton(holder);
}

void TOrbFileEdit::ButtonClick()
{
    TCustomButtonEdit::ButtonClick();
    if (isReadOnly())
        return;
    const QString chosen = RunDialog();
    if (!chosen.isEmpty())
        TakeName(chosen);
}

QString TOrbFileEdit::DialogFilter(const QString& filter)
{
    if (!filter.contains(QLatin1Char('|')))
        return filter;
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters.append(parts[i] + QStringLiteral(" (") + patterns.simplified() + QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

QString TOrbFileEdit::RunDialog()
{
    QFileDialog dialog(this, m_dialogTitle);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(DialogFilter(m_filter));
    if (!text().isEmpty())
        dialog.selectFile(text());
    return Dialogs::ChooseFile(dialog);
}

void TOrbFileEdit::TakeName(const QString& name)
{
    setText(name);
    if (hasFocus() && AutoSelect())
        selectAll();
}

// Enter and move answer alike: a droppable file is taken, any other file refused, and
// anything that is not a file goes to the line edit's own handling.
static bool AnswerFileDrag(QDragMoveEvent* event)
{
    const std::optional<QString> file = FirstDroppedFile(event->mimeData());
    if (!file)
        return false;
    if (Acceptable(*file))
        event->acceptProposedAction();
    else
        event->ignore();
    return true;
}

void TOrbFileEdit::dragEnterEvent(QDragEnterEvent* event)
{
    if (!AnswerFileDrag(event))
        TCustomButtonEdit::dragEnterEvent(event);
}

void TOrbFileEdit::dragMoveEvent(QDragMoveEvent* event)
{
    if (!AnswerFileDrag(event))
        TCustomButtonEdit::dragMoveEvent(event);
}

void TOrbFileEdit::dropEvent(QDropEvent* event)
{
    const std::optional<QString> file = FirstDroppedFile(event->mimeData());
    if (!file) {
        // Not a file: an ordinary text drop, as in any line edit.
        TCustomButtonEdit::dropEvent(event);
        return;
    }
    // A file name too long to take is refused whole; a shortened one would name another file.
    if (!Acceptable(*file)) {
        event->ignore();
        return;
    }
    TakeName(*file);
    event->acceptProposedAction();
}
