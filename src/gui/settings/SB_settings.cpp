// The settings dialog and its pages: position, servers, application, drag-n-drop, security, about.
#include "gui/settings/SB_settings.h"

#include "core/documents/OleContainer.h"
#include "core/placement/Placement.h"
#include "gui/dialogs/CentreOnScreen.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/intake/OleServers.h"
#include "gui/intake/fixedServers.h"
#include "gui/settings/about.h"
#include "gui/widgets/Teardown.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {
namespace Key = SettingsKey;

template <typename T> T* Named(T* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}
} // namespace

TD_SB_settings::TD_SB_settings(TSettingsModel& model, QWidget* parent)
    : TD_settings(model, parent)
{
    setObjectName(QStringLiteral("D_SB_settings"));
    setModal(true);
    m_chooser = new TOleContainer(this);
    // A dialog border: no resizing, no maximise button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);

    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    TabSheet_position = Named(CreatePositionPage(), "TabSheet_position");
    TabSheet_OLE = Named(new QWidget, "TabSheet_OLE");
    OOLEServers1 = new TOOLEServers(TabSheet_OLE);
    (new QVBoxLayout(TabSheet_OLE))->addWidget(OOLEServers1);
    TabSheet1 = Named(CreateApplicationPage(), "TabSheet1");
    TabSheet_drag_n_drop = Named(new QWidget, "TabSheet_drag_n_drop");
    OFixedServers1 = new TOFixedServers(TabSheet_drag_n_drop);
    (new QVBoxLayout(TabSheet_drag_n_drop))->addWidget(OFixedServers1);
    TabSheet_security = Named(CreateSecurityPage(), "TabSheet_security");
    TabSheet_about = Named(new QWidget, "TabSheet_about");
    auto* aboutLayout = new QVBoxLayout(TabSheet_about);
    O_about1 = Named(new TO_about(TabSheet_about), "O_about1");
    aboutLayout->addWidget(O_about1);

    PageControl1->addTab(TabSheet_position, QStringLiteral("Position"));
    PageControl1->addTab(TabSheet_OLE, QStringLiteral("OLE servers"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Application"));
    const int dnd = PageControl1->addTab(TabSheet_drag_n_drop, QStringLiteral("Drag-n-drop"));
    PageControl1->setTabVisible(dnd, false);
    PageControl1->addTab(TabSheet_security, QStringLiteral("Security"));
    PageControl1->addTab(TabSheet_about, QStringLiteral("About"));
    PageControl1->setCurrentWidget(TabSheet_about);

    SetPages(PageControl1);
    PageControl1->tabBar()->setUsesScrollButtons(false);
    setFixedSize(sizeHint().expandedTo(QSize(369, 260)));

    // The tree, then the controls that mirror it.
    LoadSettings();
    // Logic that changes the tree (a dropped database) has the controls follow.
    connect(&model, &TSettingsModel::Changed, this, &TD_SB_settings::ShowSettings);
}

TD_SB_settings::~TD_SB_settings()
{
    DisconnectChildren(this);
}

QWidget* TD_SB_settings::CreatePositionPage()
{
    auto* page = new QWidget;
    auto* layout = new QHBoxLayout(page);

    RadioGroup1 = Named(new QGroupBox(QStringLiteral("Application align:"), page), "RadioGroup1");
    RadioGroup1Buttons = new QButtonGroup(RadioGroup1);
    auto* groupLayout = new QVBoxLayout(RadioGroup1);
    const char* items[] = {"top", "bottom", "left", "right", "none", "max."};
    for (int i = 0; i < 6; ++i) {
        auto* rb = new QRadioButton(QString::fromLatin1(items[i]), RadioGroup1);
        rb->setObjectName(QStringLiteral("RadioGroup1_%1").arg(i));
        RadioGroup1Buttons->addButton(rb, i);
        groupLayout->addWidget(rb);
    }
    RadioGroup1Buttons->button(1)->setChecked(true);
    layout->addWidget(RadioGroup1);

    Panel1 = Named(new QFrame(page), "Panel1");
    Panel1->setFixedSize(183, 123);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(3);
    Panel1->setAutoFillBackground(true);
    QPalette pal = Panel1->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Dark));
    Panel1->setPalette(pal);
    Shape1 = Named(new QFrame(Panel1), "Shape1");
    Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Shape1->setAutoFillBackground(true);
    QPalette shapePal = Shape1->palette();
    shapePal.setColor(QPalette::Window, Qt::white);
    Shape1->setPalette(shapePal);
    layout->addWidget(Panel1, 0, Qt::AlignTop);

    connect(RadioGroup1Buttons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            show_align();
    });
    show_align();
    return page;
}

