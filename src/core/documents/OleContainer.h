#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QIODevice;
class QMimeData;
class QProcess;
class QTimer;
class TPrivateFolder;

// Holds one embedded object (class name, file suffix, content bytes) and lets its object server
// edit it. Editing puts the content into a private folder (TPrivateFolder: the per-user tmpfs)
// and starts the server on it; the file is read back when the server is done, and overwritten and
// removed once its content is stored (Modified cleared) or the object goes, so the decrypted
// content stays there only while it is edited or exists nowhere else.
//
// Every failure raises QbError with a message text.
class TOleContainer : public QObject
{
    Q_OBJECT
public:
    enum TObjectState
    {
        osEmpty = 0,
        osLoaded = 1,
        osRunning = 2,
        osOpen = 3, // open in the server's own window
        osInPlaceActive = 4,
        osUIActive = 5
    };

    // Asks the user for an object class; returns its class name, or "" when cancelled.
    using TObjectChooser = std::function<QString()>;

    static const QByteArray Magic; // first bytes of a stored object
    static constexpr quint16 FormatVersion = 1;
    static const QString NotRegisteredText; // "class not registered"
    static const QString FolderPrefix; // of the private editing folders
    // The engine stores no cell above 1,000,000,000 bytes; a larger file is refused before it
    // is read into memory.
    static constexpr qint64 MaxObjectSize = 1'000'000'000 - 1024;

    explicit TOleContainer(QObject* parent = nullptr);
    ~TOleContainer() override;

    TObjectState ObjectState() const { return m_state; }
    bool Modified() const { return m_modified; }
    // Clearing it says the content is stored: a file kept after the session is wiped then.
    void SetModified(bool modified);

    // A new empty object of a registered class (iconic display is not offered and ignored).
    void CreateFromClass(const QString& className, bool iconic = false);
    // The clipboard's local file becomes the object; nothing happens unless ClipboardOffersObject.
    void PasteFromClipboard();
    bool ClipboardOffersObject() const;
    // The same for any MIME data: the first entry of its uri-list, when a local file with a server.
    static bool OffersObject(const QMimeData* data);
    void PasteFrom(const QMimeData* data);
    // The class of the file's default application when it is an object server, else empty.
    static QString ClassForFile(const QString& path);
    // The suffix an object made from the file keeps: its own when usable as one, else its type's.
    static QString SuffixForFile(const QString& path);
    // The stored form up to the object's bytes, for an object of size bytes.
    static QByteArray StoredHeaderFor(const QString& className, const QString& suffix, quint64 size);
    // Reads a stored form up to the object's bytes, leaving the device at the first of them;
    // returns their count. A damaged or foreign header raises QbError.
    static quint64 ReadStoredHeader(QIODevice& stream, QString& className, QString& suffix);
    // Asks the installed chooser for a class and creates an object of it; false when cancelled.
    bool ChooseObjectDialog();
    static void SetObjectChooser(TObjectChooser chooser);

    QString ObjectClassName() const { return m_className; }
    QString ObjectSuffix() const { return m_suffix; }
    const QByteArray& ObjectBytes() const { return m_bytes; }

    // Replaces the object by the stored one at the device's position; the whole rest of the
    // device must be one object. On failure the current object stays.
    void ReadFromStream(QIODevice& stream);
    void WriteToStream(QIODevice& stream) const;
    // The stored form as an open read-only device that shares the object's bytes instead of
    // copying them, for storing a large object without a second copy in memory.
    std::unique_ptr<QIODevice> StoredForm() const;

    // -1 (show) and 0 (primary) open the object in its server's window; others are refused.
    void RunVerb(int verb);
    // Reads back what the server saved so far and ends the editing session (a server still
    // running is stopped). Does nothing unless the object is open.
    void EndEditing();
    // Asks the server to end (SIGTERM, as when the desktop session ends), waits for it up to
    // the end wait and reads back what it saved. False while the object is still held: the
    // server did not end, or an instance it handed the file to still has it.
    bool AskServerToEnd();
    void SetEndWait(int milliseconds) { m_endWait = milliseconds; }
    // The server's process still runs (the object is open and ending it would stop the server).
    bool ServerRunning() const;
    // The server's process ended at once, successfully, without touching the file or locking
    // it: it handed the file to an instance already running. The session then stays open, the
    // file watched, until EndEditing says the user is done.
    bool IsHandedOver() const { return m_handedOver; }
    // The name of the server of the last editing session.
    QString ServerName() const { return m_serverName; }
    // Writes the object's bytes to a file of the user's choice (mode 0600).
    void SaveToFile(const QString& path) const;
    // Ends any editing session without reading back, and drops the object.
    void ReleaseObject();
    // Runs a local event loop until the object is no longer open (returns at once if it is not).
    void WaitWhileOpen();

    // Why the last editing session failed: the server ended by itself with an error (exit code
    // or crash) and changed nothing. Empty when it did not fail.
    QString ServerError() const { return m_serverError; }

    // The file the server edits: while the object is open, and after the session while the
    // change it brought is not stored. Empty otherwise.
    QString EditedFilePath() const { return m_filePath; }
    // How long the session stays open after the server's process ended and no lock file is
    // left: a server that hands the file to a running instance returns before the instance
    // has locked it. 1.5 seconds unless set.
    void SetHandOverGrace(int milliseconds) { m_handOverGrace = milliseconds; }
    // A server process that ends within this time without touching the file handed it over
    // (IsHandedOver). 5 seconds unless set; 0 never takes an end for a hand-over.
    void SetHandOverLimit(int milliseconds) { m_handOverLimit = milliseconds; }

    // Wipes the editing folders that runs killed before they could (those no running process
    // holds). Called once at start; returns how many were wiped.
    static int SweepLeftovers();

Q_SIGNALS:
    // The server saved a change while the object is still open; the bytes are already taken in.
    void ObjectChanged();
    // The object is no longer open (the server is done, or the session was ended).
    void ObjectClosed();
    // The object or its state changed: a view repaints.
    void StateChanged();
    // The server handed the file to a running instance (IsHandedOver): ask the user when done.
    void ServerHandedOver();

private:
    void Poll();
    bool SyncFromFile();
    void FinishSession();
    void StopServer();
    void DropSession(); // stops the server and wipes the folder, without reading back
    bool LooksHandedOver() const;
    void SetState(TObjectState state);
    void SetObject(const QString& className, const QString& suffix, QByteArray bytes);
    QByteArray StoredHeader() const; // the stored form up to the object's bytes
    QString LockFilePath() const;

    TObjectState m_state = osEmpty;
    bool m_modified = false;
    QString m_className;
    QString m_suffix;
    QByteArray m_bytes;

    // The editing session.
    std::unique_ptr<TPrivateFolder> m_folder;
    QString m_filePath;
    QProcess* m_process = nullptr;
    QString m_serverName;
    QString m_serverError;
    bool m_sessionChanged = false; // the file changed during the session
    QTimer* m_poll = nullptr;
    QDateTime m_seenTime; // the file's last seen modification time and size
    qint64 m_seenSize = -1;
    QDateTime m_syncedTime; // ... when its content was last taken in
    qint64 m_syncedSize = -1;
    QElapsedTimer m_idle; // since neither the process nor a lock file was seen
    QElapsedTimer m_started; // since the server's process started
    bool m_sawLock = false;
    bool m_handedOver = false;
    int m_handOverGrace = 1500;
    int m_handOverLimit = 5000;
    int m_endWait = 3000;
    bool m_endAsked = false; // the server was asked to end and had its time
};
