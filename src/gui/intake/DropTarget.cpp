#include "gui/intake/DropTarget.h"

#include "core/intake/OleDrop.h"

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
    window->installEventFilter(this);
    return true;
}

void TDropTarget::Revoke()
{
    if (!m_window)
        return;
    m_window->removeEventFilter(this);
    m_window->setAcceptDrops(m_acceptedDropsBefore);
    m_window = nullptr;
}

Qt::DropAction TDropTarget::AnswerFor(Qt::DropActions possible, Qt::DropAction proposed)
{
    return possible.testFlag(Qt::CopyAction) ? Qt::CopyAction : proposed;
}

bool TDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
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
