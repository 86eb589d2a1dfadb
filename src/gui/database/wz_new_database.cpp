// The new-database wizard.
#include "gui/database/wz_new_database.h"

#include "core/database/Connection.h"
#include "core/database/DatabaseActions.h"
#include "core/database/wz_rules.h"
#include "gui/archive/backUpRestore.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/dialogs/askPwd.h"
#include "gui/widgets/OrbFileEdit.h"
#include "gui/widgets/Teardown.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QLabel* BoldLabel(const QString& text)
{
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// Masked like every password field, at most 31 characters.
QLineEdit* PasswordEdit(const char* name)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    MakePasswordField(edit);
    edit->setMaxLength(TDatabaseConnection::MaxPasswordLength);
    return edit;
}

QLineEdit* ReadOnlyLine(const char* name)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    return edit;
}

} // namespace

TW_new_database::TW_new_database(TDatabaseActions& actions, QWidget* parent)
    : TWizard(parent)
    , m_actions(actions)
{
    setObjectName(QStringLiteral("W_new_database"));
    setWindowTitle(QStringLiteral("New database wizard"));
    AddPage(CreateNamePage());
    AddPage(CreateLocationPage());
    AddPage(CreatePasswordPage());
    AddPage(CreateReadyPage());
    m_built = true;
    connect(&m_actions, &TDatabaseActions::Progress, this, [this](int percent) {
        if (m_busy)
            ProgressBar2->setValue(percent);
    });
    connect(&m_actions, &TDatabaseActions::Created, this, &TW_new_database::Created);
    UpdateButtons();
}

QWidget* TW_new_database::CreateNamePage()
{
    auto* page = new QWidget;
    Edit_DB_name = new QLineEdit;
    Edit_DB_name->setObjectName(QStringLiteral("Edit_DB_name"));

    RadioGroup1 = new QGroupBox(QStringLiteral("How to create the database:"));
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1Buttons = new QButtonGroup(this);
    RadioGroup1Buttons->setObjectName(QStringLiteral("RadioGroup1Buttons"));
    RB_new_database = new QRadioButton(QStringLiteral("New database"));
    RB_new_database->setObjectName(QStringLiteral("RB_new_database"));
    RB_from_archive = new QRadioButton(QStringLiteral("Create from archive..."));
    RB_from_archive->setObjectName(QStringLiteral("RB_from_archive"));
    RadioGroup1Buttons->addButton(RB_new_database, 0);
    RadioGroup1Buttons->addButton(RB_from_archive, 1);
    RB_new_database->setChecked(true);
    OrbFileEdit1 = new TOrbFileEdit;
    OrbFileEdit1->setObjectName(QStringLiteral("OrbFileEdit1"));
    OrbFileEdit1->SetFilter(TFBackUpRestore::ArchiveFilter());
    OrbFileEdit1->SetDialogTitle(QStringLiteral("Archive file"));
    OrbFileEdit1->setEnabled(false);
    auto* group = new QVBoxLayout(RadioGroup1);
    group->addWidget(RB_new_database);
    group->addWidget(RB_from_archive);
    group->addWidget(OrbFileEdit1);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(BoldLabel(QStringLiteral("Name of the new database:")));
    layout->addWidget(Edit_DB_name);
    layout->addWidget(RadioGroup1);
    layout->addStretch();

    connect(Edit_DB_name, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
    connect(OrbFileEdit1, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
    connect(RadioGroup1Buttons, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });
    connect(RadioGroup1Buttons, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on)
            RadioGroup1Click();
    });
    return page;
}

QWidget* TW_new_database::CreateLocationPage()
{
    auto* page = new QWidget;
    Edit_location = ReadOnlyLine("Edit_location");
    SB_location = new QToolButton;
    SB_location->setObjectName(QStringLiteral("SB_location"));
    SB_location->setText(QStringLiteral("Browse..."));
    connect(SB_location, &QToolButton::clicked, this, &TW_new_database::ChooseLocation);

    auto* row = new QHBoxLayout;
    row->addWidget(Edit_location, 1);
    row->addWidget(SB_location);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(BoldLabel(QStringLiteral("Location of the new database:")));
    layout->addWidget(new QLabel(QStringLiteral("Folder:")));
    layout->addLayout(row);
    layout->addStretch();
    return page;
}

QWidget* TW_new_database::CreatePasswordPage()
{
    auto* page = new QWidget;
    auto* group = new QGroupBox(QStringLiteral("Password protection"));
    CB_is_protected = new QCheckBox(QStringLiteral("New database needs password protection"));
    CB_is_protected->setObjectName(QStringLiteral("CB_is_protected"));
    EditNewPwd1 = PasswordEdit("EditNewPwd1");
    EditNewPwd2 = PasswordEdit("EditNewPwd2");
    EditNewPwd1->setEnabled(false);
    EditNewPwd2->setEnabled(false);
    auto* form = new QFormLayout(group);
    form->addRow(CB_is_protected);
    form->addRow(QStringLiteral("New password:"), EditNewPwd1);
    form->addRow(QStringLiteral("New password confirmation:"), EditNewPwd2);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group);
    layout->addStretch();

    connect(CB_is_protected, &QCheckBox::toggled, this, [this] { CB_is_protectedClick(); });
    connect(EditNewPwd1, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
    connect(EditNewPwd2, &QLineEdit::textChanged, this, [this] { UpdateButtons(); });
    return page;
}

