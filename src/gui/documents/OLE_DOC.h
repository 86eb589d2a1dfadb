// The embedded-object frame of the content viewer.
#pragma once

// The embedded-object frame: moves an object between the container and the OLEobj column.
#include <QPointer>
#include <QString>
#include <QWidget>

class QDialog;

class TDatabaseConnection;
class TOleContainer;

// The white face of the container: the object's icon, its server and its file type.
class TOleView : public QWidget
{
    Q_OBJECT
public:
    explicit TOleView(TOleContainer* container, QWidget* parent = nullptr);

    // The lines shown under the icon; none for an empty container.
    QStringList Caption() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Refresh();

    TOleContainer* m_container;
    QString m_class; // the class the caption and icon were made for
    QStringList m_caption;
    QString m_icon;
};

class TO_OLE_DOC : public QWidget
{
    Q_OBJECT
public:
    explicit TO_OLE_DOC(TDatabaseConnection& connection, QWidget* parent = nullptr);
    void SetConnection(TDatabaseConnection& connection);

    static QString NoRecordText(const QString& id); // no record for id "..."
    // The viewer's message for an error while editing an object.
    static QString OleErrorText(const QString& error);
    // The question when a changed object can not be written to its record, with the reason.
    static QString WriteBackFailedText(const QString& error);
    static QString DiscardChangeText(); // asked when the user neither retries nor saves to a file
    static QString SaveAsCaption();
    // Asked before an editing session still open is ended; its refusal is the error below.
    static QString EndEditingText(const QString& server);
    static QString StillOpenText(const QString& server);
    // Asked when the server still holds the object after it was asked to end, before a lock.
    static QString LockEndText(const QString& server);
    // Shown (not modal) when the server handed the object to an instance already running.
    static QString HandedOverText(const QString& server);

    // Selects the record (the object itself is read by LoadFromRecord).
    void OpenRecord(const QString& id);
    // False when the record holds no object; otherwise the object replaces the container's, its
    // header read and its bytes left in the record until they are used.
    bool LoadFromRecord();
    void LoadObject(const QString& id);
    // Writes the container's object into the record; a missing record gets a plain message.
    void SaveObject(const QString& id);
    // Ends an editing session still open (asking first; a refusal raises StillOpenText and
    // keeps everything as it is), writes a changed object back (WriteBack) and empties the
    // container.
    void CloseObject();
    // Writes the changed object into the record. When that fails, the user is told why and asked
    // until the change is written, saved to a file of their choice, or discarded by their answer.
    void WriteBack(const QString& id);
    // Before the database is locked: an editing session still open is ended (its server asked
    // to end, the user asked when it still holds the object) and what it saved is written back.
    // False when the user keeps it open: the database then stays open too.
    bool EndEditingForLock();
    // The user is done with an object that was handed over to a running instance.
    void DoneEditing();
    // Opens the object in its server's own window.
    void ShowObject();
    // ShowObject, waiting while the object is open, WriteBack; a server that failed reaches the
    // caller as an error, and the record then keeps its object.
    void EditObject(const QString& id);

    // The object being shown or edited.
    TOleContainer* Container() const { return OLE_viewer; }
    // A new object for record id is about to be made in the container.
    void StartObject(const QString& id) { m_objectKey = id; }

    // The record of the object.
    const QString& ObjectKey() const { return m_objectKey; }
    bool ObjectLoaded() const { return m_objectLoaded; }

private:
    TOleContainer* OLE_viewer = nullptr; // the container
    TOleView* OLE_view = nullptr; // and the widget that shows it (objectName "OLE_viewer" too)

    void CloseQuery();
    void SaveChangeQuietly();
    void ShowPlainMessage(const QString& text);
    bool Ask(const QString& question);
    QString ChooseSaveFile();
    void ShowHandedOver();

    TDatabaseConnection* m_connection;
    QString m_objectKey;
    bool m_objectLoaded = false;
    bool m_queryOpen = false;
    bool m_rowFound = false;
    QPointer<QDialog> m_handedOverBox;
};
