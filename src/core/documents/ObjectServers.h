#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// An application that can edit an embedded object: an XDG desktop entry of type Application
// whose Exec line takes a file. Its class name is the desktop-entry id without ".desktop".
struct TObjectServer
{
    QString ClassName; // "org.gnome.gedit"
    QString Name; // Name= of the entry, for people
    QString Icon; // Icon= (a theme name or an absolute path), may be empty
    QString Exec; // Exec= with its escapes resolved
    QStringList MimeTypes; // MimeType=, in the entry's order
    QString DesktopFile; // path of the entry
};

// The object servers of the desktop, read from applications/*.desktop under XDG_DATA_HOME and
// XDG_DATA_DIRS (an earlier folder hides an entry of the same id in a later one). Entries that
// are hidden, not shown, run in a terminal, lack a file argument in Exec, name a TryExec program
// that is not installed, or have an id longer than MaxClassLength are not servers.
namespace ObjectServers {

constexpr int MaxClassLength = 32; // the width of Doc_type

// Every server, ordered by class name.
std::vector<TObjectServer> All();
std::optional<TObjectServer> Find(const QString& className);
// The server for a MIME type: the desktop's default (mimeapps.list) when it is a server, else
// the first server that declares the type, else the same for the type's parents.
std::optional<TObjectServer> DefaultFor(const QString& mimeType);
// The preferred file suffix of the server's first MIME type that has one ("" when none has).
QString SuffixFor(const TObjectServer& server);

// The command line for opening one file: Exec split into arguments by the desktop-entry rules
// (double quotes, backslash escapes), with the file for %f/%F/%u/%U and the other field codes
// expanded or dropped. The program comes first. A malformed Exec line raises QbError.
QStringList CommandLine(const TObjectServer& server, const QString& filePath);
// Exec split into arguments, field codes left as they stand. Malformed quoting raises QbError.
QStringList SplitExec(const QString& exec);

} // namespace ObjectServers
