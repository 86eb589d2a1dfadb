// The settings page that picks how dropped text and pictures are taken in.
#include "gui/intake/fixedServers.h"

#include "core/documents/OleContainer.h"
#include "core/intake/OleServerList.h"
#include "gui/widgets/Teardown.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

TOFixedServers::TOFixedServers(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("OFixedServers1"));
    setToolTip(QStringLiteral("Applications that edit embedded files"));
    m_txt = {nullptr, nullptr, nullptr, nullptr, TSettingsModel::DropKind::Text};
    m_img = {nullptr, nullptr, nullptr, nullptr, TSettingsModel::DropKind::Image};

    QGroupBox* txt
        = MakeGroup(m_txt, "Accept drag-n-dropped text via:", "simple text editor", "text OLE server:", "txt");
    QGroupBox* img
        = MakeGroup(m_img, "Accept drag-n-dropped picture via:", "simple image viewer", "image OLE server:", "img");

    connect(m_txt.own, &QRadioButton::toggled, this, &TOFixedServers::txt_accept_mode);
    connect(m_img.own, &QRadioButton::toggled, this, &TOFixedServers::img_accept_mode);
    for (const Group* g : {&m_txt, &m_img}) {
        QLineEdit* field = g->field;
        QToolButton* pick = g->pick;
        connect(field, &QLineEdit::textChanged, this, [this, field] { set_special_OLE_servers(field); });
        connect(pick, &QToolButton::clicked, this, [this, pick] { SB_get_server(pick); });
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txt);
    layout->addWidget(img);
    layout->addStretch(1);
}

QGroupBox* TOFixedServers::MakeGroup(Group& g, const char* title, const char* own, const char* server, const char* kind)
{
    const QString suffix = QString::fromLatin1(kind);
    auto* box = new QGroupBox(QString::fromLatin1(title), this);
    box->setObjectName(QStringLiteral("GroupBox_") + suffix);
    g.own = new QRadioButton(QString::fromLatin1(own), box);
    g.own->setObjectName(QStringLiteral("RB_own_") + suffix);
    g.server = new QRadioButton(QString::fromLatin1(server), box);
    g.server->setObjectName(QStringLiteral("RB_OLE_") + suffix);
    g.field = new QLineEdit(box);
    g.field->setObjectName(QStringLiteral("Edit_%1_server").arg(suffix));
    g.pick = new QToolButton(box);
    g.pick->setObjectName(QStringLiteral("SB_%1_server").arg(suffix));
    g.pick->setText(QStringLiteral("..."));
    g.own->setChecked(true);
    g.field->setEnabled(false);
    g.pick->setEnabled(false);

    auto* grid = new QGridLayout(box);
    grid->addWidget(g.own, 0, 0, 1, 3);
    grid->addWidget(g.server, 1, 0);
    grid->addWidget(g.field, 1, 1);
    grid->addWidget(g.pick, 1, 2);
    grid->setColumnStretch(1, 1);
    return box;
}

bool TOFixedServers::InitAcceptModes(TOleContainer* container, TSettingsModel* settings)
{
    m_container = container;
    m_settings = settings;
    if (!m_settings)
        return false;
    ShowGroup(m_txt);
    ShowGroup(m_img);
    return true;
}

void TOFixedServers::ShowGroup(const Group& g)
{
    g.field->setText(m_settings->DropServer(g.kind));
    if (OleServerList::UsesServer(m_settings->DropMode(g.kind)))
        g.server->setChecked(true);
    else
        g.own->setChecked(true);
}

void TOFixedServers::txt_accept_mode()
{
    AcceptMode(m_txt);
}

void TOFixedServers::img_accept_mode()
{
    AcceptMode(m_img);
}

void TOFixedServers::AcceptMode(const Group& g)
{
    // A disabled field is drawn in the button-face colour, an enabled one in the window colour.
    const bool own = g.own->isChecked();
    g.field->setEnabled(!own);
    g.pick->setEnabled(!own);
    if (m_settings)
        m_settings->SetDropUsesServer(g.kind, !own);
}

void TOFixedServers::set_special_OLE_servers(QLineEdit* field)
{
    // Only the changed field is stored: storing both would write the other field's old text
    // over the tree while the groups are being shown from it.
    if (!m_settings)
        return;
    if (field == m_txt.field)
        m_settings->SetDropServer(m_txt.kind, field->text());
    else if (field == m_img.field)
        m_settings->SetDropServer(m_img.kind, field->text());
}

void TOFixedServers::SB_get_server(QToolButton* button)
{
    if (!m_container)
        return;
    if (!m_container->ChooseObjectDialog())
        return;
    const QString cls = m_container->ObjectClassName();
    (button == m_txt.pick ? m_txt.field : m_img.field)->setText(cls);
    m_container->ReleaseObject();
}

TOFixedServers::~TOFixedServers()
{
    DisconnectChildren(this);
}
