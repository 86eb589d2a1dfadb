// The editable list frame (grid over a query) that the document list builds on.
#include "gui/documents/dic.h"

#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/DocStore.h"
#include "gui/dialogs/Dialogs.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

// Draws the cell as usual, then lets the frame paint its icons over it.
class TDicDelegate : public QStyledItemDelegate
{
public:
    explicit TDicDelegate(TOdic* frame)
        : QStyledItemDelegate(frame)
        , m_frame(frame)
    {
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (m_frame->Q1->RowCount() == 0)
            return;
        painter->save();
        m_frame->Grid1DrawColumnCell(painter, option.rect, index, index == m_frame->Grid1->currentIndex());
        painter->restore();
    }

private:
    TOdic* m_frame;
};

// ---- TDicQuery

TDicQuery::TDicQuery(TOdic* frame)
    : QAbstractTableModel(frame)
    , m_frame(frame)
{
}

int TDicQuery::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TDicQuery::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_frame->Columns.size());
}

int TDicQuery::FieldIndex(const QString& field) const
{
    return int(m_fields.indexOf(field.toLower()));
}

QVariantMap TDicQuery::Row(int row) const
{
    QVariantMap map;
    if (row < 0 || row >= RowCount())
        return map;
    for (int i = 0; i < m_fields.size(); ++i)
        map.insert(m_fields[i], m_rows[size_t(row)].value(i));
    return map;
}

QVariant TDicQuery::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= RowCount() || index.column() >= m_frame->Columns.size())
        return {};
    const TDicColumn& column = m_frame->Columns[index.column()];
    const int field = FieldIndex(column.Field);
    if (field < 0)
        return {};
    const QVariant value = m_rows[size_t(index.row())].value(field);
    switch (role) {
        case Qt::DisplayRole:
            // Columns that are not edited show icons only.
            return column.Editable ? value : QVariant();
        case Qt::EditRole:
        case Qt::ToolTipRole:
            return value;
        default:
            return {};
    }
}

QVariant TDicQuery::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_frame->Columns.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_frame->Columns[section].Title;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_frame->Columns[section].TitleAlignment | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags TDicQuery::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() < m_frame->Columns.size() && m_frame->Columns[index.column()].Editable)
        f |= Qt::ItemIsEditable;
    return f;
}

bool TDicQuery::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.row() >= RowCount()
        || !m_frame->Columns[index.column()].Editable)
        return false;
    const int field = FieldIndex(m_frame->Columns[index.column()].Field);
    if (field < 0)
        return false;
    return m_frame->PostEdit(index.row(), field, value);
}

// ---- TDicGrid

void TDicGrid::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    // The list is narrower than its columns: moving to a name must not push the current-row mark
    // and the type icons out of sight, so only the rows follow the current cell by themselves.
    const int column = horizontalScrollBar()->value();
    QTableView::scrollTo(index, hint);
    horizontalScrollBar()->setValue(column);
}

void TDicGrid::CommitEditor()
{
    if (!Editing())
        return;
    // The open cell editor is the current cell's index widget.
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

// ---- TOdic

TOdic::TOdic(TDatabaseConnection& connection, QWidget* parent)
    : QWidget(parent)
    , m_connection(connection)
{
    Q1 = new TDicQuery(this);
    Q1->setObjectName(QStringLiteral("Q1"));

    Grid1 = new TDicGrid(this);
    Grid1->setObjectName(QStringLiteral("Grid1"));
    Grid1->setModel(Q1);
    Grid1->setItemDelegate(new TDicDelegate(this));
    Grid1->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    Grid1->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed
                           | QAbstractItemView::DoubleClicked);
    Grid1->setTabKeyNavigation(true);
    Grid1->setWordWrap(false);
    Grid1->verticalHeader()->hide(); // no row indicator column
    Grid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Grid1->verticalHeader()->setDefaultSectionSize(Grid1->fontMetrics().height() + 4);
    Grid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    Grid1->horizontalHeader()->setHighlightSections(false);
    Grid1->horizontalHeader()->setMinimumSectionSize(16);
    Grid1->setShowGrid(true);
    Grid1->installEventFilter(this);
    setFocusProxy(Grid1);

    Panel1 = new QLabel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(16);
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Grid1, 1);
    layout->addWidget(Panel1);

    connect(Grid1->selectionModel(), &QItemSelectionModel::currentChanged, this, &TOdic::CurrentChanged);
    connect(Grid1, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (IsActive() && index.column() == ColumnOf(m_chooseField))
            Choose(Grid1);
    });
}

