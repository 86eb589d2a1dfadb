#include "core/database/Connection.h"

#include "core/common/FileOps.h"
#include "core/common/QbError.h"
#include "core/database/Query.h"
#include "core/database/SqlEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

const QString TDatabaseConnection::FileName = QStringLiteral("Docs.db");

namespace {

const QByteArray PlainHeader("SQLite format 3\0", 16);
constexpr int BusyTimeoutMs = 250;

using FileOps::SystemError;

bool SyncPath(const QString& path, bool folder)
{
    return FileOps::SyncPath(QFile::encodeName(path), folder);
}

bool PosixRename(const QString& from, const QString& to)
{
    return FileOps::Rename(QFile::encodeName(from), QFile::encodeName(to));
}

// Creates an empty file (an empty database to the engine) that only its owner may read, or
// with the mode and owner of `like` when given: the engine would make it world-readable.
void CreateEmptyFile(const QString& path, const QString& like = QString())
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd < 0)
        throw QbError(QStringLiteral("Can not create \"%1\": %2").arg(QDir::toNativeSeparators(path), SystemError()),
                      QbErrorKind::Io);
    struct stat old
    {
    };
    if (!like.isEmpty() && ::stat(QFile::encodeName(like).constData(), &old) == 0) {
        // Another owner needs root; without it the group alone may still be kept.
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) && ::fchown(fd, old.st_uid, old.st_gid) != 0
            && ::fchown(fd, uid_t(-1), old.st_gid) != 0)
            errno = 0; // best effort: the file stays ours, which is no less private
        ::fchmod(fd, old.st_mode & 07777); // after the owner, which clears set-id bits
    }
    ::close(fd);
}

QString InsufficientRights(const QString& folder)
{
    return QStringLiteral("Insufficient table rights: the password of the database \"%1\" is missing or wrong.")
        .arg(QDir::toNativeSeparators(folder));
}

QString InUse(const QString& folder)
{
    return QStringLiteral("The database \"%1\" is in use by another program or connection (database is locked).")
        .arg(QDir::toNativeSeparators(folder));
}

} // namespace

const QStringList& TDatabaseConnection::CompanionSuffixes()
{
    static const QStringList suffixes{QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm"),
                                      QStringLiteral(".rewrite"), QStringLiteral(".rewrite-journal")};
    return suffixes;
}

QString TDatabaseConnection::RemoveWithJournal(const QString& path)
{
    QString stuck;
    for (const QString& file : {path, path + QStringLiteral("-journal")})
        if (!QFile::remove(file) && QFile::exists(file) && stuck.isEmpty())
            stuck = file;
    return stuck;
}

TDatabaseConnection::TDatabaseConnection()
    : m_rename(PosixRename)
{
}

TDatabaseConnection::~TDatabaseConnection()
{
    CloseHandle();
}

TDatabaseConnection& TDatabaseConnection::ADB()
{
    static TDatabaseConnection adb;
    return adb;
}

void TDatabaseConnection::SetParams(const QString& folder)
{
    m_folder = folder;
}

void TDatabaseConnection::ClearParams()
{
    m_folder.clear();
}

QString TDatabaseConnection::FilePath() const
{
    return m_folder.isEmpty() ? QString() : QDir(m_folder).filePath(FileName);
}

void TDatabaseConnection::ClearPasswords()
{
    Wipe(m_password);
}

void TDatabaseConnection::AddPassword(const QString& password)
{
    Wipe(m_password);
    // A copy of its own, so that Open() can overwrite it.
    m_password = QString(password.constData(), password.size());
}

void TDatabaseConnection::Wipe(QString& secret)
{
    // A shared buffer belongs to its other holders as well; only a sole one is overwritten.
    if (secret.isDetached())
        std::fill(secret.begin(), secret.end(), QChar());
    secret.clear();
}

void TDatabaseConnection::SetRenameFunction(RenameFunction rename)
{
    m_rename = rename ? std::move(rename) : RenameFunction(PosixRename);
}

bool TDatabaseConnection::InTransaction() const
{
    return m_db != nullptr && sqlite3_get_autocommit(m_db) == 0;
}

sqlite3* TDatabaseConnection::Handle() const
{
    if (!m_db)
        throw QbError(QStringLiteral("The database is not open."));
    return m_db;
}

