#include "core/documents/DocFiles.h"

#include "core/common/MadeDevice.h"
#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/DocStore.h"
#include "core/documents/ImageStore.h"
#include "core/documents/OleContainer.h"
#include "core/documents/RichTextStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeDatabase>
#include <QTemporaryFile>
#include <QTextDocument>
#include <QTextDocumentWriter>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace DocFiles {

namespace {

const QString ImageColumn = QStringLiteral("Image");
const QString ObjectColumn = QStringLiteral("OLEobj");
constexpr qint64 Chunk = 256 * 1024;
constexpr int MaxNameBytes = 200;

bool IsText(const QString& type)
{
    return type == QStringLiteral("TXT");
}

bool IsPicture(const QString& type)
{
    return type == QStringLiteral("IMG");
}

void Advance(const Progress& progress, qint64 done, qint64 total)
{
    if (progress && !progress(done, total))
        throw QbError(StoppedText, QbErrorKind::Stopped);
}

// Rolls back what was written since it began unless released: a failure, or an end of the
// process, leaves no document without its content.
class Savepoint
{
public:
    Savepoint(TDatabaseConnection& connection, const char* name)
        : m_connection(connection)
        , m_name(QLatin1String(name))
    {
        m_connection.Exec(QStringLiteral("SAVEPOINT ") + m_name);
    }
    ~Savepoint()
    {
        if (m_released)
            return;
        try {
            m_connection.Exec(QStringLiteral("ROLLBACK TO %1; RELEASE %1").arg(m_name));
        } catch (const QbError&) {
            // the failure that brought us here is the one to report
        }
    }
    Savepoint(const Savepoint&) = delete;
    Savepoint& operator=(const Savepoint&) = delete;
    void Release()
    {
        m_connection.Exec(QStringLiteral("RELEASE ") + m_name);
        m_released = true;
    }

private:
    TDatabaseConnection& m_connection;
    QString m_name;
    bool m_released = false;
};

// Copies the rest of src to dst in chunks.
void Copy(QIODevice& src, QIODevice& dst, qint64 total, const Progress& progress)
{
    QByteArray buffer(Chunk, Qt::Uninitialized);
    qint64 done = 0;
    while (done < total) {
        const qint64 n = src.read(buffer.data(), qMin(Chunk, total - done));
        if (n <= 0)
            throw QbError(QStringLiteral("Can not read the document: %1").arg(src.errorString()), QbErrorKind::Io);
        if (dst.write(buffer.constData(), n) != n)
            throw QbError(QStringLiteral("Can not write: %1").arg(dst.errorString()), QbErrorKind::Io);
        done += n;
        Advance(progress, done, total);
    }
}

QByteArray FormatName(Format format)
{
    switch (format) {
        case Format::PlainText:
            return "plaintext";
        case Format::Odt:
            return "odf";
        case Format::Png:
            return "png";
        case Format::Jpeg:
            return "jpeg";
        case Format::Native:
            break;
    }
    return QByteArray();
}

void WriteDocument(TDatabaseConnection& connection, const TDocRow& row, Format format, QIODevice& out,
                   const Progress& progress)
{
    TDocStore store(connection);
    if (IsPicture(row.Type) && format != Format::Native) {
        const QImage picture = ImageStore::ReadPicture(connection, row.Id);
        QImageWriter writer(&out, FormatName(format));
        if (picture.isNull() || !writer.write(picture))
            throw QbError(QStringLiteral("Can not write the picture: %1")
                              .arg(picture.isNull() ? QStringLiteral("the document holds none") : writer.errorString()),
                          QbErrorKind::Io);
        return;
    }
    if (IsText(row.Type) && format != Format::Native) {
        TRichTextDocument document;
        RichTextStore::Load(document, store.ReadContentBytes(row.Id, ImageColumn));
        QTextDocumentWriter writer(&out, FormatName(format));
        if (!writer.write(&document))
            throw QbError(QStringLiteral("Can not write the text."), QbErrorKind::Io);
        return;
    }
    // As stored: the cell's bytes, an object's without its header.
    const bool object = TDocStore::ContentColumn(row.Type) == ObjectColumn;
    const std::unique_ptr<QIODevice> cell = store.OpenContent(row.Id, object ? ObjectColumn : ImageColumn);
    if (!cell)
        return; // an empty document is an empty file
    qint64 total = cell->size();
    if (object) {
        QString className;
        QString suffix;
        total = qint64(TOleContainer::ReadStoredHeader(*cell, className, suffix));
        if (total != cell->size() - cell->pos())
            throw QbError(QStringLiteral("The stored object is damaged."));
    }
    Copy(*cell, out, total, progress);
}

// Puts the finished temporary file in place of target; without overwrite only where no file is.
void Place(QTemporaryFile& temp, const QString& target, bool overwrite)
{
    const QByteArray from = QFile::encodeName(temp.fileName());
    const QByteArray to = QFile::encodeName(target);
    if (overwrite) {
        if (::rename(from.constData(), to.constData()) != 0)
            throw QbError(
                QStringLiteral("Can not write \"%1\": %2").arg(target, QString::fromLocal8Bit(std::strerror(errno))),
                QbErrorKind::Io);
        temp.setAutoRemove(false);
        return;
    }
    // A link fails on an existing name, so a file that appeared meanwhile is never replaced.
    if (::link(from.constData(), to.constData()) != 0) {
        const int e = errno;
        if (e == EEXIST)
            throw QbError(QStringLiteral("The file \"%1\" exists.").arg(target), QbErrorKind::Io);
        throw QbError(QStringLiteral("Can not write \"%1\": %2").arg(target, QString::fromLocal8Bit(std::strerror(e))),
                      QbErrorKind::Io);
    }
}

} // namespace

