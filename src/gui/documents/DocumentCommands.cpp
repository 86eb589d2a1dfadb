#include "gui/documents/DocumentCommands.h"

#include "core/common/QbError.h"
#include "core/database/DatabaseSession.h"
#include "core/database/DocStore.h"
#include "core/documents/DocFiles.h"
#include "core/documents/OleContainer.h"
#include "gui/database/JobProgress.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/documents/doc_content.h"
#include "gui/documents/doc_list.h"
#include "gui/documents/search.h"
#include "gui/documents/wz_new_doc.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLocale>
#include <QMimeData>
#include <QRegularExpression>
#include <QTime>
#include <QTimer>
#include <exception>
#include <memory>
#include <utility>

namespace {

const QString kEmpty = QStringLiteral("The database is empty.");

// Clears ListReady for the length of a command and sets it again afterwards, also on failure: a
// command that failed must not leave the preview and the delete command dead. A database closed
// meanwhile (events run while an object is edited) stays without a ready list.
class ReadyScope
{
public:
    ReadyScope(TDatabaseSession& session, const TO_doc_list* list)
        : m_session(session)
        , m_list(list)
    {
        m_session.SetListReady(false);
    }
    ~ReadyScope() { m_session.SetListReady(m_session.DatabaseOpen() && m_list->IsActive()); }
    ReadyScope(const ReadyScope&) = delete;
    ReadyScope& operator=(const ReadyScope&) = delete;

private:
    TDatabaseSession& m_session;
    const TO_doc_list* m_list;
};

} // namespace

