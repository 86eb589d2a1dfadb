#pragma once

#include "core/database/Connection.h"

#include <QString>

namespace qbtest {

// A fresh database folder (blanks and Cyrillic in its name) holding an empty Docs table,
// protected by `password` when one is given. The connection is left closed.
QString FreshDatabase(const QString& password = QString());

// How many documents the database in folder holds; opens and closes its own connection.
int CountDocuments(const QString& folder, const QString& password);

// A fresh database opened on its own connection, closed again at the end of the test.
class TempDatabase
{
public:
    explicit TempDatabase(const QString& password = QString());
    ~TempDatabase() { Connection.Close(); }

    QString Folder;
    TDatabaseConnection Connection;
};

} // namespace qbtest
