#pragma once

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>
#include <functional>

class TO_doc_list;
class TO_doc_content;
class TDocumentCommands;
class TOleContainer;

// The main window "Quietbox": the toolbar, the document list beside or above the content
// viewer, and the small collapsed panel that replaces everything while collapsed.
class TFmain : public QWidget
{
    Q_OBJECT

public:
    explicit TFmain(QWidget* parent = nullptr);
    ~TFmain() override;

    // State read by other windows.
    bool FirstActivation = true;
    double EngineVersion = 0;
    bool Collapsed = false;
    bool DatabaseOpen = false;
    QString CurrentDatabaseName;
    bool ListReady = false;

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
    QAction* N_delete_document = nullptr;
    QAction* N_reopen_database = nullptr;
    QSplitter* Splitter1 = nullptr;
    QWidget* Panel_guider = nullptr;
    TO_doc_list* O_doc_list1 = nullptr;
    TO_doc_content* O_doc_content1 = nullptr;
    QWidget* Panel_Collaps = nullptr;
    QWidget* O_target1 = nullptr;
    QLabel* Label_restore = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* TimerDropError = nullptr;

    // Opening and wrong-password state.
    bool StartupOpen = false;
    bool DirectOpen = false;
    QString DirectPath;
    QString DirectPassword;
    QString OpenPath;
    int WrongAttempts = 0;
    QString LastWrongDatabase;

    // Opening and closing the one database, and the wrong-password policy.
    // The open command: closes the open database, then opens one (asking unless DirectOpen).
    void SBreopenClick();
    // Opens a registered database without the dialog.
    void OpenDatabaseDirect(const QString& name, const QString& path, const QString& password);
    // Remembers the open database as the last used one, closes the list and disconnects.
    void CloseDatabase();
    void OpenLastUsed();

    QString RedirectDatabaseName() const;
    bool PrepareConnection();
    // The engine's password request: always declines (after telling the user, when wanted).
    bool OnEnginePassword(QString& password);
    void HandleOpenFailure(const QString& message);
    void OpenDefaultInstead();
    void CountWrongAttempt(const QString& name);
    void ResetWrongAttempts();

    // Drops a registered database: its own files (Docs.db and the engine's companion files),
    // then its folder when that is empty, its list entry, and the default-database settings
    // when it was the default. Unless silent, asks first and tells when done. A folder that is
    // missing, or that is the file-system root, the home folder or one above it, is refused:
    // nothing is deleted and the entry stays. True when the entry was removed.
    bool DropDatabase(const QString& name, bool silent);
    // Why a database folder must not be dropped, or empty when it may.
    static QString DropRefusal(const QString& folder);

    // The password change command (toolbar "Change database password").
    void TB_chng_pwdClick();

    // Applies the enabled state of every command to the open/ready state.
    void UpdateCommands();

    // Placement, docking and collapse.
    void ApplyPlacement();
    void ArrangePanels(bool sideBySide);
    void SetCollapsed(bool c);

    // Opens doc/<name>.html in the desktop's browser; failures are ignored.
    static void OpenDocPage(const QString& name);
    // Where the documentation pages are: <executable's folder>/../doc, else the installed folder.
    static QString DocFolder();

    // The activation sequence; runs when the window is first activated.
    void Activate();

    // The activation runs by itself once the window is first shown; tests may drive it instead.
    bool ActivateOnShow = true;

    // The paste command, for Ctrl+V while collapsed. Document commands install it.
    std::function<void()> PasteCommand;

    // The viewer's object container, lent to the windows that pick object servers.
    TOleContainer* ViewerContainer() const;

    // Document commands.
    TDocumentCommands* DocCommands = nullptr;
    void SBnewDocClick();
    void N_pasteClick();
    void TB_edit_docClick();
    void TB_del_docClick();
    void TB_searchClick();

Q_SIGNALS:
    void Activated();

protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void CreateToolBar();
    void CreatePanels();
    void CreateDocumentCommands();
    void ApplyCollapsedSize();
    void SBsettingsClick();

    bool m_activating = false;
    bool m_openingDefault = false; // the open that replaces a failed one is under way
    int m_align = 1; // docking of the last placement
};
