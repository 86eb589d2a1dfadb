#include "support/ArchiveTestKit.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>
#include <zlib.h>

namespace {

std::atomic<size_t> g_failSize{0};
std::atomic<int> g_failSizeCountdown{0};
thread_local int t_failCountdown = 0;

} // namespace

void* operator new(std::size_t size)
{
    if (t_failCountdown > 0 && --t_failCountdown == 0)
        throw std::bad_alloc();
    if (size != 0 && g_failSize.load(std::memory_order_relaxed) == size && g_failSizeCountdown.fetch_sub(1) == 1) {
        g_failSize = 0;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

// The non-throwing form must come from the same heap as the deletes below.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace archivetest {

QByteArray Le32(qint32 value)
{
    const auto v = static_cast<quint32>(value);
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xff);
    return b;
}

QByteArray Stream(const QByteArray& data, int level)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    QByteArray out(static_cast<qsizetype>(size), '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.constData()),
                        static_cast<uLong>(data.size()), level),
              Z_OK);
    out.resize(static_cast<qsizetype>(size));
    return out;
}

QByteArray StoredBlock(const QByteArray& data)
{
    const QByteArray stream = Stream(data);
    return Le32(static_cast<qint32>(stream.size())) + stream;
}

QByteArray RefStored(const QByteArray& data)
{
    QByteArray stream = Stream(data, 0);
    EXPECT_EQ(stream.left(2), QByteArray("\x78\x01", 2));
    stream[1] = char(0xDA); // still a multiple of 31, as the header check wants
    return stream;
}

QByteArray RefWrite(const std::vector<RefFile>& files)
{
    QByteArray list;
    for (const RefFile& f : files)
        list += f.name + "\r\n";
    QByteArray out = "BACKUP" + StoredBlock(list);
    for (const RefFile& f : files) {
        out += Le32(static_cast<qint32>(f.content.size()));
        for (qsizetype at = 0; at < f.content.size(); at += Block) {
            const QByteArray plain = f.content.mid(at, Block);
            const QByteArray packed = Stream(plain);
            const QByteArray stored = RefStored(plain);
            const QByteArray& shorter = packed.size() < stored.size() ? packed : stored;
            out += Le32(static_cast<qint32>(shorter.size())) + shorter;
        }
    }
    return out;
}

namespace {

struct Cursor
{
    const QByteArray& bytes;
    qsizetype at = 0;
    bool Take(qsizetype n, QByteArray& out)
    {
        if (n < 0 || at + n > bytes.size())
            return false;
        out = bytes.mid(at, n);
        at += n;
        return true;
    }
    bool Int(qint32& v)
    {
        QByteArray b;
        if (!Take(4, b))
            return false;
        quint32 u = 0;
        for (int i = 3; i >= 0; --i)
            u = (u << 8) | static_cast<unsigned char>(b[i]);
        v = static_cast<qint32>(u);
        return true;
    }
    bool Block(QByteArray& plain, QString& why)
    {
        qint32 length = 0;
        QByteArray stream;
        if (!Int(length) || !Take(length, stream)) {
            why = QStringLiteral("short block");
            return false;
        }
        if (stream.size() < 2 || static_cast<unsigned char>(stream[0]) != 0x78
            || static_cast<unsigned char>(stream[1]) != 0xDA) {
            why = QStringLiteral("block does not start 78 DA");
            return false;
        }
        plain = QByteArray(archivetest::Block, '\0');
        uLongf size = archivetest::Block;
        if (uncompress(reinterpret_cast<Bytef*>(plain.data()), &size,
                       reinterpret_cast<const Bytef*>(stream.constData()), static_cast<uLong>(stream.size()))
            != Z_OK) {
            why = QStringLiteral("block does not inflate");
            return false;
        }
        plain.resize(static_cast<qsizetype>(size));
        return true;
    }
};

} // namespace

RefArchive RefRead(const QByteArray& archive)
{
    RefArchive result;
    Cursor c{archive};
    QByteArray magic, list;
    if (!c.Take(6, magic) || magic != "BACKUP") {
        result.why = QStringLiteral("magic");
        return result;
    }
    if (!c.Block(list, result.why))
        return result;
    if (!list.isEmpty() && !list.endsWith("\r\n")) {
        result.why = QStringLiteral("list not CR LF terminated");
        return result;
    }
    for (const QByteArray& name : list.split('\n')) {
        if (name.isEmpty())
            continue;
        if (!name.endsWith('\r')) {
            result.why = QStringLiteral("bare LF");
            return result;
        }
        result.files.push_back({name.chopped(1), {}});
    }
    for (RefFile& f : result.files) {
        qint32 size = 0;
        if (!c.Int(size)) {
            result.why = QStringLiteral("short size");
            return result;
        }
        int blocks = 0;
        while (f.content.size() < size) {
            QByteArray plain;
            if (!c.Block(plain, result.why))
                return result;
            if (f.content.size() + plain.size() < size && plain.size() != Block) {
                result.why = QStringLiteral("short block before the last");
                return result;
            }
            f.content += plain;
            ++blocks;
        }
        if (f.content.size() != size) {
            result.why = QStringLiteral("length differs");
            return result;
        }
        result.blocksPerFile.push_back(blocks);
    }
    if (c.at != archive.size()) {
        result.why = QStringLiteral("bytes after the last block");
        return result;
    }
    result.ok = true;
    return result;
}

QMap<QString, QByteArray> Snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(folder).relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            files.insert(rel + QStringLiteral("/"), {});
        } else {
            QFile f(path);
            EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
            files.insert(rel, f.readAll());
        }
    }
    return files;
}

void Fill(const QString& folder, const std::vector<RefFile>& files)
{
    for (const RefFile& f : files) {
        QFile out(folder + QStringLiteral("/") + QFile::decodeName(f.name));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        ASSERT_EQ(out.write(f.content), f.content.size());
    }
}

QByteArray Random(qsizetype size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray b(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        b[i] = static_cast<char>(gen.generate() & 0xff);
    return b;
}

QByteArray Text(qsizetype size)
{
    QByteArray b;
    for (int line = 0; b.size() < size; ++line)
        b += "<p>Line " + QByteArray::number(line) + " of a document, quietly kept.</p>\n";
    b.truncate(size);
    return b;
}

QStringList Siblings(const QString& path)
{
    QDir parent = QFileInfo(path).dir();
    return parent.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

namespace AllocationFault {

void FailSized(size_t size, int nth)
{
    g_failSizeCountdown = nth;
    g_failSize = size;
}

void FailNthHere(int nth)
{
    t_failCountdown = nth;
}

void Off()
{
    g_failSize = 0;
    t_failCountdown = 0;
}

} // namespace AllocationFault

QString Leftovers(const QString& folder)
{
    const QString name = QFileInfo(folder).fileName();
    QStringList found;
    for (const QString& sibling : Siblings(folder)) {
        if (sibling.startsWith(u'.') && sibling.contains(name))
            found << sibling;
    }
    return found.join(u' ');
}

} // namespace archivetest
