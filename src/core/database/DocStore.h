#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <vector>

class QIODevice;
class TDatabaseConnection;

// One row of the document list.
struct TDocRow
{
    QString Id; // Doc_id: 32 upper-case hexadecimal characters
    QString Type; // Doc_type: "TXT", "IMG", "URL", a class name, or empty
    QString Name; // Doc_name
    QDate CDate; // creation date
    QDate LDate; // last-change date
};

// The records of the table Docs on a connection: the list, its modify, insert and delete,
// document creation, and the content blobs. Texts longer than their column
// are stored cut to its width. Every failure raises QbError.
class TDocStore
{
public:
    explicit TDocStore(TDatabaseConnection& connection);

    // A fresh GUID without braces and hyphens: 32 upper-case hexadecimal characters.
    static QString NewIdentifier();
    // The Id of a row: its Doc_id when that is text, else a key made of its rowid, which every
    // operation below takes as well (rows of other programs may have any kind of identifier).
    static QString Key(const QVariant& docId, qint64 rowid);
    // "Image" for the types "TXT" and "IMG" (compared exactly), "OLEobj" for every other.
    static QString ContentColumn(const QString& type);

    // Every document, ordered by name as a reader expects: ignoring case, by the user's locale;
    // equal names by identifier.
    std::vector<TDocRow> ListDocuments() const;
    // Where a reading of that order in stretches stands.
    struct ListPosition
    {
        int Read = 0; // rows read so far
        QVariant LastName; // the last row's name as stored: text, or null or a number from another program
        QVariant LastId; // as stored
    };
    // The next `limit` documents of that order after `position`, which moves past them. Read in
    // stretches, a long list shows its first rows at once.
    std::vector<TDocRow> ListDocuments(ListPosition& position, int limit) const;
    std::optional<TDocRow> FindDocument(const QString& id) const;

    // Appends a row with a new identifier, the name and type (cut to their widths) and today's
    // dates; returns the identifier, or an empty text when the connection is not open.
    QString CreateDocumentRecord(const QString& name, const QString& type);
    // The list's insert statement with the row as given (dates empty become today).
    void InsertDocument(const TDocRow& row);
    // The list's modify statement: the row that had oldId takes the values of row; the
    // last-change date becomes today. A row that no longer exists raises an error.
    void UpdateDocument(const QString& oldId, const TDocRow& row);
    // Stores a new name at once.
    void RenameDocument(const QString& id, const QString& name);
    // Removes the row with its content. A row that no longer exists raises an error.
    void DeleteDocument(const QString& id);

    // Appends the content cell ("Image" or "OLEobj") of a document to dst; returns its size.
    // An empty cell gives 0.
    qint64 ReadContent(const QString& id, const QString& column, QIODevice& dst) const;
    // Replaces the content cell with the bytes from src's position to its end, in chunks;
    // on failure the old content stays.
    void WriteContent(const QString& id, const QString& column, QIODevice& src);
    // The content cell opened for reading in place (see TBlobDevice); null when it is empty.
    std::unique_ptr<QIODevice> OpenContent(const QString& id, const QString& column) const;
    QByteArray ReadContentBytes(const QString& id, const QString& column) const;
    void WriteContentBytes(const QString& id, const QString& column, const QByteArray& bytes);

private:
    qint64 RowId(const QString& id) const;
    // The row of a document whose content cell holds something; -1 when the cell is empty.
    qint64 FilledRowId(const QString& id, const QString& field) const;

    TDatabaseConnection& m_connection;
};
