// The main window: toolbar, document list and content viewer.
#pragma once

#include "core/database/DatabaseSession.h"
#include "core/database/PrivacyLock.h"
#include "core/placement/Placement.h"

#include <QAction>
#include <QLabel>
#include <QMargins>
#include <QMenu>
#include <QPointer>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

class TO_doc_list;
class TO_doc_content;
class TDocumentCommands;
class TOleContainer;
class TO_target;
class TDropImporter;
class TD_search;
class TW_new_doc;
class TF_db_image;
class TF_db_rtf;
class TD_scale_image;
class TOleDropper;
class TTextIndexer;
class QPushButton;

// The main window "Quietbox": the toolbar, the document list beside or above the content
// viewer, and the small collapsed panel that replaces everything while collapsed.
class TFmain : public QWidget, private TSessionList
{
    Q_OBJECT

public:
    // The window over the program's one database session; it fills in the session's list part.
    explicit TFmain(TDatabaseSession& session, QWidget* parent = nullptr);
    ~TFmain() override;

    TDatabaseSession& Session() const { return m_session; }

    // Until the first activation has run.
    bool FirstActivation() const { return m_firstActivation; }
    // The database engine's version, as the first activation found it.
    int EngineVersion() const { return m_engineVersion; }
    bool Collapsed() const { return m_collapsed; }
    // The open database, as the session holds it.
    bool DatabaseOpen() const;
    QString CurrentDatabaseName() const;
    bool ListReady() const;

    // Opening and closing the one database: the session does the work (TDatabaseSession).
    // The open command: closes the open database, then opens one, asking with the dialog.
    void SBreopenClick();
    // Opens a registered database without the dialog.
    void OpenDatabaseDirect(const QString& name, const QString& path, const QString& password);
    // Remembers the open database as the last used one, closes the list and disconnects.
    void CloseDatabase();
    void OpenLastUsed();
    // Drops a registered database (see TDatabaseSession::DropDatabase).
    bool DropDatabase(const QString& name, bool silent);

    // The password change command (toolbar "Change database password").
    void TB_chng_pwdClick();

    // Applies the enabled state of every command to the open/ready state.
    void UpdateCommands();

    // Placement, docking and collapse.
    void ApplyPlacement();
    void ArrangePanels(bool sideBySide);
    void SetCollapsed(bool c);
    // The outer rectangle, frame included, as last seen on screen while expanded: what the
    // settings store, also after the window was hidden at the end.
    QRect OuterGeometry() const;
    // Writes the placement into the settings (not while collapsed); the file is written apart.
    void StorePlacement();

    // Opens doc/<name>.html in the desktop's browser; failures are ignored.
    static void OpenDocPage(const QString& name);

    // The activation sequence; runs when the window is first activated.
    void Activate();

    // The activation runs by itself once the window is first shown; tests may drive it instead.
    void SetActivateOnShow(bool on) { m_activateOnShow = on; }

    // The viewer's object container.
    TOleContainer* ViewerContainer() const;

    // The windows made after this one that the document commands and the viewer use.
    void UseDocumentWindows(TD_search* search, TW_new_doc* wizard, TF_db_image* pictureWindow, TF_db_rtf* textWindow,
                            TD_scale_image* scale);
    // The document side of a pack: nothing held or shown while the database is rewritten; once
    // the pack has reopened the list, the current document comes back after the usual delay.
    void BeforePack();
    void PackEnded();

    // Document commands.
    void SBnewDocClick();
    void N_pasteClick();
    void TB_edit_docClick();
    void TB_del_docClick();
    void TB_searchClick();

Q_SIGNALS:
    void Activated();
    // The privacy lock closed (true) or reopened (false) the database.
    void LockedChanged(bool locked);
    // Commands that other windows carry out.
    void SettingsWanted();
    void DatabaseControlWanted();
    void PasswordChangeWanted();

protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void PrepareList() override;
    void OpenList() override;
    void CloseList() override;
    bool ListActive() const override;
    void CreateToolBar();
    void CreatePanels();
    void CreateDocumentCommands();
    void ApplyCollapsedSize();
    QMargins FrameMargins() const;
    void PlaceOuter(const QRect& outer, bool whole = false);
    void PlaceAgain();
    void FrameChanged();
    void CreateLock();
    TPrivacyLock::Readiness BeforeLock(bool requested);
    void ShowLocked(bool locked);

    // Controls (objectName = member name).
    QToolBar* ToolBar1 = nullptr;
    QAction* TB_reconnect = nullptr;
    QAction* TB_chng_pwd = nullptr;
    QAction* TB_new_doc = nullptr;
    QAction* TB_del_doc = nullptr;
    QAction* TB_search = nullptr;
    QAction* TB_edit_doc = nullptr;
    QAction* TB_db_actions = nullptr;
    QAction* TB_settings = nullptr;
    QAction* TB_collaps = nullptr;
    QAction* TB_doc = nullptr;
    QMenu* PM1 = nullptr;
    QAction* N_new_document = nullptr;
    QAction* N_edit_document = nullptr;
    QAction* N_paste = nullptr;
    QAction* N_save_as_file = nullptr;
    QAction* N_delete_document = nullptr;
    QAction* N_reopen_database = nullptr;
    QAction* N_lock = nullptr; // shown while a protected database is open
    QSplitter* Splitter1 = nullptr;
    QWidget* Panel_guider = nullptr;
    TO_doc_list* O_doc_list1 = nullptr;
    // Under the list while the text index of the open database is being built.
    QLabel* Label_indexing = nullptr;
    TTextIndexer* Indexer = nullptr;
    TO_doc_content* O_doc_content1 = nullptr;
    QWidget* Panel_Collaps = nullptr;
    TO_target* O_target1 = nullptr;
    QLabel* Label_restore = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* TimerDropError = nullptr;
    // The locked state: replaces the list and viewer while a protected database is locked.
    QWidget* Panel_locked = nullptr;
    QLabel* Label_locked = nullptr;
    QPushButton* Btn_unlock = nullptr;
    // The window's helpers, named as the controls are.
    TPrivacyLock* Lock = nullptr;
    TDocumentCommands* DocCommands = nullptr;
    TDropImporter* DropImporter = nullptr;

    TDatabaseSession& m_session;
    bool m_firstActivation = true;
    int m_engineVersion = 0;
    bool m_collapsed = false;
    bool m_activateOnShow = true;
    bool m_activating = false;
    bool m_busesJoined = false; // the lock listens to the desktop's signals
    Placement::Docking m_docking = Placement::Docking::Bottom; // of the last placement
    // The outer rectangle the last placement asked for. Just after the window was shown, the
    // window manager's answers to older requests may undo it: it is asked for again, a few
    // times at most, until the window has stayed put for a moment.
    QRect m_placed;
    QTimer* m_placeTimer = nullptr;
    int m_placeRounds = 0;
    bool m_movedSincePlaced = false;
    bool m_newlyShown = false;
    bool m_placing = false;
    QRect m_lastOuter;
    QRect m_beforeCollapse; // the outer rectangle while expanded, for expanding again
};
