// Imports and exports a large file through quietbox-docs and compares it with the engine's own
// blob streaming of the same bytes: the tool may take at most 1.5 times as long and must stay
// below 64 MB of memory, as it streams the content in chunks.
#include "core/database/Connection.h"
#include "core/database/DBactions.h"
#include "core/database/DocStore.h"
#include "core/database/Schema.h"
#include "support/ProcStatus.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using qbbench::Mb;

namespace {

constexpr const char* Password = "BENCH";

struct ChildRun
{
    int status = -1;
    double seconds = 0;
    qint64 peakRss = 0;
};

// Runs the tool with the password on its standard input; its peak RSS comes from wait4.
ChildRun RunTool(const QStringList& args)
{
    QList<QByteArray> bytes{QByteArray(QB_DOCS_TOOL), QByteArray("--password-fd"), QByteArray("0")};
    for (const QString& a : args)
        bytes << QFile::encodeName(a);
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], 0);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0); // the list of files written
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, QB_DOCS_TOOL, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[0]);
    const QByteArray line = QByteArray(Password) + '\n';
    (void)!::write(pipeFds[1], line.constData(), size_t(line.size()));
    ::close(pipeFds[1]);
    if (spawned != 0)
        return {};
    ChildRun run;
    struct rusage usage
    {
    };
    ::wait4(pid, &run.status, 0, &usage);
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.peakRss = qint64(usage.ru_maxrss) * 1024;
    return run;
}

QByteArray Digest(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result().toHex() : QByteArray();
}

bool NewDatabase(const QString& folder)
{
    QString failure;
    if (!QDir().mkpath(folder) || !Schema::CreateDocsTable(folder, [&](const QString& t) { failure = t; })) {
        std::fprintf(stderr, "cannot create the database: %s\n", qPrintable(failure));
        return false;
    }
    TDatabaseConnection setup;
    SetDatabasePassword(setup, folder, QLatin1String(Password));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qint64 size = 200 * 1000 * 1000;
    if (argc > 1)
        size = QByteArray(argv[1]).toLongLong() * 1000 * 1000;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    // A private desktop whose one application embeds any file, and no settings of the user's.
    const QString apps = dir.path() + QStringLiteral("/data/applications");
    QDir().mkpath(apps);
    QFile entry(apps + QStringLiteral("/org.bench.any.desktop"));
    if (!entry.open(QIODevice::WriteOnly)
        || entry.write(
               "[Desktop Entry]\nType=Application\nName=Any\nExec=true %f\nMimeType=application/octet-stream;\n")
            <= 0)
        return 2;
    entry.close();
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path() + QStringLiteral("/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + QStringLiteral("/config")));

    const QString source = dir.path() + QStringLiteral("/source.bin");
    {
        QFile out(source);
        if (!out.open(QIODevice::WriteOnly))
            return 2;
        QByteArray piece(1000 * 1000, Qt::Uninitialized);
        for (qint64 done = 0; done < size; done += piece.size()) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(piece.data()), piece.size() / 4);
            out.write(piece.constData(), std::min<qint64>(piece.size(), size - done));
        }
    }

    try {
        // The engine alone: the file into a cell and back out.
        const QString engineDb = dir.path() + QStringLiteral("/engine");
        if (!NewDatabase(engineDb))
            return 2;
        double engineWrite = 0;
        double engineRead = 0;
        {
            TDatabaseConnection db;
            db.SetParams(engineDb);
            db.AddPassword(QLatin1String(Password));
            db.Open();
            TDocStore store(db);
            const QString id = store.CreateDocumentRecord(QStringLiteral("large"), QString());
            QFile in(source);
            in.open(QIODevice::ReadOnly);
            QElapsedTimer timer;
            timer.start();
            store.WriteContent(id, QStringLiteral("OLEobj"), in);
            engineWrite = timer.nsecsElapsed() / 1e9;
            QFile out(dir.path() + QStringLiteral("/engine.bin"));
            out.open(QIODevice::WriteOnly);
            timer.restart();
            store.ReadContent(id, QStringLiteral("OLEobj"), out);
            engineRead = timer.nsecsElapsed() / 1e9;
        }

        // The tool: import, then export into an empty folder.
        const QString toolDb = dir.path() + QStringLiteral("/tool");
        if (!NewDatabase(toolDb))
            return 2;
        const ChildRun import = RunTool({QStringLiteral("import"), toolDb, source});
        const QString out = dir.path() + QStringLiteral("/out");
        QDir().mkpath(out);
        const ChildRun exported = RunTool({QStringLiteral("export"), toolDb, out});
        const bool same = Digest(out + QStringLiteral("/source.bin")) == Digest(source);

        const double importRatio = import.seconds / engineWrite;
        const double exportRatio = exported.seconds / engineRead;
        const qint64 limit = 64 * 1000 * 1000;
        std::printf("Content: %.1f MB of random bytes, encrypted database (SQLCipher)\n", Mb(size));
        std::printf("engine write %6.2f s   tool import %6.2f s   ratio %.2f (limit 1.50)\n", engineWrite,
                    import.seconds, importRatio);
        std::printf("engine read  %6.2f s   tool export %6.2f s   ratio %.2f (limit 1.50)\n", engineRead,
                    exported.seconds, exportRatio);
        std::printf("tool peak RSS: import %.1f MB, export %.1f MB (limit %.1f MB)\n", Mb(import.peakRss),
                    Mb(exported.peakRss), Mb(limit));
        std::printf("exported file: %s\n", same ? "same bytes" : "DIFFERS");
        const bool ok = import.status == 0 && exported.status == 0 && same && importRatio <= 1.5 && exportRatio <= 1.5
            && import.peakRss < limit && exported.peakRss < limit;
        std::printf("%s\n", ok ? "PASS" : "FAIL");
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
}