QWidget* TW_new_database::CreateReadyPage()
{
    auto* page = new QWidget;
    auto* group = new QGroupBox(QStringLiteral("Ready"));
    E_DB_name = ReadOnlyLine("E_DB_name");
    E_DB_location = ReadOnlyLine("E_DB_location");
    E_IS_PP = ReadOnlyLine("E_IS_PP");
    E_FROM_ARC = ReadOnlyLine("E_FROM_ARC");
    auto* form = new QFormLayout(group);
    form->addRow(QStringLiteral("Database name:"), E_DB_name);
    form->addRow(QStringLiteral("Database location:"), E_DB_location);
    form->addRow(QStringLiteral("Password protection:"), E_IS_PP);
    form->addRow(QStringLiteral("Source is archive:"), E_FROM_ARC);
    ProgressBar2 = new QProgressBar;
    ProgressBar2->setObjectName(QStringLiteral("ProgressBar2"));
    ProgressBar2->setRange(0, 100);
    ProgressBar2->setValue(0);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group);
    layout->addWidget(ProgressBar2);
    layout->addWidget(BoldLabel(QStringLiteral("Press the Ok button to start")));
    layout->addStretch();
    return page;
}

bool TW_new_database::FromArchive() const
{
    return RadioGroup1Buttons->checkedId() == 1;
}

QString TW_new_database::Location() const
{
    return Edit_location->text();
}

void TW_new_database::SetLocation(const QString& folder)
{
    Edit_location->setText(folder.isEmpty() ? folder : QDir::cleanPath(folder));
}

void TW_new_database::ChooseLocation()
{
    const QString caption = QStringLiteral("Location of the new database");
    QFileDialog dialog(this, caption, Location());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    const QString chosen = Dialogs::ChooseFile(dialog);
    if (!chosen.isEmpty() && QFileInfo(chosen).isDir())
        SetLocation(QFileInfo(chosen).absoluteFilePath());
}

void TW_new_database::UpdateButtons()
{
    TWizard::UpdateButtons();
    if (!m_built)
        return;
    WizardRules::NewDatabaseState s;
    s.current = CurrentPage();
    s.count = PageCount();
    s.name = Edit_DB_name->text();
    s.fromArchive = FromArchive();
    s.archive = OrbFileEdit1->FileName();
    s.isProtected = CB_is_protected->isChecked();
    s.password1 = EditNewPwd1->text();
    s.password2 = EditNewPwd2->text();
    const WizardRules::Buttons b = WizardRules::NewDatabaseButtons(s);
    btnNext->setEnabled(b.next);
    btnFinish->setEnabled(b.finish && !m_busy);
    if (m_busy) {
        btnPrev->setEnabled(false);
        btnCancel->setEnabled(false);
    }
    if (s.fromArchive && CB_is_protected->isChecked())
        CB_is_protected->setChecked(false);
}

void TW_new_database::PageEntered()
{
    const int next = WizardRules::PageAfterEntering(FromArchive(), CurrentPage(), PreviousPage());
    if (next >= 0)
        GoToPage(next);
    if (CurrentPage() != PageCount() - 1)
        return;
    E_DB_name->setText(Edit_DB_name->text());
    // The folder the database goes in; its own folder is named when Ok makes it.
    const QString location = Location();
    E_DB_location->setText(location.endsWith(QLatin1Char('/')) ? location : location + QLatin1Char('/'));
    if (CB_is_protected->isChecked())
        E_IS_PP->setText(QStringLiteral("YES"));
    else if (FromArchive())
        E_IS_PP->setText(QStringLiteral("Inherited from the archive"));
    else
        E_IS_PP->setText(QStringLiteral("NO"));
    E_FROM_ARC->setText(FromArchive() ? OrbFileEdit1->FileName() : QStringLiteral("NO"));
}

void TW_new_database::RadioGroup1Click()
{
    OrbFileEdit1->setEnabled(FromArchive());
    UpdateButtons();
}

void TW_new_database::CB_is_protectedClick()
{
    const bool on = CB_is_protected->isChecked();
    EditNewPwd1->setEnabled(on);
    EditNewPwd2->setEnabled(on);
    UpdateButtons();
}

void TW_new_database::Prepare()
{
    m_startFolder = QDir::currentPath();
    m_result = {};
    // A reused wizard starts empty: no name, archive or password of an earlier run.
    Edit_DB_name->clear();
    RB_new_database->setChecked(true);
    OrbFileEdit1->clear();
    CB_is_protected->setChecked(false);
    EditNewPwd1->clear();
    EditNewPwd2->clear();
    ProgressBar2->setValue(0);
    SetLocation(WizardRules::InitialLocation(m_startFolder, QDir::homePath()));
    StartAt(NamePage);
}

TW_new_database::Result TW_new_database::CreateDatabase()
{
    Prepare();
    exec();
    return Results();
}

void TW_new_database::btnFinishClick()
{
    if (m_busy)
        return;
    btnFinish->setEnabled(false);
    m_result = {};
    m_busy = true;
    UpdateButtons();
    // The wizard stays responsive meanwhile; it closes when the making has ended.
    const bool started = FromArchive()
        ? m_actions.CreateFromArchive(QDir(m_startFolder).absoluteFilePath(OrbFileEdit1->FileName()), Location(),
                                      Edit_DB_name->text())
        : m_actions.CreateDatabase(Location(), Edit_DB_name->text(),
                                   CB_is_protected->isChecked() ? EditNewPwd1->text() : QString());
    if (!started) {
        m_busy = false;
        accept();
    }
}

void TW_new_database::Created(const QString& name, const QString& folder, const QString& error)
{
    if (!m_busy)
        return;
    m_busy = false;
    UpdateButtons();
    if (error.isEmpty()) {
        m_result.name = name;
        m_result.path = folder;
        if (CB_is_protected->isChecked())
            m_result.password = EditNewPwd1->text();
    }
    accept();
}

void TW_new_database::reject()
{
    if (!m_busy)
        TWizard::reject();
}

TW_new_database::~TW_new_database()
{
    DisconnectChildren(this);
}
