// The "Select database" dialog: a listed database and its password.
#include "gui/database/askBaseAndPwd.h"

#include "core/database/Connection.h"
#include "core/settings/SettingsModel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QToolButton>

TFaskBaseAndPwd::TFaskBaseAndPwd(TSettingsModel& settings, QWidget* parent)
    : TFaskPwd(parent)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("FaskBaseAndPwd"));
    setWindowTitle(QStringLiteral("Select database"));

    Label_db = new QLabel(QStringLiteral("Database:"), this);
    Label_db->setObjectName(QStringLiteral("Label_db"));
    CB_databases = new QComboBox(this);
    CB_databases->setObjectName(QStringLiteral("CB_databases"));
    CB_databases->setEditable(false);
    CB_databases->setMinimumWidth(200);
    Label_db->setBuddy(CB_databases);
    SB_databases = new QToolButton(this);
    SB_databases->setObjectName(QStringLiteral("SB_databases"));
    SB_databases->setText(QStringLiteral("..."));
    SB_databases->setToolTip(QStringLiteral("Create new database"));
    connect(SB_databases, &QToolButton::clicked, this, &TFaskBaseAndPwd::SB_databasesClick);

    PasswordLabel()->setText(QStringLiteral("Password:"));
    Grid()->addWidget(Label_db, 0, 0);
    Grid()->addWidget(CB_databases, 0, 1);
    Grid()->addWidget(SB_databases, 0, 2);
    setTabOrder(CB_databases, PasswordField());
}

QString TFaskBaseAndPwd::SelectedDatabaseName() const
{
    return CB_databases->currentIndex() < 0 ? QString() : CB_databases->currentText().trimmed();
}

void TFaskBaseAndPwd::SelectDatabase(const QString& name)
{
    for (int i = 0; i < CB_databases->count(); ++i) {
        if (CB_databases->itemText(i).compare(name, Qt::CaseInsensitive) == 0) {
            CB_databases->setCurrentIndex(i);
            return;
        }
    }
    CB_databases->setCurrentIndex(-1);
}

void TFaskBaseAndPwd::SetPassword(const QString& text)
{
    PasswordField()->setText(text);
}

void TFaskBaseAndPwd::FillDatabaseList()
{
    if (!m_settings.BaseListNode())
        return;
    CB_databases->clear();
    CB_databases->addItems(m_settings.ListedDatabaseNames());
    CB_databases->setCurrentIndex(-1);
}

bool TFaskBaseAndPwd::AskDatabaseAndPassword(QString& path, QString& password, const QString& preselected)
{
    Created = false;
    FillDatabaseList();
    if (!preselected.isEmpty())
        SelectDatabase(preselected);
    PasswordField()->clear();

    if (CB_databases->currentIndex() >= 0)
        PasswordField()->setFocus();
    else
        CB_databases->setFocus();
    exec();

    // The dialog lives for the whole run: its field must not keep the password.
    QString typed = TakePassword();
    if (!Confirmed() && !Created) {
        TDatabaseConnection::Wipe(typed);
        path.clear();
        password.clear();
        return false;
    }
    path = m_settings.DatabasePath(SelectedDatabaseName());
    password = typed;
    return true;
}

void TFaskBaseAndPwd::SB_databasesClick()
{
    if (isSignalConnected(QMetaMethod::fromSignal(&TFaskBaseAndPwd::NewDatabaseWanted)))
        Q_EMIT NewDatabaseWanted();
    else
        NewDatabaseMade({});
}

void TFaskBaseAndPwd::NewDatabaseMade(const TNewDatabase& made)
{
    m_settings.Save();
    if (!made.Name.isEmpty()) {
        FillDatabaseList();
        SelectDatabase(made.Name);
        SetPassword(made.Password);
        // Rebuilt from a protected archive: its password is typed here rather than tried empty.
        if (made.Password.isEmpty() && TDatabaseSession::IsProtectedDatabase(made.Path)) {
            PasswordField()->setFocus();
            return;
        }
        Created = true;
    }
    if (isVisible())
        reject();
}
