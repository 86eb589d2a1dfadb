// The new-document wizard.
#include "gui/documents/wz_new_doc.h"

#include "core/common/QbError.h"
#include "core/documents/ImageStore.h"
#include "core/documents/OleContainer.h"
#include "core/documents/wz_new_doc_rules.h"
#include "core/settings/OrbPigger.h"
#include "core/settings/SettingsModel.h"
#include "gui/intake/OleServers.h"
#include "gui/widgets/Teardown.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaMethod>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

template <typename T> T* Named(T* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QGroupBox* RadioGroup(const QString& title, const QStringList& items, QButtonGroup*& buttons, QWidget* owner)
{
    auto* box = new QGroupBox(title);
    buttons = new QButtonGroup(owner);
    auto* layout = new QVBoxLayout(box);
    for (int i = 0; i < items.size(); ++i) {
        auto* rb = new QRadioButton(items.at(i), box);
        buttons->addButton(rb, i);
        layout->addWidget(rb);
    }
    buttons->button(0)->setChecked(true);
    return box;
}

} // namespace

TW_new_doc::TW_new_doc(QWidget* parent)
    : TWizard(parent)
{
    setObjectName(QStringLiteral("W_new_doc"));
    setWindowTitle(QStringLiteral("New document"));
    TabSheet_start = Named(CreateStartPage(), "TabSheet_start");
    TabSheet_ready = Named(CreateReadyPage(), "TabSheet_ready");
    AddPage(TabSheet_start);
    AddPage(TabSheet_ready);
    // A fixed border: window managers then offer neither a maximise button nor a grip strip.
    setFixedSize(sizeHint().expandedTo(QSize(400, 260)));
}

QWidget* TW_new_doc::CreateStartPage()
{
    auto* page = new QWidget;
    auto* label = new QLabel(QStringLiteral("New document name:"), page);
    Edit1 = Named(new QLineEdit(page), "Edit1");
    label->setBuddy(Edit1);
    RG_creation_type = Named(RadioGroup(QStringLiteral("How to create"),
                                        {QStringLiteral("As native document"), QStringLiteral("As OLE object"),
                                         QStringLiteral("Make from clipboard")},
                                        RG_creation_typeButtons, this),
                             "RG_creation_type");
    RG_creation_typeButtons->setObjectName(QStringLiteral("RG_creation_typeButtons"));
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(label);
    layout->addWidget(Edit1);
    layout->addWidget(RG_creation_type);
    layout->addStretch(1);

    connect(Edit1, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
    connect(RG_creation_typeButtons, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on)
            UpdateButtons();
    });
    return page;
}

QWidget* TW_new_doc::CreateReadyPage()
{
    auto* page = new QWidget;
    PageControl_ready = Named(new QStackedWidget(page), "PageControl_ready");

    TabSheet1 = Named(new QWidget, "TabSheet1");
    RG1 = Named(RadioGroup(QStringLiteral("New document type"), {QStringLiteral("Picture"), QStringLiteral("RTF text")},
                           RG1Buttons, this),
                "RG1");
    RG1Buttons->setObjectName(QStringLiteral("RG1Buttons"));
    auto* native = new QVBoxLayout(TabSheet1);
    native->addWidget(RG1);
    native->addStretch(1);

    TabSheet2 = Named(new QWidget, "TabSheet2");
    auto* serverLabel = new QLabel(QStringLiteral("Type of OLE server:"), TabSheet2);
    serverLabel->setToolTip(QStringLiteral("Applications that edit embedded files"));
    CB1 = Named(new QComboBox(TabSheet2), "CB1");
    CB1->setEditable(false);
    serverLabel->setBuddy(CB1);
    SB_doc_types = Named(new QToolButton(TabSheet2), "SB_doc_types");
    SB_doc_types->setText(QStringLiteral("..."));
    auto* serverRow = new QHBoxLayout;
    serverRow->addWidget(CB1, 1);
    serverRow->addWidget(SB_doc_types);
    auto* server = new QVBoxLayout(TabSheet2);
    server->addWidget(serverLabel);
    server->addLayout(serverRow);
    server->addStretch(1);

    TabSheet3 = Named(new QWidget, "TabSheet3");
    auto* pasteLabel = new QLabel(QStringLiteral("It's possibile to paste as:"), TabSheet3);
    LB_paste = Named(new QListWidget(TabSheet3), "LB_paste");
    pasteLabel->setBuddy(LB_paste);
    Label_clp_empty
        = Named(new QLabel(QStringLiteral("Sorry, no importable data found."), TabSheet3), "Label_clp_empty");
    Label_clp_empty->hide();
    auto* paste = new QVBoxLayout(TabSheet3);
    paste->addWidget(pasteLabel);
    paste->addWidget(LB_paste, 1);
    paste->addWidget(Label_clp_empty);

    PageControl_ready->addWidget(TabSheet1);
    PageControl_ready->addWidget(TabSheet2);
    PageControl_ready->addWidget(TabSheet3);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageControl_ready);

    connect(CB1, &QComboBox::currentIndexChanged, this, [this] { UpdateButtons(); });
    connect(LB_paste, &QListWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(SB_doc_types, &QToolButton::clicked, this, &TW_new_doc::SB_doc_typesClick);
    return page;
}

