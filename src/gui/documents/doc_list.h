// The document list of the main window.
#pragma once

#include "core/database/DocStore.h"
#include "gui/documents/dic.h"

// The document list of the main window: the documents of the open database by name, with a
// type icon and an editable name.
class TO_doc_list : public TOdic
{
    Q_OBJECT
public:
    explicit TO_doc_list(TDatabaseConnection& connection, QWidget* parent = nullptr);

    // Icons of ImageList1, by index.
    enum Icon
    {
        IconCurrentRow = 0,
        IconObject = 1,
        IconPicture = 2,
        IconText = 3,
        IconLink = 4
    };
    // The icon of a document type: any type but "IMG", "TXT" and "URL" is an embedded object.
    static int TypeIcon(const QString& type);

    void SetFieldNames() override;

private:
    TDocStore::ListPosition m_position;
    // The field of the column last moved to when the type column was skipped.
    QString LastSkipColumn;

protected:
    QStringList StartSelect() override;
    std::vector<QVariantList> NextRows(int limit) override;
    void ApplyModify(const QVariantMap& oldRow, const QVariantMap& row) override;
    void ApplyInsert(const QVariantMap& row) override;
    void ApplyDelete(const QVariantMap& oldRow) override;
    QVariantMap StoredRow(const QVariantMap& row) const override;

    bool Q1BeforeInsert() override;
    void Grid1ColEnter() override;
    void Grid1DrawColumnCell(QPainter* painter, const QRect& rect, const QModelIndex& index, bool selected) override;
};
