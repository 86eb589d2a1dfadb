// quietbox-docs: list, export, import, print and search the documents of a Quietbox database from scripts.
#include "core/archive/BackRest.h"
#include "core/common/CoreDumps.h"
#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/DocStore.h"
#include "core/database/TextIndex.h"
#include "core/documents/DocFiles.h"
#include "core/documents/Search.h"
#include "core/settings/SettingsFile.h"
#include "core/settings/SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QString>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Exit statuses, as the manual page lists them.
enum Status : int
{
    Ok = 0,
    Stopped = 1,
    NoDatabase = 2,
    NotFound = 3, // a named document or a file to import does not exist, or nothing matches
    WrongPassword = 4,
    Failed = 5, // the archive tool's status, the database in use included
    Exists = 6,
    UsageError = 64
};

volatile std::sig_atomic_t g_interrupted = 0;

void OnSignal(int)
{
    g_interrupted = 1;
}

const char* const HelpText = R"(Usage: quietbox-docs [OPTIONS] COMMAND DB ARGUMENTS...

Lists, exports, imports, prints and searches the documents of a Quietbox database. DB is the
name of a database registered in Quietbox's settings, or a database folder.

Commands:
  list DB                    print each document's type, creation date and name, one per line
  export DB FOLDER [NAME...] write the named documents (all without a name) into FOLDER as
                             files: rich text as HTML, pictures as BMP, embedded objects as
                             their own file. Existing files are never replaced.
  import DB FILE...          add each file as a document named after it: text and HTML files
                             as rich text, pictures as pictures, anything else as an embedded
                             object of its default application. Nothing is left of a file
                             that fails.
  cat DB NAME                print a rich-text document as plain text
  search DB WORDS...         print the names of the documents whose text or name holds every
                             word, one per line: words, prefixes (lett*) and phrases in double
                             quotes ("dear anna"); case and accents do not matter. Builds the
                             index of the text first where it is missing or incomplete.

Options:
  --password-fd N            read the password from file descriptor N (up to its first line
                             end) instead of asking on the terminal
  -h, --help                 show this text
  --version                  show the version

A protected database's password is asked on the terminal without echo. A wrong password ends
the command with status 4; it never counts towards Quietbox's drop-after-wrong-passwords policy.

Exit status:
  0   success
  1   stopped by a signal; nothing half written stays
  2   no such database
  3   no such document, a file to import does not exist, or no document matches
  4   the password is missing or wrong
  5   a failure, or the database is in use (a running Quietbox has it open)
  6   a file to export exists already
  64  usage error
)";

void Say(const QString& text)
{
    std::fprintf(stderr, "quietbox-docs: %s\n", text.simplified().toLocal8Bit().constData());
}

int Usage(const char* why)
{
    std::fprintf(stderr, "quietbox-docs: %s\nTry 'quietbox-docs --help'.\n", why);
    return UsageError;
}

// The folder of a registered name, else the argument itself when it is a folder.
QString DatabaseFolder(const QString& db)
{
    TSettingsFile settings;
    if (QFileInfo::exists(TSettingsFile::SettingsFileName()) && settings.Load()) {
        if (const TOrbPigger* list = settings.Root().FindChild(SettingsKey::BaseList))
            if (const TOrbPigger* entry = list->FindChildByAttr(SettingsKey::Name, db))
                return entry->GetAttr(SettingsKey::Path);
    }
    return QFileInfo(db).isDir() ? db : QString();
}

bool ReadPassword(int fd, QString& password)
{
    const bool terminal = fd < 0;
    if (terminal) {
        fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return false;
    }
    termios saved{};
    const bool echoOff = terminal && ::tcgetattr(fd, &saved) == 0;
    if (terminal) {
        const char prompt[] = "Password: ";
        (void)!::write(fd, prompt, sizeof prompt - 1);
    }
    if (echoOff) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    QByteArray bytes;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n' && bytes.size() <= 4 * TDatabaseConnection::MaxPasswordLength)
        bytes += c;
    if (echoOff) {
        ::tcsetattr(fd, TCSAFLUSH, &saved);
        (void)!::write(fd, "\n", 1);
    }
    if (terminal)
        ::close(fd);
    password = QString::fromUtf8(bytes);
    bytes.fill('\0');
    return true;
}

