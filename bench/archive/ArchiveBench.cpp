// Backup and restore throughput and peak memory of quietbox-archive, side by side with gzip -9
// and pigz -9 -p 2 compressing and decompressing the same bytes, on two generated database
// folders: ~256 MB of mixed files, and an encrypted database of ~210 MB made through the engine,
// which is also copied with cp + sync as the floor. Every program runs as a child process, timed
// by the wall clock, its peak RSS sampled from /proc; each figure is the median of --runs runs,
// the programs taking turns.
#include "core/database/Connection.h"
#include "core/database/DBactions.h"
#include "core/database/DocStore.h"
#include "core/database/Schema.h"
#include "support/ProcStatus.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr double MB = 1e6;

struct Rng
{
    quint64 s;
    quint64 Next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
};

QByteArray Words(qsizetype size, Rng& rng, bool html)
{
    static const char* vocabulary[] = {
        "the",    "quiet",   "box",     "keeps",   "documents", "private", "letter",   "invoice", "meeting", "notes",
        "from",   "with",    "garden",  "budget",  "report",    "draft",   "about",    "which",   "their",   "password",
        "winter", "project", "summary", "picture", "family",    "holiday", "contract", "number",  "street",  "and",
        "of",     "to",      "in",      "is",      "for",       "on",      "that",     "by",      "this",    "be"};
    constexpr int count = sizeof(vocabulary) / sizeof(vocabulary[0]);
    QByteArray out;
    out.reserve(size + 200);
    if (html)
        out += "<!DOCTYPE HTML><html><head><meta name=\"qrichtext\" content=\"1\" /></head><body>\n";
    while (out.size() < size) {
        if (html)
            out += "<p style=\" margin-top:0px; margin-bottom:0px; -qt-block-indent:0;\"><span style=\" font-size:"
                + QByteArray::number(8 + int(rng.Next() % 8)) + "pt;\">";
        const int words = 8 + int(rng.Next() % 30);
        for (int w = 0; w < words; ++w) {
            out += vocabulary[rng.Next() % count];
            out += (rng.Next() % 12 == 0) ? ", " : " ";
        }
        if (rng.Next() % 5 == 0)
            out += QByteArray::number(qulonglong(rng.Next() % 100000));
        out += html ? "</span></p>\n" : ".\n";
    }
    out.truncate(size);
    return out;
}

// A photo-like picture: smooth shading, a few shapes and sensor noise, stored as a 24-bit BMP.
QByteArray Picture(int w, int h, Rng& rng)
{
    QImage image(w, h, QImage::Format_RGB888);
    const int cx = int(rng.Next() % quint64(w)), cy = int(rng.Next() % quint64(h));
    const int tint = int(rng.Next() % 80);
    for (int y = 0; y < h; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const int d = (std::abs(x - cx) + std::abs(y - cy)) / 8;
            const int noise = int(rng.Next() % 9) - 4;
            line[3 * x] = uchar(std::clamp(x * 255 / w + noise, 0, 255));
            line[3 * x + 1] = uchar(std::clamp(y * 200 / h + tint + noise, 0, 255));
            line[3 * x + 2] = uchar(std::clamp(255 - d + noise, 0, 255));
        }
    }
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bmp;
}

QByteArray RandomBytes(qsizetype size, Rng& rng)
{
    QByteArray out(size, Qt::Uninitialized);
    for (qsizetype i = 0; i + 8 <= size; i += 8) {
        const quint64 v = rng.Next();
        std::memcpy(out.data() + i, &v, 8);
    }
    return out;
}

struct Folder
{
    qint64 bytes = 0;
    int files = 0;
    qint64 kind[4] = {0, 0, 0, 0}; // text, HTML, BMP, random
};

bool Put(const QString& path, const QByteArray& bytes, QFile& all)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && all.write(bytes) == bytes.size();
}