TOdic::~TOdic()
{
    // A shown frame is hidden by the QWidget destructor, after Columns is gone; the grid must
    // not ask the query for its header then.
    Grid1->setModel(nullptr);
}

void TOdic::SetFieldNames()
{
    SetFields(QStringLiteral("ID_NOT_SET_YET"), QStringLiteral("NAME_NOT_SET_YET"), QStringLiteral("CHOISE_IT"));
}

void TOdic::SetFields(const QString& id, const QString& name, const QString& choose)
{
    m_idField = id;
    m_nameField = name;
    m_chooseField = choose;
}

void TOdic::SetColumns(const QList<TDicColumn>& columns)
{
    // Through a reset, so the grid's header has the sections before they are sized.
    Q1->beginResetModel();
    Columns = columns;
    Q1->endResetModel();
    ApplyColumns();
}

void TOdic::ApplyColumns()
{
    for (int i = 0; i < Columns.size(); ++i)
        Grid1->setColumnWidth(i, Columns[i].Width);
}

void TOdic::OpenList()
{
    TDatabaseConnection& adb = Connection();
    if (!adb.IsOpen())
        adb.Open();
    QStringList fields = StartSelect();
    for (QString& f : fields)
        f = f.toLower();
    // The first screens now, the rest while the program idles: a long list shows at once.
    m_complete = false;
    std::vector<QVariantList> rows = ReadRows(FirstRows);
    Q1->beginResetModel();
    Q1->m_fields = fields;
    Q1->m_rows = std::move(rows);
    Q1->m_active = true;
    Q1->endResetModel();
    ApplyColumns();
    if (Q1->RowCount() > 0)
        Grid1->setCurrentIndex(Q1->index(0, std::max(0, ColumnOf(m_chooseField))));
    ShowStatus();
    ScheduleFetch();
}

std::vector<QVariantList> TOdic::ReadRows(int limit)
{
    std::vector<QVariantList> rows;
    try {
        rows = NextRows(limit);
    } catch (const QbError&) {
        m_complete = true; // not tried again and again; the list keeps what it has
        throw;
    }
    m_complete = limit < 0 || int(rows.size()) < limit;
    return rows;
}

bool TOdic::FetchMore(int limit)
{
    if (m_complete || !Q1->Active())
        return false;
    std::vector<QVariantList> rows = ReadRows(limit);
    if (!rows.empty()) {
        const int at = Q1->RowCount();
        Q1->beginInsertRows({}, at, at + int(rows.size()) - 1);
        Q1->m_rows.insert(Q1->m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
        Q1->endInsertRows();
    }
    return !m_complete;
}

void TOdic::FetchAll()
{
    FetchMore(-1);
}

void TOdic::ScheduleFetch()
{
    if (m_complete || m_fetchScheduled)
        return;
    m_fetchScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_fetchScheduled = false;
        try {
            if (FetchMore(IdleRows))
                ScheduleFetch();
        } catch (const QbError& e) {
            ShowError(e.Message());
        }
    });
}

void TOdic::CloseList()
{
    PostPending();
    m_complete = true;
    Q1->beginResetModel();
    Q1->m_rows.clear();
    Q1->m_fields.clear();
    Q1->m_active = false;
    Q1->endResetModel();
    ShowStatus();
}

void TOdic::FocusList()
{
    // Through the status line, so that the grid always receives a fresh focus.
    Panel1->setFocus();
    Grid1->setFocus();
    ShowStatus();
}

bool TOdic::IsActive() const
{
    return Q1->Active();
}

bool TOdic::HasRecords() const
{
    return Q1->Active() && Q1->RowCount() > 0;
}

QString TOdic::FieldText(const QString& name) const
{
    if (!Q1->Active())
        return {};
    const int field = Q1->FieldIndex(name);
    const int row = CurrentRow();
    if (field < 0 || row < 0 || row >= Q1->RowCount())
        return {};
    return Q1->m_rows[size_t(row)].value(field).toString();
}

QString TOdic::CurrentId() const
{
    return FieldText(m_idField);
}

QString TOdic::CurrentName() const
{
    return FieldText(m_nameField);
}

