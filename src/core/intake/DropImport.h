#pragma once

// What the receiver of a drop makes of it: the document type of each kind, the content handed
// to the new document, and the message a refused drop is answered with.
#include "core/documents/DocContent.h"
#include "core/intake/OleDrop.h"

#include <QString>
#include <QStringList>

namespace DropImport {

inline const QString NoDatabaseText
    = QStringLiteral("To import a document by drag-and-drop you need to open a database first");
inline const QString CannotImportText = QStringLiteral(
    "Sorry, can't import this object by drag-n-drop.\n\nPlaese try to copy-paste it through the clipboard.");

// "TXT" for text, "IMG" for a picture; empty for the other kinds (files are imported one by one
// as embedded objects, see DocFiles).
QString DocumentType(TOleDropper::TDropKind kind);
// The message for a drop that makes no document (shown once the drop has returned); empty when
// the drop is imported, files included (which of them are refused is decided per file).
QString RefusalText(bool databaseOpen, TOleDropper::TDropKind kind);
// The refusal of dropped files that cannot become documents: the message, an empty line, then
// each refused entry on a line of its own.
QString RefusedFilesText(const QStringList& refused);
// The new document's content: the dropped text as lines, or a copy of the dropped picture.
TDocContent Content(const TOleDropper& dropper);

} // namespace DropImport