QWidget* TD_SB_settings::CreateApplicationPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* preview = Named(new QGroupBox(QStringLiteral("Preview"), page), "GroupBox_preview");
    auto* grid = new QGridLayout(preview);
    grid->addWidget(new QLabel(QStringLiteral("Delay before preview (mS):"), preview), 0, 0);
    Label_delay = Named(new QLabel(QStringLiteral("900"), preview), "Label_delay");
    Label_delay->setStyleSheet(QStringLiteral("color: red;"));
    grid->addWidget(Label_delay, 0, 1);
    TrackBar1 = Named(new QSlider(Qt::Horizontal, preview), "TrackBar1");
    TrackBar1->setRange(TSettingsModel::MinDelay, TSettingsModel::MaxDelay);
    TrackBar1->setTickInterval(50);
    TrackBar1->setSingleStep(50);
    TrackBar1->setPageStep(50);
    TrackBar1->setTickPosition(QSlider::TicksBothSides);
    TrackBar1->setValue(900);
    grid->addWidget(TrackBar1, 1, 0, 1, 2);
    layout->addWidget(preview);

    CB_open_last_used
        = Named(new QCheckBox(QStringLiteral("Try to open last used database when application starts"), page),
                "CB_open_last_used");
    layout->addWidget(CB_open_last_used);
    layout->addStretch(1);

    connect(TrackBar1, &QSlider::valueChanged, this, &TD_SB_settings::TrackBar1Change);
    connect(CB_open_last_used, &QCheckBox::toggled, this, &TD_SB_settings::CB_open_last_usedClick);
    return page;
}

QWidget* TD_SB_settings::CreateSecurityPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* group = Named(new QGroupBox(QStringLiteral("Action on wrong password"), page), "GroupBox_wrong_password");
    auto* grid = new QGridLayout(group);
    Rb_restrict = Named(new QRadioButton(QStringLiteral("restrict database opening"), group), "Rb_restrict");
    RB_default_db = Named(new QRadioButton(QStringLiteral("open default database"), group), "RB_default_db");
    CB_default_db = Named(new QComboBox(group), "CB_default_db");
    RB_drop_db = Named(new QRadioButton(QStringLiteral("drop database if quantity of attempts is more then"), group),
                       "RB_drop_db");
    SE_attempts = Named(new QSpinBox(group), "SE_attempts");
    SE_attempts->setRange(TSettingsModel::MinAttempts, TSettingsModel::MaxAttempts);
    SE_attempts->setValue(3);
    Rb_restrict->setChecked(true);
    CB_default_db->setEnabled(false);
    SE_attempts->setEnabled(false);
    grid->addWidget(Rb_restrict, 0, 0, 1, 2);
    grid->addWidget(RB_default_db, 1, 0);
    grid->addWidget(CB_default_db, 1, 1);
    grid->addWidget(RB_drop_db, 2, 0);
    grid->addWidget(SE_attempts, 2, 1);
    layout->addWidget(group);

    CB_default_invisible = Named(new QCheckBox(QStringLiteral("Don't show the default DB in the databse list "), page),
                                 "CB_default_invisible");
    layout->addWidget(CB_default_invisible);

    // Never, unless the user sets a time: "never" is the spin box's lowest value.
    const auto countBox = [](QWidget* parent, const char* name, int max) {
        auto* box = Named(new QSpinBox(parent), name);
        box->setRange(0, max);
        box->setSpecialValueText(QStringLiteral("never"));
        return box;
    };
    auto* lock = Named(new QGroupBox(QStringLiteral("Lock a protected database"), page), "GroupBox_lock");
    auto* lockGrid = new QGridLayout(lock);
    lockGrid->addWidget(new QLabel(QStringLiteral("after minutes without input:"), lock), 0, 0);
    SE_lock_idle = countBox(lock, "SE_lock_idle", TSettingsModel::MaxLockIdleMinutes);
    lockGrid->addWidget(SE_lock_idle, 0, 1);
    CB_lock_on_screen_lock
        = Named(new QCheckBox(QStringLiteral("when the screen locks"), lock), "CB_lock_on_screen_lock");
    lockGrid->addWidget(CB_lock_on_screen_lock, 1, 0, 1, 2);
    CB_lock_on_suspend
        = Named(new QCheckBox(QStringLiteral("before the computer suspends"), lock), "CB_lock_on_suspend");
    lockGrid->addWidget(CB_lock_on_suspend, 2, 0, 1, 2);
    lockGrid->setColumnStretch(0, 1);
    layout->addWidget(lock);

    auto* clipboard = Named(new QGroupBox(QStringLiteral("Clipboard"), page), "GroupBox_clipboard");
    auto* clipboardGrid = new QGridLayout(clipboard);
    clipboardGrid->addWidget(new QLabel(QStringLiteral("clear what was copied after seconds:"), clipboard), 0, 0);
    SE_clipboard_clear = countBox(clipboard, "SE_clipboard_clear", TSettingsModel::MaxClipboardClearSeconds);
    clipboardGrid->addWidget(SE_clipboard_clear, 0, 1);
    clipboardGrid->setColumnStretch(0, 1);
    layout->addWidget(clipboard);
    layout->addStretch(1);

    for (QRadioButton* rb : {Rb_restrict, RB_default_db, RB_drop_db})
        connect(rb, &QRadioButton::toggled, this, [this](bool checked) {
            if (checked)
                set_wrong_password_mode();
        });
    // Only the user's own choice asks: the same button checked by showing the settings again
    // (Cancel reloads the file) must not ask, nor lose the mode on a No.
    connect(RB_drop_db, &QRadioButton::clicked, this, &TD_SB_settings::RB_drop_dbClick);
    connect(CB_default_db, &QComboBox::activated, this, &TD_SB_settings::CB_default_dbChange);
    connect(SE_attempts, &QSpinBox::valueChanged, this, &TD_SB_settings::SE_attemptsChange);
    connect(CB_default_invisible, &QCheckBox::toggled, this, &TD_SB_settings::CB_default_invisibleClick);
    TSettingsModel* m = &Model();
    connect(SE_lock_idle, &QSpinBox::valueChanged, m, &TSettingsModel::SetLockIdleMinutes);
    connect(CB_lock_on_screen_lock, &QCheckBox::toggled, m, &TSettingsModel::SetLockOnScreenLock);
    connect(CB_lock_on_suspend, &QCheckBox::toggled, m, &TSettingsModel::SetLockOnSuspend);
    connect(SE_clipboard_clear, &QSpinBox::valueChanged, m, &TSettingsModel::SetClipboardClearSeconds);
    return page;
}

