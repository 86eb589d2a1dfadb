// Kills a worker with SIGKILL at random moments while it changes a database through the
// program's own code, then checks what the next start finds: every committed document with its
// content, an intact file under the right password, and nothing in clear left in or beside the
// folder once the open-time clean-up ran.
//
//   crash_test <documents|pack|password|restore> [rounds]      the test (20 rounds by default)
//   crash_test <scenario> <rounds> --part <i>/<n>              every n-th pair of rounds from i
//   crash_test --work <scenario> <args...>                     one worker, started by the test
//
// The test runs its rounds in two parts at once, each a process of its own with its own copies
// of the databases: the rounds mostly wait on fsync and the killed worker, not the processor.
//
// Workers log each committed step to a file, fsynced, before the next one starts: "begin" lines
// say what is about to happen, "done"/"end" lines that it was committed.

#include "core/archive/BackRest.h"
#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/DBactions.h"
#include "core/database/DocStore.h"
#include "core/database/Query.h"
#include "core/database/Schema.h"
#include "core/documents/ImageStore.h"
#include "core/documents/RichTextStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

const QString Marker = QStringLiteral("klartext-7QX"); // in every name: must never show in an encrypted file
const QString OldPassword = QStringLiteral("alt Passwort ü");
const QString NewPassword = QStringLiteral("neu Passwort ß");
const QString Folder = QStringLiteral("db база");
constexpr quint32 SeedBase = 20261208;

struct Doc
{
    QString name;
    QByteArray hash; // of the content cell; an empty cell hashes as no bytes
    bool operator==(const Doc&) const = default;
};
using Docs = std::map<QString, Doc>;

QByteArray Hash(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

// ---- the log ----------------------------------------------------------------------------

class Log
{
public:
    explicit Log(const QString& path)
        : m_file(path)
    {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
            throw QbError(QStringLiteral("Cannot write the log %1").arg(path));
    }
    void Line(const QStringList& fields)
    {
        m_file.write(fields.join(QLatin1Char('\t')).toUtf8() + '\n');
        m_file.flush();
        ::fsync(m_file.handle());
    }

private:
    QFile m_file;
};

QList<QStringList> ReadLog(const QString& path)
{
    QFile file(path);
    QList<QStringList> lines;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                lines << QString::fromUtf8(line).split(QLatin1Char('\t'));
    }
    return lines;
}

// Whether the last step the log announced was still running.
bool Pending(const QList<QStringList>& log)
{
    return !log.isEmpty() && log.last().value(0) == QStringLiteral("begin");
}

// ---- content ------------------------------------------------------------------------------

QByteArray RichText(QRandomGenerator& rng)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    const int paragraphs = 1 + int(rng.bounded(400));
    for (int i = 0; i < paragraphs; ++i) {
        QTextCharFormat format;
        format.setFontWeight(rng.bounded(3) == 0 ? QFont::Bold : QFont::Normal);
        cursor.insertText(QStringLiteral("Zeile %1 строка %2 ").arg(i).arg(rng.generate()).repeated(4), format);
        cursor.insertBlock();
    }
    return RichTextStore::Save(document);
}

QImage Picture(QRandomGenerator& rng)
{
    QImage image(40 + int(rng.bounded(300)), 40 + int(rng.bounded(200)), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, rng.generate() | 0xff000000u);
    return image;
}

// ---- reading a database through the program's adapter ------------------------------------

Docs ReadDocs(TDatabaseConnection& connection)
{
    TDocStore store(connection);
    Docs docs;
    for (const TDocRow& row : store.ListDocuments())
        docs[row.Id] = {row.Name, Hash(store.ReadContentBytes(row.Id, TDocStore::ContentColumn(row.Type)))};
    return docs;
}

QString IntegrityCheck(TDatabaseConnection& connection)
{
    TQuery query(connection, QStringLiteral("PRAGMA integrity_check"));
    QStringList result;
    while (query.Next())
        result << query.Value(0).toString();
    return result.join(QLatin1Char(' '));
}

struct Opened
{
    QString password; // the one that opened it ("" for a plain file)
    bool encrypted = false;
    Docs docs;
};

