// The content viewer of the main window.
#pragma once

#include "core/documents/DocContent.h"

#include <QWidget>

class QLabel;
class QStackedWidget;
class TDatabaseConnection;
class TD_scale_image;
class TF_db_image;
class TF_db_rtf;
class TOdb_rtf;
class TO_OLE_DOC;
class TO_db_image;
class TOdic;
class TOleContainer;

// The content viewer: the current document on the page of its type, the first content of a
// new document, and editing a document in its own window.
class TO_doc_content : public QWidget
{
    Q_OBJECT
public:
    explicit TO_doc_content(TDatabaseConnection& connection, QWidget* parent = nullptr);
    ~TO_doc_content() override;

    // The document shown, and its type.
    const QString& ShownId() const { return m_shownId; }
    const QString& ShownType() const { return m_shownType; }
    bool Shown() const { return m_shown; }

    // The list whose current row's name captions the edit windows.
    void SetCaptionSource(const TOdic* list) { m_names = list; }
    // The windows that edit documents, which the owner lends, and the picture scaling dialog.
    void SetEditWindows(TF_db_image* picture, TF_db_rtf* text);
    void SetDialogs(TD_scale_image* scale);
    // The object frame's container.
    TOleContainer* ObjectContainer() const;
    // Before a lock: an object still open in its server is ended (TO_OLE_DOC::EndEditingForLock);
    // false when the user keeps it open.
    bool EndEditingForLock();

    void ResetViewer();
    // Closes whatever is shown; pending changes are written back first.
    void ClearDocument();
    // Shows the stored document read-only on the page of its type.
    void ShowDocument(const QString& id, const QString& type);
    // Opens the shown document for editing; returns when the editing has ended.
    void EditDocument();
    // Writes the first content of a new document and shows it.
    void SetContent(const QString& id, const QString& type, const TDocContent& content);
    // Makes the document's object from the clipboard, writes it and shows it.
    void PasteObject(const QString& id);
    void ShowObjectPage();
    // A short text centred on the empty viewer (none: nothing shown).
    void SetEmptyHint(const QString& text);
    QWidget* CurrentPage() const;

Q_SIGNALS:
    // A document has been shown (by the preview, a command or a new document).
    void DocumentShown(const QString& id, const QString& type);
    // Editing an object failed; the text, for the program's message dialog, says why.
    void EditFailed(const QString& text);

private:
    void ShowPage(QWidget* page);
    QString Caption() const;

    // The pages; their tabs are never shown, only the program switches them.
    QStackedWidget* PageControl1 = nullptr;
    QWidget* TabSheet_rtf = nullptr;
    QWidget* TabSheet_picture = nullptr;
    QWidget* TabSheet_ole = nullptr;
    QWidget* TabSheet_file = nullptr;
    QWidget* TabSheet_url = nullptr;
    QWidget* TabSheet_undef = nullptr;
    QLabel* Label_undef = nullptr;
    QLabel* Label_hint = nullptr;
    TOdb_rtf* Odb_rtf1 = nullptr;
    TO_db_image* O_db_image1 = nullptr;
    TO_OLE_DOC* O_OLE_DOC1 = nullptr;

    QString m_shownId;
    QString m_shownType;
    bool m_shown = false;
    const TOdic* m_names = nullptr;
    TF_db_image* m_pictureWindow = nullptr;
    TF_db_rtf* m_textWindow = nullptr;
};
