#pragma once

#include "core/documents/DocContent.h"

#include <QObject>
#include <QString>
#include <functional>

class QLocale;
class QMimeData;
class QTime;
class QTimer;
class TDatabaseSession;
class TD_search;
class TO_doc_content;
class TO_doc_list;
class TW_new_doc;

// The document commands of the main window (new, paste, edit, delete, search) and the delayed
// preview of the list's current document. The window forwards its handlers here.
class TDocumentCommands : public QObject
{
    Q_OBJECT
public:
    // The session's ListReady keeps the preview and the delete away while a command works.
    TDocumentCommands(TDatabaseSession& session, TO_doc_list* list, TO_doc_content* viewer, QTimer* timer,
                      QObject* parent = nullptr);

    // The program's search dialog, and the wizard that asks for a new document's name, type and
    // content; without a wizard nothing is made.
    void SetSearchDialog(TD_search* search) { m_search = search; }
    void SetWizard(TW_new_doc* wizard) { m_wizard = wizard; }
    // The search dialog drops its results and text, which name documents (at a lock).
    void ForgetSearch();

    // "Document created at " and the time of day in the locale's time format.
    static QString DefaultDocumentName();
    static QString DefaultDocumentName(const QTime& time, const QLocale& locale);
    // Appends a record through the list; the new row becomes current. Empty when no list is open.
    QString CreateDocumentRecord(const QString& name, const QString& type);
    void StoreDocumentContent(const QString& id, const QString& type, const TDocContent& content);
    // New documents holding the files as embedded objects, as pasted copies of them make, named
    // after the files and streamed into the database. Files of jobFrom bytes or more in all
    // are imported as a job, with a progress window and a way to stop; smaller ones at once.
    // done gets the identifiers made (the last one is then current) and a text for each file
    // that failed; a stopped import makes none.
    using ImportDone = std::function<void(const QStringList& ids, const QStringList& failures)>;
    void ImportFileDocuments(const QStringList& files, qint64 jobFrom, const ImportDone& done);
    // What a paste makes of the clipboard's data: a picture, an embedded object from a copied
    // file, or text, in that order. False when nothing can be pasted.
    static bool ClipboardDocument(const QMimeData* data, QString& type, TDocContent& content);

    // The commands; each reports its own failure in the message dialog. A new document, pasted
    // or not, is what the wizard returns (opened on its clipboard page for a paste).
    void SBnewDocClick(bool paste = false);
    void N_pasteClick();
    void TB_edit_docClick();
    void TB_del_docClick();
    void TB_searchClick();
    // "Save as file...": the current document into a file of the user's choice, in a format its
    // suffix names; an existing file is replaced only when the user says so.
    void SaveAsFileClick();

    // The list's guard before a delete: refused while a command works; otherwise the viewer lets
    // the document go (writing back what changed) before the question is asked.
    bool O_doc_list1Q1BeforeDelete();
    void DeleteCurrentDocument();
    void O_doc_list1Q1AfterScroll();
    void Timer1Timer();

    // The document side of a pack: nothing held or shown while the database is rewritten.
    void BeforePack();
    void AfterPack();

private:
    // Removes a new record whose content could not be made, if it is still the current row.
    void RemoveUnmade(const QString& id);
    bool Guard(const std::function<void()>& work);
    void NewDocument(const QString& name, const QString& type, const TDocContent& content);

    TDatabaseSession& m_session;
    TO_doc_list* m_list;
    TO_doc_content* m_viewer;
    QTimer* m_timer;
    TD_search* m_search = nullptr;
    TW_new_doc* m_wizard = nullptr;
};
