// The main window: toolbar, document list and content viewer.
#include "app/Fmain.h"

#include "core/common/QbError.h"
#include "core/database/Connection.h"
#include "core/database/DatabaseSession.h"
#include "core/database/PrivacyLock.h"
#include "core/database/Schema.h"
#include "core/database/TextIndexer.h"
#include "core/jobs/JobRunner.h"
#include "core/placement/Placement.h"
#include "core/settings/SettingsModel.h"
#include "core/shell/Shell.h"
#include "gui/database/JobProgress.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/dialogs/msg.h"
#include "gui/documents/DocumentCommands.h"
#include "gui/documents/OLE_DOC.h"
#include "gui/documents/db_image.h"
#include "gui/documents/db_rtf.h"
#include "gui/documents/doc_content.h"
#include "gui/documents/doc_list.h"
#include "gui/documents/search.h"
#include "gui/intake/DropImporter.h"
#include "gui/intake/target.h"
#include "gui/startup/BDE_DL.h"
#include "gui/startup/getting_started.h"
#include "gui/widgets/ThemeIcon.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

namespace {

QScreen* ScreenOf(const QWidget* w)
{
    QScreen* s = w->screen();
    return s ? s : QGuiApplication::primaryScreen();
}

} // namespace

TFmain::TFmain(TDatabaseSession& session, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
{
    setObjectName(QStringLiteral("Fmain"));
    setWindowTitle(QStringLiteral("Quietbox"));
    setWindowIcon(QIcon(QStringLiteral(":/quietbox.png")));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    resize(640, 451);

    m_placeTimer = new QTimer(this);
    m_placeTimer->setSingleShot(true);
    m_placeTimer->setInterval(200);
    connect(m_placeTimer, &QTimer::timeout, this, &TFmain::PlaceAgain);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(&m_session.Settings(), &TSettingsModel::DelayChanged, Timer1, qOverload<int>(&QTimer::setInterval));
    TimerDropError = new QTimer(this);
    TimerDropError->setObjectName(QStringLiteral("TimerDropError"));
    TimerDropError->setInterval(100);
    TimerDropError->setSingleShot(true);

    CreateToolBar();
    CreatePanels();
    CreateDocumentCommands();
    DropImporter = new TDropImporter(m_session, this, DocCommands, O_doc_content1, O_target1, TimerDropError, this);
    DropImporter->setObjectName(QStringLiteral("DropImporter"));
    DropImporter->RegisterWindow();

    // The session opens and closes the list; the commands follow its state.
    m_session.SetList(this);
    connect(&m_session, &TDatabaseSession::StateChanged, this, &TFmain::UpdateCommands);
    CreateLock();
    Indexer = new TTextIndexer(m_session, this);
    Indexer->setObjectName(QStringLiteral("Indexer"));
    connect(Indexer, &TTextIndexer::Progress, Label_indexing, [this](int percent) {
        Label_indexing->setText(QStringLiteral("Indexing the text: %1%").arg(percent));
        Label_indexing->show();
    });
    connect(Indexer, &TTextIndexer::Ended, Label_indexing, &QWidget::hide);

    // Creation steps: nothing here reads the settings, which do not exist yet.
    m_firstActivation = true;
    UpdateCommands();
    m_session.ResetWrongAttempts();
}

TFmain::~TFmain()
{
    m_session.SetList(nullptr);
}

// ---- The document list's part in opening and closing

void TFmain::PrepareList()
{
    O_doc_list1->SetFieldNames();
    // Choosing a row edits the document once the document commands are installed.
    O_doc_list1->SetChooseHandler([this](QObject*) {
        if (TB_edit_doc->isEnabled())
            TB_edit_doc->trigger();
    });
}

void TFmain::OpenList()
{
    O_doc_list1->OpenList();
}

void TFmain::CloseList()
{
    try {
        O_doc_content1->ClearDocument(); // a changed document is written back first
    } catch (const QbError& e) {
        Dialogs::ShowMessage(e.Message()); // the database closes all the same
    }
    O_doc_content1->ShowObjectPage();
    O_doc_list1->CloseList();
}

bool TFmain::ListActive() const
{
    return O_doc_list1->IsActive();
}

bool TFmain::DatabaseOpen() const
{
    return m_session.DatabaseOpen();
}

QString TFmain::CurrentDatabaseName() const
{
    return m_session.CurrentDatabaseName();
}

bool TFmain::ListReady() const
{
    return m_session.ListReady();
}

void TFmain::CreateDocumentCommands()
{
    DocCommands = new TDocumentCommands(m_session, O_doc_list1, O_doc_content1, Timer1, this);
    DocCommands->setObjectName(QStringLiteral("DocCommands"));
    connect(TB_new_doc, &QAction::triggered, this, &TFmain::SBnewDocClick);
    connect(TB_edit_doc, &QAction::triggered, this, &TFmain::TB_edit_docClick);
    connect(TB_del_doc, &QAction::triggered, this, &TFmain::TB_del_docClick);
    connect(TB_search, &QAction::triggered, this, &TFmain::TB_searchClick);
    connect(N_save_as_file, &QAction::triggered, DocCommands, &TDocumentCommands::SaveAsFileClick);
    // Keys beyond the list's own, on keys nothing else uses; the tool tips name them.
    const auto key = [](QAction* a, const QKeySequence& k) {
        a->setShortcut(k);
        a->setToolTip(QStringLiteral("%1 (%2)").arg(a->statusTip(), k.toString(QKeySequence::NativeText)));
    };
    key(TB_new_doc, QKeySequence(Qt::CTRL | Qt::Key_N));
    key(TB_edit_doc, QKeySequence(Qt::CTRL | Qt::Key_E));
    key(TB_search, QKeySequence(Qt::CTRL | Qt::Key_F));
    key(TB_doc, QKeySequence(Qt::Key_F1));
    O_doc_list1->focusProxy()->installEventFilter(this);
}

TOleContainer* TFmain::ViewerContainer() const
{
    return O_doc_content1->ObjectContainer();
}

void TFmain::UseDocumentWindows(TD_search* search, TW_new_doc* wizard, TF_db_image* pictureWindow,
                                TF_db_rtf* textWindow, TD_scale_image* scale)
{
    O_doc_content1->SetDialogs(scale);
    O_doc_content1->SetEditWindows(pictureWindow, textWindow);
    DocCommands->SetSearchDialog(search);
    DocCommands->SetWizard(wizard);
}

void TFmain::BeforePack()
{
    DocCommands->BeforePack();
}

void TFmain::PackEnded()
{
    DocCommands->O_doc_list1Q1AfterScroll();
}

void TFmain::SBnewDocClick()
{
    DocCommands->SBnewDocClick();
}

void TFmain::N_pasteClick()
{
    DocCommands->N_pasteClick();
}

void TFmain::TB_edit_docClick()
{
    DocCommands->TB_edit_docClick();
}

void TFmain::TB_del_docClick()
{
    DocCommands->TB_del_docClick();
}

void TFmain::TB_searchClick()
{
    DocCommands->TB_searchClick();
}

void TFmain::CreateToolBar()
{
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setIconSize(QSize(20, 20));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);

    auto add = [this](QAction*& a, const char* name, const char* hint, const char* theme, QStyle::StandardPixmap sp) {
        a = AddNamedAction(ToolBar1, name, hint, theme, sp);
    };
    ToolBar1->addSeparator();
    add(TB_reconnect, "TB_reconnect", "(Re)connect to database", "network-connect", QStyle::SP_BrowserReload);
    add(TB_chng_pwd, "TB_chng_pwd", "Change database password", "dialog-password", QStyle::SP_DialogApplyButton);
    ToolBar1->addSeparator();
    add(TB_new_doc, "TB_new_doc", "New document", "document-new", QStyle::SP_FileIcon);
    add(TB_del_doc, "TB_del_doc", "Delete document", "edit-delete", QStyle::SP_TrashIcon);
    add(TB_search, "TB_search", "Search", "edit-find", QStyle::SP_FileDialogContentsView);
    add(TB_edit_doc, "TB_edit_doc", "Edit document", "document-edit", QStyle::SP_FileDialogDetailedView);
    ToolBar1->addSeparator();
    add(TB_db_actions, "TB_db_actions", "Database control", "document-properties", QStyle::SP_DriveHDIcon);
    add(TB_settings, "TB_settings", "Application settings", "preferences-system", QStyle::SP_ComputerIcon);
    add(TB_collaps, "TB_collaps", "Collaps", "go-down", QStyle::SP_TitleBarMinButton);
    add(TB_doc, "TB_doc", "Documentation", "help-contents", QStyle::SP_DialogHelpButton);
    ToolBar1->addSeparator();

    connect(TB_reconnect, &QAction::triggered, this, &TFmain::SBreopenClick);
    connect(TB_chng_pwd, &QAction::triggered, this, &TFmain::TB_chng_pwdClick);
    connect(TB_settings, &QAction::triggered, this, &TFmain::SettingsWanted);
    connect(TB_db_actions, &QAction::triggered, this, &TFmain::DatabaseControlWanted);
    connect(TB_collaps, &QAction::triggered, this, [this] { SetCollapsed(true); });
    connect(TB_doc, &QAction::triggered, this, [] { OpenDocPage(QStringLiteral("index")); });

    PM1 = new QMenu(this);
    PM1->setObjectName(QStringLiteral("PM1"));
    auto item = [this](QAction*& a, const char* name, const char* caption) {
        a = PM1->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
    };
    item(N_new_document, "N_new_document", "New document");
    item(N_edit_document, "N_edit_document", "Edit document");
    item(N_paste, "N_paste", "Paste document from clipboard");
    item(N_save_as_file, "N_save_as_file", "Save as file...");
    // The key works over the viewer too, not only in the list's menu.
    N_save_as_file->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    N_save_as_file->setShortcutContext(Qt::WindowShortcut);
    addAction(N_save_as_file);
    PM1->addSeparator();
    item(N_delete_document, "N_delete_document", "Delete document");
    PM1->addSeparator();
    item(N_reopen_database, "N_reopen_database", "(re)open database");
    connect(N_new_document, &QAction::triggered, TB_new_doc, &QAction::trigger);
    connect(N_edit_document, &QAction::triggered, TB_edit_doc, &QAction::trigger);
    connect(N_delete_document, &QAction::triggered, TB_del_doc, &QAction::trigger);
    connect(N_reopen_database, &QAction::triggered, TB_reconnect, &QAction::trigger);
    N_lock = PM1->addAction(QStringLiteral("Lock database"));
    N_lock->setObjectName(QStringLiteral("N_lock"));
    N_lock->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    N_lock->setShortcutContext(Qt::WindowShortcut);
    addAction(N_lock); // the key works without the menu
    connect(N_paste, &QAction::triggered, this, &TFmain::N_pasteClick);
}

