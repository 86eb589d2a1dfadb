#include "gui/documents/search.h"

#include "core/common/QbError.h"
#include "core/database/TextIndex.h"
#include "core/documents/Search.h"
#include "core/jobs/JobRunner.h"
#include "gui/dialogs/CentreOnScreen.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/documents/dic.h"
#include "gui/widgets/Teardown.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int IdRole = Qt::UserRole;

// The hourglass for the length of a search, back to the previous cursor on every way out.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

void ShowText(const QString& text)
{
    Dialogs::ShowMessage(text);
}

QPushButton* Button(const char* name, const char* caption, QWidget* parent)
{
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    // Enter belongs to the field and the result list, never to a default button.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

} // namespace

TD_search::TD_search(TDatabaseConnection& connection, QWidget* parent)
    : QDialog(parent)
    , m_connection(connection)
{
    setObjectName(QStringLiteral("D_search"));
    setWindowTitle(QStringLiteral("Search"));
    setModal(true);

    Label1 = new QLabel(QStringLiteral("Search for:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Label1->setBuddy(Edit1);
    Edit1->installEventFilter(this);

    RG1 = new QGroupBox(this);
    RG1->setObjectName(QStringLiteral("RG1"));
    RG1Buttons = new QButtonGroup(this);
    RG1Buttons->setObjectName(QStringLiteral("RG1Buttons"));
    RB_in_name = new QRadioButton(QStringLiteral("In the document name ( *A* )"), RG1);
    RB_in_name->setObjectName(QStringLiteral("RB_in_name"));
    RB_at_begin = new QRadioButton(QStringLiteral("At the begin of the document name ( A*)"), RG1);
    RB_at_begin->setObjectName(QStringLiteral("RB_at_begin"));
    RG1Buttons->addButton(RB_in_name, TDocSearch::InName);
    RG1Buttons->addButton(RB_at_begin, TDocSearch::AtBegin);
    RB_in_text = new QRadioButton(QStringLiteral("In the text of the documents (words, lett*, \"a phrase\")"), RG1);
    RB_in_text->setObjectName(QStringLiteral("RB_in_text"));
    RG1Buttons->addButton(RB_in_text, TDocSearch::InText);
    RB_in_name->setChecked(true);
    auto* rgLayout = new QVBoxLayout(RG1);
    rgLayout->addWidget(RB_in_name);
    rgLayout->addWidget(RB_at_begin);
    rgLayout->addWidget(RB_in_text);

    CB_case = new QCheckBox(QStringLiteral("Case sensitive"), this);
    CB_case->setObjectName(QStringLiteral("CB_case"));

    LV1 = new QTreeWidget(this);
    LV1->setObjectName(QStringLiteral("LV1"));
    LV1->setColumnCount(3);
    LV1->setHeaderLabels(
        {QStringLiteral("Context in the name"), QStringLiteral("Doc type"), QStringLiteral("Context in the text")});
    LV1->setColumnHidden(2, true); // shown in the text mode only
    LV1->setRootIsDecorated(false);
    LV1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LV1->setSelectionMode(QAbstractItemView::SingleSelection);
    LV1->header()->setStretchLastSection(false);
    LV1->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    LV1->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    LV1->installEventFilter(this);

    Btn_search = Button("Btn_search", "Search", this);
    Btn_go_to = Button("Btn_go_to", "Go to", this);
    Btn_close = Button("Btn_close", "Close", this);

    auto* top = new QHBoxLayout;
    top->addWidget(Label1);
    top->addWidget(Edit1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Btn_search);
    buttons->addWidget(Btn_go_to);
    buttons->addStretch();
    buttons->addWidget(Btn_close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(RG1);
    layout->addWidget(CB_case);
    layout->addWidget(LV1, 1);
    layout->addLayout(buttons);
    resize(420, 360);

    connect(Btn_search, &QPushButton::clicked, this, &TD_search::Btn_searchClick);
    connect(Btn_go_to, &QPushButton::clicked, this, &TD_search::Btn_go_toClick);
    connect(Btn_close, &QPushButton::clicked, this, &QDialog::reject); // Escape closes as well
    connect(Edit1, &QLineEdit::textChanged, this, &TD_search::UpdateButtons);
    connect(LV1, &QTreeWidget::itemSelectionChanged, this, &TD_search::UpdateButtons);
    connect(LV1, &QTreeWidget::itemDoubleClicked, this, &TD_search::Btn_go_toClick);
    connect(RG1Buttons, &QButtonGroup::idClicked, this, [this] {
        ClearResults();
        // The words of the text are found ignoring case and diacritics.
        const bool inText = ModeIndex() == TDocSearch::InText;
        CB_case->setEnabled(!inText);
        LV1->setColumnHidden(2, !inText);
        LV1->header()->setSectionResizeMode(0, inText ? QHeaderView::ResizeToContents : QHeaderView::Stretch);
        LV1->header()->setSectionResizeMode(2, QHeaderView::Stretch);
        UpdateButtons();
    });
    connect(CB_case, &QCheckBox::clicked, this, &TD_search::ClearResults);
    UpdateButtons();
}

int TD_search::ModeIndex() const
{
    const int id = RG1Buttons->checkedId();
    return id == TDocSearch::AtBegin || id == TDocSearch::InText ? id : TDocSearch::InName;
}

void TD_search::SearchIn(TOdic* list)
{
    if (!list)
        return;
    TargetList = list;
    UpdateButtons();
    CentreOnScreen(this);
    exec();
}

void TD_search::UpdateButtons()
{
    Btn_go_to->setEnabled(!LV1->selectedItems().isEmpty());
    Btn_search->setEnabled(!Edit1->text().trimmed().isEmpty());
}

void TD_search::ClearResults()
{
    LV1->clear();
    UpdateButtons();
}

void TD_search::Forget()
{
    Edit1->clear();
    ClearResults();
}

void TD_search::Btn_searchClick()
{
    WaitCursor wait;
    ClearResults();
    const QString text = Edit1->text();
    const int mode = ModeIndex();
    const bool caseSensitive = CB_case->isChecked();
    std::vector<TSearchHit> hits;
    bool stopped = false;
    QString failure;
    {
        // The engine runs on a worker, so this window keeps painting and a long search can be
        // stopped; the dialog waits for it in a loop of its own, as a modal dialog does.
        TJobRunner runner;
        runner.SetStoppable(true);
        QEventLoop loop;
        connect(&runner, &TJobRunner::Finished, &loop, [&](const QString& error) {
            failure = error;
            loop.quit();
        });
        TDatabaseConnection& connection = m_connection;
        if (!runner.Start([&, text, mode, caseSensitive](TJobContext& context) {
                // A database searched in its text for the first time gets its index now; a build
                // that was stopped goes on from where it stopped.
                if (mode == TDocSearch::InText && !TextIndex::Complete(connection)
                    && !TextIndex::Build(
                        connection, [&context](int percent) { context.Report(percent); },
                        [&context] { return context.StopRequested(); })) {
                    stopped = true;
                    return;
                }
                hits = TDocSearch::Run(
                    connection, text, mode, caseSensitive, [&context] { return context.StopRequested(); }, &stopped);
            })) {
            ShowText(QStringLiteral("The search could not be started."));
            return;
        }
        QDialog progress(this, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
        progress.setObjectName(QStringLiteral("D_searching"));
        progress.setWindowTitle(QStringLiteral("Search"));
        progress.setWindowModality(Qt::ApplicationModal);
        auto* label = new QLabel(QStringLiteral("Searching for \"%1\"...").arg(text), &progress);
        label->setTextFormat(Qt::PlainText);
        auto* stop = new QPushButton(QStringLiteral("Stop"), &progress);
        stop->setObjectName(QStringLiteral("Btn_stop"));
        auto* layout = new QVBoxLayout(&progress);
        layout->addWidget(label);
        layout->addWidget(stop, 0, Qt::AlignHCenter);
        connect(stop, &QPushButton::clicked, &progress, [&runner] { runner.RequestStop(); });
        connect(&runner, &TJobRunner::Progress, label, [label](int percent) {
            label->setText(QStringLiteral("Preparing the search in the text (%1%)...").arg(percent));
        });
        connect(&progress, &QDialog::rejected, &progress, [&runner] { runner.RequestStop(); });
        // Only a search that takes a while shows it, so a quick one does not flicker.
        QTimer::singleShot(400, &progress, [&progress] {
            QApplication::changeOverrideCursor(Qt::BusyCursor);
            progress.show();
            CentreOnScreen(&progress);
        });
        loop.exec();
    }
    if (!failure.isEmpty()) {
        ShowText(failure);
        return;
    }
    if (stopped)
        return;
    if (hits.empty()) {
        ShowText(QStringLiteral("Context \"%1\" \nnot found").arg(text));
        return;
    }
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(hits.size()));
    for (const TSearchHit& hit : hits) {
        auto* item = new QTreeWidgetItem({hit.Name, hit.Type, hit.Context});
        item->setData(0, IdRole, hit.Id);
        items << item;
    }
    LV1->addTopLevelItems(items);
    UpdateButtons();
}

void TD_search::Btn_go_toClick()
{
    const QList<QTreeWidgetItem*> selected = LV1->selectedItems();
    if (selected.isEmpty() || !TargetList)
        return;
    // A document deleted meanwhile is not found: the list stays where it is.
    TargetList->Locate(QStringLiteral("doc_id"), selected.first()->data(0, IdRole).toString());
}

bool TD_search::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && watched == Edit1) {
            Btn_searchClick(); // also while "Search" is disabled
            return true;
        }
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && watched == LV1) {
            Btn_go_toClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

TD_search::~TD_search()
{
    DisconnectChildren(this);
}
