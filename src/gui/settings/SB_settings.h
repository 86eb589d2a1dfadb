// The settings dialog and its pages: position, servers, application, drag-n-drop, security, about.
#pragma once

#include "gui/settings/settings.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QWidget;
class TO_about;
class TOFixedServers;
class TOOLEServers;
class TOleContainer;

// The settings dialog over the settings model. Every control writes its value into the tree
// the moment it changes, and the model tells the windows that follow it; "OK" (the dialog's
// accepted signal, on which the main window stores and applies its placement) writes the file,
// "Cancel" reloads it.
class TD_SB_settings : public TD_settings
{
    Q_OBJECT

public:
    explicit TD_SB_settings(TSettingsModel& model, QWidget* parent = nullptr);
    ~TD_SB_settings() override;

    void ShowSettings() override;

    // End of the program: write the file (the main window stored its placement first).
    void FormDestroy();

    // The dialog on its "OLE servers" page, modally (the new-document wizard's "...").
    void ShowServerPage();

    int RadioGroupIndex() const;
    void SetRadioGroupIndex(int index);

    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void show_align();
    void TrackBar1Change();
    void CB_open_last_usedClick();
    void CB_default_invisibleClick();
    void set_wrong_password_mode();
    void RB_drop_dbClick();
    void CB_default_dbChange(int index);
    void SE_attemptsChange();
    void FillDefaultDbList();

    QWidget* CreatePositionPage();
    QWidget* CreateApplicationPage();
    QWidget* CreateSecurityPage();

    // Pages and controls (objectName = member name).
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet_position = nullptr;
    QWidget* TabSheet_OLE = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet_drag_n_drop = nullptr;
    QWidget* TabSheet_security = nullptr;
    QWidget* TabSheet_about = nullptr;
    QGroupBox* RadioGroup1 = nullptr;
    QButtonGroup* RadioGroup1Buttons = nullptr;
    QFrame* Panel1 = nullptr;
    QFrame* Shape1 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QLabel* Label_delay = nullptr;
    QCheckBox* CB_open_last_used = nullptr;
    QRadioButton* Rb_restrict = nullptr;
    QRadioButton* RB_default_db = nullptr;
    QComboBox* CB_default_db = nullptr;
    QRadioButton* RB_drop_db = nullptr;
    QSpinBox* SE_attempts = nullptr;
    QCheckBox* CB_default_invisible = nullptr;
    QSpinBox* SE_lock_idle = nullptr;
    QCheckBox* CB_lock_on_screen_lock = nullptr;
    QCheckBox* CB_lock_on_suspend = nullptr;
    QSpinBox* SE_clipboard_clear = nullptr;
    TO_about* O_about1 = nullptr;
    TOOLEServers* OOLEServers1 = nullptr;
    TOFixedServers* OFixedServers1 = nullptr;

    // The object-server pages pick classes through a container of their own: the viewer's
    // holds the shown document, and an object being edited there would lose its session.
    TOleContainer* m_chooser = nullptr;
    bool m_closingByBox = false;
};
