// The editable list frame (grid over a query) that the document list builds on.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QList>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVariantList>
#include <QVariantMap>
#include <QWidget>
#include <functional>
#include <vector>

class QLabel;
class QMenu;
class TDatabaseConnection;
class TOdic;

// One grid column over a field of the query.
struct TDicColumn
{
    QString Field;
    QString Title;
    Qt::Alignment TitleAlignment = Qt::AlignLeft;
    int Width = 64;
    bool Editable = false;
};

// The query of a list frame: its rows kept in memory, every change applied to the table at once.
class TDicQuery : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum class State
    {
        Inactive,
        Browse,
        Edit,
        Insert
    };

    explicit TDicQuery(TOdic* frame);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    bool Active() const { return m_active; }
    // Field names of the select, in lower case.
    const QStringList& Fields() const { return m_fields; }
    int FieldIndex(const QString& field) const; // ignoring case; -1 when unknown
    QVariantMap Row(int row) const; // lower-case field names
    int RowCount() const { return int(m_rows.size()); }

private:
    friend class TOdic;

    TOdic* m_frame;
    bool m_active = false;
    QStringList m_fields;
    std::vector<QVariantList> m_rows;
};

// The grid of a list frame: it can hand its open editor's text to the query on demand.
class TDicGrid : public QTableView
{
    Q_OBJECT
public:
    using QTableView::QTableView;
    bool Editing() const { return state() == EditingState; }
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    // Writes the open cell editor's text into the query and closes the editor.
    void CommitEditor();
};

// A generic editable list frame: a grid over a query whose select, modify, insert and delete
// a subclass supplies, and a status line. Renames are stored the moment they are posted.
class TOdic : public QWidget
{
    Q_OBJECT
public:
    explicit TOdic(TDatabaseConnection& connection, QWidget* parent = nullptr);
    ~TOdic() override;

    // The icons the cells draw, by index.
    const QList<QIcon>& ImageList1() const { return m_imageList; }

    void SetColumns(const QList<TDicColumn>& columns);

    virtual void SetFieldNames();
    // Opens the query (connecting the shared connection when it is not yet); raises QbError.
    virtual void OpenList();
    // Posts a pending edit, then closes the query.
    virtual void CloseList();
    virtual void FocusList();

    bool IsActive() const;
    bool HasRecords() const;
    QString CurrentId() const;
    QString CurrentName() const;
    QString FieldText(const QString& name) const;
    bool PostPending();

    using ChooseHandler = std::function<void(QObject* sender)>;
    void SetChooseHandler(ChooseHandler handler) { m_choose = std::move(handler); }
    void Choose(QObject* sender);

    // Appends a row with these values (field names ignoring case) and stores it at once;
    // the identifier field gets a new identifier. Returns false when the insert was cancelled.
    bool AppendRecord(const QVariantMap& values);
    // AppendRecord with inserts allowed for the length of the call: a row the program makes.
    bool AppendAllowed(const QVariantMap& values);
    // Shows a row stored without the list (by a job) after every row and makes it current.
    bool AppendStored(const QString& id);
    // Deletes the current row after the before-delete question; true when it was deleted.
    bool DeleteCurrent();
    // Deletes the current row without asking: a record whose making failed.
    void RemoveCurrent();
    // How the list reports a failure: a critical message over its window.
    void ShowError(const QString& text);
    // How the list reports a failure: a critical message over its window.
    // The menu that a right click on the rows opens.
    void SetContextMenu(QMenu* menu);

    void ApplyIt();
    void ShowStatus();

    // Columns by field name (-1 when not shown), and the field of a column.
    int ColumnOf(const QString& field) const;
    QString FieldOf(int column) const { return Columns.value(column).Field; }
    int SelectedColumn() const;
    void SelectColumn(int column);
    int CurrentRow() const;
    void SetCurrentRow(int row);
    // Makes the first row whose field equals value (exactly) current; false when there is none.
    bool Locate(const QString& field, const QString& value);
    // Whether every row of the select is in the list; the rest is read while the program idles.
    bool Complete() const { return m_complete; }
    // Reads the rest of the select now (before a change, a search for a row, a jump to the end).
    void FetchAll();

    // Rows read when the list opens (a few screens) and at each idle moment after.
    static constexpr int FirstRows = 256;
    static constexpr int IdleRows = 4096;

Q_SIGNALS:
    void AfterScroll();
    // Ctrl+Delete in the rows: the owner lets the document go and calls DeleteCurrent.
    void DeleteRequested();

protected:
    TDatabaseConnection& Connection() const { return m_connection; }
    void SetImageList(const QList<QIcon>& icons) { m_imageList = icons; }
    // The fields that identify, name and choose a row; SetFieldNames sets them.
    void SetFields(const QString& id, const QString& name, const QString& choose);
    const QString& NameField() const { return m_nameField; }
    const QString& ChooseField() const { return m_chooseField; }
    // Rows may be inserted without asking.
    bool InsertAllowed() const { return m_insertAllowed; }

    // The query's statements on the shared connection. The select is read a stretch at a time:
    // StartSelect begins it afresh and names its fields, each NextRows gives the following rows
    // (fewer than asked only at the end).
    virtual QStringList StartSelect() = 0;
    virtual std::vector<QVariantList> NextRows(int limit) = 0;
    virtual void ApplyModify(const QVariantMap& oldRow, const QVariantMap& row) = 0;
    virtual void ApplyInsert(const QVariantMap& row) = 0;
    virtual void ApplyDelete(const QVariantMap& oldRow) = 0;
    // The row as the table holds it after a change (texts cut to their columns, dates set);
    // the base takes the table to keep what it was given.
    virtual QVariantMap StoredRow(const QVariantMap& row) const { return row; }

    virtual bool Q1BeforeInsert();
    virtual bool Q1BeforeDelete();
    virtual void Grid1ColEnter();
    // Paints a cell over the default drawing (a non-empty list only).
    virtual void Grid1DrawColumnCell(QPainter* painter, const QRect& rect, const QModelIndex& index, bool selected);
    void DrawIcon(QPainter* painter, const QRect& rect, int icon) const;

    // Sets up the grid's columns from Columns.
    void ApplyColumns();

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The grid is the list's focus proxy: a filter on focusProxy() sees the keys typed in the list.
    TDicGrid* Grid1 = nullptr;
    TDicQuery* Q1 = nullptr;
    QLabel* Panel1 = nullptr;
    TDatabaseConnection& m_connection;
    friend class TDicQuery;
    friend class TDicDelegate;
    bool PostEdit(int row, int field, const QVariant& value);
    void CurrentChanged(const QModelIndex& current, const QModelIndex& previous);

    // The next rows of the select, noting whether it has more.
    std::vector<QVariantList> ReadRows(int limit);
    // Appends the next rows of the select; false once it has no more.
    bool FetchMore(int limit);
    void ScheduleFetch();
    // Adds a stored row at the end and makes it current.
    void ShowAppended(const QVariantMap& row);

    QList<QIcon> m_imageList;
    QList<TDicColumn> Columns; // set through SetColumns
    QString m_idField = QStringLiteral("ID_NOT_SET_YET");
    QString m_nameField = QStringLiteral("NAME_NOT_SET_YET");
    QString m_chooseField = QStringLiteral("CHOISE_IT");
    bool m_insertAllowed = false;
    bool DeleteWithoutAsking = false;
    ChooseHandler m_choose;
    bool m_complete = true;
    bool m_fetchScheduled = false;
    bool m_inserting = false;
    bool m_postFailed = false;
    bool m_posting = false;
};