struct Run
{
    QString command;
    QStringList args;
    int passwordFd = -1;
};

// Ctrl-C ends the streams at their next chunk; the work then fails and leaves nothing half made.
const DocFiles::Progress Interruptible = [](qint64, qint64) { return g_interrupted == 0; };

int Fail(const QbError& e)
{
    Say(e.Message());
    if (g_interrupted)
        return Stopped;
    return e.Kind() == QbErrorKind::WrongKey ? WrongPassword : Failed;
}

std::vector<TDocRow> Named(const std::vector<TDocRow>& rows, const QStringList& names, QString& missing)
{
    std::vector<TDocRow> chosen;
    for (const QString& name : names) {
        const auto it = std::find_if(rows.begin(), rows.end(), [&](const TDocRow& r) { return r.Name == name; });
        if (it == rows.end()) {
            missing = name;
            return {};
        }
        chosen.push_back(*it);
    }
    return chosen;
}

int Export(TDatabaseConnection& connection, const QString& folder, const QStringList& names)
{
    TDocStore store(connection);
    const std::vector<TDocRow> rows = store.ListDocuments();
    QString missing;
    const std::vector<TDocRow> chosen = names.isEmpty() ? rows : Named(rows, names, missing);
    if (!missing.isEmpty()) {
        Say(QStringLiteral("no document named \"%1\"").arg(missing));
        return NotFound;
    }
    if (!QFileInfo(folder).isDir()) {
        Say(QStringLiteral("no folder \"%1\"").arg(folder));
        return Failed;
    }
    QStringList taken;
    for (const TDocRow& row : chosen) {
        const QString file
            = DocFiles::UniqueFileName(row.Name, DocFiles::SuffixFor(connection, row, DocFiles::Format::Native), taken);
        const QString target = QDir(folder).filePath(file);
        if (QFileInfo::exists(target)) {
            Say(QStringLiteral("\"%1\" exists; nothing was written over it").arg(target));
            return Exists;
        }
        DocFiles::ExportDocument(connection, row, DocFiles::Format::Native, target, false, Interruptible);
        std::printf("%s\n", QFile::encodeName(target).constData());
    }
    return Ok;
}

int Execute(const Run& run)
{
    const QString folder = DatabaseFolder(run.args[0]);
    if (folder.isEmpty() || !QFileInfo(QDir(folder).filePath(TDatabaseConnection::FileName)).isFile()) {
        Say(QStringLiteral("no database \"%1\"").arg(run.args[0]));
        return NoDatabase;
    }
    if (const QString why = BackRest::InUseRefusal(folder); !why.isEmpty()) {
        Say(why);
        return Failed;
    }
    if (run.command == QStringLiteral("import")) {
        for (const QString& file : run.args.mid(1))
            if (!QFileInfo(file).isFile()) {
                Say(QStringLiteral("no file \"%1\"").arg(file));
                return NotFound;
            }
    }

    TDatabaseConnection connection;
    connection.SetParams(folder);
    // Asked only for a protected database, and once: a wrong password ends the run.
    bool asked = false;
    connection.SetPasswordRequest([&](QString& password) {
        if (asked)
            return false;
        asked = true;
        return ReadPassword(run.passwordFd, password);
    });
    connection.Open();
    // Contents stream through in chunks: a small page cache keeps the tool's memory small.
    connection.Exec(QStringLiteral("PRAGMA main.cache_size = -4096;"));

    if (run.command == QStringLiteral("list")) {
        for (const TDocRow& row : TDocStore(connection).ListDocuments())
            std::printf("%s\t%s\t%s\n", row.Type.toUtf8().constData(),
                        row.CDate.toString(Qt::ISODate).toUtf8().constData(), row.Name.toUtf8().constData());
        return Ok;
    }
    if (run.command == QStringLiteral("cat")) {
        QString missing;
        const std::vector<TDocRow> rows = Named(TDocStore(connection).ListDocuments(), {run.args[1]}, missing);
        if (rows.empty()) {
            Say(QStringLiteral("no document named \"%1\"").arg(run.args[1]));
            return NotFound;
        }
        if (rows.front().Type != QStringLiteral("TXT")) {
            Say(QStringLiteral("\"%1\" is not a rich-text document").arg(run.args[1]));
            return Failed;
        }
        const QByteArray text = DocFiles::PlainText(connection, rows.front().Id).toUtf8();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        if (!text.endsWith('\n'))
            std::fputc('\n', stdout);
        return Ok;
    }
    if (run.command == QStringLiteral("export"))
        return Export(connection, run.args[1], run.args.mid(2));
    if (run.command == QStringLiteral("search")) {
        // A build stopped by a signal keeps what it indexed; the next search goes on from there.
        if (!TextIndex::Build(connection, {}, [] { return g_interrupted != 0; })) {
            Say(QStringLiteral("stopped while indexing; the next search goes on from there"));
            return Stopped;
        }
        // The words are read as the search window reads what is typed into it.
        const QString words = run.args.mid(1).join(QLatin1Char(' '));
        const std::vector<TSearchHit> hits = TDocSearch::Run(connection, words, TDocSearch::InText, false);
        if (hits.empty()) {
            Say(QStringLiteral("no document holds %1").arg(words));
            return NotFound;
        }
        for (const TSearchHit& hit : hits)
            std::printf("%s\n", hit.Name.toUtf8().constData());
        return Ok;
    }
    for (const QString& file : run.args.mid(1))
        DocFiles::ImportFile(connection, file, Interruptible);
    return Ok;
}

} // namespace