void SortDropped(const QStringList& entries, QStringList& files, QStringList& refused)
{
    for (const QString& entry : entries) {
        const QUrl url(entry); // tolerant: a file manager's URL may hold blanks
        const bool isUrl = url.isValid() && !url.scheme().isEmpty() && url.scheme().size() > 1;
        if (isUrl && !url.isLocalFile()) {
            refused << entry;
            continue;
        }
        const QString path = isUrl ? url.toLocalFile() : entry;
        const QFileInfo info(path);
        if (info.isFile() && info.isReadable() && !TOleContainer::ClassForFile(path).isEmpty())
            files << info.absoluteFilePath();
        else
            refused << QDir::toNativeSeparators(path);
    }
}

void StoreFileObject(TDatabaseConnection& connection, const QString& id, const QString& path, const Progress& progress)
{
    TDocStore store(connection);
    const QString className = TOleContainer::ClassForFile(path);
    if (className.isEmpty())
        throw QbError(QStringLiteral("No application on this desktop embeds \"%1\".").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw QbError(QStringLiteral("Can not read \"%1\": %2").arg(path, file.errorString()), QbErrorKind::Io);
    const qint64 size = file.size();
    if (size > TOleContainer::MaxObjectSize)
        throw QbError(QStringLiteral("The file \"%1\" is too large to embed: %2 bytes, at most %3.")
                          .arg(path)
                          .arg(size)
                          .arg(TOleContainer::MaxObjectSize));
    const QByteArray header
        = TOleContainer::StoredHeaderFor(className, TOleContainer::SuffixForFile(path), quint64(size));
    bool stopped = false;
    // The header, then the file read where the cell is being filled.
    TMadeDevice source(header.size() + size, [&](qint64 at, char* data, qint64 max) -> qint64 {
        if (at < header.size()) {
            const qint64 n = qMin(max, header.size() - at);
            std::memcpy(data, header.constData() + at, size_t(n));
            return n;
        }
        const qint64 from = at - header.size();
        if (file.pos() != from && !file.seek(from))
            throw QbError(QStringLiteral("Can not read \"%1\": %2").arg(path, file.errorString()), QbErrorKind::Io);
        const qint64 n = file.read(data, max);
        if (n <= 0) // shorter than it was: a file changed while it is read is not stored half
            throw QbError(QStringLiteral("Can not read \"%1\": %2")
                              .arg(path, n == 0 ? QStringLiteral("it became shorter") : file.errorString()),
                          QbErrorKind::Io);
        if (progress && !progress(from + n, size)) {
            stopped = true;
            throw QbError(StoppedText, QbErrorKind::Stopped);
        }
        return n;
    });
    source.open(QIODevice::ReadOnly);
    try {
        store.WriteContent(id, ObjectColumn, source);
    } catch (const QbError&) {
        if (stopped) // the store reports it as a failed read
            throw QbError(StoppedText, QbErrorKind::Stopped);
        throw;
    }
}

QString ImportFile(TDatabaseConnection& connection, const QString& path, const Progress& progress)
{
    const QFileInfo info(path);
    if (!info.isFile())
        throw QbError(QStringLiteral("\"%1\" is not a file.").arg(path), QbErrorKind::Io);
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info);
    QString type;
    if (mime.name() == QStringLiteral("text/plain") || mime.name() == QStringLiteral("text/html"))
        type = QStringLiteral("TXT");
    else if (!QImageReader::imageFormat(path).isEmpty())
        type = QStringLiteral("IMG");
    TDocStore store(connection);
    Savepoint savepoint(connection, "import_file");
    const QString id = store.CreateDocumentRecord(info.fileName(), type);
    if (IsText(type)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw QbError(QStringLiteral("Can not read \"%1\": %2").arg(path, file.errorString()), QbErrorKind::Io);
        TRichTextDocument document;
        RichTextStore::Load(document, file.readAll());
        store.WriteContentBytes(id, ImageColumn, RichTextStore::Save(document));
    } else if (IsPicture(type)) {
        ImageStore::WritePicture(connection, id, ImageStore::ReadImageFile(path));
    } else {
        StoreFileObject(connection, id, path, progress);
    }
    savepoint.Release();
    return id;
}