// The folder, and the same bytes in one file (in the archive's name order) for gzip and pigz.
bool Generate(const QString& folder, const QString& allFile, Folder& made)
{
    Rng rng{0x9E3779B97F4A7C15ull};
    struct Item
    {
        QString name;
        int kind;
        QByteArray bytes;
    };
    std::vector<Item> items;
    for (int i = 0; i < 20; ++i)
        items.push_back(
            {QStringLiteral("notes-%1.txt").arg(i, 2, 10, QLatin1Char('0')), 0, Words(4'000'000, rng, false)});
    for (int i = 0; i < 32; ++i)
        items.push_back(
            {QStringLiteral("page-%1.html").arg(i, 2, 10, QLatin1Char('0')), 1, Words(2'000'000, rng, true)});
    for (int i = 0; i < 12; ++i)
        items.push_back({QStringLiteral("photo-%1.bmp").arg(i, 2, 10, QLatin1Char('0')), 2, Picture(1600, 1200, rng)});
    items.push_back({QStringLiteral("random-big.bin"), 3, RandomBytes(24'000'000, rng)});
    for (int i = 0; i < 4; ++i)
        items.push_back({QStringLiteral("random-%1.bin").arg(i), 3, RandomBytes(4'000'000 + i * 1234, rng)});
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.name.toUtf8() < b.name.toUtf8(); });

    QFile all(allFile);
    if (!all.open(QIODevice::WriteOnly))
        return false;
    for (const Item& item : items) {
        if (!Put(folder + QStringLiteral("/") + item.name, item.bytes, all))
            return false;
        made.bytes += item.bytes.size();
        made.kind[item.kind] += item.bytes.size();
        ++made.files;
    }
    return true;
}

// A protected database as the program makes it: pictures, rich texts and embedded files written
// through the engine with a password, so every page on disk is SQLCipher output. The folder's
// files also go end to end into allFile for pigz.
bool GenerateEncrypted(const QString& folder, const QString& allFile, Folder& made)
{
    Rng rng{0xD1B54A32D192ED03ull};
    QString failure;
    if (!Schema::CreateDocsTable(folder, [&](const QString& t) { failure = t; })) {
        std::fprintf(stderr, "bench_archive: cannot create the database: %s\n", qPrintable(failure));
        return false;
    }
    try {
        TDatabaseConnection setup;
        SetDatabasePassword(setup, folder, QStringLiteral("BENCH"));
        TDatabaseConnection db;
        db.SetParams(folder);
        db.AddPassword(QStringLiteral("BENCH"));
        db.Open();
        TDocStore store(db);
        auto add = [&](const QString& name, const QString& type, int kind, const QByteArray& bytes) {
            const QString id = store.CreateDocumentRecord(name, type);
            store.WriteContentBytes(id, TDocStore::ContentColumn(type), bytes);
            made.kind[kind] += bytes.size();
        };
        for (int i = 0; i < 24; ++i)
            add(QStringLiteral("photo %1").arg(i), QStringLiteral("IMG"), 2, Picture(1600, 1200, rng));
        for (int i = 0; i < 20; ++i)
            add(QStringLiteral("letter %1").arg(i), QStringLiteral("TXT"), 1, Words(2'000'000, rng, true));
        for (int i = 0; i < 4; ++i)
            add(QStringLiteral("attachment %1").arg(i), QString(), 3, RandomBytes(8'000'000, rng));
        db.Close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_archive: cannot fill the database: %s\n", e.what());
        return false;
    }
    QFile all(allFile);
    if (!all.open(QIODevice::WriteOnly))
        return false;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        QFile f(folder + QStringLiteral("/") + name);
        if (!f.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = f.readAll();
        if (all.write(bytes) != bytes.size())
            return false;
        made.bytes += bytes.size();
        ++made.files;
    }
    return true;
}

struct Run
{
    double seconds = 0;
    double rssMB = 0;
    bool ok = false;
};

Run Spawn(const std::vector<std::string>& args, const QString& stdoutFile)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = QFile::encodeName(stdoutFile.isEmpty() ? QStringLiteral("/dev/null") : stdoutFile);
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return run;
    // wait4()'s ru_maxrss would count this process's own pages, which the child inherits until
    // exec; the child's VmHWM belongs to its own address space, so it is sampled instead.
    qint64 hwm = 0;
    int status = 0;
    for (;;) {
        hwm = std::max(hwm, qbbench::Status("VmHWM", pid));
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0)
            return run;
        ::usleep(2000);
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.rssMB = double(hwm) / (1024 * 1024);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

struct Row
{
    const char* label;
    double mbs = 0;
    double seconds = 0;
    double rssMB = 0;
    double outMB = 0;
};

struct Task
{
    Row* row;
    std::vector<std::string> args;
    QString stdoutFile; // empty: /dev/null
    std::function<qint64()> outputSize;
    std::function<void()> after; // clears what the run left, outside the timing
};