TOrbPigger* TW_new_doc::ServersNode() const
{
    return m_settings ? m_settings->OleServersNode() : nullptr;
}

TDocContent TW_new_doc::Execute(QString& name, QString& type)
{
    return ExecuteMode(name, type, false);
}

TDocContent TW_new_doc::ExecuteMode(QString& name, QString& type, bool pasteMode)
{
    Confirmed = false;
    Edit1->setText(name);
    LoadServerList();
    m_pasteMode = pasteMode;
    GoToPage(NewDocRules::StartPage);
    if (m_pasteMode) {
        RG_creation_typeButtons->button(NewDocRules::FromClipboard)->setChecked(true);
        GoToPage(NewDocRules::ReadyPage);
    }
    exec();

    if (!Confirmed) {
        name.clear();
        type.clear();
        return {};
    }
    name = Edit1->text().trimmed();
    type = ChosenType();
    if (RG_creation_typeButtons->checkedId() == NewDocRules::FromClipboard && LB_paste->currentItem()
        && LB_paste->currentItem()->isSelected())
        return ClipboardContent(type);
    return {};
}

TDocContent TW_new_doc::ClipboardContent(QString& type) const
{
    // The clipboard may have changed, or lost its owner, since the list was filled: what was
    // chosen is made now or not at all, so that no document is left without content.
    const QString format = LB_paste->currentItem()->text();
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (format == NewDocRules::BitmapFormat) {
        const QImage picture = data ? ImageStore::ImageFromMimeData(*data) : QImage();
        if (picture.isNull())
            throw QbError(QStringLiteral("Sorry, can't paste clipboard content as a picture."));
        type = QStringLiteral("IMG");
        return TDocContent::FromBitmap(picture);
    }
    const bool text = format == NewDocRules::TextFormat && data && data->hasText();
    const bool object = format == NewDocRules::ObjectFormat && TOleContainer::OffersObject(data);
    if (!text && !object)
        throw QbError(QStringLiteral("The clipboard no longer holds anything to paste as \"%1\".").arg(format));
    if (object)
        return TDocContent::FromClipboard();
    type = QStringLiteral("TXT");
    return TDocContent::Text(NewDocRules::SplitLines(data->text()));
}

void TW_new_doc::LoadServerList()
{
    CB1->clear();
    const TOrbPigger* node = ServersNode();
    const QList<OleServerList::TServerRow> rows = OleServerList::Rows(node);
    for (const OleServerList::TServerRow& row : rows)
        CB1->addItem(row.Name, row.Class);
    CB1->setCurrentIndex(NewDocRules::DefaultServer(node, rows));
}

