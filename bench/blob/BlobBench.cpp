// Streams a large document into an encrypted database and back out, and reports throughput and
// how far the process's memory grew: the content must pass through in chunks, never whole.
#include "core/database/Connection.h"
#include "core/database/DBactions.h"
#include "core/database/DocStore.h"
#include "core/database/Schema.h"
#include "support/ProcStatus.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

using qbbench::Mb;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qint64 size = 200 * 1000 * 1000;
    if (argc > 1)
        size = QByteArray(argv[1]).toLongLong() * 1000 * 1000;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    const QString folder = dir.path() + QStringLiteral("/db");
    const QString source = dir.path() + QStringLiteral("/source.bin");
    const QString copy = dir.path() + QStringLiteral("/copy.bin");

    {
        // Incompressible content, written in 1 MB pieces so the generator itself stays small.
        QFile out(source);
        if (!out.open(QIODevice::WriteOnly))
            return 2;
        QByteArray piece(1000 * 1000, Qt::Uninitialized);
        for (qint64 done = 0; done < size; done += piece.size()) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(piece.data()), piece.size() / 4);
            out.write(piece.constData(), std::min<qint64>(piece.size(), size - done));
        }
    }

    QString failure;
    if (!QDir().mkpath(folder) || !Schema::CreateDocsTable(folder, [&](const QString& t) { failure = t; })) {
        std::fprintf(stderr, "cannot create the database: %s\n", qPrintable(failure));
        return 2;
    }
    try {
        TDatabaseConnection setup;
        SetDatabasePassword(setup, folder, QStringLiteral("BENCH"));

        TDatabaseConnection db;
        db.SetParams(folder);
        db.AddPassword(QStringLiteral("BENCH"));
        db.Open();
        TDocStore store(db);
        const QString id = store.CreateDocumentRecord(QStringLiteral("large"), QStringLiteral("IMG"));
        const qint64 before = qbbench::Status("VmHWM");

        QElapsedTimer timer;
        QFile in(source);
        in.open(QIODevice::ReadOnly);
        timer.start();
        store.WriteContent(id, QStringLiteral("Image"), in);
        const double writeSeconds = timer.nsecsElapsed() / 1e9;
        const qint64 afterWrite = qbbench::Status("VmHWM");

        QFile out(copy);
        out.open(QIODevice::WriteOnly);
        timer.restart();
        const qint64 read = store.ReadContent(id, QStringLiteral("Image"), out);
        out.close();
        const double readSeconds = timer.nsecsElapsed() / 1e9;
        const qint64 afterRead = qbbench::Status("VmHWM");
        db.Close();

        std::printf("Content: %.1f MB of random bytes, encrypted database (SQLCipher)\n", Mb(size));
        std::printf("write  %7.1f MB/s  %6.2f s\n", Mb(size) / writeSeconds, writeSeconds);
        std::printf("read   %7.1f MB/s  %6.2f s  (%s)\n", Mb(read) / readSeconds, readSeconds,
                    read == size && QFile(copy).size() == size ? "same size" : "SIZE DIFFERS");
        std::printf("peak RSS: %.1f MB before, %.1f MB after the write, %.1f MB after the read\n", Mb(before),
                    Mb(afterWrite), Mb(afterRead));
        std::printf("growth during the transfers: %.1f MB for a %.1f MB document\n", Mb(afterRead - before), Mb(size));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