// Every task runs once per round, for `runs` rounds, so that a change of load on a shared machine
// falls on all of them alike; each row gets the median time and the highest peak RSS.
bool MeasureInTurns(const std::vector<Task>& tasks, int runs, qint64 bytes)
{
    std::vector<std::vector<Run>> results(tasks.size());
    for (int i = 0; i < runs; ++i) {
        for (size_t t = 0; t < tasks.size(); ++t) {
            const Task& task = tasks[t];
            const Run run = Spawn(task.args, task.stdoutFile);
            if (!run.ok) {
                std::fprintf(stderr, "bench_archive: %s failed\n", task.args[0].c_str());
                return false;
            }
            results[t].push_back(run);
            task.row->outMB = double(task.outputSize()) / MB;
            if (task.after)
                task.after();
        }
    }
    for (size_t t = 0; t < tasks.size(); ++t) {
        std::vector<Run>& r = results[t];
        std::sort(r.begin(), r.end(), [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
        Row& row = *tasks[t].row;
        row.seconds = r[r.size() / 2].seconds;
        row.mbs = double(bytes) / MB / row.seconds;
        row.rssMB = 0;
        for (const Run& run : r)
            row.rssMB = std::max(row.rssMB, run.rssMB);
    }
    return true;
}

std::string LoadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return "?";
    return f.readLine().trimmed().split(' ').mid(0, 3).join(' ').toStdString();
}

bool SameFiles(const QString& a, const QString& b)
{
    const QStringList names = QDir(a).entryList(QDir::Files | QDir::Hidden);
    if (names != QDir(b).entryList(QDir::Files | QDir::Hidden))
        return false;
    for (const QString& name : names) {
        QFile fa(a + QStringLiteral("/") + name), fb(b + QStringLiteral("/") + name);
        if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.readAll() != fb.readAll())
            return false;
    }
    return true;
}

void PrintRows(const Row* rows, size_t count)
{
    std::printf("%-40s %9s %9s %10s %10s\n", "", "MB/s", "seconds", "peak RSS", "output MB");
    for (size_t i = 0; i < count; ++i)
        std::printf("%-40s %9.1f %9.2f %7.1f MB %10.1f\n", rows[i].label, rows[i].mbs, rows[i].seconds, rows[i].rssMB,
                    rows[i].outMB);
}

std::function<qint64()> SizeOf(const QString& path)
{
    return [path] {
        const QFileInfo info(path);
        if (!info.isDir())
            return info.size();
        qint64 total = 0;
        for (const QFileInfo& f : QDir(path).entryInfoList(QDir::Files | QDir::Hidden))
            total += f.size();
        return total;
    };
}

std::string S(const QString& path)
{
    return path.toStdString();
}

// The archive made for the restores, checked once: backed up into `source` and restored into
// `restored`, which must equal the folder byte for byte.
bool RoundTrip(const std::string& tool, const QString& folder, const QString& source, const QString& restored)
{
    if (Spawn({tool, "-q", "backup", S(folder), S(source)}, {}).ok
        && Spawn({tool, "-q", "restore", S(source), S(restored)}, {}).ok && SameFiles(folder, restored))
        return true;
    std::fprintf(stderr, "bench_archive: a run failed or the restored folder differs\n");
    return false;
}

