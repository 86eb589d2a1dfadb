#include "core/database/SqlEngine.h"

#include "core/common/QbError.h"

#include <QCollator>
#include <QLocale>

namespace SqlEngine {

QString ErrorText(sqlite3* db, const QString& what)
{
    if (!db)
        return what;
    return what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db));
}

namespace {

bool IsCipherVersion4OrLater()
{
    static const bool v4 = CipherMajorVersion() >= 4;
    return v4;
}

void Run(sqlite3* db, const QString& sql)
{
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw QbError(ErrorText(db, QStringLiteral("Can not set the cipher parameters")));
}

int CompareNames(void* collator, int size1, const void* text1, int size2, const void* text2)
{
    const QStringView a(static_cast<const char16_t*>(text1), size1 / 2);
    const QStringView b(static_cast<const char16_t*>(text2), size2 / 2);
    const int order = static_cast<const QCollator*>(collator)->compare(a, b);
    return order != 0 ? order : a.compare(b);
}

void DeleteCollator(void* collator)
{
    delete static_cast<QCollator*>(collator);
}

} // namespace

void RegisterNameCollation(sqlite3* db)
{
    QLocale locale;
    // The C locale has no rules for letters beyond ASCII; the common ones order them sensibly.
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    auto* collator = new QCollator(locale);
    collator->setCaseSensitivity(Qt::CaseInsensitive);
    if (sqlite3_create_collation_v2(db, NameCollation, SQLITE_UTF16_ALIGNED, collator, CompareNames, DeleteCollator)
        != SQLITE_OK) {
        delete collator; // not handed over when the call fails
        throw QbError(ErrorText(db, QStringLiteral("Can not set up the order of names")));
    }
}

void ApplyKeySettings(sqlite3* db, bool forDefaults)
{
    // SQLCipher 4 changed its defaults; version 3 settings keep files portable between builds.
    if (forDefaults) {
        if (IsCipherVersion4OrLater())
            Run(db, QStringLiteral("PRAGMA cipher_default_compatibility = 3"));
        Run(db, QStringLiteral("PRAGMA cipher_default_kdf_iter = %1").arg(KdfIter));
    } else {
        if (IsCipherVersion4OrLater())
            Run(db, QStringLiteral("PRAGMA cipher_compatibility = 3"));
        Run(db, QStringLiteral("PRAGMA kdf_iter = %1").arg(KdfIter));
    }
}

QString CipherVersion()
{
    sqlite3* db = nullptr;
    QString version;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA cipher_version", -1, &stmt, nullptr) == SQLITE_OK
            && sqlite3_step(stmt) == SQLITE_ROW)
            version = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return version.trimmed();
}

int CipherMajorVersion()
{
    return CipherVersion().section(QLatin1Char('.'), 0, 0).toInt();
}

} // namespace SqlEngine