void TFmain::CreatePanels()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar1);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);

    Panel_guider = new QWidget(Splitter1);
    Panel_guider->setObjectName(QStringLiteral("Panel_guider"));
    auto* guiderLayout = new QVBoxLayout(Panel_guider);
    guiderLayout->setContentsMargins(0, 0, 0, 0);
    O_doc_list1 = new TO_doc_list(m_session.Connection(), Panel_guider);
    O_doc_list1->setObjectName(QStringLiteral("O_doc_list1"));
    O_doc_list1->SetContextMenu(PM1);
    guiderLayout->addWidget(O_doc_list1);
    Label_indexing = new QLabel(Panel_guider);
    Label_indexing->setObjectName(QStringLiteral("Label_indexing"));
    Label_indexing->setContentsMargins(4, 2, 4, 2);
    Label_indexing->setToolTip(QStringLiteral("Quietbox is preparing the search in the text of the documents. "
                                              "You can go on working; closing the database pauses it."));
    Label_indexing->hide();
    guiderLayout->addWidget(Label_indexing);

    O_doc_content1 = new TO_doc_content(m_session.Connection(), Splitter1);
    O_doc_content1->ResetViewer();

    Splitter1->addWidget(Panel_guider);
    Splitter1->addWidget(O_doc_content1);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({204, 433});
    layout->addWidget(Splitter1, 1);

    Panel_locked = new QWidget(this);
    Panel_locked->setObjectName(QStringLiteral("Panel_locked"));
    auto* lockedLayout = new QVBoxLayout(Panel_locked);
    Label_locked = new QLabel(Panel_locked);
    Label_locked->setObjectName(QStringLiteral("Label_locked"));
    Label_locked->setAlignment(Qt::AlignCenter);
    Btn_unlock = new QPushButton(QStringLiteral("Unlock"), Panel_locked);
    Btn_unlock->setObjectName(QStringLiteral("Btn_unlock"));
    lockedLayout->addStretch();
    lockedLayout->addWidget(Label_locked);
    lockedLayout->addWidget(Btn_unlock, 0, Qt::AlignHCenter);
    lockedLayout->addStretch();
    Panel_locked->hide();
    layout->addWidget(Panel_locked, 1);

    Panel_Collaps = new QWidget(this);
    Panel_Collaps->setObjectName(QStringLiteral("Panel_Collaps"));
    Panel_Collaps->setFixedSize(148, 57);
    auto* collapsLayout = new QVBoxLayout(Panel_Collaps);
    collapsLayout->setContentsMargins(0, 0, 0, 0);
    collapsLayout->setSpacing(0);
    O_target1 = new TO_target(Panel_Collaps);
    O_target1->setFixedSize(148, 44);
    collapsLayout->addWidget(O_target1);
    Label_restore = new QLabel(QStringLiteral("Expand..."), Panel_Collaps);
    Label_restore->setObjectName(QStringLiteral("Label_restore"));
    Label_restore->setAlignment(Qt::AlignCenter);
    Label_restore->setFixedHeight(13);
    Label_restore->setCursor(Qt::PointingHandCursor);
    QFont bold = Label_restore->font();
    bold.setBold(true);
    Label_restore->setFont(bold);
    Label_restore->setStyleSheet(QStringLiteral("color: red;"));
    collapsLayout->addWidget(Label_restore);
    Panel_Collaps->setFocusPolicy(Qt::ClickFocus);
    Panel_Collaps->hide();
    Panel_Collaps->installEventFilter(this);
    O_target1->installEventFilter(this);
    Label_restore->installEventFilter(this);
}

