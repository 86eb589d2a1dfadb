// Cutting a window off from its children's signals before they are destroyed.
#pragma once

#include <QObject>

// ~QWidget deletes the children after the window's own destructor has run, and what they emit
// meanwhile (an editable combo box losing focus emits textActivated) would call the window's
// slots on a half-destroyed object. A window wired to its children calls this first thing in
// its destructor.
inline void DisconnectChildren(QObject* owner)
{
    for (QObject* child : owner->findChildren<QObject*>())
        child->disconnect(owner);
}
