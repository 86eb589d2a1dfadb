// Rewrites of a whole database file: pack, adding or changing its password.
#include "core/database/DBactions.h"

#include "core/archive/BackRest.h"
#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/SqlEngine.h"
#include "core/dialogs/DialogSeam.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void ExecInFolder(const QString& folder, const QString& sql)
{
    const QString path = QDir(folder).filePath(TDatabaseConnection::FileName);
    const bool existed = QFile::exists(path);
    // Made before the engine would make it world-readable; an empty file is an empty database.
    if (!existed) {
        const int fd
            = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (fd >= 0)
            ::close(fd);
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    const QString message = rc == SQLITE_OK ? QString() : QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        if (!existed)
            TDatabaseConnection::RemoveWithJournal(path);
        throw QbError(message);
    }
}

void CheckNewPassword(const QString& password)
{
    if (password.isEmpty())
        throw QbError(QStringLiteral("The password must not be empty."));
    if (password.size() > TDatabaseConnection::MaxPasswordLength)
        throw QbError(QStringLiteral("The password must not be longer than %1 characters.")
                          .arg(TDatabaseConnection::MaxPasswordLength));
}

} // namespace

bool RunSql(const QStringList& lines, const QString& database, const PlainMessageHandler& show)
{
    try {
        const QString sql = lines.join(QLatin1Char('\n'));
        const QString name = database.trimmed();
        if (name == QStringLiteral("ADB"))
            TDatabaseConnection::ADB().Exec(sql);
        else
            ExecInFolder(name.isEmpty() ? QDir::currentPath() : name, sql);
        return true;
    } catch (const QbError& e) {
        const QString text = QStringLiteral("Помилка виконання:\n\n") + e.Message();
        if (show)
            show(text);
        else if (TDialogSeam* seam = TDialogSeam::Current())
            seam->PlainMessage(text);
        return false;
    }
}

void PackTable(TDatabaseConnection& table, const StopCheck& stop)
{
    if (!table.IsOpen())
        throw QbError(QStringLiteral("Table must be opened to pack"));
    const QString type = table.TableType();
    if (type != QStringLiteral("SQLITE") && type != QStringLiteral("SQLCIPHER"))
        throw QbError(QStringLiteral("Table must be either of SQLite or SQLCipher type to pack"));
    table.Restructure(QString(), stop);
}

void AddMasterPassword(TDatabaseConnection& table, const QString& password, const StopCheck& stop)
{
    if (!table.IsOpen())
        throw QbError(QStringLiteral("Table must be opened in exclusive mode to add passwords"));
    CheckNewPassword(password);
    table.Restructure(password, stop);
}

void SetDatabasePassword(TDatabaseConnection& adb, const QString& folder, const QString& password,
                         const QString& oldPassword, const StopCheck& stop)
{
    if (adb.IsOpen())
        throw QbError(QStringLiteral("The database connection must be closed before a password is set."));
    CheckNewPassword(password);
    adb.ClearParams();
    adb.SetParams(folder);
    adb.ClearPasswords();
    if (!oldPassword.isEmpty())
        adb.AddPassword(oldPassword);
    // A journal or rewrite left in clear must not outlive the password: cleared before the
    // rewrite and once the connection lets go of the file.
    if (const QString inUse = BackRest::InUseRefusal(folder); !inUse.isEmpty())
        throw QbError(inUse, QbErrorKind::InUse);
    BackRest::RemoveStaleCompanions(folder);
    try {
        adb.Open();
        AddMasterPassword(adb, password, stop);
    } catch (...) {
        adb.Close();
        BackRest::RemoveStaleCompanions(folder);
        throw;
    }
    adb.Close();
    BackRest::RemoveStaleCompanions(folder);
}