void TFmain::UpdateCommands()
{
    const bool open = m_session.DatabaseOpen();
    TB_reconnect->setEnabled(true);
    TB_chng_pwd->setEnabled(open);
    TB_new_doc->setEnabled(open);
    TB_del_doc->setEnabled(open && m_session.ListReady());
    TB_search->setEnabled(open);
    TB_edit_doc->setEnabled(open);
    TB_db_actions->setEnabled(open);
    TB_settings->setEnabled(true);
    TB_collaps->setEnabled(open);
    TB_doc->setEnabled(true);

    N_new_document->setEnabled(TB_new_doc->isEnabled());
    N_edit_document->setEnabled(TB_edit_doc->isEnabled());
    N_paste->setEnabled(true);
    N_save_as_file->setEnabled(open);
    N_delete_document->setEnabled(TB_del_doc->isEnabled());
    N_reopen_database->setEnabled(true);
    N_lock->setVisible(Lock && Lock->CanLock());
    N_lock->setEnabled(N_lock->isVisible());

    O_doc_content1->SetEmptyHint(open ? QString()
                                      : QStringLiteral("No database is open. Choose one with the first button, or "
                                                       "create one with the \"...\" button beside its list."));
}

void TFmain::ApplyPlacement()
{
    const TOrbPigger& root = m_session.Settings().Root();
    Placement::Stored stored;
    stored.docking = Placement::DockingOf(m_session.Settings().Align());
    stored.width = TSettingsFile::IntOrZero(root.GetAttr(SettingsKey::Width));
    stored.height = TSettingsFile::IntOrZero(root.GetAttr(SettingsKey::Height));
    stored.left = TSettingsFile::IntOrZero(root.GetAttr(SettingsKey::Left));
    stored.top = TSettingsFile::IntOrZero(root.GetAttr(SettingsKey::Top));

    const bool wasMaximized = isMaximized() || isFullScreen();
    if (wasMaximized)
        showNormal();
    // Expanding starts from the window as it was before collapsing: a coordinate the settings
    // leave unset keeps that value, not the small target's.
    QRect current = geometry().marginsAdded(FrameMargins());
    if (!m_collapsed && m_beforeCollapse.isValid())
        current = m_beforeCollapse;
    if (!m_collapsed)
        m_beforeCollapse = QRect();
    m_docking = stored.docking;
    // Just after the window was shown the window manager still frames and places it, and its
    // answers to earlier requests keep coming: the placement is asked for again once they stop.
    // Likewise when it leaves the maximized state, whose frame is not the one it gets back.
    if (m_newlyShown || wasMaximized || FrameMargins().isNull()) {
        m_placeRounds = 5;
        m_movedSincePlaced = true;
        m_placeTimer->start();
    } else {
        m_placeRounds = 0;
        m_placeTimer->stop();
    }
    m_newlyShown = false;
    PlaceOuter(Placement::Dock(stored, current, ScreenOf(this)->availableGeometry()));
    ArrangePanels(Placement::SideBySide(stored.docking));
}

