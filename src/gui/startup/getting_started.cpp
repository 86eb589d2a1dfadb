#include "gui/startup/getting_started.h"

#include "core/settings/SettingsModel.h"
#include "core/shell/Shell.h"
#include "gui/dialogs/Dialogs.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TF_getting_started::TF_getting_started(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("F_getting_started"));
    setWindowTitle(QStringLiteral("Getting started"));
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(QStringLiteral("Getting started with Quietbox in a few easy steps"), this);
    heading->setObjectName(QStringLiteral("Label_heading"));
    QFont f = heading->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.2);
    heading->setFont(f);
    heading->setStyleSheet(QStringLiteral("color: red;"));
    layout->addWidget(heading);

    auto* group = new QGroupBox(QStringLiteral("Run tutorial:"), this);
    group->setObjectName(QStringLiteral("RG_tutorial"));
    auto* groupLayout = new QVBoxLayout(group);
    RB_now = new QRadioButton(QStringLiteral("Run tutorial now"), group);
    RB_now->setObjectName(QStringLiteral("RB_now"));
    RB_next_time = new QRadioButton(QStringLiteral("Run tutorial next time"), group);
    RB_next_time->setObjectName(QStringLiteral("RB_next_time"));
    RB_never = new QRadioButton(QStringLiteral("Don't show this prompt again"), group);
    RB_never->setObjectName(QStringLiteral("RB_never"));
    RB_now->setChecked(true);
    groupLayout->addWidget(RB_now);
    groupLayout->addWidget(RB_next_time);
    groupLayout->addWidget(RB_never);
    layout->addWidget(group);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("Ok"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    // A fixed border: a resizable dialog gets a grip strip under its buttons from some window managers.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

TF_getting_started::Choice TF_getting_started::Chosen() const
{
    if (RB_never->isChecked())
        return DontShowAgain;
    if (RB_next_time->isChecked())
        return RunNextTime;
    return RunNow;
}

void TF_getting_started::Apply(Choice choice, TSettingsModel& settings)
{
    switch (choice) {
        case RunNow:
            // Chosen in so many words: a desktop without a browser must not leave it unanswered.
            if (!Shell::OpenDocPage(QStringLiteral("gs")))
                Dialogs::ShowMessage(QStringLiteral("No program to show web pages was found.\nThe tutorial is the "
                                                    "page\n%1")
                                         .arg(QDir::toNativeSeparators(Shell::DocPagePath(QStringLiteral("gs")))));
            break;
        case DontShowAgain:
            settings.SetGettingStartedWanted(false);
            break;
        case RunNextTime:
            break;
    }
}

void TF_getting_started::ShowIfWanted(TSettingsModel& settings, QWidget* parent)
{
    if (!settings.GettingStartedWanted())
        return;
    TF_getting_started prompt(parent);
    if (prompt.exec() == QDialog::Accepted)
        Apply(prompt.Chosen(), settings);
}
