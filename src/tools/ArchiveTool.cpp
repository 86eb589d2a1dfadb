// quietbox-archive: back up, restore, list and check Quietbox database archives from scripts.
#include "core/archive/BackRest.h"
#include "core/common/CoreDumps.h"

#include <QFile>
#include <QString>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int UsageError = 64;

volatile std::sig_atomic_t g_interrupted = 0;

void OnSignal(int)
{
    g_interrupted = 1;
}

const char* const HelpText = R"(Usage: quietbox-archive COMMAND ARGUMENTS...

Backs up a Quietbox database folder into one archive file (.qba) and restores it.

Commands:
  backup FOLDER ARCHIVE   write an archive of the folder's files (subfolders are not included).
                          The archive appears only when complete; an older one of that name
                          stays as it was if anything fails.
  restore ARCHIVE FOLDER  replace the files of FOLDER with those of the archive (its subfolders
                          stay). The archive is read and checked whole before anything in FOLDER
                          changes; on any failure FOLDER stays exactly as it was. FOLDER is
                          created if it does not exist (its parent must exist).
  list ARCHIVE            print the size and name of each archived file, one per line
  verify ARCHIVE          read and check the whole archive, writing nothing

Options:
  --threads N             compress or inflate on N threads (default: one per core; the archive's
                          bytes do not depend on it)
  -q, --quiet             no progress bar
  -h, --help              show this text

A progress bar is shown on standard error when it is a terminal. Errors are reported as one
line on standard error. Ctrl-C (or SIGTERM) stops cleanly, leaving nothing behind.

Exit status:
  0   success
  1   stopped by a signal; nothing was written or changed
  2   backup: the folder does not exist or holds no file (no archive is created)
  3   the archive file does not exist
  4   not a Quietbox archive, a bad name inside it, or a file whose length differs from its
      recorded size
  5   a read, write or decompression failure, a damaged archive, or a folder the format cannot
      carry (a file of 2 GiB or more, 2 GiB in all, or too many names)
  64  usage error
)";

void Usage(const char* why)
{
    std::fprintf(stderr, "quietbox-archive: %s\nTry 'quietbox-archive --help'.\n", why);
}

class ProgressBar
{
public:
    ProgressBar(const QByteArray& label, bool shown)
        : m_label(label)
        , m_shown(shown)
    {
    }
    ~ProgressBar()
    {
        if (m_drawn)
            std::fputs("\n", stderr);
    }
    void Show(int percent)
    {
        if (!m_shown || percent == m_last)
            return;
        m_last = percent;
        m_drawn = true;
        constexpr int Width = 40;
        char bar[Width + 1];
        const int filled = percent * Width / 100;
        for (int i = 0; i < Width; ++i)
            bar[i] = i < filled ? '#' : '.';
        bar[Width] = '\0';
        std::fprintf(stderr, "\r%-8s [%s] %3d%%", m_label.constData(), bar, percent);
        std::fflush(stderr);
    }

private:
    QByteArray m_label;
    bool m_shown;
    bool m_drawn = false;
    int m_last = -1;
};

const char* CodeText(int code)
{
    switch (code) {
        case BackRest::Stopped:
            return "stopped";
        case BackRest::NothingToBackUp:
            return "nothing to back up";
        case BackRest::NoArchive:
            return "no such archive";
        case BackRest::NotAnArchive:
            return "not a valid archive";
        default:
            return "failed";
    }
}

} // namespace

int main(int argc, char** argv)
{
    // It reads and writes databases' pages: no core file may keep them.
    CoreDumps::Forbid();
    QStringList args;
    int threads = 0;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-h" || arg == "--help") {
            std::fputs(HelpText, stdout);
            return 0;
        }
        if (arg == "-q" || arg == "--quiet") {
            quiet = true;
        } else if (arg == "--threads" || arg.startsWith("--threads=")) {
            QByteArray value;
            if (arg == "--threads") {
                if (++i >= argc) {
                    Usage("--threads needs a number");
                    return UsageError;
                }
                value = argv[i];
            } else {
                value = arg.mid(10);
            }
            bool ok = false;
            threads = value.toInt(&ok);
            if (!ok || threads < 1 || threads > 256) {
                Usage("--threads needs a number from 1 to 256");
                return UsageError;
            }
        } else if (arg == "--") {
            for (++i; i < argc; ++i)
                args << QFile::decodeName(argv[i]);
        } else if (arg.startsWith('-') && arg.size() > 1) {
            Usage(("unknown option " + arg).constData());
            return UsageError;
        } else {
            args << QFile::decodeName(argv[i]);
        }
    }
    if (args.isEmpty()) {
        Usage("a command is needed: backup, restore, list or verify");
        return UsageError;
    }
    const QString command = args.takeFirst();
    const qsizetype wanted = command == QStringLiteral("backup") || command == QStringLiteral("restore") ? 2
        : command == QStringLiteral("list") || command == QStringLiteral("verify")                       ? 1
                                                                                                         : -1;
    if (wanted < 0) {
        Usage(("unknown command " + command.toLocal8Bit()).constData());
        return UsageError;
    }
    if (args.size() != wanted) {
        Usage(("'" + command.toLocal8Bit() + "' takes " + QByteArray::number(wanted) + " argument(s)").constData());
        return UsageError;
    }

    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    QString why;
    int code = BackRest::Failed;
    {
        ProgressBar bar(command.toLatin1(), !quiet && ::isatty(STDERR_FILENO));
        const BackRest::ProgressCallback progress = [&bar](int percent, bool& stop) {
            bar.Show(percent);
            if (g_interrupted)
                stop = true;
        };
        if (command == QStringLiteral("backup")) {
            code = BackRest::BackupFolder(args[0], args[1], progress, threads, &why);
        } else if (command == QStringLiteral("restore")) {
            code = BackRest::RestoreFolder(args[0], args[1], progress, threads, &why);
        } else if (command == QStringLiteral("verify")) {
            code = BackRest::VerifyArchive(args[0], progress, threads, &why);
        } else {
            QList<BackRest::Entry> entries;
            code = BackRest::ListArchive(args[0], entries, &why);
            if (code == BackRest::Ok) {
                for (const BackRest::Entry& e : entries)
                    std::printf("%lld\t%s\n", static_cast<long long>(e.size), e.name.constData());
                if (std::fflush(stdout) != 0) {
                    code = BackRest::Failed;
                    why = QStringLiteral("cannot write the list");
                }
            }
        }
        if (code == BackRest::Ok)
            bar.Show(100);
    } // the bar ends its line before any error is printed
    if (code != BackRest::Ok) {
        const QByteArray detail = why.simplified().toLocal8Bit();
        if (code == BackRest::Stopped)
            std::fprintf(stderr, "quietbox-archive: stopped; nothing was written or changed\n");
        else if (detail.isEmpty())
            std::fprintf(stderr, "quietbox-archive: %s\n", CodeText(code));
        else
            std::fprintf(stderr, "quietbox-archive: %s: %s\n", CodeText(code), detail.constData());
    }
    return code;
}