void TFmain::ArrangePanels(bool sideBySide)
{
    // Measured on the rectangle asked for: the window manager may not have framed it yet.
    const QSize screen = ScreenOf(this)->geometry().size();
    const QRect outer = m_placed.isValid() ? m_placed : geometry().marginsAdded(FrameMargins());
    const QSize cut = Placement::CutToScreen(sideBySide, outer.size(), screen);
    if (cut != outer.size()) {
        // A docked window keeps to its edge when it is cut.
        const Placement::Stored redock{m_docking, cut.width(), cut.height(), 0, 0};
        PlaceOuter(Placement::Dock(redock, QRect(outer.topLeft(), cut), ScreenOf(this)->availableGeometry()));
    }

    Splitter1->setOrientation(sideBySide ? Qt::Horizontal : Qt::Vertical);

    const TOrbPigger& root = m_session.Settings().Root();
    const int gWidth = TSettingsFile::IntOrZero(root.GetAttr(SettingsKey::ListWidth));
    const int gHeight = TSettingsFile::IntOrZero(root.GetAttr(SettingsKey::ListHeight));
    const int along = sideBySide ? gWidth : gHeight;
    const int total = sideBySide ? Splitter1->width() : Splitter1->height();
    int listSize = along;
    if (listSize == 0) // keep the design size of the list panel
        listSize = sideBySide ? 204 : std::max(Panel_guider->minimumSizeHint().height(), 150);
    Splitter1->setSizes({listSize, std::max(0, total - listSize - Splitter1->handleWidth())});
}