int TD_SB_settings::RadioGroupIndex() const
{
    return RadioGroup1Buttons->checkedId();
}

void TD_SB_settings::SetRadioGroupIndex(int index)
{
    // Like a radio group: below 0 selects nothing, above the last item selects the last.
    index = std::clamp(index, -1, 5);
    if (index == RadioGroupIndex())
        return;
    if (index < 0) {
        RadioGroup1Buttons->setExclusive(false);
        RadioGroup1Buttons->checkedButton()->setChecked(false);
        RadioGroup1Buttons->setExclusive(true);
        show_align();
        return;
    }
    RadioGroup1Buttons->button(index)->setChecked(true);
}

void TD_SB_settings::ShowSettings()
{
    const TSettingsModel& model = Model();
    SetRadioGroupIndex(model.Align());

    OOLEServers1->InitServerList(m_chooser, &Root());
    OFixedServers1->InitAcceptModes(m_chooser, &Model());

    if (const std::optional<int> delay = model.StoredDelay())
        TrackBar1->setValue(*delay);

    if (model.WrongPasswordMode() == Key::OpenDefault && !model.DefaultDbName().isEmpty())
        RB_default_db->setChecked(true);
    else if (model.WrongPasswordMode() == Key::DropDb)
        RB_drop_db->setChecked(true);
    else
        Rb_restrict->setChecked(true);
    SE_attempts->setValue(model.Attempts());
    FillDefaultDbList();

    CB_open_last_used->setChecked(model.OpenLastUsedWanted());
    CB_default_invisible->setChecked(model.DefaultHidden());

    SE_lock_idle->setValue(model.LockIdleMinutes());
    CB_lock_on_screen_lock->setChecked(model.LockOnScreenLock());
    CB_lock_on_suspend->setChecked(model.LockOnSuspend());
    SE_clipboard_clear->setValue(model.ClipboardClearSeconds());
}

