#include "gui/documents/ChooseObject.h"

#include "core/documents/ObjectServers.h"
#include "core/documents/OleContainer.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/widgets/Teardown.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString Title = QStringLiteral("Insert object");

QIcon ServerIcon(const QString& icon)
{
    if (icon.isEmpty())
        return QIcon::fromTheme(QStringLiteral("application-x-executable"));
    if (QFileInfo(icon).isAbsolute())
        return QIcon(icon);
    return QIcon::fromTheme(icon, QIcon::fromTheme(QStringLiteral("application-x-executable")));
}

} // namespace

TD_choose_object::TD_choose_object(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("D_choose_object"));
    setWindowTitle(Title);
    setModal(true);

    auto* label = new QLabel(QStringLiteral("Object type:"), this);
    Edit_filter = new QLineEdit(this);
    Edit_filter->setObjectName(QStringLiteral("Edit_filter"));
    Edit_filter->setPlaceholderText(QStringLiteral("Filter by name"));
    Edit_filter->setClearButtonEnabled(true);
    LB_servers = new QListWidget(this);
    LB_servers->setObjectName(QStringLiteral("LB_servers"));
    label->setBuddy(LB_servers);
    for (const TObjectServer& server : ObjectServers::All()) {
        auto* item = new QListWidgetItem(ServerIcon(server.Icon), server.Name, LB_servers);
        item->setData(Qt::UserRole, server.ClassName);
        item->setToolTip(server.ClassName);
    }
    LB_servers->sortItems();

    BtnOK = new QPushButton(QStringLiteral("OK"), this);
    BtnOK->setObjectName(QStringLiteral("BtnOK"));
    BtnOK->setDefault(true);
    BtnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(Edit_filter, &QLineEdit::textChanged, this, &TD_choose_object::SetFilter);
    connect(LB_servers, &QListWidget::currentRowChanged, this, &TD_choose_object::UpdateButtons);
    connect(LB_servers, &QListWidget::itemActivated, this, [this] {
        if (!Chosen().isEmpty())
            accept();
    });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Edit_filter);
    layout->addWidget(label);
    layout->addWidget(LB_servers, 1);
    layout->addLayout(buttons);
    resize(360, 420);
    SetFilter(QString());
    Edit_filter->setFocus();
}

void TD_choose_object::SetFilter(const QString& text)
{
    if (Edit_filter->text() != text)
        Edit_filter->setText(text); // comes back here through textChanged
    const QString wanted = text.trimmed();
    QListWidgetItem* first = nullptr;
    for (int i = 0; i < LB_servers->count(); ++i) {
        QListWidgetItem* item = LB_servers->item(i);
        const bool shown = item->text().contains(wanted, Qt::CaseInsensitive)
            || item->data(Qt::UserRole).toString().contains(wanted, Qt::CaseInsensitive);
        item->setHidden(!shown);
        if (shown && !first)
            first = item;
    }
    QListWidgetItem* current = LB_servers->currentItem();
    if (!current || current->isHidden())
        LB_servers->setCurrentItem(first);
    UpdateButtons();
}

QStringList TD_choose_object::ShownClasses() const
{
    QStringList classes;
    for (int i = 0; i < LB_servers->count(); ++i) {
        if (!LB_servers->item(i)->isHidden())
            classes << LB_servers->item(i)->data(Qt::UserRole).toString();
    }
    return classes;
}

QString TD_choose_object::Chosen() const
{
    const QListWidgetItem* item = LB_servers->currentItem();
    return item && !item->isHidden() ? item->data(Qt::UserRole).toString() : QString();
}

void TD_choose_object::UpdateButtons()
{
    BtnOK->setEnabled(!Chosen().isEmpty());
}

QString TD_choose_object::Choose(QWidget* parent)
{
    TD_choose_object dialog(parent ? parent : QApplication::activeWindow());
    return Dialogs::ChooseObject(dialog, [&dialog] { return dialog.Chosen(); });
}

void TD_choose_object::Install()
{
    TOleContainer::SetObjectChooser([] { return Choose(); });
}

TD_choose_object::~TD_choose_object()
{
    DisconnectChildren(this);
}