QString TDatabaseConnection::ErrorText(const QString& what) const
{
    return SqlEngine::ErrorText(m_db, what);
}

void TDatabaseConnection::Open()
{
    // The password is spent here, whatever the outcome: the engine keeps the key.
    struct Spent
    {
        QString& password;
        ~Spent() { Wipe(password); }
    } spent{m_password};
    Close();
    if (m_folder.trimmed().isEmpty())
        throw QbError(QStringLiteral("No database folder is set."));
    const QString path = FilePath();
    const QFileInfo info(path);
    if (!info.exists())
        throw QbError(QStringLiteral("The database file \"%1\" does not exist.").arg(QDir::toNativeSeparators(path)),
                      QbErrorKind::NotADatabase);
    if (!info.isFile())
        throw QbError(QStringLiteral("\"%1\" is not a database file.").arg(QDir::toNativeSeparators(path)),
                      QbErrorKind::NotADatabase);

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw QbError(QStringLiteral("Can not read the database file \"%1\": %2")
                          .arg(QDir::toNativeSeparators(path), file.errorString()),
                      QbErrorKind::Io);
    const qint64 size = file.size();
    const QByteArray header = file.read(100);
    file.close();
    // Every SQLite or SQLCipher file is a whole number of pages of at least 512 bytes, so
    // anything else is not a database, whatever the password.
    if (size > 0 && (size < 512 || size % 512 != 0))
        throw QbError(QStringLiteral("The file \"%1\" is not a database.").arg(QDir::toNativeSeparators(path)),
                      QbErrorKind::NotADatabase);
    const bool plain = size == 0 || header.startsWith(PlainHeader);
    // A WAL file would make the engine create -wal and -shm files beside it even when only read.
    if (plain && header.size() >= 20 && (header.at(18) == 2 || header.at(19) == 2))
        throw QbError(QStringLiteral("The database file \"%1\" uses a journal mode that is not supported.")
                          .arg(QDir::toNativeSeparators(path)),
                      QbErrorKind::NotADatabase);

    try {
        if (plain) {
            // A password for a table that has none is not needed; like the original engine's
            // password list, it is simply unused.
            if (TryOpen(QString()) != KeyResult::Opened)
                throw QbError(QStringLiteral("The file \"%1\" is not a database.").arg(QDir::toNativeSeparators(path)),
                              QbErrorKind::NotADatabase);
            m_encrypted = false;
        } else {
            while (m_password.isEmpty() || TryOpen(m_password) != KeyResult::Opened) {
                Wipe(m_password);
                // An empty answer counts as declining, or the hook could be asked forever.
                if (!m_passwordRequest || !m_passwordRequest(m_password) || m_password.isEmpty())
                    throw QbError(InsufficientRights(m_folder), QbErrorKind::WrongKey);
            }
            m_encrypted = true;
        }
        CheckDocsTable();
        // Exclusive locking mode keeps the lock that this transaction takes until Close().
        Exec(QStringLiteral("BEGIN EXCLUSIVE; COMMIT;"));
        PrepareNameOrder();
    } catch (const QbError&) {
        // The table checks and the lock come after the key, so another holder shows up here.
        const int primary = m_db ? (sqlite3_errcode(m_db) & 0xff) : SQLITE_OK;
        CloseHandle();
        if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
            throw QbError(InUse(m_folder), QbErrorKind::InUse);
        throw;
    }
}

