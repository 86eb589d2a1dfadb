#include "gui/intake/DropImporter.h"

#include "core/common/QbError.h"
#include "core/database/DatabaseSession.h"
#include "core/documents/DocFiles.h"
#include "core/intake/DropImport.h"
#include "core/intake/OleDrop.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/documents/DocumentCommands.h"
#include "gui/documents/doc_content.h"
#include "gui/intake/DropTarget.h"
#include "gui/intake/target.h"

#include <QTimer>
#include <QWidget>
#include <utility>

TDropImporter::TDropImporter(const TDatabaseSession& session, QWidget* window, TDocumentCommands* commands,
                             TO_doc_content* viewer, TO_target* target, QTimer* timer, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_window(window)
    , m_commands(commands)
    , m_viewer(viewer)
    , m_target(target)
    , m_timer(timer)
    , m_dropper(new TOleDropper(this))
    , m_dropTarget(new TDropTarget(*m_dropper, this))
{
    m_timer->setInterval(100);
    m_timer->setSingleShot(true);
    connect(m_dropper, &TOleDropper::OnDrop, this, &TDropImporter::ImportDrop);
    connect(m_timer, &QTimer::timeout, this, &TDropImporter::TimerDropErrorTimer);
}

TDropImporter::~TDropImporter()
{
    Revoke();
}

void TDropImporter::RegisterWindow()
{
    m_dropTarget->RegisterWindow(m_window); // a window that cannot take drops simply gets none
}

void TDropImporter::Revoke()
{
    m_dropTarget->Revoke();
    m_dropper->ClearData();
}

void TDropImporter::ImportDrop(TOleDropper* sender)
{
    m_errorText.clear();
    if (m_busy) // a drop delivered while an import still runs is lost without a word
        return;
    m_errorText = DropImport::RefusalText(m_session.DatabaseOpen(), sender->DropKind());
    if (!m_errorText.isEmpty()) {
        m_timer->start();
        return;
    }
    if (sender->DropKind() == TOleDropper::dkFile)
        ImportFiles(sender->DroppedFiles());
    else
        Import(*sender, DropImport::DocumentType(sender->DropKind()));
}

TDropImporter::BusyScope::BusyScope(TDropImporter* importer)
    : m_importer(importer)
{
    m_importer->m_busy = true;
}

TDropImporter::BusyScope::~BusyScope()
{
    m_importer->EndBusy();
}

void TDropImporter::EndBusy()
{
    m_busy = false;
    m_timer->start();
    m_target->ShowWaiting();
}

void TDropImporter::ImportFiles(const QStringList& entries)
{
    QStringList files;
    QStringList refused;
    DocFiles::SortDropped(entries, files, refused);
    m_dropper->ClearData();
    QString refusal;
    if (files.isEmpty() && refused.isEmpty()) // file contents without a name: nothing to list
        refusal = DropImport::CannotImportText;
    else if (!refused.isEmpty())
        refusal = DropImport::RefusedFilesText(refused);
    if (files.isEmpty()) {
        m_errorText = refusal;
        m_timer->start();
        return;
    }
    // Busy until the import has ended, which for large files is after the drop call.
    m_busy = true;
    m_target->ShowAccepting();
    m_viewer->ClearDocument();
    const auto done = [this, refusal](const QStringList& ids, const QStringList& failures) {
        for (qsizetype i = 0; i < ids.size(); ++i)
            m_target->CountAccepted();
        QStringList texts;
        if (!refusal.isEmpty())
            texts << refusal;
        texts << failures;
        m_errorText = texts.join(QStringLiteral("\n\n"));
        EndBusy();
    };
    m_commands->ImportFileDocuments(files, JobFromBytes, done);
}

void TDropImporter::Import(TOleDropper& dropper, const QString& type)
{
    const BusyScope busy(this);

    // Taken before events run: a drop delivered meanwhile is ignored, but it refills the dropper.
    const TDocContent content = DropImport::Content(dropper);
    // A failure cannot be shown from inside the drop call, nor thrown through it: the timer
    // reports it with the other refusals.
    try {
        m_target->ShowAccepting();
        m_viewer->ClearDocument();
        const QString name = TDocumentCommands::DefaultDocumentName();
        const QString id = m_commands->CreateDocumentRecord(name, type);
        m_commands->StoreDocumentContent(id, type, content);
        dropper.ClearData();
        if (!id.isEmpty())
            m_target->CountAccepted();
    } catch (const QbError& e) {
        m_errorText = e.Message();
    } catch (const std::exception& e) {
        m_errorText = QString::fromLocal8Bit(e.what());
    }
}

void TDropImporter::TimerDropErrorTimer()
{
    m_timer->stop();
    const QString text = std::exchange(m_errorText, QString());
    if (text.isEmpty() || !m_window)
        return;
    // The window stays on top of everything; out of the way, it cannot hide the message.
    const Qt::WindowStates state = m_window->windowState();
    m_window->setWindowState((state & ~(Qt::WindowMaximized | Qt::WindowFullScreen)) | Qt::WindowMinimized);
    Dialogs::ShowMessage(text);
    if (m_window)
        m_window->setWindowState(state);
}
