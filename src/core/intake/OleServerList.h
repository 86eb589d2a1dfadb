#pragma once

// The object servers the user keeps in the settings (OLE_SERVERS with SERVER entries of NAME and
// CLASS) and the accept modes for dropped text and pictures.
#include <QList>
#include <QString>

class TOrbPigger;

namespace OleServerList {

// One listed server: its name and class, both without surrounding blanks.
struct TServerRow
{
    QString Name;
    QString Class;
    bool operator==(const TServerRow&) const = default;
};

// The OLE_SERVERS node of the settings root; appended at the end of the root when missing.
TOrbPigger* ServersNode(TOrbPigger& root);
// The entries in order; an entry whose name is blank is not listed.
QList<TServerRow> Rows(const TOrbPigger* node);
// Stores a row shown with caption and cls: into the first entry named caption (ignoring case
// and surrounding blanks), else into a new SERVER entry at the end. newName is stored trimmed;
// a blank newName keeps the stored name; a blank caption or class stores nothing.
void StoreServerRow(TOrbPigger* node, const QString& caption, const QString& cls, const QString& newName);
// Removes the first entry named caption, ignoring case and surrounding blanks; false when there
// is none.
bool RemoveServer(TOrbPigger* node, const QString& caption);

// Dropped text and pictures are opened by a server instead of the program's own editor when
// the mode is set and is not "OWN".
bool UsesServer(const QString& acceptMode);

} // namespace OleServerList