QString ImportObject(TDatabaseConnection& connection, const QString& path, const Progress& progress)
{
    Savepoint savepoint(connection, "import_object");
    // No type, as an object pasted from the clipboard has.
    const QString id = TDocStore(connection).CreateDocumentRecord(QFileInfo(path).fileName(), QString());
    StoreFileObject(connection, id, path, progress);
    savepoint.Release();
    return id;
}

QStringList ImportObjects(TDatabaseConnection& connection, const QStringList& files, QStringList& failures,
                          const Progress& progress)
{
    qint64 total = 0;
    for (const QString& path : files)
        total += QFileInfo(path).size();
    Savepoint savepoint(connection, "import_objects");
    QStringList ids;
    qint64 before = 0; // bytes of the files done
    for (const QString& path : files) {
        try {
            ids << ImportObject(connection, path, [&](qint64 done, qint64) {
                return !progress || progress(qMin(before + done, total), total);
            });
        } catch (const QbError& e) {
            if (e.Kind() == QbErrorKind::Stopped)
                throw;
            failures << e.Message();
        }
        before += QFileInfo(path).size();
        Advance(progress, qMin(before, total), total);
    }
    savepoint.Release();
    return ids;
}

QList<Format> FormatsFor(const QString& type)
{
    if (IsText(type))
        return {Format::Native, Format::PlainText, Format::Odt};
    if (IsPicture(type))
        return {Format::Native, Format::Png, Format::Jpeg};
    return {Format::Native};
}

QString SuffixFor(TDatabaseConnection& connection, const TDocRow& row, Format format)
{
    TDocStore store(connection);
    switch (format) {
        case Format::PlainText:
            return QStringLiteral("txt");
        case Format::Odt:
            return QStringLiteral("odt");
        case Format::Png:
            return QStringLiteral("png");
        case Format::Jpeg:
            return QStringLiteral("jpg");
        case Format::Native:
            break;
    }
    if (IsText(row.Type))
        return QStringLiteral("html");
    if (IsPicture(row.Type))
        return QStringLiteral("bmp");
    const std::unique_ptr<QIODevice> cell = store.OpenContent(row.Id, ObjectColumn);
    if (!cell)
        return QString();
    QString className;
    QString suffix;
    TOleContainer::ReadStoredHeader(*cell, className, suffix);
    return suffix;
}