// Opens the database with the first of the passwords that fits (a plain file takes any),
// checks the file and reads every document. Faults go to `faults`.
std::optional<Opened> OpenAndRead(const QString& folder, const QStringList& passwords, QStringList& faults)
{
    TDatabaseConnection connection;
    connection.SetParams(folder);
    for (const QString& password : passwords) {
        connection.ClearPasswords();
        connection.AddPassword(password);
        try {
            connection.Open();
        } catch (const QbError& e) {
            if (e.Kind() == QbErrorKind::WrongKey)
                continue;
            faults << QStringLiteral("does not open: ") + e.Message();
            return std::nullopt;
        }
        Opened opened{connection.IsEncrypted() ? password : QString(), connection.IsEncrypted(), {}};
        try {
            if (const QString integrity = IntegrityCheck(connection); integrity != QStringLiteral("ok"))
                faults << QStringLiteral("integrity_check: ") + integrity;
            opened.docs = ReadDocs(connection);
        } catch (const QbError& e) {
            faults << QStringLiteral("cannot read the documents: ") + e.Message();
        }
        connection.Close();
        return opened;
    }
    faults << QStringLiteral("opens with none of the passwords \"%1\"").arg(passwords.join(QStringLiteral("\", \"")));
    return std::nullopt;
}