// ~256 MB of text, HTML, pictures and random files beside gzip -9 and pigz -9 -p 2.
bool MixedFolder(const std::string& tool, const QString& dir, int runs, int cores)
{
    const QString folder = dir + QStringLiteral("/database");
    const QString all = dir + QStringLiteral("/all.bin");
    QDir().mkpath(folder);
    Folder made;
    std::printf("Generating the mixed database folder...\n");
    if (!Generate(folder, all, made)) {
        std::fprintf(stderr, "bench_archive: cannot write %s\n", qPrintable(dir));
        return false;
    }
    const std::string loadBefore = LoadAverage();
    const qint64 n = made.bytes;
    const QString archive = dir + QStringLiteral("/db.qba");
    const QString source = dir + QStringLiteral("/db-to-restore.qba");
    const QString restored = dir + QStringLiteral("/restored");
    const QString gz = dir + QStringLiteral("/all.gz");
    const QString pgz = dir + QStringLiteral("/all.pigz.gz");
    const QString out = dir + QStringLiteral("/all.out");
    auto removeRestored = [&] { QDir(restored).removeRecursively(); };

    Row rows[] = {{"backup   quietbox-archive (all cores)"},
                  {"backup   quietbox-archive --threads 1"},
                  {"compress pigz -9 -p 2"},
                  {"compress gzip -9"},
                  {"restore  quietbox-archive (all cores)"},
                  {"verify   quietbox-archive (no writes)"},
                  {"inflate  pigz -d -p 2"},
                  {"inflate  gzip -d"}};
    // The restores read an archive made beforehand; the first restore is checked byte for byte.
    if (!RoundTrip(tool, folder, source, restored))
        return false;
    removeRestored();
    // Every backup makes a new archive, as a copy makes new files: replacing one costs extra.
    auto removeArchive = [&] { QFile::remove(archive); };
    const std::vector<Task> tasks = {
        {&rows[0], {tool, "-q", "backup", S(folder), S(archive)}, {}, SizeOf(archive), removeArchive},
        {&rows[1], {tool, "-q", "--threads", "1", "backup", S(folder), S(archive)}, {}, SizeOf(archive), removeArchive},
        {&rows[2], {"pigz", "-9", "-p", "2", "-c", S(all)}, pgz, SizeOf(pgz), {}},
        {&rows[3], {"gzip", "-9", "-c", S(all)}, gz, SizeOf(gz), {}},
        {&rows[4], {tool, "-q", "restore", S(source), S(restored)}, {}, [&] { return n; }, removeRestored},
        {&rows[5], {tool, "-q", "verify", S(source)}, {}, [] { return qint64(0); }, {}},
        {&rows[6], {"pigz", "-d", "-p", "2", "-c", S(pgz)}, out, SizeOf(out), {}},
        {&rows[7], {"gzip", "-d", "-c", S(gz)}, out, SizeOf(out), {}},
    };
    if (!MeasureInTurns(tasks, runs, n))
        return false;

    std::printf("\nMixed folder: %.1f MB in %d files: text %.0f MB, HTML %.0f MB, BMP pictures %.0f MB, random %.0f "
                "MB\n",
                double(n) / MB, made.files, double(made.kind[0]) / MB, double(made.kind[1]) / MB,
                double(made.kind[2]) / MB, double(made.kind[3]) / MB);
    std::printf("Machine: %d cores; load average before %s, after %s; median of %d runs\n\n", cores, loadBefore.c_str(),
                LoadAverage().c_str(), runs);
    PrintRows(rows, std::size(rows));
    std::printf("\nMB/s = uncompressed MB (10^6 bytes) per second of wall time. The restore writes and fsyncs "
                "every file and swaps the folder in; gzip -d and pigz -d write one unsynced file.\n");
    std::printf("Targets: backup >= pigz -9 -p 2: %s; restore >= gzip -d: %s; peak RSS < 64 MB: %s\n\n",
                rows[0].mbs >= rows[2].mbs ? "met" : "MISSED", rows[4].mbs >= rows[7].mbs ? "met" : "MISSED",
                std::max(rows[0].rssMB, rows[4].rssMB) < 64 ? "met" : "MISSED");
    return true;
}

