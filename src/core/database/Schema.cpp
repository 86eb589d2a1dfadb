#include "core/database/Schema.h"

#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/DBactions.h"
#include "core/database/SqlEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace Schema {

QStringList DocsTableLines()
{
    return {
        QStringLiteral("CREATE TABLE Docs ("),
        QStringLiteral("Doc_id CHAR(32) NOT NULL,"),
        QStringLiteral("Doc_type CHAR(32),"),
        QStringLiteral("Doc_name CHAR(64),"),
        QStringLiteral("C_date DATE,"),
        QStringLiteral("L_date DATE,"),
        QStringLiteral("Dsc CHAR(128),"),
        QStringLiteral("OLEobj BLOB,"),
        QStringLiteral("Image BLOB,"),
        QStringLiteral("PRIMARY KEY (Doc_id) );"),
        QStringLiteral("CREATE INDEX Docs_Doc_name ON Docs (Doc_name);"),
    };
}

bool CreateDocsTable(const QString& folder, const std::function<void(const QString&)>& show)
{
    return RunSql(DocsTableLines(), folder, show);
}

QString CutToWidth(const QString& text, int width)
{
    int units = 0;
    for (int chars = 0; units < text.size() && chars < width; ++chars)
        units += (text.at(units).isHighSurrogate() && units + 1 < text.size()) ? 2 : 1;
    return text.left(units);
}

QString AnchorTablePath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("anch.db"));
}

void CreateAnchorTable()
{
    const QString path = AnchorTablePath();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        throw QbError(QStringLiteral("Can not create the folder \"%1\".").arg(QDir::toNativeSeparators(folder)));
    // The program's data folder is the user's alone, as is everything made in it.
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (const QString stuck = TDatabaseConnection::RemoveWithJournal(path); !stuck.isEmpty())
        throw QbError(QStringLiteral("Can not replace \"%1\".").arg(QDir::toNativeSeparators(stuck)), QbErrorKind::Io);
    // Made here with its mode: the engine would make it as the umask allows, and its journal like it.
    QFile anchor(path);
    if (!anchor.open(QIODevice::WriteOnly | QIODevice::NewOnly)
        || !anchor.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw QbError(
            QStringLiteral("Can not create \"%1\": %2").arg(QDir::toNativeSeparators(path), anchor.errorString()),
            QbErrorKind::Io);
    anchor.close();

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "CREATE TABLE anch (anch_id CHAR(32))", nullptr, nullptr, nullptr);
    const QString message = SqlEngine::ErrorText(db, QStringLiteral("Can not create the table anch"));
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw QbError(message);
}

} // namespace Schema