void TD_SB_settings::show_align()
{
    const QRect area = Panel1->contentsRect();
    const int w = static_cast<int>(std::lround(0.3 * Panel1->width()));
    const int h = static_cast<int>(std::lround(0.3 * Panel1->height()));
    QRect shape(area.left() + 25, area.top() + 10, w, h);
    const int index = RadioGroupIndex();
    using Placement::Docking;
    switch (Placement::DockingOf(index)) {
        case Docking::Top:
            shape = QRect(area.left(), area.top(), area.width(), h);
            break;
        case Docking::Bottom:
            shape = QRect(area.left(), area.bottom() - h + 1, area.width(), h);
            break;
        case Docking::Left:
            shape = QRect(area.left(), area.top(), w, area.height());
            break;
        case Docking::Right:
            shape = QRect(area.right() - w + 1, area.top(), w, area.height());
            break;
        case Docking::Max:
            shape = area;
            break;
        case Docking::None: // floating, or nothing selected
            break;
    }
    Shape1->setGeometry(shape);
    Model().SetAlign(index);
}

void TD_SB_settings::TrackBar1Change()
{
    const QString text = QString::number(TrackBar1->value());
    Label_delay->setText(text);
    Model().SetDelay(TrackBar1->value());
}

void TD_SB_settings::CB_open_last_usedClick()
{
    Model().SetOpenLastUsedWanted(CB_open_last_used->isChecked());
}

void TD_SB_settings::CB_default_invisibleClick()
{
    Model().SetDefaultHidden(CB_default_invisible->isChecked());
}

void TD_SB_settings::set_wrong_password_mode()
{
    CB_default_db->setEnabled(false);
    SE_attempts->setEnabled(false);
    if (Rb_restrict->isChecked()) {
        Model().SetWrongPasswordMode(QString());
    } else if (RB_default_db->isChecked()) {
        CB_default_db->setEnabled(true);
        Model().SetWrongPasswordMode(Key::OpenDefault);
    } else if (RB_drop_db->isChecked()) {
        SE_attempts->setEnabled(true);
        Model().SetWrongPasswordMode(Key::DropDb);
    }
}

void TD_SB_settings::RB_drop_dbClick()
{
    if (!RB_drop_db->isChecked() || !isVisible())
        return;
    const QString question = QStringLiteral("ATTENTION!\nDatabase will be droped without confirmation\nAfter %1 "
                                            "attempts to open it with incorrect password.\nAre you sure you "
                                            "really want this?")
                                 .arg(SE_attempts->value());
    if (!Dialogs::Confirm(question))
        Rb_restrict->setChecked(true);
}

void TD_SB_settings::CB_default_dbChange(int index)
{
    if (index < 0)
        return;
    const QString name = CB_default_db->itemText(index);
    Model().SetDefaultDbName(name);
    Dialogs::ShowMessage(QStringLiteral("To open the \"%1\" database\ninstead of the protected one\nmake sure that "
                                        "the \"%1\" is not\nprotected by password.")
                             .arg(name));
}

void TD_SB_settings::SE_attemptsChange()
{
    Model().SetAttempts(SE_attempts->value());
}

void TD_SB_settings::FillDefaultDbList()
{
    const TOrbPigger* list = Model().BaseListNode();
    if (!list)
        return;
    CB_default_db->clear();
    const QString wanted = Model().DefaultDbName();
    int selected = -1;
    for (int i = 0; i < list->ChildCount(); ++i) {
        const TOrbPigger* node = list->Child(i);
        if (node->Name() != Key::Base)
            continue;
        const QString name = node->GetAttr(Key::Name);
        if (selected < 0 && name.compare(wanted, Qt::CaseInsensitive) == 0 && !wanted.isEmpty())
            selected = CB_default_db->count();
        CB_default_db->addItem(name);
    }
    CB_default_db->setCurrentIndex(selected);
}

void TD_SB_settings::ShowServerPage()
{
    // The page lists the tree as it is now.
    OOLEServers1->InitServerList(m_chooser, &Root());
    PageControl1->setCurrentWidget(TabSheet_OLE);
    exec();
}

void TD_SB_settings::reject()
{
    // Escape acts as "Cancel"; the close box keeps the changes in the tree.
    if (m_closingByBox)
        QDialog::reject();
    else
        CancelBtnClick();
}

void TD_SB_settings::closeEvent(QCloseEvent* e)
{
    m_closingByBox = true;
    TD_settings::closeEvent(e);
    m_closingByBox = false;
}

void TD_SB_settings::showEvent(QShowEvent* e)
{
    TD_settings::showEvent(e);
    // On the screen, not on the main window a dialog would otherwise be centred over.
    if (!e->spontaneous())
        CentreOnScreen(this);
    FillDefaultDbList();
}

void TD_SB_settings::FormDestroy()
{
    SaveSettings();
}
