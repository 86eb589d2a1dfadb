// The settings page listing the object servers the user uses most.
#include "gui/intake/OleServers.h"

#include "core/documents/OleContainer.h"
#include "core/intake/OleServerList.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/widgets/Teardown.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <utility>

namespace {

const QString Explanation = QStringLiteral("Applications that edit embedded files");

// Hands an accepted caption edit to the frame while the row still holds the old name.
class CaptionDelegate : public QStyledItemDelegate
{
public:
    CaptionDelegate(TOOLEServers* frame, QTreeWidget* list)
        : QStyledItemDelegate(list)
        , m_frame(frame)
        , m_list(list)
    {
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return index.column() == 0 ? QStyledItemDelegate::createEditor(parent, option, index) : nullptr;
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        if (!edit || index.column() != 0)
            return;
        // A blank name is refused: the row keeps the name the entry still has.
        const QString name = edit->text().trimmed();
        if (name.isEmpty())
            return;
        m_frame->LV1Edited(m_list->topLevelItem(index.row()), name);
        model->setData(index, name, Qt::EditRole);
    }

private:
    TOOLEServers* m_frame;
    QTreeWidget* m_list;
};

bool Confirm(QWidget* parent, const QString& question)
{
    return Dialogs::PlainQuestion(parent, QStringLiteral("Confirm"), question);
}

} // namespace

TOOLEServers::TOOLEServers(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("OOLEServers1"));
    setToolTip(Explanation);

    Label1 = new QLabel(QStringLiteral("Most often used OLE servers:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    auto* hint = new QLabel(Explanation + QLatin1Char('.'), this);
    hint->setObjectName(QStringLiteral("Label_hint"));
    hint->setEnabled(false); // drawn greyed, as a remark

    LV1 = new QTreeWidget(this);
    LV1->setObjectName(QStringLiteral("LV1"));
    LV1->setColumnCount(2);
    LV1->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Class")});
    LV1->setColumnWidth(0, 150);
    LV1->setRootIsDecorated(false);
    LV1->setUniformRowHeights(true);
    LV1->setSelectionMode(QAbstractItemView::SingleSelection);
    LV1->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    LV1->setItemDelegate(new CaptionDelegate(this, LV1));
    Label1->setBuddy(LV1);

    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    BtnAdd = button("BtnAdd", "Add");
    BtnDelete = button("BtnDelete", "Remove");
    BtnEdit = button("BtnEdit", "Rename");
    connect(BtnAdd, &QPushButton::clicked, this, &TOOLEServers::BtnAddClick);
    connect(BtnDelete, &QPushButton::clicked, this, &TOOLEServers::BtnDeleteClick);
    connect(BtnEdit, &QPushButton::clicked, this, &TOOLEServers::BtnEditClick);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(BtnAdd);
    buttons->addWidget(BtnDelete);
    buttons->addWidget(BtnEdit);
    buttons->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addWidget(LV1, 1);
    row->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(row, 1);
    layout->addWidget(hint);
}

bool TOOLEServers::InitServerList(TOleContainer* container, TOrbPigger* root)
{
    m_container = container;
    m_node = root ? OleServerList::ServersNode(*root) : nullptr;
    FillServerList();
    return m_node != nullptr;
}

void TOOLEServers::FillServerList()
{
    LV1->clear();
    for (const OleServerList::TServerRow& row : OleServerList::Rows(m_node))
        AddRow(row.Name, row.Class);
}

QTreeWidgetItem* TOOLEServers::AddRow(const QString& name, const QString& cls)
{
    auto* item = new QTreeWidgetItem(LV1, {name, cls});
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    return item;
}

void TOOLEServers::BtnAddClick()
{
    if (!m_container)
        return;
    BtnAdd->setEnabled(false);
    // Add comes back and the chosen object is let go whatever happens on the way.
    struct Restore
    {
        TOOLEServers* frame;
        ~Restore()
        {
            frame->m_container->ReleaseObject();
            frame->BtnAdd->setEnabled(true);
        }
    } restore{this};

    if (!m_container->ChooseObjectDialog())
        return;
    const QString cls = m_container->ObjectClassName();
    for (int i = 0; i < LV1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = LV1->topLevelItem(i);
        if (item->text(0).compare(cls, Qt::CaseInsensitive) == 0) {
            LV1->setCurrentItem(item);
            return;
        }
    }
    QTreeWidgetItem* item = AddRow(cls, cls);
    LV1->setCurrentItem(item);
    StoreServerRow(item, cls); // a new entry is first named after its class
}

void TOOLEServers::StoreServerRow(QTreeWidgetItem* row, const QString& newName)
{
    if (!m_node || !row)
        return;
    OleServerList::StoreServerRow(m_node, row->text(0), row->text(1), newName);
}

void TOOLEServers::BtnEditClick()
{
    if (QTreeWidgetItem* item = LV1->currentItem(); item && item->isSelected())
        LV1->editItem(item, 0);
}

void TOOLEServers::LV1Edited(QTreeWidgetItem* row, const QString& newText)
{
    StoreServerRow(row, newText);
}

void TOOLEServers::BtnDeleteClick()
{
    QTreeWidgetItem* item = LV1->currentItem();
    if (!item || !item->isSelected())
        return;
    const QString caption = item->text(0);
    if (!Confirm(this, QStringLiteral("Do you want to remove \"%1\" from the list?").arg(caption)))
        return;
    OleServerList::RemoveServer(m_node, caption);
    delete item;
}

TOOLEServers::~TOOLEServers()
{
    DisconnectChildren(this);
}
