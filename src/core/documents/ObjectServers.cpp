#include "core/documents/ObjectServers.h"

#include "core/common/QbError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QSet>
#include <QStandardPaths>
#include <algorithm>

namespace {

using Entries = QHash<QString, QString>;

// The keys of one group of a desktop-entry style file, localised keys left out.
Entries ReadGroup(const QString& path, const QString& group)
{
    Entries entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    const QString header = QLatin1Char('[') + group + QLatin1Char(']');
    bool inGroup = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (inGroup)
                break;
            inGroup = line == header;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inGroup || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (!key.contains(QLatin1Char('[')) && !entries.contains(key))
            entries.insert(key, line.mid(eq + 1).trimmed());
    }
    return entries;
}

// The escapes of a string value: \s \n \t \r \\.
QString Unescape(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
            case 's':
                out += QLatin1Char(' ');
                break;
            case 'n':
                out += QLatin1Char('\n');
                break;
            case 't':
                out += QLatin1Char('\t');
                break;
            case 'r':
                out += QLatin1Char('\r');
                break;
            default:
                out += next; // "\\" and "\;" alike
        }
    }
    return out;
}

QStringList SplitList(const QString& value)
{
    QStringList items;
    for (const QString& item : value.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString trimmed = item.trimmed();
        if (!trimmed.isEmpty())
            items << trimmed;
    }
    return items;
}

bool IsTrue(const Entries& entries, const char* key)
{
    return entries.value(QLatin1String(key)) == QLatin1String("true");
}

bool HasFileArgument(const QStringList& args)
{
    static const QLatin1String codes[]
        = {QLatin1String("%f"), QLatin1String("%F"), QLatin1String("%u"), QLatin1String("%U")};
    return std::any_of(args.begin(), args.end(), [](const QString& arg) {
        return std::any_of(std::begin(codes), std::end(codes), [&](QLatin1String code) { return arg.contains(code); });
    });
}

bool TryExecFound(const QString& tryExec)
{
    if (tryExec.isEmpty())
        return true;
    if (QDir::isAbsolutePath(tryExec))
        return QFileInfo(tryExec).isExecutable();
    return !QStandardPaths::findExecutable(tryExec).isEmpty();
}

std::optional<TObjectServer> ServerFromEntry(const QString& id, const QString& path)
{
    const Entries entries = ReadGroup(path, QStringLiteral("Desktop Entry"));
    if (entries.value(QStringLiteral("Type")) != QLatin1String("Application") || IsTrue(entries, "Hidden")
        || IsTrue(entries, "NoDisplay") || IsTrue(entries, "Terminal"))
        return std::nullopt;
    TObjectServer server;
    server.ClassName = id.chopped(int(qstrlen(".desktop")));
    if (server.ClassName.isEmpty() || server.ClassName.size() > ObjectServers::MaxClassLength)
        return std::nullopt;
    server.Exec = Unescape(entries.value(QStringLiteral("Exec")));
    try {
        if (!HasFileArgument(ObjectServers::SplitExec(server.Exec)))
            return std::nullopt;
    } catch (const QbError&) {
        return std::nullopt;
    }
    if (!TryExecFound(Unescape(entries.value(QStringLiteral("TryExec")))))
        return std::nullopt;
    server.Name = Unescape(entries.value(QStringLiteral("Name")));
    if (server.Name.isEmpty())
        server.Name = server.ClassName;
    server.Icon = Unescape(entries.value(QStringLiteral("Icon")));
    server.MimeTypes = SplitList(entries.value(QStringLiteral("MimeType")));
    server.DesktopFile = path;
    return server;
}

// Every server in the order of the data folders, then of the ids within one folder.
std::vector<TObjectServer> ServersInFolderOrder()
{
    std::vector<TObjectServer> servers;
    QSet<QString> seen;
    for (const QString& dataDir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QString appDir = QDir(dataDir).filePath(QStringLiteral("applications"));
        QStringList files;
        QDirIterator it(appDir, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        files.sort();
        for (const QString& file : files) {
            // The id of applications/a/b.desktop is "a-b.desktop".
            QString id = QDir(appDir).relativeFilePath(file);
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seen.contains(id))
                continue;
            seen.insert(id);
            if (auto server = ServerFromEntry(id, file))
                servers.push_back(std::move(*server));
        }
    }
    return servers;
}

bool Declares(const TObjectServer& server, const QMimeType& type)
{
    if (server.MimeTypes.contains(type.name()))
        return true;
    const QStringList aliases = type.aliases();
    return std::any_of(aliases.begin(), aliases.end(),
                       [&](const QString& alias) { return server.MimeTypes.contains(alias); });
}