QString SafeFileName(const QString& name)
{
    QString safe;
    for (const QChar c : name)
        safe += (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            ? QLatin1Char('_')
            : c;
    safe = safe.trimmed();
    while (safe.startsWith(QLatin1Char('.')))
        safe.remove(0, 1);
    while (safe.toUtf8().size() > MaxNameBytes)
        safe.chop(1);
    if (safe.isEmpty() || safe.back().isHighSurrogate())
        safe = safe.isEmpty() ? QStringLiteral("document") : safe.chopped(1);
    return safe;
}

void ExportDocument(TDatabaseConnection& connection, const TDocRow& row, Format format, const QString& target,
                    bool overwrite, const Progress& progress)
{
    if (!FormatsFor(row.Type).contains(format))
        throw QbError(QStringLiteral("This document can not be written in that format."));
    WriteFile(target, overwrite, [&](QIODevice& out) { WriteDocument(connection, row, format, out, progress); });
}

void WriteFile(const QString& target, bool overwrite, const std::function<void(QIODevice&)>& write)
{
    if (!overwrite && QFileInfo::exists(target))
        throw QbError(QStringLiteral("The file \"%1\" exists.").arg(target), QbErrorKind::Io);
    const QFileInfo info(target);
    // Hidden beside the target, so the rename stays on one file system; QTemporaryFile makes it 0600.
    QTemporaryFile temp(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    if (!temp.open())
        throw QbError(QStringLiteral("Can not write \"%1\": %2").arg(target, temp.errorString()), QbErrorKind::Io);
    write(temp);
    // A document writer may have closed the file already; its content goes to the disk either way.
    if (temp.isOpen() && !temp.flush())
        throw QbError(QStringLiteral("Can not write \"%1\": %2").arg(target, temp.errorString()), QbErrorKind::Io);
    QFile written(temp.fileName());
    if (!written.open(QIODevice::ReadOnly) || ::fsync(written.handle()) != 0)
        throw QbError(
            QStringLiteral("Can not write \"%1\": %2").arg(target, QString::fromLocal8Bit(std::strerror(errno))),
            QbErrorKind::Io);
    Place(temp, target, overwrite);
}

QString UniqueFileName(const QString& name, const QString& suffix, QStringList& taken)
{
    QString stem = SafeFileName(name);
    QString end = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
    if (!end.isEmpty() && stem.endsWith(end, Qt::CaseInsensitive) && stem.size() > end.size()) {
        end = stem.right(end.size()); // a name that carries its suffix keeps its spelling
        stem.chop(end.size());
    }
    QString file = stem + end;
    for (int n = 2; taken.contains(file, Qt::CaseInsensitive); ++n)
        file = QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(end);
    taken << file;
    return file;
}

void ExportAll(TDatabaseConnection& connection, const QString& folder, QStringList& written, const Progress& progress)
{
    const QDir dir(folder);
    if (!dir.exists())
        throw QbError(QStringLiteral("The folder \"%1\" does not exist.").arg(folder), QbErrorKind::Io);
    if (!dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        throw QbError(QStringLiteral("The folder \"%1\" is not empty: choose an empty folder.").arg(folder),
                      QbErrorKind::Io);
    const std::vector<TDocRow> rows = TDocStore(connection).ListDocuments();
    QStringList taken;
    qint64 done = 0;
    for (const TDocRow& row : rows) {
        const QString file = UniqueFileName(row.Name, SuffixFor(connection, row, Format::Native), taken);
        ExportDocument(connection, row, Format::Native, dir.filePath(file), false,
                       [&](qint64, qint64) { return !progress || progress(done, qint64(rows.size())); });
        written << file;
        Advance(progress, ++done, qint64(rows.size()));
    }
}

QString PlainText(TDatabaseConnection& connection, const QString& id)
{
    TDocStore store(connection);
    TRichTextDocument document;
    RichTextStore::Load(document, store.ReadContentBytes(id, ImageColumn));
    return document.toPlainText();
}

} // namespace DocFiles
