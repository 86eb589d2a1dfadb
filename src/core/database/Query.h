#pragma once

#include <QString>
#include <QVariant>

struct sqlite3_stmt;
class TDatabaseConnection;

// A prepared statement of local SQL on an open connection. Values are bound to named
// parameters (":ID", ":doc_id"); none is ever pasted into the SQL text.
//
//     TQuery q(adb, QStringLiteral("select Doc_name from Docs where Doc_id = :ID"));
//     q.Bind(QStringLiteral(":ID"), id);
//     while (q.Next()) name = q.Text(QStringLiteral("Doc_name"));
//
// Closing the connection finalises its queries; using one afterwards raises an error.
// Every engine failure raises QbError.
class TQuery
{
public:
    TQuery(TDatabaseConnection& connection, const QString& sql);
    ~TQuery();
    TQuery(const TQuery&) = delete;
    TQuery& operator=(const TQuery&) = delete;

    // Binds a value: a null QVariant gives NULL, QByteArray a blob, integers and doubles
    // numbers, anything else its text. Unknown parameter names raise an error.
    void Bind(const QString& name, const QVariant& value);
    // Binds a blob of `size` zero bytes, to be filled through TBlobStream.
    void BindZeroBlob(const QString& name, qint64 size);

    // Steps to the next row: true while there is one.
    bool Next();
    // Runs a statement that returns no rows (or ignores them) to completion.
    void Exec();
    // Makes the statement runnable again; bindings stay.
    void Reset();

    int ColumnCount() const;
    QString ColumnName(int column) const;
    // The number of a field by its name, ignoring case; an unknown name raises an error.
    int ColumnIndex(const QString& name) const;
    // Values of the current row; column names match ignoring case.
    QVariant Value(int column) const;
    QVariant Value(const QString& name) const;
    QString Text(const QString& name) const { return Value(name).toString(); }

    // Rows changed by the last Exec of an insert, update or delete.
    int Changes() const { return m_changes; }

    // Called by the connection when it closes.
    void Detach();

private:
    sqlite3_stmt* Stmt() const;
    int ParameterIndex(const QString& name) const;

    TDatabaseConnection* m_connection;
    sqlite3_stmt* m_stmt = nullptr;
    bool m_done = false;
    int m_changes = 0;
};
