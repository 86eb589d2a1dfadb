#include "gui/documents/DocumentCommands.h"

#include "core/common/QbError.h"
#include "core/documents/OleContainer.h"
#include "gui/documents/doc_content.h"
#include "gui/documents/doc_list.h"
#include "gui/documents/search.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QMimeData>
#include <QRegularExpression>
#include <QTime>
#include <QTimer>

namespace {

const QString kEmpty = QStringLiteral("The database is empty.");

// Sets a flag for the length of a command and restores it afterwards, also on failure: a
// command that failed must not leave the preview and the delete command dead.
class ReadyScope
{
public:
    explicit ReadyScope(const TDocumentCommands::Host& host)
        : m_host(host)
    {
        m_host.SetListReady(false);
    }
    ~ReadyScope() { m_host.SetListReady(true); }
    ReadyScope(const ReadyScope&) = delete;
    ReadyScope& operator=(const ReadyScope&) = delete;

private:
    const TDocumentCommands::Host& m_host;
};

} // namespace

TDocumentCommands::TDocumentCommands(TO_doc_list* list, TO_doc_content* viewer, QTimer* timer, Host host,
                                     QObject* parent)
    : QObject(parent)
    , m_list(list)
    , m_viewer(viewer)
    , m_timer(timer)
    , m_host(std::move(host))
{
    m_timer->setSingleShot(false);
    connect(m_timer, &QTimer::timeout, this, &TDocumentCommands::Timer1Timer);
    connect(m_list, &TOdic::AfterScroll, this, &TDocumentCommands::O_doc_list1Q1AfterScroll);
    m_list->BeforeDeleteHook = [this] { return O_doc_list1Q1BeforeDelete(); };
    m_viewer->CurrentName = [this] { return m_list->CurrentName(); };
    m_viewer->ShowText = m_host.ShowText;
}

bool TDocumentCommands::Guard(const std::function<void()>& work)
{
    try {
        work();
        return true;
    } catch (const QbError& e) {
        m_host.ShowText(e.Message());
    } catch (const std::exception& e) {
        m_host.ShowText(QString::fromLocal8Bit(e.what()));
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
    struct Allow
    {
        TO_doc_list* list;
        ~Allow() { list->InsertAllowed = false; }
    } allow{m_list};
    m_list->InsertAllowed = true;
    if (!m_list->AppendRecord({{QStringLiteral("doc_name"), name}, {QStringLiteral("doc_type"), type}}))
        return QString();
    return m_list->CurrentId();
}

void TDocumentCommands::StoreDocumentContent(const QString& id, const QString& type, const TDocContent& content)
{
    if (!id.trimmed().isEmpty())
        m_viewer->SetContent(id, type, content);
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
    ReadyScope busy(m_host);
    StoreDocumentContent(id, type, content);
    m_viewer->ShowDocument(id, type);
    m_viewer->EditDocument();
}

void TDocumentCommands::SBnewDocClick(bool paste)
{
    Guard([&] {
        const QString name = DefaultDocumentName();
        if (!paste) {
            NewDocument(name, QStringLiteral("TXT"), TDocContent::Text({}));
            return;
        }
        QString type;
        TDocContent content;
        if (!ClipboardDocument(QGuiApplication::clipboard()->mimeData(), type, content)) {
            m_host.ShowText(QStringLiteral("Sorry, no importable data found."));
            return;
        }
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
        ReadyScope busy(m_host);
        m_host.UpdateCommands();
        if (!m_list->HasRecords()) {
            m_host.ShowText(kEmpty);
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
    m_host.UpdateCommands();
}

void TDocumentCommands::TB_del_docClick()
{
    if (!m_list->HasRecords()) {
        m_host.ShowText(kEmpty);
        return;
    }
    Guard([this] { m_list->DeleteCurrent(); });
}

bool TDocumentCommands::O_doc_list1Q1BeforeDelete()
{
    if (!m_host.ListReady())
        return false;
    m_viewer->ClearDocument();
    return true;
}

void TDocumentCommands::TB_searchClick()
{
    m_list->FocusList();
    if (SearchDialog)
        SearchDialog->SearchIn(m_list);
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
    if (!m_host.ListReady())
        return;
    ReadyScope busy(m_host);
    const QString type = m_list->FieldText(QStringLiteral("doc_type"));
    const QString id = m_list->CurrentId();
    Guard([&] { m_viewer->ShowDocument(id, type); });
}

void TDocumentCommands::BeforePack()
{
    m_host.SetListReady(false);
    m_timer->stop();
    m_viewer->BeforePack();
    m_list->CloseList();
}

void TDocumentCommands::AfterPack()
{
    Guard([this] { m_list->OpenList(); });
    m_host.SetListReady(m_list->IsActive());
    m_host.UpdateCommands();
    O_doc_list1Q1AfterScroll(); // the current document comes back after the usual delay
}