void TFmain::SetCollapsed(bool c)
{
    if (c && !m_collapsed && isVisible())
        m_beforeCollapse = geometry().marginsAdded(FrameMargins());
    m_collapsed = c;
    ToolBar1->setVisible(!c);
    Splitter1->setVisible(!c && !Lock->Locked());
    Panel_Collaps->setVisible(c);
    O_target1->ResetCounter();
    if (c) {
        // Hiding the list leaves it the focus when nothing else can take it: the panel takes it,
        // so typed keys reach the collapsed window and not a hidden row.
        O_doc_list1->PostPending();
        Panel_Collaps->setFocus();
        Panel_Collaps->move(0, 0);
        ApplyCollapsedSize();
    } else {
        ApplyPlacement();
        O_doc_list1->setFocus();
    }
}

void TFmain::ApplyCollapsedSize()
{
    if (!m_collapsed)
        return;
    if (isMaximized()) {
        SetCollapsed(false); // which returns it to the normal state
        return;
    }
    const QSize size = Placement::CollapsedSize(Panel_Collaps->size());
    const QRect now = geometry().marginsAdded(FrameMargins());
    // The small target stays on the edge the window is docked to, and on the work area.
    const QRect target = Placement::CollapsedRect(m_docking, now, size, ScreenOf(this)->availableGeometry());
    if (target != now)
        PlaceOuter(target);
}

