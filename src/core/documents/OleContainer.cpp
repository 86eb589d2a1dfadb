#include "core/documents/OleContainer.h"

#include "core/common/MadeDevice.h"
#include "core/common/PrivateFolder.h"
#include "core/common/QbError.h"
#include "core/documents/ObjectServers.h"

#include <QBuffer>
#include <QClipboard>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <QtEndian>
#include <cstring>

const QByteArray TOleContainer::Magic = QByteArrayLiteral("QBOB\r\n\x1a\n");
const QString TOleContainer::NotRegisteredText = QStringLiteral("class not registered");
const QString TOleContainer::FolderPrefix = QStringLiteral("quietbox-object-");

namespace {

constexpr qint64 Chunk = 1024 * 1024;
constexpr int MaxClassBytes = 4 * ObjectServers::MaxClassLength;
constexpr int MaxSuffixLength = 32;

TOleContainer::TObjectChooser& Chooser()
{
    static TOleContainer::TObjectChooser chooser;
    return chooser;
}

QbError Damaged()
{
    return QbError(QStringLiteral("The stored object is damaged."));
}

QbError Incomplete()
{
    return QbError(QStringLiteral("The stored object is incomplete."));
}

// A suffix becomes part of a file name: letters, digits and a few marks only.
bool ValidSuffix(const QString& suffix)
{
    if (suffix.size() > MaxSuffixLength)
        return false;
    return std::all_of(suffix.begin(), suffix.end(), [](QChar c) {
        return (c.unicode() < 128 && c.isLetterOrNumber()) || QStringLiteral("_-+.").contains(c);
    });
}

bool ValidClass(const QString& className)
{
    return !className.isEmpty() && className.size() <= ObjectServers::MaxClassLength
        && std::none_of(className.begin(), className.end(),
                        [](QChar c) { return c.category() == QChar::Other_Control; });
}

QByteArray ReadExactly(QIODevice& stream, qint64 size)
{
    QByteArray bytes;
    if (!stream.isSequential() && stream.bytesAvailable() < size)
        throw Incomplete();
    if (!stream.isSequential())
        bytes.reserve(size); // known to be there; a sequential source grows as it delivers
    while (bytes.size() < size) {
        const QByteArray part = stream.read(qMin(Chunk, size - bytes.size()));
        if (part.isEmpty() && !stream.waitForReadyRead(30000))
            throw Incomplete();
        bytes += part;
    }
    return bytes;
}

template <typename T> T ReadNumber(QIODevice& stream)
{
    return qFromBigEndian<T>(ReadExactly(stream, sizeof(T)).constData());
}

QString ReadText(QIODevice& stream, int maxBytes)
{
    const quint16 size = ReadNumber<quint16>(stream);
    if (size > maxBytes)
        throw Damaged();
    const QByteArray bytes = ReadExactly(stream, size);
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes)
        throw Damaged();
    return text;
}

void Write(QIODevice& stream, const char* data, qint64 size)
{
    if (stream.write(data, size) != size)
        throw QbError(QStringLiteral("Can not write the object: %1").arg(stream.errorString()));
}

template <typename T> void WriteNumber(QIODevice& stream, T value)
{
    char bytes[sizeof(T)];
    qToBigEndian(value, bytes);
    Write(stream, bytes, sizeof(T));
}

void WriteText(QIODevice& stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    WriteNumber<quint16>(stream, quint16(bytes.size()));
    Write(stream, bytes.constData(), bytes.size());
}

QString LocalFileOf(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().isEmpty())
        return QString();
    const QUrl url = data->urls().first();
    if (!url.isLocalFile())
        return QString();
    const QFileInfo info(url.toLocalFile());
    return info.isFile() && info.isReadable() ? info.absoluteFilePath() : QString();
}

std::optional<TObjectServer> ServerForFile(const QString& path)
{
    return ObjectServers::DefaultFor(QMimeDatabase().mimeTypeForFile(path).name());
}

} // namespace

TOleContainer::TOleContainer(QObject* parent)
    : QObject(parent)
    , m_poll(new QTimer(this))
{
    m_poll->setInterval(100);
    connect(m_poll, &QTimer::timeout, this, &TOleContainer::Poll);
}

TOleContainer::~TOleContainer()
{
    const bool wasOpen = m_state == osOpen;
    DropSession();
    if (wasOpen) {
        m_state = osLoaded;
        Q_EMIT ObjectClosed();
    }
}