// An encrypted database: its pages do not compress, so the floor is a plain copy of its bytes.
bool EncryptedFolder(const std::string& tool, const QString& dir, int runs, int cores)
{
    const QString folder = dir + QStringLiteral("/encrypted");
    const QString all = dir + QStringLiteral("/encrypted.bin");
    QDir().mkpath(folder);
    Folder made;
    std::printf("Generating the encrypted database...\n");
    if (!GenerateEncrypted(folder, all, made))
        return false;
    const std::string loadBefore = LoadAverage();
    const qint64 n = made.bytes;
    const QString archive = dir + QStringLiteral("/encrypted.qba");
    const QString source = dir + QStringLiteral("/encrypted-to-restore.qba");
    const QString restored = dir + QStringLiteral("/encrypted-restored");
    const QString pgz = dir + QStringLiteral("/encrypted.pigz.gz");
    const QString copy = dir + QStringLiteral("/encrypted-copy");
    auto removeRestored = [&] { QDir(restored).removeRecursively(); };
    auto freshCopy = [&] {
        QDir(copy).removeRecursively();
        QDir().mkpath(copy);
    };
    freshCopy();

    Row rows[] = {{"backup   quietbox-archive (all cores)"},
                  {"backup   quietbox-archive --threads 1"},
                  {"compress pigz -9 -p 2"},
                  {"copy     cp + sync of the files"},
                  {"restore  quietbox-archive (all cores)"}};
    // sync with file names fsyncs just those files, as the backup fsyncs just its archive.
    const std::vector<std::string> copyCommand
        = {"sh", "-c", "cp -- \"$1\"/* \"$2\"/ && sync -- \"$2\"/*", "sh", S(folder), S(copy)};
    if (!RoundTrip(tool, folder, source, restored))
        return false;
    removeRestored();
    auto removeArchive = [&] { QFile::remove(archive); };
    const std::vector<Task> tasks = {
        {&rows[0], {tool, "-q", "backup", S(folder), S(archive)}, {}, SizeOf(archive), removeArchive},
        {&rows[1], {tool, "-q", "--threads", "1", "backup", S(folder), S(archive)}, {}, SizeOf(archive), removeArchive},
        {&rows[2], {"pigz", "-9", "-p", "2", "-c", S(all)}, pgz, SizeOf(pgz), {}},
        {&rows[3], copyCommand, {}, SizeOf(copy), freshCopy},
        {&rows[4], {tool, "-q", "restore", S(source), S(restored)}, {}, [&] { return n; }, removeRestored},
    };
    if (!MeasureInTurns(tasks, runs, n))
        return false;

    std::printf("\nEncrypted database: %.1f MB in %d file(s), written through the engine with a password; content "
                "%.0f MB of BMP pictures, %.0f MB of HTML, %.0f MB of random attachments\n",
                double(n) / MB, made.files, double(made.kind[2]) / MB, double(made.kind[1]) / MB,
                double(made.kind[3]) / MB);
    std::printf("Machine: %d cores; load average before %s, after %s; median of %d runs\n\n", cores, loadBefore.c_str(),
                LoadAverage().c_str(), runs);
    PrintRows(rows, std::size(rows));
    const double vsPigz = rows[0].mbs / rows[2].mbs;
    const double vsCopy = rows[0].seconds / rows[3].seconds;
    std::printf("\nTargets: backup >= 4 x pigz -9 -p 2: %s (%.1f x); backup within 2 x the copy's time: %s (%.2f x); "
                "peak RSS < 64 MB: %s\n\n",
                vsPigz >= 4 ? "met" : "MISSED", vsPigz, vsCopy <= 2 ? "met" : "MISSED", vsCopy,
                std::max(rows[0].rssMB, rows[4].rssMB) < 64 ? "met" : "MISSED");
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int runs = 3;
    QString where = QDir::tempPath();
    QString only;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--runs") && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == QStringLiteral("--dir") && i + 1 < args.size())
            where = args[++i];
        else if (args[i] == QStringLiteral("--only") && i + 1 < args.size()
                 && (args[i + 1] == QStringLiteral("mixed") || args[i + 1] == QStringLiteral("encrypted")))
            only = args[++i];
        else {
            std::printf("Usage: bench_archive [--runs N] [--dir FOLDER] [--only mixed|encrypted]\n"
                        "Generates a ~256 MB mixed folder and a ~210 MB encrypted database in a temporary folder\n"
                        "under FOLDER (default %s) and measures quietbox-archive beside gzip -9, pigz -9 -p 2\n"
                        "and cp + sync on the same bytes.\n",
                        qPrintable(QDir::tempPath()));
            return args[i] == QStringLiteral("--help") ? 0 : 64;
        }
    }
    const std::string tool
        = (QCoreApplication::applicationDirPath() + QStringLiteral("/quietbox-archive")).toStdString();
    if (!QFileInfo(QString::fromStdString(tool)).isExecutable()) {
        std::fprintf(stderr, "bench_archive: %s is missing; build the quietbox-archive target\n", tool.c_str());
        return 1;
    }
    QTemporaryDir work(where + QStringLiteral("/quietbox-bench-XXXXXX"));
    if (!work.isValid())
        return 1;
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    if (only != QStringLiteral("encrypted") && !MixedFolder(tool, work.path(), runs, cores))
        return 1;
    if (only != QStringLiteral("mixed") && !EncryptedFolder(tool, work.path(), runs, cores))
        return 1;
    return 0;
}
