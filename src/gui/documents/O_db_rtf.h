// The rich-text editor frame TOdb_rtf, bound to one row of the document table, with its ruler.
#pragma once

#include "core/documents/RichTextStore.h"

#include <QString>
#include <QTextEdit>
#include <QWidget>
#include <functional>

class QAction;
class QComboBox;
class QIcon;
class QSpinBox;
class QMimeData;
class QTextCharFormat;
class QToolBar;
class TDatabaseConnection;

// Shows text in the platform's plain message box (recorded instead while dialogs are scripted).
void ShowPlainMessage(QWidget* parent, const QString& text);

// The edit control: its document fetches nothing by itself, and what is pasted or dropped meets
// the bounds of stored text (HTML past them comes in as its plain text). An empty clipboard
// with no owner pastes nothing.
class TRichEdit : public QTextEdit
{
    Q_OBJECT
public:
    explicit TRichEdit(QWidget* parent);
    TRichTextDocument& Document() const { return *m_document; }
    // Long words make Qt's line breaking slow with the square of their length.
    void BreakAnywhere(bool on);

protected:
    // Copies, the selection and drags carry the secret mark.
    QMimeData* createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    TRichTextDocument* m_document;
};

// A marker of the ruler: a drawn triangle that the user drags sideways.
class TRulerMarker : public QWidget
{
    Q_OBJECT
public:
    enum class Shape
    {
        PointingDown,
        PointingUp
    };
    TRulerMarker(Shape shape, const QString& name, QWidget* ruler);

Q_SIGNALS:
    // x in the marker's own coordinates, as it was when the mouse acted.
    void MouseDown(int x);
    void MouseMove(int x);
    void MouseUp();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Shape m_shape;
};

// The strip above the editor; its caption, tabs and bars, draws the tick marks.
class TRuler : public QWidget
{
    Q_OBJECT
public:
    explicit TRuler(QWidget* parent);
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption);

Q_SIGNALS:
    void Resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString m_caption;
};

// A rich-text editor bound to one row of a table: it loads the blob of the row whose key
// equals a given value and writes it back when closed if the text changed. Names and mode can
// change only while no row is open. The content is read and written through TDocStore on the
// connection given, so the table must be Docs with its key Doc_id.
class TOdb_rtf : public QWidget
{
    Q_OBJECT
public:
    explicit TOdb_rtf(TDatabaseConnection& connection, QWidget* parent = nullptr);
    // Writes pending changes back; a failure is lost here, so holders close documents first.
    ~TOdb_rtf() override;

    QString TableName() const { return m_tableName; }
    QString KeyFieldName() const { return m_keyFieldName; }
    QString BlobFieldName() const { return m_blobFieldName; }
    bool ViewOnly() const { return m_viewOnly; }
    // Each refused with a plain message while a row is open.
    void SetTableName(const QString& name);
    void SetKeyFieldName(const QString& name);
    void SetBlobFieldName(const QString& name);
    void SetViewOnly(bool flag);

    QString KeyValue() const { return m_keyValue; }
    bool DocumentOpen() const { return m_documentOpen; }
    bool TextChanged() const { return m_textChanged; }
    // The user let the changed text go: the next CloseDocument writes nothing.
    void ForgetChanges() { m_textChanged = false; }

    // Closes the open row, then loads the row whose key field equals key. Missing names or a
    // missing row are reported in a plain message and nothing is loaded; content that is
    // neither HTML nor text raises "Failed to Load Stream" and the frame stays closed.
    void OpenDocument(const QString& key);
    // Writes the editor's content back as rich text when it changed, then closes. A failed
    // write raises "Failed to Save Stream: " with the engine's reason and leaves the row open
    // with its text.
    void CloseDocument();
    // Replaces the editor's whole content by plain text; this counts as a change.
    void SetPlainText(const QString& text);
    // The editor's content as it is stored.
    QByteArray RichText() const;

Q_SIGNALS:
    // TB_exit: the window that holds the frame closes.
    void ExitClicked();

private:
    TRuler* Ruler = nullptr;
    TRulerMarker* FirstInd = nullptr;
    TRulerMarker* LeftInd = nullptr;
    TRulerMarker* RightInd = nullptr;
    QToolBar* StandardToolBar = nullptr;
    TRichEdit* RichEdit1 = nullptr;
    QAction* TB_exit = nullptr;
    QAction* EditUndo = nullptr;
    QAction* EditCut = nullptr;
    QAction* EditCopy = nullptr;
    QAction* EditPaste = nullptr;
    QComboBox* FontName = nullptr;
    QSpinBox* FontSize = nullptr;
    QAction* BoldButton = nullptr;
    QAction* ItalicButton = nullptr;
    QAction* UnderlineButton = nullptr;
    QAction* LeftAlign = nullptr;
    QAction* CenterAlign = nullptr;
    QAction* RightAlign = nullptr;
    QAction* BulletsButton = nullptr;

    void BuildToolBar();
    void BuildRuler();
    QAction* AddButton(const QString& name, const QString& caption, const QString& hint, const QIcon& icon,
                       bool toggle);
    bool Refused(const QString& what);
    void UpdateReadOnly();

    void RichEdit1Change();
    void SelectionChange();
    void GetFontNames();
    void SetupRuler();
    void PlaceMarkers();

    void FontNameChange(const QString& name);
    void FontSizeChange(int size);
    void BoldButtonClick();
    void ItalicButtonClick();
    void UnderlineButtonClick();
    void AlignButtonClick(QAction* button);
    void BulletsButtonClick();
    // Formatting commands do nothing while the tool bar is being updated or the text is read-only.
    bool Inert();
    void ApplyCharFormat(const std::function<void(QTextCharFormat&)>& change);

    void RulerItemMouseDown(TRulerMarker* marker, int x);
    void RulerItemMouseMove(TRulerMarker* marker, int x);
    void RightIndMouseUp();
    void LeftIndMouseUp();
    void FirstIndMouseUp();
    void ApplyLeftMarker(int markerLeft);
    // Changes the indents of every paragraph the selection touches.
    void ChangeIndents(const std::function<void(RulerMath::Indents&)>& change);
    RulerMath::Indents CurrentIndents() const;

    TDatabaseConnection& m_connection;
    QString m_tableName;
    QString m_keyFieldName;
    QString m_blobFieldName;
    QString m_keyValue;
    bool m_documentOpen = false;
    bool m_textChanged = false;
    bool m_viewOnly = false;
    bool m_updating = false;
    int m_dragOffset = 0;
    bool m_dragging = false;
};
