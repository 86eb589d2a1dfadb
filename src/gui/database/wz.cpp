// The general wizard form: pages moved through with Prior and Next.
#include "gui/database/wz.h"

#include "core/database/wz_rules.h"
#include "gui/dialogs/CentreOnScreen.h"
#include "gui/widgets/Teardown.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
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
        m_previousPage = CurrentPage();
        pages->setCurrentIndex(index);
        UpdateButtons();
    }
    PageEntered();
    FocusFirstField();
}

void TWizard::StartAt(int index)
{
    m_previousPage = -1;
    GoToPage(index);
}

void TWizard::UpdateButtons()
{
    const WizardRules::Buttons b = WizardRules::BaseButtons(CurrentPage(), PageCount());
    btnPrev->setEnabled(b.prev);
    btnNext->setEnabled(b.next);
    btnFinish->setEnabled(b.finish);
    btnCancel->setEnabled(b.cancel);
    // Enter goes on: to the next page, or Ok on the last; a disabled default button takes it
    // without acting.
    const bool last = CurrentPage() == PageCount() - 1;
    btnFinish->setDefault(last);
    btnNext->setDefault(!last);
}

void TWizard::FocusFirstField()
{
    QWidget* page = pages->currentWidget();
    if (!page)
        return;
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (!page->isAncestorOf(w) || !(w->focusPolicy() & Qt::TabFocus) || !w->isEnabledTo(page)
            || !w->isVisibleTo(page))
            continue;
        if (const auto* edit = qobject_cast<const QLineEdit*>(w); edit && edit->isReadOnly())
            continue;
        w->setFocus(Qt::OtherFocusReason);
        return;
    }
    // A page with nothing to fill in: the button that Enter presses.
    QPushButton* next = CurrentPage() == PageCount() - 1 ? btnFinish : btnNext;
    if (next->isEnabled())
        next->setFocus(Qt::OtherFocusReason);
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
    FocusFirstField();
}

void TWizard::btnFinishClick()
{
    accept();
}

TWizard::~TWizard()
{
    DisconnectChildren(this);
}