// What the open-time clean-up must leave: Docs.db alone in the folder, the folder alone in its
// parent, and no page in clear when the database is protected.
void CheckLeftovers(const QString& folder, bool encrypted, QStringList& faults)
{
    QString error;
    if (!BackRest::RemoveStaleCompanions(folder, &error))
        faults << QStringLiteral("clean-up failed: ") + error;
    const auto all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (const QString& name : QDir(folder).entryList(all))
        if (name != TDatabaseConnection::FileName)
            faults << QStringLiteral("left in the folder: ") + name;
    const QFileInfo info(folder);
    for (const QString& name : info.dir().entryList(all))
        if (name != info.fileName())
            faults << QStringLiteral("left beside the folder: ") + name;
    if (!encrypted)
        return;
    QFile db(QDir(folder).filePath(TDatabaseConnection::FileName));
    if (!db.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = db.readAll();
    if (bytes.startsWith("SQLite format 3"))
        faults << QStringLiteral("a protected database has a readable header");
    if (bytes.contains(Marker.toUtf8()))
        faults << QStringLiteral("a protected database holds document names in clear");
}

// A backup of a crashed folder archives the database alone, or refuses while a journal is hot.
void CheckBackup(const QString& folder, const QString& archive, QStringList& faults)
{
    QString error;
    const int rc = BackRest::BackupFolder(folder, archive, {}, 1, &error);
    if (rc == BackRest::Failed && error.contains(QStringLiteral("not closed properly")))
        return;
    if (rc != BackRest::Ok) {
        faults << QStringLiteral("backup failed: %1 %2").arg(rc).arg(error);
        return;
    }
    QList<BackRest::Entry> entries;
    BackRest::ListArchive(archive, entries);
    for (const BackRest::Entry& entry : entries)
        if (entry.name != QFile::encodeName(TDatabaseConnection::FileName))
            faults << QStringLiteral("archived: ") + BackRest::QuotedName(entry.name);
    QFile::remove(archive);
}

QString Describe(const Docs& docs)
{
    return QStringLiteral("%1 documents").arg(docs.size());
}

// ---- workers ------------------------------------------------------------------------------

void Announce(const char* what)
{
    std::printf("%s\n", what);
    std::fflush(stdout);
}

void OpenConnection(TDatabaseConnection& connection, const QString& folder, const QString& password)
{
    connection.SetParams(folder);
    connection.AddPassword(password);
    connection.Open();
}

// Creates, edits, renames and deletes documents until it is killed.
int WorkDocuments(const QString& folder, const QString& password, const QString& logPath, quint32 seed)
{
    QRandomGenerator rng(seed);
    TDatabaseConnection connection;
    OpenConnection(connection, folder, password);
    TDocStore store(connection);
    Log log(logPath);
    std::map<QString, QString> types; // live documents and their types
    auto pick = [&] { return std::next(types.begin(), qsizetype(rng.bounded(quint32(types.size()))))->first; };
    auto write = [&](const QString& id) {
        if (types[id] == QStringLiteral("TXT")) {
            const QByteArray bytes = RichText(rng);
            log.Line({QStringLiteral("begin"), QStringLiteral("write"), id, QString::fromLatin1(Hash(bytes))});
            store.WriteContentBytes(id, QStringLiteral("Image"), bytes);
        } else {
            const QImage image = Picture(rng);
            log.Line({QStringLiteral("begin"), QStringLiteral("write"), id,
                      QString::fromLatin1(Hash(ImageStore::EncodeBmp(image)))});
            ImageStore::WritePicture(connection, id, image);
        }
        log.Line({QStringLiteral("done")});
    };
    Announce("begin");
    for (int n = 0; n < 100000; ++n) {
        const quint32 roll = rng.bounded(100);
        if (types.size() < 3 || roll < 35) {
            const QString name = QStringLiteral("%1 %2 документ").arg(Marker).arg(n);
            const QString type = rng.bounded(2) ? QStringLiteral("TXT") : QStringLiteral("IMG");
            log.Line({QStringLiteral("begin"), QStringLiteral("create"), QString(), name});
            const QString id = store.CreateDocumentRecord(name, type);
            log.Line({QStringLiteral("done"), id});
            types[id] = type;
            write(id);
        } else if (roll < 75) {
            write(pick());
        } else if (roll < 88) {
            const QString id = pick();
            const QString name = QStringLiteral("%1 renamed %2").arg(Marker).arg(n);
            log.Line({QStringLiteral("begin"), QStringLiteral("rename"), id, name});
            store.RenameDocument(id, name);
            log.Line({QStringLiteral("done")});
        } else {
            const QString id = pick();
            log.Line({QStringLiteral("begin"), QStringLiteral("delete"), id});
            store.DeleteDocument(id);
            log.Line({QStringLiteral("done")});
            types.erase(id);
        }
    }
    return 0;
}

// One operation on the whole database, announced before and logged once it returned.
int WorkOperation(const QString& scenario, const QStringList& args)
{
    const QString folder = args.value(0);
    Log log(args.value(1));
    log.Line({QStringLiteral("begin")});
    if (scenario == QStringLiteral("pack")) {
        TDatabaseConnection connection;
        OpenConnection(connection, folder, args.value(2));
        Announce("begin");
        PackTable(connection);
        connection.Close();
    } else if (scenario == QStringLiteral("password")) {
        TDatabaseConnection adb;
        Announce("begin");
        SetDatabasePassword(adb, folder, NewPassword, args.value(2));
    } else {
        if (args.value(3) == QStringLiteral("inside")) {
            // As on a mount point: no staging folder beside the target, so it stages inside.
            BackRest::SetFaultHook([](const char* operation, const QByteArray& from, const QByteArray&) {
                return qstrcmp(operation, "mkdir") == 0 && from.contains(".restore-") ? EACCES : 0;
            });
        }
        Announce("begin");
        QString error;
        if (const int rc = BackRest::RestoreFolder(args.value(2), folder, {}, 1, &error)) {
            std::fprintf(stderr, "restore: %d %s\n", rc, qPrintable(error));
            return 3;
        }
    }
    log.Line({QStringLiteral("end")});
    Announce("end");
    return 0;
}

// ---- checks -----------------------------------------------------------------------------

// The documents the log says were committed, and the state with the unfinished step applied.
void ReplayLog(const QList<QStringList>& log, Docs& committed, std::optional<QStringList>& pending)
{
    std::optional<QStringList> open;
    for (const QStringList& line : log) {
        if (line.value(0) == QStringLiteral("begin")) {
            open = line;
            continue;
        }
        if (!open)
            continue;
        const QString op = open->value(1);
        const QString id = op == QStringLiteral("create") ? line.value(1) : open->value(2);
        if (op == QStringLiteral("create"))
            committed[id] = {open->value(3), Hash({})};
        else if (op == QStringLiteral("write"))
            committed[id].hash = open->value(3).toLatin1();
        else if (op == QStringLiteral("rename"))
            committed[id].name = open->value(3);
        else if (op == QStringLiteral("delete"))
            committed.erase(id);
        open.reset();
    }
    pending = open;
}

void CheckDocuments(const Docs& found, const QList<QStringList>& log, QStringList& faults)
{
    Docs committed;
    std::optional<QStringList> pending;
    ReplayLog(log, committed, pending);
    if (found == committed)
        return;
    if (pending) {
        Docs after = committed;
        const QString op = pending->value(1);
        const QString id = pending->value(2);
        if (op == QStringLiteral("create")) {
            // The new identifier was never logged: take the one document the log does not know.
            for (const auto& [foundId, doc] : found)
                if (!committed.count(foundId))
                    after[foundId] = {pending->value(3), Hash({})};
        } else if (op == QStringLiteral("write")) {
            after[id].hash = pending->value(3).toLatin1();
        } else if (op == QStringLiteral("rename")) {
            after[id].name = pending->value(3);
        } else {
            after.erase(id);
        }
        if (found == after)
            return;
    }
    int missing = 0, changed = 0, extra = 0;
    for (const auto& [id, doc] : committed) {
        const auto it = found.find(id);
        missing += it == found.end();
        if (it != found.end() && !(it->second == doc)) {
            ++changed;
            faults << QStringLiteral("%1: logged \"%2\" %3, found \"%4\" %5")
                          .arg(id, doc.name, QString::fromLatin1(doc.hash), it->second.name,
                               QString::fromLatin1(it->second.hash));
        }
    }
    for (const auto& entry : found)
        extra += !committed.count(entry.first);
    faults << QStringLiteral("documents differ from the log: %1 missing, %2 changed, %3 unknown (%4 committed)")
                  .arg(missing)
                  .arg(changed)
                  .arg(extra)
                  .arg(committed.size());
}

// ---- the test -----------------------------------------------------------------------------

struct Round
{
    QString folder;
    QString log;
    QStringList args; // the worker's, after the scenario
};

struct Run
{
    bool finished = false; // the worker ended by itself before the kill
    int exitCode = 0;
    QString stderrText;
    qint64 ms = 0; // from "begin" to the kill or the end; unkilled, to the operation's "end"
};

Run RunWorker(const QString& scenario, const QStringList& args, int delayMs)
{
    QProcess worker;
    worker.setProgram(QCoreApplication::applicationFilePath());
    worker.setArguments(QStringList{QStringLiteral("--work"), scenario} + args);
    worker.start();
    Run run;
    QByteArray out;
    while (!out.contains("begin") && worker.waitForReadyRead(60000))
        out += worker.readAllStandardOutput();
    QElapsedTimer clock;
    clock.start();
    if (delayMs < 0) {
        // The operation's own time: the exit after it (a sanitizer's leak check) is no target.
        while (!out.contains("end\n") && worker.waitForReadyRead(60000))
            out += worker.readAllStandardOutput();
        run.ms = clock.elapsed();
        worker.waitForFinished(60000);
    } else {
        if (!worker.waitForFinished(delayMs))
            worker.kill();
        worker.waitForFinished(60000);
        run.ms = clock.elapsed();
    }
    run.finished = worker.exitStatus() == QProcess::NormalExit;
    run.exitCode = worker.exitCode();
    run.stderrText = QString::fromLocal8Bit(worker.readAllStandardError()).trimmed();
    return run;
}

// Puts a copy of a template database into a fresh folder of its own.
QString CopyDatabase(const QString& templateFolder, const QString& parent)
{
    const QString folder = QDir(parent).filePath(Folder);
    QDir().mkpath(folder);
    for (const QString& name : QDir(templateFolder).entryList(QDir::Files | QDir::Hidden))
        QFile::copy(QDir(templateFolder).filePath(name), QDir(folder).filePath(name));
    return folder;
}

// A database of `count` documents of text and pictures, some deleted again so that a pack
// has pages to drop; protected by `password` when one is given. Returns what it holds.
Docs MakeDatabase(const QString& folder, int count, const QString& password, quint32 seed)
{
    QDir().mkpath(folder);
    QString failure;
    if (!Schema::CreateDocsTable(folder, [&](const QString& text) { failure = text; }))
        throw QbError(failure);
    QRandomGenerator rng(seed);
    {
        TDatabaseConnection connection;
        OpenConnection(connection, folder, QString());
        TDocStore store(connection);
        for (int i = 0; i < count; ++i) {
            const QString id = store.CreateDocumentRecord(QStringLiteral("%1 %2").arg(Marker).arg(i),
                                                          i % 2 ? QStringLiteral("TXT") : QStringLiteral("IMG"));
            if (i % 2)
                store.WriteContentBytes(id, QStringLiteral("Image"), RichText(rng));
            else
                ImageStore::WritePicture(connection, id, Picture(rng));
            if (i % 5 == 4)
                store.DeleteDocument(id);
        }
    }
    if (!password.isEmpty()) {
        TDatabaseConnection adb;
        SetDatabasePassword(adb, folder, password);
    }
    QStringList faults;
    const auto opened = OpenAndRead(folder, {password}, faults);
    if (!opened || !faults.isEmpty())
        throw QbError(QStringLiteral("The template database is not sound: ") + faults.join(QStringLiteral("; ")));
    return opened->docs;
}

class CrashTest
{
public:
    CrashTest(const QString& scenario, int rounds, int part, int parts)
        : m_scenario(scenario)
        , m_rounds(rounds)
        , m_part(part)
        , m_parts(parts)
        , m_root(m_work.path())
    {
    }

    int Execute()
    {
        Prepare();
        int window = 300;
        if (m_scenario != QStringLiteral("documents")) {
            // The kill window follows how long the operation takes on this machine, so that
            // kills land before, during and after it.
            const Round round = MakeRound(-1, 0);
            const Run run = RunWorker(m_scenario, round.args, -1);
            if (run.exitCode != 0) {
                std::printf("FAIL: the operation fails without a kill: %s\n", qPrintable(run.stderrText));
                return 1;
            }
            window = int(run.ms * 3 / 2) + 5;
            std::printf("%s takes %lld ms; kills within 0-%d ms\n", qPrintable(m_scenario), run.ms, window);
        }
        QRandomGenerator rng(SeedBase);
        int ran = 0, mid = 0, completed = 0, failed = 0;
        for (int i = 0; i < m_rounds; ++i) {
            const int variant = i % 2;
            const int delay = int(rng.bounded(quint32(window + 1)));
            if ((i / 2) % m_parts != m_part)
                continue;
            ++ran;
            const Round round = MakeRound(i, variant);
            const Run run = RunWorker(m_scenario, round.args, delay);
            const QList<QStringList> log = ReadLog(round.log);
            QStringList faults;
            if (run.finished && run.exitCode != 0)
                faults << QStringLiteral("the worker failed: ") + run.stderrText;
            const bool midOperation = !run.finished && Pending(log);
            mid += midOperation;
            completed += run.finished;
            // Every other pair of rounds meets the crashed folder with a backup first.
            if (i % 4 < 2)
                CheckBackup(round.folder, Path(QStringLiteral("backup %1.bak").arg(i)), faults);
            const QString state = Check(round, variant, log, faults);
            std::printf("round %2d %-9s kill after %3d ms: %-13s %s\n", i, variant ? "protected" : "plain", delay,
                        run.finished                                    ? "after the end"
                            : midOperation                              ? "mid-operation"
                            : m_scenario == QStringLiteral("documents") ? "between steps"
                                                                        : "after it returned",
                        qPrintable(state));
            for (const QString& fault : faults)
                std::printf("    FAULT: %s\n", qPrintable(fault));
            failed += !faults.isEmpty();
            std::fflush(stdout);
        }
        std::printf("%s: %d rounds, %d killed mid-operation, %d finished first, %d with faults\n",
                    qPrintable(m_scenario), ran, mid, completed, failed);
        if (m_parts > 1) // the whole test counts the kills of all parts
            return failed == 0 ? 0 : 1;
        if (mid < 2)
            std::printf("FAIL: too few kills landed mid-operation to prove anything\n");
        return failed == 0 && mid >= 2 ? 0 : 1;
    }

private:
    QString Path(const QString& name) const { return QDir(m_root).filePath(name); }

    void Prepare()
    {
        if (m_scenario == QStringLiteral("documents")) {
            for (const QString& password : {QString(), OldPassword})
                MakeDatabase(Path(password.isEmpty() ? QStringLiteral("plain") : QStringLiteral("keyed")), 0, password,
                             1);
            return;
        }
        // Old state: 30 documents (a few MB); a restore brings back 12 others.
        MakeDatabase(Path(QStringLiteral("plain")), 30, QString(), 2);
        // The plain database starts as a crash while editing leaves it: its journal, with old
        // pages in clear, stays beside it after the recovering open.
        const QString journal = Path(QStringLiteral("plain/Docs.db-journal"));
        std::optional<Opened> opened;
        QStringList faults;
        // Only a journal that was hot when opened stays, so until a kill lands mid-transaction.
        for (quint32 attempt = 0; attempt < 20 && faults.isEmpty() && !(opened && QFile::exists(journal)); ++attempt) {
            RunWorker(
                QStringLiteral("documents"),
                {Path(QStringLiteral("plain")), QString(), Path(QStringLiteral("edits")), QString::number(attempt)},
                int(50 + 10 * attempt));
            opened = OpenAndRead(Path(QStringLiteral("plain")), {QString()}, faults);
        }
        if (!opened || !faults.isEmpty() || !QFile::exists(journal))
            throw QbError(QStringLiteral("No crashed template: ") + faults.join(QStringLiteral("; ")));
        m_old[0] = opened->docs;
        QFile::copy(Path(QStringLiteral("plain/Docs.db")), Path(QStringLiteral("copy.db")));
        QDir().mkpath(Path(QStringLiteral("keyed")));
        QFile::rename(Path(QStringLiteral("copy.db")), Path(QStringLiteral("keyed/Docs.db")));
        {
            TDatabaseConnection adb;
            SetDatabasePassword(adb, Path(QStringLiteral("keyed")), OldPassword);
        }
        m_old[1] = m_old[0];
        if (m_scenario != QStringLiteral("restore"))
            return;
        // Round variant 0 restores a protected archive over a plain database, variant 1 the reverse.
        for (int variant : {0, 1}) {
            const QString source = Path(QStringLiteral("archived%1").arg(variant));
            m_new[variant] = MakeDatabase(source, 12, variant == 0 ? NewPassword : QString(), 3 + variant);
            QString error;
            if (BackRest::BackupFolder(source, Path(QStringLiteral("archive%1.bak").arg(variant)), {}, 1, &error))
                throw QbError(QStringLiteral("Cannot make the archive: ") + error);
        }
    }

    Round MakeRound(int index, int variant) const
    {
        const QString parent = Path(QStringLiteral("round %1").arg(index));
        Round round;
        round.folder = CopyDatabase(Path(variant ? QStringLiteral("keyed") : QStringLiteral("plain")), parent);
        round.log = Path(QStringLiteral("log %1").arg(index));
        const QString password = variant ? OldPassword : QString();
        if (m_scenario == QStringLiteral("documents"))
            round.args = {round.folder, password, round.log, QString::number(SeedBase + quint32(index))};
        else if (m_scenario == QStringLiteral("restore"))
            round.args = {round.folder, round.log, Path(QStringLiteral("archive%1.bak").arg(variant)),
                          index / 2 % 2 ? QStringLiteral("inside") : QStringLiteral("beside")};
        else
            round.args = {round.folder, round.log, password};
        return round;
    }

    // Checks one round; returns which state the database was found in.
    QString Check(const Round& round, int variant, const QList<QStringList>& log, QStringList& faults) const
    {
        QString error;
        if (!BackRest::RemoveStaleCompanions(round.folder, &error))
            faults << QStringLiteral("clean-up before the open failed: ") + error;
        const bool ended = !log.isEmpty() && log.last().value(0) == QStringLiteral("end");
        const QString old = variant ? OldPassword : QString();
        QString state;
        std::optional<Opened> opened;
        if (m_scenario == QStringLiteral("documents")) {
            opened = OpenAndRead(round.folder, {old}, faults);
            if (opened) {
                CheckDocuments(opened->docs, log, faults);
                state = Describe(opened->docs);
            }
        } else if (m_scenario == QStringLiteral("restore")) {
            opened = OpenAndRead(round.folder, {variant ? OldPassword : NewPassword}, faults);
            if (opened) {
                const bool isNew = opened->docs == m_new[variant];
                state = isNew ? QStringLiteral("restored") : QStringLiteral("as before");
                // Each state under its own protection; once the restore returned, only the new one.
                if (!isNew && opened->docs != m_old[variant])
                    faults << QStringLiteral("neither the old nor the restored documents: ") + Describe(opened->docs);
                else if (opened->encrypted != (isNew == (variant == 0)))
                    faults << QStringLiteral("the %1 state has the wrong protection").arg(state);
                else if (ended && !isNew)
                    faults << QStringLiteral("the restore returned but the old database is there");
            }
        } else {
            // The new password is tried first: a plain file opens with any.
            opened = OpenAndRead(round.folder, {NewPassword, old}, faults);
            if (opened) {
                if (opened->docs != m_old[variant])
                    faults << QStringLiteral("documents lost: %1 of %2")
                                  .arg(opened->docs.size())
                                  .arg(m_old[variant].size());
                // Pack leaves a plain file; a password change one under the new password.
                const bool isNew = m_scenario == QStringLiteral("pack")
                    ? !opened->encrypted
                    : opened->encrypted && opened->password == NewPassword;
                state = isNew ? QStringLiteral("rewritten") : QStringLiteral("as before");
                if (ended && !isNew && !(m_scenario == QStringLiteral("pack") && variant == 0))
                    faults << QStringLiteral("the operation returned but the file is as before");
            }
        }
        CheckLeftovers(round.folder, opened && opened->encrypted, faults);
        return state;
    }

    QString m_scenario;
    int m_rounds;
    int m_part;
    int m_parts;
    QTemporaryDir m_work{QDir::tempPath() + QStringLiteral("/qb-crash-XXXXXX")};
    QString m_root;
    Docs m_old[2];
    Docs m_new[2];
};

// Runs the rounds in `parts` processes at once and sums up what they found.
int RunParts(const QString& scenario, int rounds, int parts)
{
    std::vector<std::unique_ptr<QProcess>> children;
    for (int part = 0; part < parts; ++part) {
        auto& child = children.emplace_back(std::make_unique<QProcess>());
        child->setProcessChannelMode(QProcess::MergedChannels);
        child->start(QCoreApplication::applicationFilePath(),
                     {scenario, QString::number(rounds), QStringLiteral("--part"),
                      QStringLiteral("%1/%2").arg(part).arg(parts)});
    }
    static const QRegularExpression summary(
        QStringLiteral(": \\d+ rounds, (\\d+) killed mid-operation, (\\d+) finished first, (\\d+) with faults$"),
        QRegularExpression::MultilineOption);
    int mid = 0, completed = 0, failed = 0;
    bool sound = true;
    for (int part = 0; part < parts; ++part) {
        QProcess& child = *children[size_t(part)];
        child.waitForFinished(-1);
        const QByteArray out = child.readAll();
        std::printf("---- part %d of %d\n%s", part + 1, parts, out.constData());
        const QRegularExpressionMatch match = summary.match(QString::fromUtf8(out));
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || !match.hasMatch()) {
            std::printf("FAIL: part %d ended with %d\n", part + 1, child.exitCode());
            sound = false;
            continue;
        }
        mid += match.captured(1).toInt();
        completed += match.captured(2).toInt();
        failed += match.captured(3).toInt();
    }
    std::printf("%s: %d rounds, %d killed mid-operation, %d finished first, %d with faults\n", qPrintable(scenario),
                rounds, mid, completed, failed);
    if (mid < 2)
        std::printf("FAIL: too few kills landed mid-operation to prove anything\n");
    return sound && failed == 0 && mid >= 2 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool worker = argc > 1 && QByteArray(argv[1]) == "--work";
    std::optional<QTemporaryDir> sandbox;
    if (!worker) {
        // The workers inherit a private home and XDG folders: nothing reaches the user's own.
        sandbox.emplace(QDir::tempPath() + QStringLiteral("/qb-crash-home-XXXXXX"));
        for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
            qputenv(var, QFile::encodeName(sandbox->path()));
    }
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (worker) {
            const QString scenario = args.value(2);
            if (scenario == QStringLiteral("documents"))
                return WorkDocuments(args.value(3), args.value(4), args.value(5), args.value(6).toUInt());
            return WorkOperation(scenario, args.mid(3));
        }
        const QString scenario = args.value(1);
        if (!QStringList{QStringLiteral("documents"), QStringLiteral("pack"), QStringLiteral("password"),
                         QStringLiteral("restore")}
                 .contains(scenario)) {
            std::fprintf(stderr, "usage: crash_test <documents|pack|password|restore> [rounds]\n");
            return 2;
        }
        const int rounds = args.size() > 2 ? args.value(2).toInt() : 20;
        if (args.value(3) != QStringLiteral("--part"))
            return RunParts(scenario, rounds, 2);
        const QStringList part = args.value(4).split(QLatin1Char('/'));
        return CrashTest(scenario, rounds, part.value(0).toInt(), qMax(1, part.value(1).toInt())).Execute();
    } catch (const QbError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
        return 3;
    }
}
