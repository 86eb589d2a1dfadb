#include "core/database/DocStore.h"

#include "core/common/QbError.h"
#include "core/database/BlobStream.h"
#include "core/database/Connection.h"
#include "core/database/Query.h"
#include "core/database/Schema.h"
#include "core/database/SqlEngine.h"
#include "core/database/TextIndex.h"

#include <QBuffer>
#include <QUuid>

namespace {

// Names are ordered as a reader expects ("apple" before "Zebra"), not by their bytes; the name
// order index holds every column read here, so the rows come in its order without a sort. The
// index serves only statements that name every row its way; one that could not be trusted is
// kept out altogether.
QString ListSql(const TDatabaseConnection& connection, const QString& after = QString(), bool limited = false)
{
    return QStringLiteral("select '' as CHOISE_IT, rowid, doc_id, doc_name, doc_type, C_date, L_date from Docs%1 "
                          "where %2 %3order by doc_name collate %4, doc_id%5")
        .arg(connection.NameOrderTrusted() ? QString() : QStringLiteral(" not indexed"),
             QLatin1String(SqlEngine::EveryRow), after, QLatin1String(SqlEngine::NameCollation),
             limited ? QStringLiteral(" limit :LIMIT") : QString());
}

// The rows after a named one: equal names (only identical ones compare equal) go by identifier.
// The range on the name is what lets the engine seek in the index.
const QString AfterName
    = QStringLiteral("and doc_name collate %1 >= :NAME and not (doc_name = :NAME and doc_id <= :ID) ")
          .arg(QLatin1String(SqlEngine::NameCollation));
const QString ModifySql
    = QStringLiteral("update docs set doc_id = :doc_id, doc_name = :doc_name, doc_type = :doc_type, "
                     "C_date = :C_date, L_date = :L_date where doc_id = :OLD_doc_id");
// A row known by its rowid keeps its identifier as another program stored it.
const QString ModifyRowSql = QStringLiteral("update docs set doc_name = :doc_name, doc_type = :doc_type, "
                                            "C_date = :C_date, L_date = :L_date where rowid = :OLD_doc_id");
const QString InsertSql = QStringLiteral("insert into docs (doc_id, doc_name, doc_type, C_date, L_date) "
                                         "values (:doc_id, :doc_name, :doc_type, :C_date, :L_date)");
const QString DeleteSql = QStringLiteral("delete from docs where doc_id = :OLD_doc_id");

// Identifiers that are not text (null, numbers, bytes: another program's rows) cannot be bound
// back as text; such rows are named by their rowid behind a prefix no identifier of ours has.
const QString RowKeyPrefix = QStringLiteral("\u0001row ");

std::optional<qint64> RowOfKey(const QString& id)
{
    if (!id.startsWith(RowKeyPrefix))
        return std::nullopt;
    bool ok = false;
    const qint64 row = id.mid(RowKeyPrefix.size()).toLongLong(&ok);
    return ok ? std::optional<qint64>(row) : std::nullopt;
}

// The term that finds a document by the parameter, and the value to bind to it.
QString KeyTerm(const QString& id, const QString& parameter)
{
    return (RowOfKey(id) ? QStringLiteral("rowid = ") : QStringLiteral("Doc_id = ")) + parameter;
}

QVariant KeyValue(const QString& id)
{
    const auto row = RowOfKey(id);
    return row ? QVariant(*row) : QVariant(id);
}

QVariant DateValue(const QDate& date)
{
    return date.isValid() ? QVariant(date.toString(Qt::ISODate)) : QVariant();
}

QDate ReadDate(const QVariant& value)
{
    return QDate::fromString(value.toString(), Qt::ISODate);
}

// The blob column names are identifiers, so they are checked here rather than bound.
QString CheckedColumn(const QString& column)
{
    if (column.compare(QStringLiteral("Image"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("Image");
    if (column.compare(QStringLiteral("OLEobj"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("OLEobj");
    throw QbError(QStringLiteral("\"%1\" is not a content field of Docs.").arg(column));
}

QString Missing(const QString& id)
{
    return QStringLiteral("The document \"%1\" does not exist.").arg(id);
}

// A new row without a creation date gets today's; a changed row keeps the one it has, even none.
// A row found by its rowid keeps its stored identifier, whatever its storage class.
void BindRow(TQuery& query, const TDocRow& row, const QDate& lastChange, bool withId, bool stampCreation)
{
    if (withId)
        query.Bind(QStringLiteral(":doc_id"), Schema::CutToWidth(row.Id, Schema::IdWidth));
    query.Bind(QStringLiteral(":doc_name"), Schema::CutToWidth(row.Name, Schema::NameWidth));
    query.Bind(QStringLiteral(":doc_type"), Schema::CutToWidth(row.Type, Schema::TypeWidth));
    query.Bind(QStringLiteral(":C_date"),
               DateValue(row.CDate.isValid() || !stampCreation ? row.CDate : QDate::currentDate()));
    query.Bind(QStringLiteral(":L_date"), DateValue(lastChange));
}

// A savepoint rolled back unless released; nests inside a caller's transaction.
class Savepoint
{
public:
    explicit Savepoint(TDatabaseConnection& connection)
        : m_connection(connection)
    {
        m_connection.Exec(QStringLiteral("SAVEPOINT content"));
    }
    ~Savepoint()
    {
        if (!m_released && m_connection.IsOpen()) {
            try {
                m_connection.Exec(QStringLiteral("ROLLBACK TO content; RELEASE content;"));
            } catch (const QbError&) {
            }
        }
    }
    void Release()
    {
        m_connection.Exec(QStringLiteral("RELEASE content"));
        m_released = true;
    }

private:
    TDatabaseConnection& m_connection;
    bool m_released = false;
};

} // namespace

TDocStore::TDocStore(TDatabaseConnection& connection)
    : m_connection(connection)
{
}

QString TDocStore::NewIdentifier()
{
    return QUuid::createUuid().toString(QUuid::Id128).toUpper();
}

QString TDocStore::Key(const QVariant& docId, qint64 rowid)
{
    return docId.typeId() == QMetaType::QString ? docId.toString() : RowKeyPrefix + QString::number(rowid);
}

QString TDocStore::ContentColumn(const QString& type)
{
    return (type == QStringLiteral("TXT") || type == QStringLiteral("IMG")) ? QStringLiteral("Image")
                                                                            : QStringLiteral("OLEobj");
}

std::vector<TDocRow> TDocStore::ListDocuments() const
{
    ListPosition all;
    return ListDocuments(all, -1);
}

std::vector<TDocRow> TDocStore::ListDocuments(ListPosition& position, int limit) const
{
    std::vector<TDocRow> rows;
    // After a text name the index is entered at that name. Names that are not text (written by
    // another program) sort before every text and are few: those are stepped over.
    const bool seek = position.Read > 0 && position.LastName.typeId() == QMetaType::QString;
    const bool skip = position.Read > 0 && !seek;
    QString sql = ListSql(m_connection, seek ? AfterName : QString(), limit >= 0 || skip);
    if (skip)
        sql += QStringLiteral(" offset :OFFSET");
    TQuery query(m_connection, sql);
    if (seek) {
        query.Bind(QStringLiteral(":NAME"), position.LastName);
        query.Bind(QStringLiteral(":ID"), position.LastId);
    }
    if (skip)
        query.Bind(QStringLiteral(":OFFSET"), position.Read);
    if (limit >= 0 || skip)
        query.Bind(QStringLiteral(":LIMIT"), limit); // -1: no limit
    if (limit >= 0)
        rows.reserve(size_t(limit));
    const int rowid = query.ColumnIndex(QStringLiteral("rowid"));
    // Fields by number: looking each name up again on every row costs more than reading the row.
    const int id = query.ColumnIndex(QStringLiteral("doc_id"));
    const int type = query.ColumnIndex(QStringLiteral("doc_type"));
    const int name = query.ColumnIndex(QStringLiteral("doc_name"));
    const int created = query.ColumnIndex(QStringLiteral("C_date"));
    const int changed = query.ColumnIndex(QStringLiteral("L_date"));
    while (query.Next()) {
        QVariant rowName = query.Value(name);
        QVariant rowId = query.Value(id);
        rows.push_back({Key(rowId, query.Value(rowid).toLongLong()), query.Value(type).toString(), rowName.toString(),
                        ReadDate(query.Value(created)), ReadDate(query.Value(changed))});
        position.LastName = std::move(rowName);
        position.LastId = std::move(rowId);
    }
    position.Read += int(rows.size());
    return rows;
}

std::optional<TDocRow> TDocStore::FindDocument(const QString& id) const
{
    TQuery query(m_connection,
                 QStringLiteral("select rowid, doc_id, doc_name, doc_type, C_date, L_date from Docs where %1")
                     .arg(KeyTerm(id, QStringLiteral(":ID"))));
    query.Bind(QStringLiteral(":ID"), KeyValue(id));
    if (!query.Next())
        return std::nullopt;
    return TDocRow{Key(query.Value(QStringLiteral("doc_id")), query.Value(QStringLiteral("rowid")).toLongLong()),
                   query.Text(QStringLiteral("doc_type")), query.Text(QStringLiteral("doc_name")),
                   ReadDate(query.Value(QStringLiteral("C_date"))), ReadDate(query.Value(QStringLiteral("L_date")))};
}

QString TDocStore::CreateDocumentRecord(const QString& name, const QString& type)
{
    if (!m_connection.IsOpen())
        return QString();
    const QDate today = QDate::currentDate();
    const TDocRow row{NewIdentifier(), type, name, today, today};
    InsertDocument(row);
    return row.Id;
}

void TDocStore::InsertDocument(const TDocRow& row)
{
    Savepoint savepoint(m_connection);
    TQuery query(m_connection, InsertSql);
    BindRow(query, row, row.LDate.isValid() ? row.LDate : QDate::currentDate(), true, true);
    query.Exec();
    TextIndex::Refresh(m_connection, RowId(Schema::CutToWidth(row.Id, Schema::IdWidth)));
    savepoint.Release();
}

void TDocStore::UpdateDocument(const QString& oldId, const TDocRow& row)
{
    const bool byRow = RowOfKey(oldId).has_value();
    Savepoint savepoint(m_connection);
    const qint64 rowId = RowId(oldId);
    TQuery query(m_connection, byRow ? ModifyRowSql : ModifySql);
    BindRow(query, row, QDate::currentDate(), !byRow, false);
    query.Bind(QStringLiteral(":OLD_doc_id"), KeyValue(oldId));
    query.Exec();
    if (query.Changes() == 0)
        throw QbError(Missing(oldId));
    TextIndex::Refresh(m_connection, rowId);
    savepoint.Release();
}

void TDocStore::RenameDocument(const QString& id, const QString& name)
{
    Savepoint savepoint(m_connection);
    const qint64 rowId = RowId(id);
    TQuery query(m_connection,
                 QStringLiteral("update Docs set Doc_name = :doc_name, L_date = :L_date where %1")
                     .arg(KeyTerm(id, QStringLiteral(":OLD_doc_id"))));
    query.Bind(QStringLiteral(":doc_name"), Schema::CutToWidth(name, Schema::NameWidth));
    query.Bind(QStringLiteral(":L_date"), DateValue(QDate::currentDate()));
    query.Bind(QStringLiteral(":OLD_doc_id"), KeyValue(id));
    query.Exec();
    if (query.Changes() == 0)
        throw QbError(Missing(id));
    TextIndex::Refresh(m_connection, rowId);
    savepoint.Release();
}

void TDocStore::DeleteDocument(const QString& id)
{
    Savepoint savepoint(m_connection);
    const qint64 rowId = RowId(id);
    TQuery query(m_connection, RowOfKey(id) ? QStringLiteral("delete from docs where rowid = :OLD_doc_id") : DeleteSql);
    query.Bind(QStringLiteral(":OLD_doc_id"), KeyValue(id));
    query.Exec();
    if (query.Changes() == 0)
        throw QbError(Missing(id));
    TextIndex::Refresh(m_connection, rowId);
    savepoint.Release();
}

qint64 TDocStore::RowId(const QString& id) const
{
    TQuery query(m_connection,
                 QStringLiteral("select rowid from Docs where %1").arg(KeyTerm(id, QStringLiteral(":ID"))));
    query.Bind(QStringLiteral(":ID"), KeyValue(id));
    if (!query.Next())
        throw QbError(Missing(id));
    return query.Value(0).toLongLong();
}

qint64 TDocStore::FilledRowId(const QString& id, const QString& field) const
{
    // typeof, not "is null": the engine would load the whole blob to test it.
    TQuery query(m_connection,
                 QStringLiteral("select rowid, typeof(%1) = 'null' from Docs where %2")
                     .arg(field, KeyTerm(id, QStringLiteral(":ID"))));
    query.Bind(QStringLiteral(":ID"), KeyValue(id));
    if (!query.Next())
        throw QbError(Missing(id));
    return query.Value(1).toInt() != 0 ? -1 : query.Value(0).toLongLong();
}

qint64 TDocStore::ReadContent(const QString& id, const QString& column, QIODevice& dst) const
{
    const QString field = CheckedColumn(column);
    const qint64 rowId = FilledRowId(id, field);
    return rowId < 0 ? 0 : TBlobStream::Read(m_connection, QStringLiteral("Docs"), field, rowId, dst);
}

void TDocStore::WriteContent(const QString& id, const QString& column, QIODevice& src)
{
    const QString field = CheckedColumn(column);
    // A device without a known end is read whole first; files and buffers stream.
    QBuffer whole;
    QIODevice* source = &src;
    if (src.isSequential()) {
        whole.setData(src.readAll());
        whole.open(QIODevice::ReadOnly);
        source = &whole;
    }
    const qint64 size = source->size() - source->pos();

    Savepoint savepoint(m_connection);
    TQuery query(m_connection,
                 QStringLiteral("update Docs set %1 = zeroblob(:size), L_date = :L_date where %2")
                     .arg(field, KeyTerm(id, QStringLiteral(":ID"))));
    query.Bind(QStringLiteral(":size"), size);
    query.Bind(QStringLiteral(":L_date"), DateValue(QDate::currentDate()));
    query.Bind(QStringLiteral(":ID"), KeyValue(id));
    query.Exec();
    if (query.Changes() == 0)
        throw QbError(Missing(id));
    const qint64 rowId = RowId(id);
    TBlobStream::Write(m_connection, QStringLiteral("Docs"), field, rowId, *source, size);
    TextIndex::Refresh(m_connection, rowId);
    savepoint.Release();
}

std::unique_ptr<QIODevice> TDocStore::OpenContent(const QString& id, const QString& column) const
{
    const QString field = CheckedColumn(column);
    const qint64 rowId = FilledRowId(id, field);
    if (rowId < 0)
        return nullptr;
    return std::make_unique<TBlobDevice>(m_connection, QStringLiteral("Docs"), field, rowId);
}

QByteArray TDocStore::ReadContentBytes(const QString& id, const QString& column) const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ReadContent(id, column, buffer);
    return buffer.data();
}

void TDocStore::WriteContentBytes(const QString& id, const QString& column, const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    WriteContent(id, column, buffer);
}