TDocumentCommands::TDocumentCommands(TDatabaseSession& session, TO_doc_list* list, TO_doc_content* viewer,
                                     QTimer* timer, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_list(list)
    , m_viewer(viewer)
    , m_timer(timer)
{
    m_timer->setSingleShot(false);
    connect(m_timer, &QTimer::timeout, this, &TDocumentCommands::Timer1Timer);
    connect(m_list, &TOdic::AfterScroll, this, &TDocumentCommands::O_doc_list1Q1AfterScroll);
    connect(m_list, &TOdic::DeleteRequested, this, [this] {
        try {
            DeleteCurrentDocument();
        } catch (const QbError& e) {
            m_list->ShowError(e.Message());
        }
    });
    m_viewer->SetCaptionSource(m_list);
    connect(m_viewer, &TO_doc_content::EditFailed, this, [](const QString& text) { Dialogs::ShowMessage(text); });
}

bool TDocumentCommands::Guard(const std::function<void()>& work)
{
    try {
        work();
        return true;
    } catch (const QbError& e) {
        Dialogs::ShowMessage(e.Message());
    } catch (const std::exception& e) {
        Dialogs::ShowMessage(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

QString TDocumentCommands::DefaultDocumentName(const QTime& time, const QLocale& locale)
{
    // The locale's long time format without its time zone: "Document created at 9:41:07 AM".
    QString format = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b\\s*"));
    format = format.replace(zone, QStringLiteral(" ")).trimmed();
    return QStringLiteral("Document created at ") + locale.toString(time, format);
}

QString TDocumentCommands::DefaultDocumentName()
{
    return DefaultDocumentName(QTime::currentTime(), QLocale());
}

QString TDocumentCommands::CreateDocumentRecord(const QString& name, const QString& type)
{
    if (!m_list->IsActive())
        return QString();
    if (!m_list->AppendAllowed({{QStringLiteral("doc_name"), name}, {QStringLiteral("doc_type"), type}}))
        return QString();
    return m_list->CurrentId();
}

void TDocumentCommands::StoreDocumentContent(const QString& id, const QString& type, const TDocContent& content)
{
    if (!id.trimmed().isEmpty())
        m_viewer->SetContent(id, type, content);
}

void TDocumentCommands::ImportFileDocuments(const QStringList& files, qint64 jobFrom, const ImportDone& done)
{
    if (!m_list->IsActive()) {
        done({}, {});
        return;
    }
    // Read whole now: while a job holds the connection, the list fetches nothing of its own.
    m_list->FetchAll();
    auto ready = std::make_shared<ReadyScope>(m_session, m_list);
    auto ids = std::make_shared<QStringList>();
    auto failures = std::make_shared<QStringList>();
    auto finish = [this, ready, ids, failures, done](const QString& error) mutable {
        for (const QString& id : std::as_const(*ids))
            m_list->AppendStored(id);
        if (ids->isEmpty()) // the viewer was cleared for the import: the current document comes back
            O_doc_list1Q1AfterScroll();
        if (!error.isEmpty() && error != DocFiles::StoppedText)
            *failures << error;
        ready.reset();
        done(*ids, *failures);
    };
    TDatabaseConnection& connection = m_session.Connection();
    const auto importAll = [&connection, files, ids, failures](const DocFiles::Progress& progress) {
        *ids = DocFiles::ImportObjects(connection, files, *failures, progress);
    };
    qint64 total = 0;
    for (const QString& path : files)
        total += QFileInfo(path).size();
    if (total < jobFrom) {
        QString error;
        try {
            importAll({});
        } catch (const QbError& e) {
            error = e.Message();
        } catch (const std::exception& e) {
            error = QString::fromLocal8Bit(e.what());
        }
        finish(error);
        return;
    }
    const auto work = [importAll](TJobContext& context) {
        importAll([&context](qint64 done, qint64 total) {
            context.Report(total > 0 ? int(done * 100 / total) : 100);
            return !context.StopRequested();
        });
    };
    TJobProgress::Run(m_list->window(), QStringLiteral("Importing the dropped files..."), work, finish, true);
}

void TDocumentCommands::RemoveUnmade(const QString& id)
{
    try {
        if (m_list->CurrentId() == id)
            m_list->RemoveCurrent();
    } catch (const QbError&) {
        // the failure that left it unmade is the one to report
    }
}

bool TDocumentCommands::ClipboardDocument(const QMimeData* data, QString& type, TDocContent& content)
{
    if (!data)
        return false;
    if (data->hasImage()) {
        const QImage image = qvariant_cast<QImage>(data->imageData());
        if (!image.isNull()) {
            type = QStringLiteral("IMG");
            content = TDocContent::FromBitmap(image);
            return true;
        }
    }
    // A file copied in a file manager comes as its address (and often as its path in text too).
    if (TOleContainer::OffersObject(data)) {
        type.clear(); // an object pasted from the clipboard has an empty type
        content = TDocContent::FromClipboard();
        return true;
    }
    if (data->hasText()) {
        type = QStringLiteral("TXT");
        content = TDocContent::Text(data->text().split(QRegularExpression(QStringLiteral("\r\n|\r|\n"))));
        return true;
    }
    return false;
}

void TDocumentCommands::NewDocument(const QString& name, const QString& type, const TDocContent& content)
{
    m_viewer->ClearDocument();
    const QString id = CreateDocumentRecord(name, type);
    if (id.isEmpty())
        return;
    ReadyScope busy(m_session, m_list);
    try {
        StoreDocumentContent(id, type, content);
    } catch (...) {
        // A document whose content cannot be made (an object server that is gone) is not kept.
        RemoveUnmade(id);
        throw;
    }
    m_viewer->ShowDocument(id, type);
    m_viewer->EditDocument();
}

void TDocumentCommands::SBnewDocClick(bool paste)
{
    if (!m_wizard)
        return;
    Guard([&] {
        QString name = DefaultDocumentName();
        QString type;
        // The content is a value: nothing is left to release, whatever happens after this.
        const TDocContent content = m_wizard->ExecuteMode(name, type, paste);
        if (name.isEmpty()) // cancelled
            return;
        NewDocument(name, type, content);
    });
}

void TDocumentCommands::N_pasteClick()
{
    SBnewDocClick(true);
}

void TDocumentCommands::TB_edit_docClick()
{
    {
        ReadyScope busy(m_session, m_list); // the commands follow the session's state
        if (!m_list->HasRecords()) {
            Dialogs::ShowMessage(kEmpty);
        } else {
            Guard([this] {
                m_viewer->ClearDocument();
                const QString id = m_list->CurrentId();
                if (id.isEmpty())
                    return;
                m_viewer->ShowDocument(id, m_list->FieldText(QStringLiteral("doc_type")));
                m_viewer->EditDocument();
            });
        }
    }
}

void TDocumentCommands::TB_del_docClick()
{
    if (!m_list->HasRecords()) {
        Dialogs::ShowMessage(kEmpty);
        return;
    }
    Guard([this] { DeleteCurrentDocument(); });
}

void TDocumentCommands::DeleteCurrentDocument()
{
    // The viewer lets the document go before the list asks; a declined question shows it again.
    if (!m_list->HasRecords() || !O_doc_list1Q1BeforeDelete())
        return;
    if (!m_list->DeleteCurrent())
        O_doc_list1Q1AfterScroll();
}

bool TDocumentCommands::O_doc_list1Q1BeforeDelete()
{
    if (!m_session.ListReady())
        return false;
    m_viewer->ClearDocument();
    return true;
}

namespace {

QString FilterOf(DocFiles::Format format, const QString& suffix)
{
    static const char* const names[] = {"As stored", "Plain text", "OpenDocument text", "PNG picture", "JPEG picture"};
    return QStringLiteral("%1 (*.%2)").arg(QLatin1String(names[int(format)]), suffix);
}

} // namespace

void TDocumentCommands::SaveAsFileClick()
{
    Guard([&] {
        const QString id = m_list->IsActive() ? m_list->CurrentId() : QString();
        if (id.isEmpty() || !m_session.ListReady())
            return;
        TDatabaseConnection& connection = m_session.Connection();
        const std::optional<TDocRow> row = TDocStore(connection).FindDocument(id);
        if (!row)
            return;
        // The viewer writes back what changed, so the file holds what the user sees.
        m_viewer->ClearDocument();
        const QList<DocFiles::Format> formats = DocFiles::FormatsFor(row->Type);
        QStringList suffixes;
        QStringList filters;
        for (const DocFiles::Format format : formats) {
            suffixes << DocFiles::SuffixFor(connection, *row, format);
            filters << FilterOf(format, suffixes.back().isEmpty() ? QStringLiteral("*") : suffixes.back());
        }
        const QString caption = QStringLiteral("Save as file");
        QFileDialog dialog(m_list->window(), caption);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters(filters);
        dialog.setDefaultSuffix(suffixes.front());
        // Asked below with the program's own dialog, and again should the file appear meanwhile.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.selectFile(DocFiles::SafeFileName(row->Name));
        const QString path = Dialogs::ChooseFile(dialog);
        if (path.isEmpty())
            return;
        const qsizetype chosen = suffixes.indexOf(QFileInfo(path).suffix().toLower());
        const DocFiles::Format format = chosen < 0 ? DocFiles::Format::Native : formats[chosen];
        bool overwrite = false;
        if (QFileInfo::exists(path)) {
            if (!Dialogs::Confirm(QStringLiteral("The file \"%1\" exists. Replace it?").arg(path)))
                return;
            overwrite = true;
        }
        DocFiles::ExportDocument(connection, *row, format, path, overwrite);
        m_viewer->ShowDocument(id, row->Type);
    });
}

void TDocumentCommands::TB_searchClick()
{
    m_list->FocusList();
    if (m_search)
        m_search->SearchIn(m_list);
}

void TDocumentCommands::ForgetSearch()
{
    if (m_search)
        m_search->Forget();
}

void TDocumentCommands::O_doc_list1Q1AfterScroll()
{
    m_list->ShowStatus();
    // Starting a running timer would start its delay again: the preview comes one delay after
    // the first move, however fast the list scrolls.
    if (m_list->IsActive() && !m_timer->isActive())
        m_timer->start();
}

void TDocumentCommands::Timer1Timer()
{
    m_timer->stop();
    if (!m_session.ListReady())
        return;
    ReadyScope busy(m_session, m_list);
    const QString type = m_list->FieldText(QStringLiteral("doc_type"));
    const QString id = m_list->CurrentId();
    Guard([&] { m_viewer->ShowDocument(id, type); });
}

void TDocumentCommands::BeforePack()
{
    m_session.SetListReady(false);
    m_timer->stop();
    m_session.CloseList(); // the viewer writes back and lets its document go with the list
}

void TDocumentCommands::AfterPack()
{
    Guard([this] { m_session.ReopenList(); });
    O_doc_list1Q1AfterScroll(); // the current document comes back after the usual delay
}