int main(int argc, char** argv)
{
    // It reads documents in clear: no core file may keep them.
    CoreDumps::Forbid();
    Run run;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-h" || arg == "--help") {
            std::fputs(HelpText, stdout);
            return Ok;
        }
        if (arg == "--version") {
            std::printf("quietbox-docs %s\n", QUIETBOX_VERSION);
            return Ok;
        }
        if (arg == "--password-fd" || arg.startsWith("--password-fd=")) {
            QByteArray value;
            if (arg == "--password-fd") {
                if (++i >= argc)
                    return Usage("--password-fd needs a file descriptor");
                value = argv[i];
            } else {
                value = arg.mid(14);
            }
            bool ok = false;
            run.passwordFd = value.toInt(&ok);
            if (!ok || run.passwordFd < 0)
                return Usage("--password-fd needs a file descriptor");
        } else if (arg == "--") {
            for (++i; i < argc; ++i)
                run.args << QFile::decodeName(argv[i]);
        } else if (arg.startsWith('-') && arg.size() > 1) {
            return Usage(("unknown option " + arg).constData());
        } else {
            run.args << QFile::decodeName(argv[i]);
        }
    }
    if (run.args.isEmpty())
        return Usage("a command is needed: list, export, import, cat or search");
    run.command = run.args.takeFirst();
    const QString& c = run.command;
    const bool known = c == QStringLiteral("list") || c == QStringLiteral("export") || c == QStringLiteral("import")
        || c == QStringLiteral("cat") || c == QStringLiteral("search");
    if (!known)
        return Usage(("unknown command " + c.toLocal8Bit()).constData());
    const qsizetype least = c == QStringLiteral("list") ? 1 : 2;
    const bool exact = c == QStringLiteral("list") || c == QStringLiteral("cat");
    if (run.args.size() < least || (exact && run.args.size() != least))
        return Usage(("wrong number of arguments for '" + c.toLocal8Bit() + "'").constData());
    if (c == QStringLiteral("search") && TextIndex::MatchQuery(run.args.mid(1).join(QLatin1Char(' '))).isEmpty())
        return Usage("search needs a word");

    // Text documents are laid out and pictures written by Qt's GUI classes; no display is used.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("quietbox")); // its settings are Quietbox's

    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    try {
        const int status = Execute(run);
        if (std::fflush(stdout) != 0) {
            Say(QStringLiteral("cannot write the output"));
            return Failed;
        }
        return status;
    } catch (const QbError& e) {
        return Fail(e);
    }
}