QMargins TFmain::FrameMargins() const
{
    // Asked of the window system each time: it is unknown until the window manager has framed
    // the window, and the widget's own copy can lag behind.
    const QWindow* w = windowHandle();
    return w ? w->frameMargins() : QMargins();
}

void TFmain::PlaceOuter(const QRect& outer, bool whole)
{
    const QMargins m = FrameMargins();
    m_placed = outer;
    m_placing = true;
    const QRect inner(outer.left() + m.left(), outer.top() + m.top(), std::max(1, outer.width() - m.left() - m.right()),
                      std::max(1, outer.height() - m.top() - m.bottom()));
    QWindow* w = windowHandle();
    if (w && m.isNull()) {
        // No frame yet: ask for the frame's position, so that the manager moves the inside once
        // it frames the window, which tells us the frame.
        resize(inner.size());
        w->setFramePosition(outer.topLeft());
    } else if (w && whole) {
        // Position and size both, even where Qt believes the window has them already.
        w->setGeometry(inner);
    } else {
        setGeometry(inner);
    }
    m_placing = false;
}

void TFmain::PlaceAgain()
{
    if (m_placeRounds <= 0 || !m_movedSincePlaced || m_collapsed || !isVisible() || isMaximized() || isFullScreen()) {
        m_placeRounds = 0; // quiet since the last request: the window is where it was asked to be
        return;
    }
    --m_placeRounds;
    m_movedSincePlaced = false;
    PlaceOuter(m_placed, true);
    m_placeTimer->start();
}

void TFmain::FrameChanged()
{
    if (m_placing || !isVisible() || m_collapsed)
        return;
    if (m_placeRounds > 0) {
        m_movedSincePlaced = true;
        m_placeTimer->start();
    }
    m_lastOuter = geometry().marginsAdded(FrameMargins());
}

void TFmain::StorePlacement()
{
    // A collapsed window's size is not the one to come back to.
    if (!m_collapsed)
        m_session.Settings().SetPlacement(OuterGeometry(), Panel_guider->size());
}

QRect TFmain::OuterGeometry() const
{
    return isVisible() && !m_collapsed ? geometry().marginsAdded(FrameMargins()) : m_lastOuter;
}

void TFmain::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    ApplyCollapsedSize();
}

void TFmain::changeEvent(QEvent* e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && m_collapsed && isMaximized()) {
        // Maximizing a collapsed window expands it to the stored placement.
        SetCollapsed(false);
    }
}

