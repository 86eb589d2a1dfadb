#include "gui/database/wz.h"

#include "core/database/wz_rules.h"
#include "gui/dialogs/CentreOnScreen.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>

TWizard::TWizard(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("Wizard"));
    setWindowTitle(QStringLiteral("Wizard"));
    setModal(true);

    pages = new QStackedWidget(this);
    pages->setObjectName(QStringLiteral("pages"));

    auto button = [this](QPushButton*& b, const char* name, const char* caption) {
        b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
    };
    button(btnPrev, "btnPrev", "<< Prior");
    button(btnNext, "btnNext", "Next >>");
    button(btnFinish, "btnFinish", "Ok");
    button(btnCancel, "btnCancel", "Cancel");

    connect(btnPrev, &QPushButton::clicked, this, &TWizard::btnPrevClick);
    connect(btnNext, &QPushButton::clicked, this, &TWizard::btnNextClick);
    connect(btnFinish, &QPushButton::clicked, this, &TWizard::btnFinishClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(pages, &QStackedWidget::currentChanged, this, [this] { UpdateButtons(); });

    auto* bar = new QHBoxLayout;
    bar->addStretch();
    bar->addWidget(btnPrev);
    bar->addWidget(btnNext);
    bar->addWidget(btnFinish);
    bar->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages, 1);
    layout->addLayout(bar);
}

int TWizard::CurrentPage() const
{
    return pages->currentIndex();
}

int TWizard::PageCount() const
{
    return pages->count();
}

int TWizard::AddPage(QWidget* page)
{
    return pages->addWidget(page);
}

void TWizard::GoToPage(int index)
{
    if (index >= 0 && index < PageCount()) {
        PreviousPage = CurrentPage();
        pages->setCurrentIndex(index);
        UpdateButtons();
    }
    PageEntered();
}

void TWizard::UpdateButtons()
{
    const WizardRules::Buttons b = WizardRules::BaseButtons(CurrentPage(), PageCount());
    btnPrev->setEnabled(b.prev);
    btnNext->setEnabled(b.next);
    btnFinish->setEnabled(b.finish);
    btnCancel->setEnabled(b.cancel);
}

void TWizard::btnPrevClick()
{
    if (CurrentPage() > 0)
        GoToPage(CurrentPage() - 1);
}

void TWizard::btnNextClick()
{
    if (CurrentPage() < PageCount() - 1)
        GoToPage(CurrentPage() + 1);
}

void TWizard::showEvent(QShowEvent* e)
{
    CentreOnScreen(this);
    QDialog::showEvent(e);
}

void TWizard::btnFinishClick()
{
    accept();
}
