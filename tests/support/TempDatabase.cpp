#include "support/TempDatabase.h"

#include "core/database/DBactions.h"
#include "core/database/DocStore.h"
#include "core/database/Schema.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

namespace qbtest {

QString FreshDatabase(const QString& password)
{
    const QString folder = FreshFolder(QStringLiteral("db база"));
    QString failure;
    const bool created = Schema::CreateDocsTable(folder, [&](const QString& text) { failure = text; });
    EXPECT_TRUE(created) << failure.toStdString();
    if (created && !password.isEmpty()) {
        TDatabaseConnection adb;
        SetDatabasePassword(adb, folder, password);
    }
    return folder;
}

TempDatabase::TempDatabase(const QString& password)
    : Folder(FreshDatabase(password))
{
    Connection.SetParams(Folder);
    Connection.AddPassword(password);
    Connection.Open();
}

int CountDocuments(const QString& folder, const QString& password)
{
    TDatabaseConnection c;
    c.SetParams(folder);
    c.AddPassword(password);
    c.Open();
    const int n = int(TDocStore(c).ListDocuments().size());
    c.Close();
    return n;
}

} // namespace qbtest