bool TFmain::eventFilter(QObject* watched, QEvent* e)
{
    if (m_collapsed && watched == O_doc_list1->focusProxy()
        && (e->type() == QEvent::KeyPress || e->type() == QEvent::ShortcutOverride)) {
        // The hidden list may still hold the focus: its keys are the collapsed window's.
        if (e->type() == QEvent::KeyPress)
            keyPressEvent(static_cast<QKeyEvent*>(e));
        else
            e->accept(); // no shortcut of the hidden commands either
        return true;
    }
    if (watched == O_doc_list1->focusProxy() && e->type() == QEvent::KeyPress) {
        // Insert and Ctrl+V create documents through the commands; the grid never adds a row.
        const auto* key = static_cast<QKeyEvent*>(e);
        const bool insert = key->key() == Qt::Key_Insert && key->modifiers() == Qt::NoModifier;
        const bool paste = key->key() == Qt::Key_V && (key->modifiers() & Qt::ControlModifier);
        if (insert || paste) {
            if (TB_new_doc->isEnabled())
                insert ? SBnewDocClick() : N_pasteClick();
            return true;
        }
    }
    if (m_collapsed) {
        if ((watched == Panel_Collaps || watched == O_target1) && e->type() == QEvent::MouseButtonDblClick) {
            SetCollapsed(false);
            return true;
        }
        if (watched == Label_restore && e->type() == QEvent::MouseButtonRelease) {
            SetCollapsed(false);
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

void TFmain::keyPressEvent(QKeyEvent* e)
{
    // Only Ctrl is tested: Shift and Alt may be held as well.
    if (m_collapsed && e->key() == Qt::Key_V && (e->modifiers() & Qt::ControlModifier) && TB_new_doc->isEnabled()) {
        SetCollapsed(false);
        N_paste->trigger();
        return;
    }
    QWidget::keyPressEvent(e);
}

bool TFmain::event(QEvent* e)
{
    if (e->type() == QEvent::Show && m_activateOnShow && m_firstActivation && !m_activating) {
        // The first activation runs once the window is on screen, with or without a window manager.
        QTimer::singleShot(0, this, [this] {
            if (m_firstActivation && !m_activating)
                Activate();
        });
    }
    if (e->type() == QEvent::Show)
        m_newlyShown = true;
    const bool handled = QWidget::event(e);
    if (e->type() == QEvent::Move || e->type() == QEvent::Resize)
        FrameChanged();
    return handled;
}

void TFmain::Activate()
{
    m_activating = true;
    Lock->ReadSettings();
    ApplyPlacement();

    const bool engineOk = TDatabaseConnection::EngineUsable();
    if (engineOk)
        m_engineVersion = TDatabaseConnection::EngineVersion();

    if (engineOk) {
        try {
            Schema::CreateAnchorTable();
            OpenLastUsed();
            if (m_firstActivation) {
                TF_getting_started::ShowIfWanted(m_session.Settings(), this);
                m_firstActivation = false;
            }
        } catch (const QbError& e) {
            // As the general handler would: the message, and the rest of the activation is skipped.
            Dialogs::ShowMessage(e.Message());
        }
    } else {
        TD_BDE_DL::OfferInstall(this);
        close();
    }
    m_activating = false;
    Q_EMIT Activated();
}

void TFmain::closeEvent(QCloseEvent* e)
{
    // A job owns the database until it ends: closing now asks, then stops it (or lets it finish)
    // and waits; its outcome is told before the program goes on closing.
    if (TJobRunner::AnyBusy()) {
        const QString question = TJobRunner::AllStoppable()
            ? QStringLiteral("An operation on the database is still running.\nStop it and close Quietbox?\nThe "
                             "database stays as it was before the operation.")
            : QStringLiteral("An operation on the database is still running.\nIt can not be stopped: Quietbox "
                             "closes when it has finished.\nClose Quietbox then?");
        // The question goes when the job ends first: its outcome is told and the window stays.
        // A signal while it is open ends the program all the same.
        if (!m_session.Quitting() && !TJobProgress::AskWhileRunning([&question] { return Dialogs::Confirm(question); })
            && !m_session.Quitting()) {
            e->ignore();
            return;
        }
        m_session.SetQuitting();
        TJobRunner::StopAllAndWait();
    }
    m_session.SetQuitting();
    // The settings store the placement after the window is gone.
    if (isVisible() && !m_collapsed)
        m_lastOuter = geometry().marginsAdded(FrameMargins());
    CloseDatabase();
    DropImporter->Revoke();
    QWidget::closeEvent(e);
}

void TFmain::CreateLock()
{
    Lock = new TPrivacyLock(m_session, this);
    Lock->setObjectName(QStringLiteral("Lock"));
    Lock->BeforeLock = [this](bool requested) { return BeforeLock(requested); };
    connect(Lock, &TPrivacyLock::LockedChanged, this, &TFmain::ShowLocked);
    connect(Lock, &TPrivacyLock::LockedChanged, this, &TFmain::LockedChanged);
    connect(&m_session.Settings(), &TSettingsModel::PrivacyChanged, Lock, &TPrivacyLock::ReadSettings);
    connect(N_lock, &QAction::triggered, this, [this] { Lock->Lock(true); });
    connect(Btn_unlock, &QPushButton::clicked, this, [this] { Lock->Unlock(); });
    // The buses are joined only once a desktop trigger is on: a user who never turns one on
    // starts as before, without them.
    const auto listen = [this] {
        const TSettingsModel& settings = m_session.Settings();
        if (!m_busesJoined && (settings.LockOnScreenLock() || settings.LockOnSuspend())) {
            m_busesJoined = true;
            Lock->Listen(QDBusConnection::sessionBus(), QDBusConnection::systemBus());
        }
    };
    connect(&m_session.Settings(), &TSettingsModel::PrivacyChanged, this, listen);
    listen();
}

TPrivacyLock::Readiness TFmain::BeforeLock(bool requested)
{
    using R = TPrivacyLock::Readiness;
    // A job works on the database: the lock waits for its end, leaving its window and any
    // question about it alone.
    if (TJobRunner::AnyBusy())
        return R::Wait;
    if (QWidget* modal = QApplication::activeModalWidget()) {
        // The edit windows write back as they close; the lock waits for their event loops to end.
        auto* dialog = qobject_cast<QDialog*>(modal);
        const bool editor = qobject_cast<TF_db_rtf*>(modal) || qobject_cast<TF_db_image*>(modal);
        if (dialog && (editor || !requested))
            dialog->done(editor ? QDialog::Accepted : QDialog::Rejected); // nobody is there to answer
        return R::Wait;
    }
    return O_doc_content1->EndEditingForLock() ? R::Ready : R::Refused;
}

void TFmain::ShowLocked(bool locked)
{
    if (locked) {
        Label_locked->setText(QStringLiteral("The database \"%1\" is locked.").arg(Lock->LockedName()));
        O_doc_content1->ResetViewer();
        DocCommands->ForgetSearch();
        if (m_collapsed)
            SetCollapsed(false);
    }
    Splitter1->setVisible(!locked && !m_collapsed);
    Panel_locked->setVisible(locked);
    if (locked)
        Btn_unlock->setFocus();
    UpdateCommands();
}

void TFmain::OpenDocPage(const QString& name)
{
    Shell::OpenDocPage(name);
}

// ---- Opening and closing the database: the session does the work

void TFmain::SBreopenClick()
{
    m_session.SBreopenClick();
}

void TFmain::OpenDatabaseDirect(const QString& name, const QString& path, const QString& password)
{
    m_session.OpenDatabaseDirect(name, path, password);
}

void TFmain::CloseDatabase()
{
    m_session.CloseDatabase();
}

void TFmain::OpenLastUsed()
{
    m_session.OpenLastUsed();
}

bool TFmain::DropDatabase(const QString& name, bool silent)
{
    return m_session.DropDatabase(name, silent);
}

// ---- Password change

void TFmain::TB_chng_pwdClick()
{
    if (!m_session.DatabaseOpen())
        return;
    const QString name = m_session.CurrentDatabaseName();
    const QString def = m_session.Settings().DefaultDbName();
    // A hidden default database is open under an empty name; its folder tells it apart.
    const bool isDefault = !def.isEmpty()
        && (def == name
            || (name.isEmpty()
                && QFileInfo(m_session.Settings().DatabasePath(def)).canonicalFilePath()
                    == QFileInfo(m_session.Connection().Path()).canonicalFilePath()));
    if (isDefault
        && !Dialogs::ConfirmChecked(
            QStringLiteral("The database \"%1\" is the default database that should stay unprotected.\nYou CAN set the "
                           "password for default database, BUT in this case some options will not work.\nSee the "
                           "\"Security\" chapter in the documentation for more details.\n\nDo you want to continue "
                           "with the \"%1\" database?")
                .arg(name.isEmpty() ? def : name)))
        return;
    Q_EMIT PasswordChangeWanted();
}