// The ids mimeapps.list files name as the default for the type, most important first.
QStringList DefaultIds(const QMimeType& type)
{
    // In each folder the current desktop's own list comes before the common one.
    QStringList names;
    for (const QString& desktop : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts))
        names << desktop.toLower() + QStringLiteral("-mimeapps.list");
    names << QStringLiteral("mimeapps.list");
    QStringList files;
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation)) {
        for (const QString& name : names)
            files << QDir(dir).filePath(name);
    }
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        for (const QString& name : names)
            files << QDir(dir).filePath(QStringLiteral("applications/") + name);
    }
    QStringList ids;
    for (const QString& file : files) {
        const Entries defaults = ReadGroup(file, QStringLiteral("Default Applications"));
        for (const QString& name : QStringList{type.name()} + type.aliases())
            ids << SplitList(Unescape(defaults.value(name)));
    }
    return ids;
}

std::optional<TObjectServer> ServerFor(const std::vector<TObjectServer>& servers, const QMimeType& type)
{
    for (const QString& id : DefaultIds(type)) {
        for (const TObjectServer& server : servers) {
            if (server.ClassName + QStringLiteral(".desktop") == id)
                return server;
        }
    }
    for (const TObjectServer& server : servers) {
        if (Declares(server, type))
            return server;
    }
    return std::nullopt;
}

} // namespace

namespace ObjectServers {

std::vector<TObjectServer> All()
{
    std::vector<TObjectServer> servers = ServersInFolderOrder();
    std::sort(servers.begin(), servers.end(),
              [](const TObjectServer& a, const TObjectServer& b) { return a.ClassName < b.ClassName; });
    return servers;
}

std::optional<TObjectServer> Find(const QString& className)
{
    if (className.isEmpty())
        return std::nullopt;
    for (TObjectServer& server : ServersInFolderOrder()) {
        if (server.ClassName == className)
            return std::move(server);
    }
    return std::nullopt;
}

std::optional<TObjectServer> DefaultFor(const QString& mimeType)
{
    const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForName(mimeType);
    if (!type.isValid())
        return std::nullopt;
    const std::vector<TObjectServer> servers = ServersInFolderOrder();
    if (auto server = ServerFor(servers, type))
        return server;
    for (const QString& parent : type.allAncestors()) {
        if (auto server = ServerFor(servers, db.mimeTypeForName(parent)))
            return server;
    }
    return std::nullopt;
}

QString SuffixFor(const TObjectServer& server)
{
    const QMimeDatabase db;
    for (const QString& type : server.MimeTypes) {
        const QString suffix = db.mimeTypeForName(type).preferredSuffix();
        if (!suffix.isEmpty())
            return suffix;
    }
    return QString();
}

QStringList SplitExec(const QString& exec)
{
    QStringList args;
    QString current;
    bool inArg = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (c == QLatin1Char('\\') && i + 1 < exec.size()
                       && QStringLiteral("\"`$\\").contains(exec.at(i + 1))) {
                current += exec.at(++i);
            } else {
                current += c;
            }
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inArg)
                args << current;
            current.clear();
            inArg = false;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            inArg = true;
        } else {
            current += c;
            inArg = true;
        }
    }
    if (quoted)
        throw QbError(QStringLiteral("The command \"%1\" has an unclosed quote.").arg(exec));
    if (inArg)
        args << current;
    return args;
}

QStringList CommandLine(const TObjectServer& server, const QString& filePath)
{
    QStringList out;
    for (const QString& arg : SplitExec(server.Exec)) {
        if (arg == QLatin1String("%i")) {
            if (!server.Icon.isEmpty())
                out << QStringLiteral("--icon") << server.Icon;
            continue;
        }
        QString expanded;
        bool onlyDropped = true; // an argument made only of dropped codes disappears
        for (qsizetype i = 0; i < arg.size(); ++i) {
            if (arg.at(i) != QLatin1Char('%') || i + 1 == arg.size()) {
                expanded += arg.at(i);
                onlyDropped = false;
                continue;
            }
            const QChar code = arg.at(++i);
            if (QStringLiteral("fFuU").contains(code)) {
                expanded += filePath;
                onlyDropped = false;
            } else if (code == QLatin1Char('c')) {
                expanded += server.Name;
                onlyDropped = false;
            } else if (code == QLatin1Char('k')) {
                expanded += server.DesktopFile;
                onlyDropped = false;
            } else if (code == QLatin1Char('%')) {
                expanded += QLatin1Char('%');
                onlyDropped = false;
            }
        }
        if (!onlyDropped || arg.isEmpty())
            out << expanded;
    }
    if (out.isEmpty() || out.first().isEmpty())
        throw QbError(QStringLiteral("The object server \"%1\" has no command.").arg(server.ClassName));
    return out;
}

} // namespace ObjectServers
