#pragma once

// The main window's side of a drop: a dropped text or picture becomes a document of the open
// database, each dropped file an embedded document; a drop that cannot be imported is explained once the drop call has
// returned.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QTimer;
class QWidget;
class TDatabaseSession;
class TDocumentCommands;
class TDropTarget;
class TO_doc_content;
class TO_target;
class TOleDropper;

class TDropImporter : public QObject
{
    Q_OBJECT
public:
    // window receives the drops (its collapsed panel inside it too) and is minimised while a
    // refusal is shown; timer is the window's 100 ms one-shot TimerDropError. Nothing is
    // imported while the session has no database open.
    TDropImporter(const TDatabaseSession& session, QWidget* window, TDocumentCommands* commands, TO_doc_content* viewer,
                  TO_target* target, QTimer* timer, QObject* parent = nullptr);
    ~TDropImporter() override;

    void RegisterWindow();
    void Revoke();

    // The dropper's OnDrop handler. Runs inside the drop call: it asks and tells nothing there;
    // a large import returns at once and goes on as a job.
    void ImportDrop(TOleDropper* sender);
    // Shows the text a refused drop left, with the window minimised meanwhile.
    void TimerDropErrorTimer();

    // Dropped files of this many bytes or more in all are imported as a job, with a progress
    // window and a way to stop; smaller drops at once, inside the drop call (16 MiB unless set).
    void SetJobFromBytes(qint64 bytes) { JobFromBytes = bytes; }

    bool DropBusy() const { return m_busy; }
    const QString& DropErrorText() const { return m_errorText; }
    TOleDropper& Dropper() const { return *m_dropper; }

private:
    // DropBusy for the length of an import, ended however it ends.
    class BusyScope
    {
    public:
        explicit BusyScope(TDropImporter* importer);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        TDropImporter* m_importer;
    };

    // Ends DropBusy: the delayed report is armed and the target shows that it waits again.
    void EndBusy();
    void Import(TOleDropper& dropper, const QString& type);
    // One embedded document per file, in the drop's order; the entries that cannot become one
    // are listed in the refusal.
    void ImportFiles(const QStringList& entries);

    const TDatabaseSession& m_session;
    QPointer<QWidget> m_window;
    TDocumentCommands* m_commands;
    TO_doc_content* m_viewer;
    TO_target* m_target;
    QTimer* m_timer;
    TOleDropper* m_dropper;
    TDropTarget* m_dropTarget;
    qint64 JobFromBytes = 16 * 1024 * 1024;
    bool m_busy = false;
    QString m_errorText;
};
