#include "core/database/SqlEngine.h"

#include "core/common/QbError.h"

#include <QCollator>
#include <QCryptographicHash>
#include <QLocale>
#include <algorithm>
#include <memory>

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

QLocale NameLocale()
{
    QLocale locale;
    // The C locale has no rules for letters beyond ASCII; the common ones order them sensibly.
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    return locale;
}

QCollator* NewNameCollator()
{
    auto* collator = new QCollator(NameLocale());
    collator->setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace

QString NameOrderIndex()
{
    // Names where locales and collator versions tend to disagree: accents, ligatures, case,
    // digits, punctuation, other scripts. Sorting them is a few hundred comparisons.
    const QString fingerprint = [] {
        QStringList probes = {
            QStringLiteral("a"),          QStringLiteral("A"),      QStringLiteral("\u00e1"), QStringLiteral("\u00e4"),
            QStringLiteral("ae"),         QStringLiteral("\u00e6"), QStringLiteral("aa"),     QStringLiteral("\u00e5"),
            QStringLiteral("b"),          QStringLiteral("ch"),     QStringLiteral("c"),      QStringLiteral("\u010d"),
            QStringLiteral("d"),          QStringLiteral("\u00f0"), QStringLiteral("e"),      QStringLiteral("\u00e9"),
            QStringLiteral("h"),          QStringLiteral("i"),      QStringLiteral("\u0131"), QStringLiteral("\u0130"),
            QStringLiteral("l"),          QStringLiteral("\u0142"), QStringLiteral("ll"),     QStringLiteral("n"),
            QStringLiteral("\u00f1"),     QStringLiteral("o"),      QStringLiteral("\u00f6"), QStringLiteral("\u00f8"),
            QStringLiteral("oe"),         QStringLiteral("\u0153"), QStringLiteral("s"),      QStringLiteral("ss"),
            QStringLiteral("\u00df"),     QStringLiteral("\u0161"), QStringLiteral("th"),     QStringLiteral("\u00fe"),
            QStringLiteral("u"),          QStringLiteral("\u00fc"), QStringLiteral("v"),      QStringLiteral("w"),
            QStringLiteral("y"),          QStringLiteral("z"),      QStringLiteral("\u017e"), QStringLiteral("1"),
            QStringLiteral("10"),         QStringLiteral("2"),      QStringLiteral(" "),      QStringLiteral("-"),
            QStringLiteral("_"),          QStringLiteral("."),      QStringLiteral("\u03c9"), QStringLiteral("\u044f"),
            QStringLiteral("\u65e5"),     QStringLiteral("\u3042"), QStringLiteral("\u05d0"), QStringLiteral("\u0627"),
            QStringLiteral("\U0001F600"),
        };
        std::unique_ptr<QCollator> collator(NewNameCollator());
        std::sort(probes.begin(), probes.end(), [&](const QString& a, const QString& b) {
            const int order = collator->compare(a, b);
            return order != 0 ? order < 0 : a < b;
        });
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(NameLocale().name().toUtf8());
        hash.addData(QByteArrayView(qVersion()));
        hash.addData(probes.join(QChar(0)).toUtf8());
        return QString::fromLatin1(hash.result().toHex().left(12));
    }();
    return QLatin1String(NameOrderIndexPrefix) + fingerprint;
}

QString NameOrderIndexSql(const QString& name)
{
    // Every column the list and the search read, so neither touches the table's rows.
    return QStringLiteral("CREATE INDEX %1 ON Docs (Doc_name COLLATE %2, Doc_id, Doc_type, C_date, L_date)")
        .arg(name, QLatin1String(NameCollation));
}

void RegisterNameCollation(sqlite3* db)
{
    QCollator* collator = NewNameCollator();
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
