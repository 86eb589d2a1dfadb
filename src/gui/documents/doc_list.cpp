// The document list of the main window.
#include "gui/documents/doc_list.h"

#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/DocStore.h"
#include "gui/widgets/ThemeIcon.h"

#include <QDate>
#include <QStyle>

namespace {

const QString kTypeField = QStringLiteral("doc_type");

TDocRow ToDocRow(const QVariantMap& row)
{
    return TDocRow{row.value(QStringLiteral("doc_id")).toString(), row.value(QStringLiteral("doc_type")).toString(),
                   row.value(QStringLiteral("doc_name")).toString(), row.value(QStringLiteral("c_date")).toDate(),
                   row.value(QStringLiteral("l_date")).toDate()};
}

} // namespace

TO_doc_list::TO_doc_list(TDatabaseConnection& connection, QWidget* parent)
    : TOdic(connection, parent)
{
    setObjectName(QStringLiteral("O_doc_list1"));
    SetColumns({
        {QStringLiteral("CHOISE_IT"), QStringLiteral(">>"), Qt::AlignHCenter, 20, false},
        {QStringLiteral("doc_type"), QStringLiteral("Is"), Qt::AlignHCenter, 20, false},
        {QStringLiteral("doc_name"), QStringLiteral("Document name"), Qt::AlignLeft, 202, true},
    });
    SetImageList({
        ThemeIcon(this, "go-next", QStyle::SP_ArrowRight),
        ThemeIcon(this, "application-x-executable", QStyle::SP_FileLinkIcon),
        ThemeIcon(this, "image-x-generic", QStyle::SP_DesktopIcon),
        ThemeIcon(this, "text-x-generic", QStyle::SP_FileIcon),
        ThemeIcon(this, "text-html", QStyle::SP_DriveNetIcon),
    });
    SetFieldNames();
}

int TO_doc_list::TypeIcon(const QString& type)
{
    if (type == QStringLiteral("IMG"))
        return IconPicture;
    if (type == QStringLiteral("TXT"))
        return IconText;
    if (type == QStringLiteral("URL"))
        return IconLink;
    return IconObject;
}

void TO_doc_list::SetFieldNames()
{
    SetFields(QStringLiteral("Doc_id"), QStringLiteral("Doc_name"), QStringLiteral("CHOISE_IT"));
}

QStringList TO_doc_list::StartSelect()
{
    m_position = {};
    return {QStringLiteral("choise_it"), QStringLiteral("doc_id"), QStringLiteral("doc_name"), kTypeField,
            QStringLiteral("c_date"),    QStringLiteral("l_date")};
}

std::vector<QVariantList> TO_doc_list::NextRows(int limit)
{
    std::vector<QVariantList> rows;
    const std::vector<TDocRow> docs = TDocStore(Connection()).ListDocuments(m_position, limit);
    rows.reserve(docs.size());
    for (const TDocRow& d : docs)
        rows.push_back({QString(), d.Id, d.Name, d.Type, d.CDate, d.LDate});
    return rows;
}

void TO_doc_list::ApplyModify(const QVariantMap& oldRow, const QVariantMap& row)
{
    TDocStore(Connection()).UpdateDocument(oldRow.value(QStringLiteral("doc_id")).toString(), ToDocRow(row));
}

void TO_doc_list::ApplyInsert(const QVariantMap& row)
{
    TDocStore(Connection()).InsertDocument(ToDocRow(row));
}

void TO_doc_list::ApplyDelete(const QVariantMap& oldRow)
{
    TDocStore(Connection()).DeleteDocument(oldRow.value(QStringLiteral("doc_id")).toString());
}

QVariantMap TO_doc_list::StoredRow(const QVariantMap& row) const
{
    std::optional<TDocRow> doc;
    try {
        doc = TDocStore(Connection()).FindDocument(row.value(QStringLiteral("doc_id")).toString());
    } catch (const QbError&) {
        // The change itself is stored; only the read-back failed.
    }
    if (!doc)
        return row;
    QVariantMap stored = row;
    stored.insert(QStringLiteral("doc_name"), doc->Name);
    stored.insert(QStringLiteral("doc_type"), doc->Type);
    stored.insert(QStringLiteral("c_date"), doc->CDate);
    stored.insert(QStringLiteral("l_date"), doc->LDate);
    return stored;
}

bool TO_doc_list::Q1BeforeInsert()
{
    // The grid's own row insertion never creates a row here; documents come from the commands.
    return InsertAllowed();
}

void TO_doc_list::Grid1ColEnter()
{
    TOdic::Grid1ColEnter();
    const int typeColumn = ColumnOf(kTypeField);
    if (!IsActive() || SelectedColumn() != typeColumn)
        return;
    SelectColumn(ColumnOf(LastSkipColumn == ChooseField() ? NameField() : ChooseField()));
    LastSkipColumn = FieldOf(SelectedColumn());
}

void TO_doc_list::Grid1DrawColumnCell(QPainter* painter, const QRect& rect, const QModelIndex& index, bool selected)
{
    TOdic::Grid1DrawColumnCell(painter, rect, index, selected);
    if (index.column() == ColumnOf(kTypeField))
        DrawIcon(painter, rect, TypeIcon(index.data(Qt::EditRole).toString()));
}