bool TOdic::PostPending()
{
    if (!Grid1->Editing() && !m_inserting)
        return true;
    m_postFailed = false;
    Grid1->CommitEditor();
    return !m_postFailed;
}

bool TOdic::PostEdit(int row, int field, const QVariant& value)
{
    const QVariantMap oldRow = Q1->Row(row);
    QVariantMap newRow = oldRow;
    newRow.insert(Q1->m_fields[field], value);
    if (oldRow == newRow)
        return true;
    // A renamed row may move past the rows read so far; the rest is read before it changes.
    FetchAll();
    struct Posting
    {
        bool& flag;
        ~Posting() { flag = false; }
    } posting{m_posting};
    m_posting = true;
    try {
        ApplyModify(oldRow, newRow);
    } catch (const QbError& e) {
        m_postFailed = true;
        ShowError(e.Message());
        return false;
    }
    const QVariantMap stored = StoredRow(newRow);
    for (int i = 0; i < Q1->m_fields.size(); ++i)
        Q1->m_rows[size_t(row)][i] = stored.value(Q1->m_fields[i]);
    Q_EMIT Q1->dataChanged(Q1->index(row, 0), Q1->index(row, Q1->columnCount() - 1));
    ApplyIt();
    return true;
}

void TOdic::Choose(QObject* sender)
{
    if (IsActive()) {
        const int remembered = SelectedColumn();
        // Entering the choose column posts a pending name edit; the view commits an open editor
        // as the current cell changes, so no pending events need to run in between.
        SelectColumn(ColumnOf(m_nameField));
        SelectColumn(ColumnOf(m_chooseField));
        SelectColumn(remembered);
    }
    if (m_choose)
        m_choose(sender);
}

bool TOdic::AppendRecord(const QVariantMap& values)
{
    if (!IsActive())
        return false;
    FetchAll(); // the new row goes after every row of the select
    m_inserting = true;
    ShowStatus();
    struct Reset
    {
        TOdic* f;
        ~Reset()
        {
            f->m_inserting = false;
            f->ShowStatus();
        }
    } reset{this};
    if (!Q1BeforeInsert())
        return false;
    QVariantMap row;
    for (const QString& f : Q1->m_fields)
        row.insert(f, QVariant());
    for (auto it = values.begin(); it != values.end(); ++it)
        row.insert(it.key().toLower(), it.value());
    row.insert(m_idField.toLower(), TDocStore::NewIdentifier());
    ApplyInsert(row);
    ShowAppended(StoredRow(row));
    return true;
}

bool TOdic::AppendAllowed(const QVariantMap& values)
{
    const QScopedValueRollback<bool> allowed(m_insertAllowed, true);
    return AppendRecord(values);
}

bool TOdic::AppendStored(const QString& id)
{
    if (!IsActive())
        return false;
    FetchAll();
    QVariantMap row;
    for (const QString& f : Q1->m_fields)
        row.insert(f, QVariant());
    row.insert(m_idField.toLower(), id);
    ShowAppended(StoredRow(row));
    return true;
}

void TOdic::ShowAppended(const QVariantMap& row)
{
    QVariantList list;
    for (const QString& f : Q1->m_fields)
        list << row.value(f);
    const int at = Q1->RowCount();
    Q1->beginInsertRows({}, at, at);
    Q1->m_rows.push_back(list);
    Q1->endInsertRows();
    SetCurrentRow(at);
}

bool TOdic::DeleteCurrent()
{
    if (!HasRecords())
        return false;
    if (!Q1BeforeDelete())
        return false;
    RemoveCurrent();
    return true;
}

void TOdic::SetContextMenu(QMenu* menu)
{
    Grid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Grid1, &QWidget::customContextMenuRequested, menu,
            [this, menu](const QPoint& p) { menu->popup(Grid1->viewport()->mapToGlobal(p)); });
}

void TOdic::RemoveCurrent()
{
    if (!HasRecords())
        return;
    const int row = CurrentRow();
    ApplyDelete(Q1->Row(row));
    Q1->beginRemoveRows({}, row, row);
    Q1->m_rows.erase(Q1->m_rows.begin() + row);
    Q1->endRemoveRows();
    ApplyIt();
    Q_EMIT AfterScroll();
}

bool TOdic::Q1BeforeInsert()
{
    if (m_insertAllowed)
        return true;
    return Dialogs::Confirm(QStringLiteral("Add new line?"));
}

