#pragma once

#include "core/archive/BackRest.h"

#include <QDialog>
#include <atomic>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class TOrbFileEdit;

// Shows a message through the program's message dialog (recorded while dialogs are scripted).
void ShowMessageText(const QString& text);

// Runs an archive operation on a worker thread while the calling window keeps handling
// events; each new percent reaches `progress` on the GUI thread, in order, before the call
// returns. `stop`, when given, is read at every progress step. Returns the operation's code.
int RunArchiveJob(QObject* context, const std::function<int(const BackRest::ProgressCallback&)>& job,
                  const std::function<void(int percent)>& progress, const std::atomic<bool>* stop = nullptr);

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
    void Stop() { StopRequested = true; }
    bool Busy() const { return m_busy; }

    // The code of the last operation run; -1 when none ran.
    int LastCode = -1;

    QString StartFolder;
    std::atomic<bool> StopRequested{false};

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

    static const QString ArchiveFilter; // "archive|*.qba"

public Q_SLOTS:
    void reject() override;
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void OkBackUp();
    void OkRestore();
    int Run(QProgressBar* bar, const std::function<int(const BackRest::ProgressCallback&)>& job);
    QString ArchivePath(const QString& text) const;
    void SetBusy(bool busy);

    QString m_folder;
    bool m_busy = false;
};