TDatabaseConnection::KeyResult TDatabaseConnection::TryOpen(const QString& password)
{
    CloseHandle();
    const QString path = FilePath();
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    m_db = db;
    if (rc != SQLITE_OK) {
        const QString message = SqlEngine::ErrorText(db, QStringLiteral("Can not open \"%1\"").arg(path));
        CloseHandle();
        throw QbError(message, QbErrorKind::Engine);
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, BusyTimeoutMs);
    SqlEngine::RegisterNameCollation(m_db);
    if (!password.isEmpty()) {
        QByteArray key = password.toUtf8();
        const int keyed = sqlite3_key(m_db, key.constData(), int(key.size()));
        key.fill('\0');
        if (keyed != SQLITE_OK)
            throw QbError(ErrorText(QStringLiteral("Can not set the database key")));
        SqlEngine::ApplyKeySettings(m_db, false);
    }
    // PRAGMA key accepts any key; only a real read proves it.
    sqlite3_stmt* stmt = nullptr;
    int step = sqlite3_prepare_v2(m_db, "SELECT count(*) FROM sqlite_master", -1, &stmt, nullptr);
    if (step == SQLITE_OK)
        step = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (step == SQLITE_ROW) {
        Exec(QStringLiteral(
            "PRAGMA main.locking_mode = EXCLUSIVE; PRAGMA main.synchronous = FULL; PRAGMA main.cache_size = -32768;"));
        return KeyResult::Opened;
    }
    const int primary = sqlite3_errcode(m_db) & 0xff;
    if (primary == SQLITE_NOTADB && !password.isEmpty()) {
        CloseHandle();
        return KeyResult::WrongKey;
    }
    QString message;
    QbErrorKind kind = QbErrorKind::Engine;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
        message = InUse(m_folder);
        kind = QbErrorKind::InUse;
    } else if (primary == SQLITE_NOTADB) {
        message = QStringLiteral("The file \"%1\" is not a database.").arg(QDir::toNativeSeparators(path));
        kind = QbErrorKind::NotADatabase;
    } else {
        message = ErrorText(QStringLiteral("Can not read \"%1\"").arg(QDir::toNativeSeparators(path)));
        if (primary == SQLITE_IOERR)
            kind = QbErrorKind::Io;
    }
    CloseHandle();
    throw QbError(message, kind);
}

