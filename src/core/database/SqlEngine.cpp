#include "core/database/SqlEngine.h"

#include "core/common/QbError.h"

#include <QCollator>
#include <QCryptographicHash>
#include <QLocale>
#include <algorithm>
#include <cstring>
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
        hash.addData(NameOrderIndexSql(QString()).toUtf8());
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
    return QStringLiteral("CREATE INDEX %1 ON Docs (Doc_name COLLATE %2, Doc_id, Doc_type, C_date, L_date) WHERE %3")
        .arg(name, QLatin1String(NameCollation), QLatin1String(EveryRow));
}

namespace {

// A value as the engine orders an index column: by storage class first (null, number, text,
// blob), then within it; text by the column's collation.
struct KeyValue
{
    int rank = 0;
    double number = 0;
    QString text; // a name's text
    QByteArray bytes; // a blob, or text under the binary collation

    void Read(sqlite3_stmt* stmt, int column, bool collated)
    {
        const int type = sqlite3_column_type(stmt, column);
        rank = type == SQLITE_NULL                             ? 0
            : (type == SQLITE_INTEGER || type == SQLITE_FLOAT) ? 1
            : type == SQLITE_TEXT                              ? 2
                                                               : 3;
        if (rank == 1) {
            number = sqlite3_column_double(stmt, column);
        } else if (rank == 2 && collated) {
            text = QString(reinterpret_cast<const QChar*>(sqlite3_column_text16(stmt, column)),
                           sqlite3_column_bytes16(stmt, column) / 2);
        } else if (rank >= 2) {
            const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, column));
            bytes = QByteArray(data, sqlite3_column_bytes(stmt, column));
        }
    }

    int Compare(const KeyValue& other, const QCollator* collator) const
    {
        if (rank != other.rank)
            return rank < other.rank ? -1 : 1;
        if (rank == 1)
            return number < other.number ? -1 : number > other.number ? 1 : 0;
        if (rank == 2 && collator) {
            const int order = collator->compare(text, other.text);
            return order != 0 ? order : text.compare(other.text);
        }
        const int order = std::memcmp(bytes.constData(), other.bytes.constData(),
                                      size_t(std::min(bytes.size(), other.bytes.size())));
        return order != 0 ? order : bytes.size() < other.bytes.size() ? -1 : bytes.size() > other.bytes.size() ? 1 : 0;
    }
};

} // namespace

bool NameOrderSound(sqlite3* db, const QString& index)
{
    const QString sql = QStringLiteral("SELECT Doc_name, Doc_id FROM Docs INDEXED BY \"%1\" WHERE %2 "
                                       "ORDER BY Doc_name COLLATE %3, Doc_id")
                            .arg(QString(index).replace(QLatin1Char('"'), QStringLiteral("\"\"")),
                                 QLatin1String(EveryRow), QLatin1String(NameCollation));
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &raw, nullptr) != SQLITE_OK)
        throw QbError(ErrorText(db, QStringLiteral("Can not check the order of names")));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
    const std::unique_ptr<QCollator> collator(NewNameCollator());
    KeyValue name[2], id[2];
    int rc = SQLITE_ROW;
    for (int row = 0; (rc = sqlite3_step(raw)) == SQLITE_ROW; ++row) {
        const int now = row & 1, before = now ^ 1;
        name[now].Read(raw, 0, true);
        id[now].Read(raw, 1, false);
        if (row == 0)
            continue;
        const int order = name[before].Compare(name[now], collator.get());
        if (order > 0 || (order == 0 && id[before].Compare(id[now], nullptr) > 0))
            return false;
    }
    if (rc != SQLITE_DONE)
        throw QbError(ErrorText(db, QStringLiteral("Can not check the order of names")));
    return true;
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
