#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class QIODevice;
class QUrl;
struct TDocRow;
class TDatabaseConnection;

// Documents in and out of files: a file becomes an embedded object (as a pasted copied file
// does), and a document is written to a file. Contents stream in chunks both ways, so a large
// file is never held whole. Every failure raises QbError and leaves nothing half made: no
// document without its content, no partly written file.
namespace DocFiles {

// Bytes done and in all; returning false stops the work (it then fails with StoppedText).
using Progress = std::function<bool(qint64 done, qint64 total)>;
inline const QString StoppedText = QStringLiteral("Stopped.");

// Splits dropped entries (URLs or local paths) into the local files that can become documents
// and the entries that cannot (folders, missing or unreadable files, other URLs, files no
// application embeds), each shown as its path or its URL.
void SortDropped(const QStringList& entries, QStringList& files, QStringList& refused);

// Fills the content cell of document id with the file as an embedded object of its default
// application's class, read in chunks. On failure the cell stays as it was.
void StoreFileObject(TDatabaseConnection& connection, const QString& id, const QString& path,
                     const Progress& progress = {});

// A new document named after the file: rich text from a text or HTML file, a picture from a
// picture file, else an embedded object as above. Returns its identifier; on failure no
// document is left.
QString ImportFile(TDatabaseConnection& connection, const QString& path, const Progress& progress = {});

// A new document named after the file (cut to the name's width) with no type, holding the file
// as an embedded object: what a pasted copy of the file makes. Returns its identifier; on
// failure no document is left.
QString ImportObject(TDatabaseConnection& connection, const QString& path, const Progress& progress = {});
// ImportObject for each file, in order; progress counts the bytes of all. A file that fails is
// passed over with its message added to failures. Stopped, it leaves none of the files
// imported (and throws). Returns the identifiers made.
QStringList ImportObjects(TDatabaseConnection& connection, const QStringList& files, QStringList& failures,
                          const Progress& progress = {});

// How a document is written to a file. Native is the stored form: HTML for rich text, BMP for a
// picture, an object's own file.
enum class Format
{
    Native,
    PlainText,
    Odt,
    Png,
    Jpeg
};
// The formats a document of that type offers, Native first.
QList<Format> FormatsFor(const QString& type);
// The file suffix of a document written in format ("html", "bmp", an object's own suffix...).
QString SuffixFor(TDatabaseConnection& connection, const TDocRow& row, Format format);
// A document name made into a file name: no path separators, control characters or leading
// dots, not empty, at most 200 bytes.
QString SafeFileName(const QString& name);

// name.suffix made safe (SafeFileName) and unlike every name in taken (compared ignoring case),
// which it joins: a later document of the same name gets " (2)", " (3)"...
QString UniqueFileName(const QString& name, const QString& suffix, QStringList& taken);

// Writes every document of the database as stored into folder, which must exist and be empty,
// under unique safe names; progress counts documents. The files written so far are in written
// also when it fails or is stopped: each of them is complete, and nothing else stays.
void ExportAll(TDatabaseConnection& connection, const QString& folder, QStringList& written,
               const Progress& progress = {});

// Writes the document to target through a temporary file beside it, renamed into place once
// complete, with mode 0600. An existing target is replaced only when overwrite is set; else
// the write fails (also when the file appears while it is written) and the target stays as it was.
void ExportDocument(TDatabaseConnection& connection, const TDocRow& row, Format format, const QString& target,
                    bool overwrite, const Progress& progress = {});

// What write puts into a device, written to target the same way.
void WriteFile(const QString& target, bool overwrite, const std::function<void(QIODevice&)>& write);

// A rich-text document's text without its formatting.
QString PlainText(TDatabaseConnection& connection, const QString& id);

} // namespace DocFiles
