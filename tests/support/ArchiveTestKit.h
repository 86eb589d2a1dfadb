#pragma once

// A reader and a writer of the archive format written from its description alone, straight on
// zlib and one thread, to cross-check the real ones; plus folder snapshots.
#include <QByteArray>
#include <QMap>
#include <QString>
#include <vector>

namespace archivetest {

struct RefFile
{
    QByteArray name;
    QByteArray content;
};

struct RefArchive
{
    std::vector<RefFile> files;
    std::vector<int> blocksPerFile;
    bool ok = false;
    QString why;
};

inline constexpr int Block = 524288;

QByteArray Le32(qint32 value);
// "BACKUP", the name list block, then each file's size and its blocks: level 9, or the stored
// stream where level 9 comes out no shorter. The writer decides by a cheap estimate instead; on
// text and on random bytes, which is what the tests feed it, both choose alike.
QByteArray RefWrite(const std::vector<RefFile>& files);
// Follows the described reader; checks every stream starts 0x78 0xDA and non-last blocks are full.
RefArchive RefRead(const QByteArray& archive);
QByteArray Stream(const QByteArray& data, int level = 9);
QByteArray StoredBlock(const QByteArray& data);
// data as a zlib stream of stored deflate blocks: what zlib writes at level 0, with the header
// bytes of level 9.
QByteArray RefStored(const QByteArray& data);

// Every file under folder (subfolders as "sub/name"), with its bytes; folders as "sub/".
QMap<QString, QByteArray> Snapshot(const QString& folder);
// Writes files into folder.
void Fill(const QString& folder, const std::vector<RefFile>& files);
QByteArray Random(qsizetype size, quint32 seed);
QByteArray Text(qsizetype size);
// Names beside path, in its parent folder.
QStringList Siblings(const QString& path);
// Hidden names beside the folder that mention it: staging folders left behind.
QString Leftovers(const QString& folder);

// Out-of-memory on demand, to reach the paths only an exhausted heap takes. Every test binary
// that links this kit allocates through it; nothing fails unless a test asks.
namespace AllocationFault {
// The nth allocation of exactly `size` bytes from now on, on any thread, throws std::bad_alloc.
void FailSized(size_t size, int nth);
// The nth allocation from now on by the calling thread throws std::bad_alloc.
void FailNthHere(int nth);
void Off();
} // namespace AllocationFault

} // namespace archivetest