bool TOdic::Q1BeforeDelete()
{
    if (DeleteWithoutAsking)
        return true;
    return Dialogs::Confirm(QStringLiteral("Delete \"%1\"?").arg(CurrentName()));
}

void TOdic::ApplyIt()
{
    // Changes reach the table as they are posted; what is left is to post an open edit.
    if (Grid1->Editing() && !m_posting)
        PostPending();
    ShowStatus();
}

void TOdic::ShowStatus()
{
    if (m_inserting)
        Panel1->setText(QStringLiteral("Append mode"));
    else if (SelectedColumn() >= 0 && SelectedColumn() == ColumnOf(m_chooseField))
        Panel1->setText(QStringLiteral("Item select mode"));
    else
        Panel1->setText(QStringLiteral("Line edit mode"));
}

int TOdic::ColumnOf(const QString& field) const
{
    for (int i = 0; i < Columns.size(); ++i)
        if (Columns[i].Field.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int TOdic::SelectedColumn() const
{
    return Grid1->currentIndex().isValid() ? Grid1->currentIndex().column() : -1;
}

void TOdic::SelectColumn(int column)
{
    if (column < 0 || column >= Columns.size())
        return;
    const int row = std::max(0, CurrentRow());
    if (row < Q1->RowCount())
        Grid1->setCurrentIndex(Q1->index(row, column));
}

int TOdic::CurrentRow() const
{
    return Grid1->currentIndex().isValid() ? Grid1->currentIndex().row() : -1;
}

void TOdic::SetCurrentRow(int row)
{
    if (row < 0 || row >= Q1->RowCount())
        return;
    const int column = std::max(0, SelectedColumn());
    Grid1->setCurrentIndex(Q1->index(row, column));
    Grid1->scrollTo(Grid1->currentIndex());
}

bool TOdic::Locate(const QString& field, const QString& value)
{
    const int f = Q1->FieldIndex(field);
    if (f < 0)
        return false;
    FetchAll();
    for (int row = 0; row < Q1->RowCount(); ++row) {
        if (Q1->m_rows[size_t(row)].value(f).toString() == value) {
            SetCurrentRow(row);
            return true;
        }
    }
    return false;
}

void TOdic::CurrentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    if (current.row() != previous.row()) {
        ShowStatus();
        Q_EMIT AfterScroll();
    }
    if (current.column() != previous.column())
        Grid1ColEnter();
    Grid1->viewport()->update();
}

void TOdic::Grid1ColEnter()
{
    if (SelectedColumn() == ColumnOf(m_chooseField))
        PostPending();
    ShowStatus();
}

void TOdic::DrawIcon(QPainter* painter, const QRect& rect, int icon) const
{
    if (icon < 0 || icon >= m_imageList.size())
        return;
    const int size = std::min(16, rect.height());
    painter->fillRect(rect, palette().color(QPalette::Base));
    m_imageList[icon].paint(painter, QRect(rect.left() + 2, rect.top(), size, size));
}

void TOdic::Grid1DrawColumnCell(QPainter* painter, const QRect& rect, const QModelIndex& index, bool selected)
{
    if (selected && index.column() == ColumnOf(m_chooseField))
        DrawIcon(painter, rect, 0);
}

bool TOdic::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Grid1) {
        if (event->type() == QEvent::KeyPress && !Grid1->Editing()) {
            auto* key = static_cast<QKeyEvent*>(event);
            const bool chooseColumn = SelectedColumn() >= 0 && SelectedColumn() == ColumnOf(m_chooseField);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && chooseColumn) {
                Choose(Grid1);
                return true;
            }
            if (key->key() == Qt::Key_End && (key->modifiers() & Qt::ControlModifier))
                FetchAll(); // then the grid moves to the real last row
            if (key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier)) {
                Q_EMIT DeleteRequested();
                return true;
            }
        } else if (event->type() == QEvent::FocusOut) {
            // Leaving the grid (not into its own cell editor) returns to the choose column.
            const QWidget* now = QApplication::focusWidget();
            if (!now || !Grid1->isAncestorOf(now))
                SelectColumn(ColumnOf(m_chooseField));
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TOdic::ShowError(const QString& text)
{
    Dialogs::PlainMessage(window(), Dialogs::Plain::Critical, text);
}
