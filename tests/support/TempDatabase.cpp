#include "TempDatabase.h"

#include "TestEnv.h"
#include "database/DBactions.h"
#include "database/Schema.h"

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

} // namespace qbtest
