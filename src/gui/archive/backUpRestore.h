// The backup and restore dialog, and the start of archive jobs.
#pragma once

#include "core/archive/BackRest.h"

#include <QDialog>
#include <atomic>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class TJobRunner;
class TOrbFileEdit;

// Shows a message through the program's message dialog (recorded while dialogs are scripted).
void ShowMessageText(const QString& text);

// Starts an archive operation through runner and returns at once: each new percent reaches
// `progress`, then the operation's code reaches `done`, both on the runner's thread; a Stop
// of the runner ends the operation at its next step. An exception in the work is a failure.
// False when it could not start (`done` is not called then).
bool StartArchiveJob(TJobRunner& runner, std::function<int(const BackRest::ProgressCallback&)> job,
                     std::function<void(int percent)> progress, std::function<void(int code)> done);

// Where a folder path leads, as changing into it would: relative paths start at `start`; a
// path that is empty or names no existing folder leads to `start` itself. Links are resolved.
QString ResolveFolder(const QString& path, const QString& start);

// Whether a and b, resolved against start, name the same folder.
bool SameFolder(const QString& a, const QString& b, const QString& start);

// The back-up and restore dialog: one page each, a progress bar, a Stop button while working.
class TFBackUpRestore : public QDialog
{
    Q_OBJECT

public:
    explicit TFBackUpRestore(QWidget* parent = nullptr);

    // Prepare the page and show the dialog modally.
    void BackUp(const QString& folder);
    void Restore(const QString& folder, bool hideWarning);

    // The same two without showing anything (the dialog can then be driven directly).
    void PrepareBackUp(const QString& folder);
    void PrepareRestore(const QString& folder, bool hideWarning);

    bool SameFolder(const QString& a, const QString& b) const;

    // The archive name first proposed for a database folder: "Work.2005" proposes "Work.qba".
    static QString DefaultArchiveName(const QString& folder);

    void OKBtnClick();
    // Asks a running operation to end; it then ends with code 1 and leaves nothing behind.
    void Stop();
    // An operation runs: OK returned at once, the dialog closes when it ends.
    bool Busy() const { return m_busy; }

    // The code of the last operation run; -1 when none ran.
    int LastCode() const { return m_lastCode; }

    static QString ArchiveFilter(); // "archive|*.qba"

public Q_SLOTS:
    void reject() override;
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void OkBackUp();
    void OkRestore();
    // Runs job while the dialog stays responsive; then `done` with its code, and the dialog closes.
    void Run(QProgressBar* bar, std::function<int(const BackRest::ProgressCallback&)> job,
             std::function<void(int code)> done);
    QString ArchivePath(const QString& text) const;
    void SetBusy(bool busy);

    QString m_folder;
    // The current folder when the page was prepared: relative paths start there.
    QString StartFolder;
    int m_lastCode = -1;
    bool m_busy = false;
    TJobRunner* m_runner = nullptr;

    // Controls (objectName = member name).
    QStackedWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    TOrbFileEdit* OrbFileEdit1 = nullptr;
    TOrbFileEdit* OrbFileEdit2 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QProgressBar* ProgressBar2 = nullptr;
    QLabel* Label_attention = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* SB_stop = nullptr;
};