void TOleContainer::DropSession()
{
    StopServer();
    m_folder.reset();
    m_filePath.clear();
    m_poll->stop();
    m_handedOver = false;
}

void TOleContainer::SetModified(bool modified)
{
    m_modified = modified;
    if (!modified && m_state != osOpen && m_folder) {
        m_folder.reset(); // the change is stored: its file goes
        m_filePath.clear();
    }
}

int TOleContainer::SweepLeftovers()
{
    return TPrivateFolder::SweepLeftovers(FolderPrefix);
}

void TOleContainer::SaveToFile(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(m_bytes) != m_bytes.size() || !file.flush())
        throw QbError(QStringLiteral("Can not save the object to \"%1\": %2").arg(path, file.errorString()),
                      QbErrorKind::Io);
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void TOleContainer::SetObjectChooser(TObjectChooser chooser)
{
    Chooser() = std::move(chooser);
}

void TOleContainer::SetState(TObjectState state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT StateChanged();
}

void TOleContainer::SetObject(const QString& className, const QString& suffix, QByteArray bytes)
{
    const bool wasOpen = m_state == osOpen;
    DropSession();
    m_className = className;
    m_suffix = suffix;
    m_bytes = std::move(bytes);
    m_state = osLoaded;
    Q_EMIT StateChanged();
    if (wasOpen)
        Q_EMIT ObjectClosed();
}

void TOleContainer::CreateFromClass(const QString& className, bool /*iconic*/)
{
    const std::optional<TObjectServer> server = ObjectServers::Find(className);
    if (!server)
        throw QbError(NotRegisteredText);
    SetObject(server->ClassName, ObjectServers::SuffixFor(*server), QByteArray());
    m_modified = true;
}

bool TOleContainer::OffersObject(const QMimeData* data)
{
    const QString path = LocalFileOf(data);
    return !path.isEmpty() && ServerForFile(path).has_value();
}

bool TOleContainer::ClipboardOffersObject() const
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
        && OffersObject(QGuiApplication::clipboard()->mimeData());
}

void TOleContainer::PasteFromClipboard()
{
    if (ClipboardOffersObject())
        PasteFrom(QGuiApplication::clipboard()->mimeData());
}

void TOleContainer::PasteFrom(const QMimeData* data)
{
    const QString path = LocalFileOf(data);
    if (path.isEmpty())
        return;
    const std::optional<TObjectServer> server = ServerForFile(path);
    if (!server)
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw QbError(QStringLiteral("Can not read \"%1\": %2").arg(path, file.errorString()));
    if (file.size() > TOleContainer::MaxObjectSize)
        throw QbError(QStringLiteral("The file \"%1\" is too large to embed: %2 bytes, at most %3.")
                          .arg(path)
                          .arg(file.size())
                          .arg(TOleContainer::MaxObjectSize));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw QbError(QStringLiteral("Can not read \"%1\": %2").arg(path, file.errorString()));
    SetObject(server->ClassName, SuffixForFile(path), std::move(bytes));
    m_modified = true;
}

QString TOleContainer::ClassForFile(const QString& path)
{
    const std::optional<TObjectServer> server = ServerForFile(path);
    return server ? server->ClassName : QString();
}

QString TOleContainer::SuffixForFile(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix();
    return ValidSuffix(suffix) ? suffix : QMimeDatabase().mimeTypeForFile(path).preferredSuffix();
}

bool TOleContainer::ChooseObjectDialog()
{
    if (!Chooser())
        throw QbError(QStringLiteral("No object chooser is installed."));
    const QString className = Chooser()();
    if (className.isEmpty())
        return false;
    CreateFromClass(className, false);
    return true;
}

quint64 TOleContainer::ReadStoredHeader(QIODevice& stream, QString& className, QString& suffix)
{
    const QByteArray magic = stream.read(Magic.size());
    if (magic != Magic)
        throw QbError(QStringLiteral("The stored object is not in Quietbox's object format."));
    const quint16 version = ReadNumber<quint16>(stream);
    if (version != FormatVersion)
        throw QbError(QStringLiteral("The stored object has the format version %1, which this version of Quietbox "
                                     "can not read.")
                          .arg(version));
    className = ReadText(stream, MaxClassBytes);
    suffix = ReadText(stream, MaxSuffixLength);
    if (!ValidClass(className) || !ValidSuffix(suffix))
        throw Damaged();
    const quint64 size = ReadNumber<quint64>(stream);
    if (size > quint64(std::numeric_limits<qsizetype>::max()))
        throw Damaged();
    return size;
}