void TDatabaseConnection::CheckDocsTable()
{
    static const QSet<QString> expected
        = {QStringLiteral("doc_id"), QStringLiteral("doc_type"), QStringLiteral("doc_name"), QStringLiteral("c_date"),
           QStringLiteral("l_date"), QStringLiteral("dsc"),      QStringLiteral("oleobj"),   QStringLiteral("image")};
    {
        TQuery table(*this,
                     QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'Docs'"));
        if (!table.Next() || table.Value(0).toInt() == 0)
            throw QbError(
                QStringLiteral("The database \"%1\" holds no table Docs.").arg(QDir::toNativeSeparators(m_folder)),
                QbErrorKind::NotADatabase);
    }
    QSet<QString> columns;
    TQuery info(*this, QStringLiteral("PRAGMA table_info(Docs)"));
    while (info.Next())
        columns.insert(info.Value(QStringLiteral("name")).toString().toLower());
    if (columns != expected)
        throw QbError(QStringLiteral("The table Docs of the database \"%1\" does not have the expected columns.")
                          .arg(QDir::toNativeSeparators(m_folder)),
                      QbErrorKind::NotADatabase);
}

void TDatabaseConnection::Close()
{
    CloseHandle();
    m_encrypted = false;
}

void TDatabaseConnection::CloseHandle()
{
    std::set<TQuery*> queries;
    {
        const std::lock_guard<std::mutex> lock(m_queriesLock);
        queries.swap(m_queries);
    }
    for (TQuery* query : queries)
        query->Detach();
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

QString TDatabaseConnection::TableType() const
{
    if (!m_db)
        throw QbError(QStringLiteral("The database is not open."));
    return m_encrypted ? QStringLiteral("SQLCIPHER") : QStringLiteral("SQLITE");
}

void TDatabaseConnection::PrepareNameOrder()
{
    m_nameOrderTrusted = true;
    m_nameOrderProblem.clear();
    const QString wanted = SqlEngine::NameOrderIndex();
    QStringList stale;
    bool present = false;
    {
        TQuery indexes(*this,
                       QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'Docs' "
                                      "AND substr(name, 1, :N) = :PREFIX"));
        indexes.Bind(QStringLiteral(":N"), int(std::strlen(SqlEngine::NameOrderIndexPrefix)));
        indexes.Bind(QStringLiteral(":PREFIX"), QString::fromLatin1(SqlEngine::NameOrderIndexPrefix));
        while (indexes.Next()) {
            const QString name = indexes.Value(0).toString();
            if (name == wanted)
                present = true;
            else
                stale << name;
        }
    }
    const auto quoted = [](const QString& name) {
        return QStringLiteral("\"%1\"").arg(QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")));
    };
    // The name alone proves nothing: the first open of a file in this process walks it once.
    bool rebuild = false;
    if (present) {
        struct stat st
        {
        };
        const bool known = ::stat(QFile::encodeName(FilePath()).constData(), &st) == 0;
        static std::set<std::pair<dev_t, ino_t>> checked;
        const std::pair<dev_t, ino_t> file{st.st_dev, st.st_ino};
        if (!known || !checked.count(file)) {
            try {
                rebuild = !SqlEngine::NameOrderSound(m_db, wanted);
            } catch (const QbError&) {
                rebuild = true; // unreadable in its order: built again below
            }
            if (!rebuild && known)
                checked.insert(file);
        }
    }
    if (present && stale.isEmpty() && !rebuild)
        return;
    QString sql = QStringLiteral("BEGIN;");
    for (const QString& name : stale)
        sql += QStringLiteral(" DROP INDEX %1;").arg(quoted(name));
    if (!present)
        sql += QStringLiteral(" %1;").arg(SqlEngine::NameOrderIndexSql(wanted));
    else if (rebuild)
        sql += QStringLiteral(" REINDEX %1;").arg(quoted(wanted));
    sql += QStringLiteral(" COMMIT;");
    try {
        Exec(sql);
    } catch (const QbError& e) {
        // A read-only or full file still opens. An index in another order that stays must not be
        // used: the list then sorts the names itself, which is slower, and says so.
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        qWarning("%s", qPrintable(e.Message()));
        if (rebuild || !stale.isEmpty()) {
            m_nameOrderTrusted = false;
            m_nameOrderProblem
                = QStringLiteral("The index that keeps the names of the database \"%1\" in order is damaged or "
                                 "out of date and could not be rebuilt (%2).\nThe documents are all listed, but "
                                 "sorting them takes longer.")
                      .arg(QDir::toNativeSeparators(m_folder), e.Message());
        }
    }
}

void TDatabaseConnection::Exec(const QString& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(Handle(), sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        QString message = ErrorText(QStringLiteral("Database error"));
        sqlite3_free(error);
        throw QbError(message, QbErrorKind::Engine);
    }
}

namespace {

// The engine asks this between steps of a long statement; non-zero interrupts it.
int AskStop(void* stop)
{
    return (*static_cast<const TDatabaseConnection::StopCheck*>(stop))() ? 1 : 0;
}

} // namespace

void TDatabaseConnection::ExportTo(const QString& target, const QString& password, const StopCheck& stop)
{
    RemoveWithJournal(target);
    // The connection may not create files, so the empty target is made here, like the file it replaces.
    CreateEmptyFile(target, FilePath());
    bool attached = false;
    try {
        SqlEngine::ApplyKeySettings(m_db, true);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, "ATTACH DATABASE ?1 AS rewrite KEY ?2", -1, &stmt, nullptr) != SQLITE_OK)
            throw QbError(ErrorText(QStringLiteral("Can not rewrite the database")), QbErrorKind::Engine);
        const QByteArray file = QFile::encodeName(target);
        QByteArray key = password.toUtf8();
        sqlite3_bind_text(stmt, 1, file.constData(), int(file.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, key.constData(), int(key.size()), SQLITE_TRANSIENT);
        key.fill('\0');
        const int rc = sqlite3_step(stmt);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            throw QbError(ErrorText(QStringLiteral("Can not rewrite the database")), QbErrorKind::Engine);
        attached = true;
        // Asked every few steps: one step copies a whole row, which may be megabytes of content.
        if (stop)
            sqlite3_progress_handler(m_db, 10, AskStop, const_cast<StopCheck*>(&stop));
        const int exported = sqlite3_exec(
            m_db, "PRAGMA rewrite.synchronous = FULL; SELECT sqlcipher_export('rewrite');", nullptr, nullptr, nullptr);
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
        if (exported == SQLITE_INTERRUPT || (exported != SQLITE_OK && stop && stop()))
            throw QbError(QStringLiteral("The operation was stopped before it changed anything."),
                          QbErrorKind::Stopped);
        if (exported != SQLITE_OK)
            throw QbError(ErrorText(QStringLiteral("Database error")), QbErrorKind::Engine);
        attached = false;
        Exec(QStringLiteral("DETACH DATABASE rewrite"));
        if (!SyncPath(target, false))
            throw QbError(
                QStringLiteral("Can not write \"%1\" to disk: %2").arg(QDir::toNativeSeparators(target), SystemError()),
                QbErrorKind::Io);
    } catch (...) {
        if (attached)
            sqlite3_exec(m_db, "DETACH DATABASE rewrite", nullptr, nullptr, nullptr);
        RemoveWithJournal(target);
        throw;
    }
}

void TDatabaseConnection::Restructure(const QString& newPassword, const StopCheck& stop)
{
    Handle();
    if (newPassword.size() > MaxPasswordLength)
        throw QbError(QStringLiteral("The password is longer than %1 characters.").arg(MaxPasswordLength));

    // A new key goes on by export as well: the engine's rekey reports success even when it
    // rolled back (a full disk), which would leave the wrong key to blame.
    const QString path = FilePath();
    const QString target = path + QStringLiteral(".rewrite");
    if (stop && stop())
        throw QbError(QStringLiteral("The operation was stopped before it changed anything."), QbErrorKind::Stopped);
    ExportTo(target, newPassword, stop);
    // Renamed while the old file is still locked, so nobody writes to it meanwhile.
    if (!m_rename(target, path)) {
        const QString reason = SystemError();
        RemoveWithJournal(target);
        throw QbError(
            QStringLiteral("Can not replace the database file \"%1\": %2").arg(QDir::toNativeSeparators(path), reason),
            QbErrorKind::Io);
    }
    SyncPath(m_folder, true);
    // Reopen with the new key, which also proves it; the old file's journal goes with its handle.
    AddPassword(newPassword);
    Open();
}

bool TDatabaseConnection::IsKeyedWith(const QString& password)
{
    Handle();
    if (!m_encrypted || password.isEmpty())
        return !m_encrypted && password.isEmpty();
    // The open file is locked, so the proof is a small file that the engine keys as it keyed
    // the database (an attachment without a key takes the open one's key and salt); a second
    // handle keyed with the password reads it only when the two agree. It holds no data.
    QTemporaryDir folder;
    if (!folder.isValid())
        throw QbError(QStringLiteral("Can not create a temporary folder: %1").arg(folder.errorString()),
                      QbErrorKind::Io);
    const QString proof = folder.filePath(QStringLiteral("proof.db"));
    CreateEmptyFile(proof);
    SqlEngine::ApplyKeySettings(m_db, true);
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, "ATTACH DATABASE ?1 AS proof", -1, &stmt, nullptr);
    const QByteArray file = QFile::encodeName(proof);
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, file.constData(), int(file.size()), SQLITE_TRANSIENT);
        rc = sqlite3_step(stmt) == SQLITE_DONE ? SQLITE_OK : SQLITE_ERROR;
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_OK)
        throw QbError(ErrorText(QStringLiteral("Can not check the password")), QbErrorKind::Engine);
    rc = sqlite3_exec(m_db, "CREATE TABLE proof.proof (x)", nullptr, nullptr, nullptr);
    const QString failure = rc == SQLITE_OK ? QString() : ErrorText(QStringLiteral("Can not check the password"));
    sqlite3_exec(m_db, "DETACH DATABASE proof", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw QbError(failure, QbErrorKind::Engine);

    sqlite3* opened = nullptr;
    const int rcOpen = sqlite3_open_v2(file.constData(), &opened, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> probe(opened, sqlite3_close);
    if (rcOpen != SQLITE_OK)
        throw QbError(SqlEngine::ErrorText(opened, QStringLiteral("Can not check the password")), QbErrorKind::Engine);
    QByteArray key = password.toUtf8();
    const int keyed = sqlite3_key(opened, key.constData(), int(key.size()));
    key.fill('\0');
    if (keyed != SQLITE_OK)
        return false;
    SqlEngine::ApplyKeySettings(opened, false);
    return sqlite3_exec(opened, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool TDatabaseConnection::EngineUsable()
{
    return SqlEngine::CipherMajorVersion() >= MinCipherMajorVersion;
}

int TDatabaseConnection::EngineVersion()
{
    if (SqlEngine::CipherVersion().isEmpty())
        throw QbError(QStringLiteral("The database engine has no encryption support (SQLCipher is missing)."),
                      QbErrorKind::Engine);
    return sqlite3_libversion_number();
}