void TW_new_doc::FillPasteList()
{
    LB_paste->clear();
    const QMimeData* data = QApplication::clipboard()->mimeData();
    const QStringList formats = NewDocRules::PasteFormats(NewDocRules::OffersBitmap(data), data && data->hasText(),
                                                          TOleContainer::OffersObject(data));
    LB_paste->addItems(formats);
    const bool empty = formats.isEmpty();
    LB_paste->setEnabled(!empty);
    QPalette palette = LB_paste->palette();
    palette.setColor(QPalette::Base,
                     LB_paste->style()->standardPalette().color(empty ? QPalette::Button : QPalette::Base));
    LB_paste->setPalette(palette);
    Label_clp_empty->setVisible(empty);
}

int TW_new_doc::InnerPage() const
{
    return PageControl_ready->currentIndex();
}

bool TW_new_doc::ChoiceComplete() const
{
    const QListWidgetItem* format = LB_paste->currentItem();
    return NewDocRules::ChoiceComplete(InnerPage(), CB1->currentIndex() >= 0, format && format->isSelected());
}

QString TW_new_doc::ChosenType() const
{
    switch (InnerPage()) {
        case NewDocRules::NativePage:
            return NewDocRules::NativeType(RG1Buttons->checkedId());
        case NewDocRules::ServerPage:
            return ServersNode() && CB1->currentIndex() >= 0 ? CB1->currentData().toString() : QString();
        default:
            return QString();
    }
}

void TW_new_doc::UpdateButtons()
{
    if (!Edit1) // while the base wizard is being built
        return TWizard::UpdateButtons();
    NewDocRules::TState state;
    state.current = CurrentPage();
    state.name = Edit1->text();
    state.pasteMode = m_pasteMode;
    state.inner = InnerPage();
    state.serverSelected = CB1->currentIndex() >= 0;
    const QListWidgetItem* format = LB_paste->currentItem();
    state.formatSelected = format && format->isSelected();
    const NewDocRules::TButtons b = NewDocRules::Buttons(state);
    btnPrev->setVisible(b.prevVisible);
    btnNext->setVisible(b.nextVisible);
    btnPrev->setEnabled(b.enabled.prev);
    btnNext->setEnabled(b.enabled.next);
    btnFinish->setEnabled(b.enabled.finish);
    btnCancel->setEnabled(b.enabled.cancel);
}

void TW_new_doc::PageEntered()
{
    if (PreviousPage() == NewDocRules::StartPage && CurrentPage() == NewDocRules::ReadyPage) {
        const NewDocRules::TInnerPage inner = NewDocRules::InnerPageFor(RG_creation_typeButtons->checkedId());
        PageControl_ready->setCurrentIndex(inner);
        if (inner == NewDocRules::ClipboardPage)
            FillPasteList();
    }
    UpdateButtons();
}

void TW_new_doc::SB_doc_typesClick()
{
    if (isSignalConnected(QMetaMethod::fromSignal(&TW_new_doc::ServerSettingsWanted))) {
        Q_EMIT ServerSettingsWanted();
    } else {
        QDialog dialog(this);
        dialog.setObjectName(QStringLiteral("D_ole_servers"));
        dialog.setWindowTitle(QStringLiteral("OLE servers"));
        auto* frame = new TOOLEServers(&dialog);
        if (!m_container) // a container of its own, only to ask for a class
            m_container = new TOleContainer(this);
        frame->InitServerList(m_container, m_settings ? &m_settings->Root() : nullptr);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
        connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(frame);
        layout->addWidget(buttons);
        dialog.exec();
    }
    LoadServerList();
    if (m_settings)
        m_settings->Save();
}

void TW_new_doc::btnFinishClick()
{
    Confirmed = true;
    accept();
}

void TW_new_doc::showEvent(QShowEvent* e)
{
    TWizard::showEvent(e);
    Edit1->setFocus();
}

TW_new_doc::~TW_new_doc()
{
    DisconnectChildren(this);
}