void TOleContainer::ReadFromStream(QIODevice& stream)
{
    if (!stream.isReadable())
        throw QbError(QStringLiteral("Can not read the object: the stream is not open for reading."));
    QString className;
    QString suffix;
    const quint64 size = ReadStoredHeader(stream, className, suffix);
    QByteArray bytes = ReadExactly(stream, qint64(size));
    if (!stream.isSequential() && !stream.atEnd())
        throw Damaged();
    SetObject(className, suffix, std::move(bytes));
    m_modified = false;
}

QByteArray TOleContainer::StoredHeaderFor(const QString& className, const QString& suffix, quint64 size)
{
    QBuffer header;
    header.open(QIODevice::WriteOnly);
    Write(header, Magic.constData(), Magic.size());
    WriteNumber<quint16>(header, FormatVersion);
    WriteText(header, className);
    WriteText(header, suffix);
    WriteNumber<quint64>(header, size);
    return header.data();
}

QByteArray TOleContainer::StoredHeader() const
{
    if (m_state == osEmpty)
        throw QbError(QStringLiteral("The container holds no object."));
    return StoredHeaderFor(m_className, m_suffix, quint64(m_bytes.size()));
}

void TOleContainer::WriteToStream(QIODevice& stream) const
{
    const QByteArray header = StoredHeader();
    Write(stream, header.constData(), header.size());
    for (qint64 offset = 0; offset < m_bytes.size(); offset += Chunk)
        Write(stream, m_bytes.constData() + offset, qMin(Chunk, m_bytes.size() - offset));
}

std::unique_ptr<QIODevice> TOleContainer::StoredForm() const
{
    // Both arrays are shared with the device, not copied.
    const QByteArray header = StoredHeader();
    return std::make_unique<TMadeDevice>(header.size() + m_bytes.size(),
                                         [head = header, body = m_bytes](qint64 at, char* data, qint64 max) {
                                             const bool inHead = at < head.size();
                                             const QByteArray& part = inHead ? head : body;
                                             const qint64 from = inHead ? at : at - head.size();
                                             const qint64 n = qMin(max, part.size() - from);
                                             std::memcpy(data, part.constData() + from, size_t(n));
                                             return n;
                                         });
}

void TOleContainer::RunVerb(int verb)
{
    if (verb != -1 && verb != 0)
        throw QbError(QStringLiteral("The object does not offer the verb %1.").arg(verb));
    if (m_state == osEmpty)
        throw QbError(QStringLiteral("The container holds no object."));
    if (m_state == osOpen)
        return;
    const std::optional<TObjectServer> server = ObjectServers::Find(m_className);
    if (!server)
        throw QbError(NotRegisteredText);

    DropSession(); // a file kept from the last session: its content is in m_bytes
    try {
        m_folder = std::make_unique<TPrivateFolder>(FolderPrefix);
        m_filePath = m_folder->Path() + QStringLiteral("/object")
            + (m_suffix.isEmpty() ? QString() : QLatin1Char('.') + m_suffix);
        QFile file(m_filePath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
            || file.write(m_bytes) != m_bytes.size() || !file.flush())
            throw QbError(QStringLiteral("Can not write the object for its server: %1").arg(file.errorString()));
        file.close();
        const QFileInfo info(m_filePath);
        m_seenTime = m_syncedTime = info.lastModified();
        m_seenSize = m_syncedSize = info.size();

        QStringList args = ObjectServers::CommandLine(*server, m_filePath);
        m_process = new QProcess(this);
        m_process->setProgram(args.takeFirst());
        m_process->setArguments(args);
        m_process->setWorkingDirectory(m_folder->Path());
        m_process->setStandardInputFile(QProcess::nullDevice());
        m_process->setProcessChannelMode(QProcess::ForwardedChannels);
        m_process->start();
        if (!m_process->waitForStarted())
            throw QbError(QStringLiteral("The object server \"%1\" did not start: %2")
                              .arg(server->Name, m_process->errorString()));
    } catch (...) {
        DropSession();
        throw;
    }
    m_serverName = server->Name;
    m_serverError.clear();
    m_endAsked = false;
    m_sessionChanged = false;
    m_sawLock = false;
    m_handedOver = false;
    m_started.start();
    m_idle.invalidate();
    SetState(osOpen);
    m_poll->start();
}

QString TOleContainer::LockFilePath() const
{
    const QFileInfo info(m_filePath);
    return info.path() + QStringLiteral("/.~lock.") + info.fileName() + QLatin1Char('#');
}

