#include "gui/intake/DropTarget.h"

#include "core/intake/OleDrop.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>

TDropTarget::TDropTarget(TOleDropper& dropper, QObject* parent)
    : QObject(parent)
    , m_dropper(dropper)
{
}

TDropTarget::~TDropTarget()
{
    Revoke();
}

bool TDropTarget::RegisterWindow(QWidget* window)
{
    if (!window)
        return false;
    Revoke();
    m_window = window;
    m_acceptedDropsBefore = window->acceptDrops();
    window->setAcceptDrops(true);
    // Controls that take drops of their own (an edit field) would otherwise keep a drop made
    // over them: the whole window is one target, as the collapsed panel inside it is.
    QCoreApplication::instance()->installEventFilter(this);
    return true;
}

void TDropTarget::Revoke()
{
    if (!m_window)
        return;
    QCoreApplication::instance()->removeEventFilter(this);
    m_window->setAcceptDrops(m_acceptedDropsBefore);
    m_window = nullptr;
}

Qt::DropAction TDropTarget::AnswerFor(Qt::DropActions possible, Qt::DropAction proposed)
{
    return possible.testFlag(Qt::CopyAction) ? Qt::CopyAction : proposed;
}

bool TDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::DragLeave && type != QEvent::Drop)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!m_window || !widget || (widget != m_window && !m_window->isAncestorOf(widget)))
        return false;
    switch (type) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            drag->setDropAction(AnswerFor(drag->possibleActions(), drag->proposedAction()));
            drag->accept();
            return true;
        }
        case QEvent::DragLeave:
            return true;
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            drop->setDropAction(AnswerFor(drop->possibleActions(), drop->proposedAction()));
            drop->accept();
            const QMimeData nothing;
            m_dropper.Drop(drop->mimeData() ? *drop->mimeData() : nothing);
            return true;
        }
        default:
            return false;
    }
}
