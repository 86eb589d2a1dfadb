// The settings page that picks how dropped text and pictures are taken in.
#pragma once

#include "core/settings/SettingsModel.h"

// The settings page that chooses, for dropped text and for dropped pictures, between the
// program's own editor and an object server of a chosen class.
#include <QWidget>

class QGroupBox;
class QLineEdit;
class QRadioButton;
class QToolButton;
class TOleContainer;

class TOFixedServers : public QWidget
{
    Q_OBJECT
public:
    explicit TOFixedServers(QWidget* parent = nullptr);
    ~TOFixedServers() override;

    // Remembers the container and shows both groups from the settings; false without them.
    bool InitAcceptModes(TOleContainer* container, TSettingsModel* settings);

private:
    // Handlers: a choice of either group clicked, a class field changed, a pick button clicked.
    void txt_accept_mode();
    void img_accept_mode();
    void set_special_OLE_servers(QLineEdit* field);
    void SB_get_server(QToolButton* button);

    // The controls of one group (objectNames GroupBox_txt, RB_own_txt, RB_OLE_txt,
    // Edit_txt_server, SB_txt_server, and the same with img).
    struct Group
    {
        QRadioButton* own;
        QRadioButton* server;
        QLineEdit* field;
        QToolButton* pick;
        TSettingsModel::DropKind kind;
    };
    QGroupBox* MakeGroup(Group& g, const char* title, const char* own, const char* server, const char* kind);
    void ShowGroup(const Group& g);
    void AcceptMode(const Group& g);

    Group m_txt;
    Group m_img;
    TOleContainer* m_container = nullptr;
    TSettingsModel* m_settings = nullptr;
};