bool TOleContainer::SyncFromFile()
{
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    const QFileInfo info(m_filePath);
    m_syncedTime = m_seenTime = info.lastModified();
    m_syncedSize = m_seenSize = info.size();
    if (bytes == m_bytes)
        return false;
    m_bytes = std::move(bytes);
    m_modified = true;
    m_sessionChanged = true;
    Q_EMIT StateChanged();
    return true;
}

void TOleContainer::Poll()
{
    if (m_state != osOpen) {
        m_poll->stop();
        return;
    }
    // A change is taken in once the file has kept its time and size for one tick, so a save
    // in progress is not read half-written.
    const QFileInfo info(m_filePath);
    if (info.exists()) {
        if (info.lastModified() != m_seenTime || info.size() != m_seenSize) {
            m_seenTime = info.lastModified();
            m_seenSize = info.size();
        } else if ((m_seenTime != m_syncedTime || m_seenSize != m_syncedSize) && SyncFromFile()) {
            Q_EMIT ObjectChanged();
            if (m_state != osOpen)
                return; // a receiver ended the session
        }
    }
    const bool locked = QFileInfo::exists(LockFilePath());
    m_sawLock = m_sawLock || locked;
    if (ServerRunning() || locked || m_handedOver) {
        m_idle.invalidate();
        return;
    }
    if (!m_idle.isValid()) {
        m_idle.start();
        if (LooksHandedOver()) {
            // Ending now would take the file from the instance that has it: wait for the user.
            m_handedOver = true;
            Q_EMIT ServerHandedOver();
            return;
        }
    }
    if (m_idle.elapsed() >= m_handOverGrace)
        FinishSession();
}

bool TOleContainer::ServerRunning() const
{
    return m_state == osOpen && m_process && m_process->state() != QProcess::NotRunning;
}

bool TOleContainer::LooksHandedOver() const
{
    return m_process && m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0
        && m_started.elapsed() < m_handOverLimit && !m_sawLock && !m_sessionChanged && m_seenTime == m_syncedTime
        && m_seenSize == m_syncedSize;
}

void TOleContainer::FinishSession()
{
    SyncFromFile();
    // A server that ended by itself in failure without changing anything did not edit it.
    if (m_process && m_process->state() == QProcess::NotRunning && !m_sessionChanged) {
        if (m_process->exitStatus() == QProcess::CrashExit)
            m_serverError = QStringLiteral("The object server \"%1\" stopped unexpectedly.").arg(m_serverName);
        else if (m_process->exitCode() != 0)
            m_serverError = QStringLiteral("The object server \"%1\" ended with the exit code %2.")
                                .arg(m_serverName)
                                .arg(m_process->exitCode());
    }
    StopServer();
    m_poll->stop();
    m_handedOver = false;
    // The file stays while the change made in it is stored nowhere (SetModified(false) wipes it).
    if (!m_modified || !m_sessionChanged) {
        m_folder.reset();
        m_filePath.clear();
    }
    SetState(osLoaded);
    Q_EMIT ObjectClosed();
}

void TOleContainer::EndEditing()
{
    if (m_state != osOpen)
        return;
    StopServer();
    FinishSession();
}

bool TOleContainer::AskServerToEnd()
{
    if (m_state != osOpen)
        return true;
    SyncFromFile();
    if (ServerRunning()) {
        m_process->terminate();
        m_process->waitForFinished(m_endWait);
        m_endAsked = true;
    }
    if (ServerRunning() || m_handedOver || QFileInfo::exists(LockFilePath()))
        return false;
    // It ended because it was asked to: that is no failure of the server.
    delete m_process;
    m_process = nullptr;
    FinishSession();
    return true;
}

void TOleContainer::StopServer()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        if (!m_endAsked) {
            m_process->terminate();
            m_process->waitForFinished(2000);
        }
        if (m_process->state() != QProcess::NotRunning) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
    delete m_process;
    m_process = nullptr;
}

void TOleContainer::ReleaseObject()
{
    const bool wasOpen = m_state == osOpen;
    DropSession();
    m_className.clear();
    m_suffix.clear();
    m_bytes.clear();
    m_modified = false;
    m_state = osEmpty;
    Q_EMIT StateChanged();
    if (wasOpen)
        Q_EMIT ObjectClosed();
}

void TOleContainer::WaitWhileOpen()
{
    if (m_state != osOpen)
        return;
    QEventLoop loop;
    connect(this, &TOleContainer::ObjectClosed, &loop, &QEventLoop::quit);
    loop.exec();
}
