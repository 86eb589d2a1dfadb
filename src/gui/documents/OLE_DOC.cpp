// The embedded-object frame of the content viewer.
#include "gui/documents/OLE_DOC.h"

#include "core/common/QbError.h"
#include "core/database/DocStore.h"
#include "core/documents/ObjectServers.h"
#include "core/documents/OleContainer.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/documents/ChooseObject.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QStyle>
#include <QVBoxLayout>

namespace {

const QString Column = QStringLiteral("OLEobj");

} // namespace

TOleView::TOleView(TOleContainer* container, QWidget* parent)
    : QWidget(parent)
    , m_container(container)
{
    setObjectName(QStringLiteral("OLE_viewer"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    connect(m_container, &TOleContainer::StateChanged, this, &TOleView::Refresh);
}

QStringList TOleView::Caption() const
{
    return m_container->ObjectState() == TOleContainer::osEmpty ? QStringList() : m_caption;
}

void TOleView::Refresh()
{
    const QString className = m_container->ObjectClassName();
    if (className != m_class) {
        // The desktop entries are read once per class, not at every paint.
        m_class = className;
        const auto server = ObjectServers::Find(className);
        m_icon = server ? server->Icon : QString();
        m_caption = QStringList{server ? server->Name : className, className};
    }
    update();
}

void TOleView::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    const QStringList caption = Caption();
    if (caption.isEmpty())
        return;
    QStringList lines = caption;
    if (!m_container->ObjectSuffix().isEmpty())
        lines << QStringLiteral("File type: .") + m_container->ObjectSuffix();
    if (m_container->ObjectState() == TOleContainer::osOpen)
        lines << QStringLiteral("Open in its own window");

    QIcon icon = QFileInfo(m_icon).isAbsolute() ? QIcon(m_icon) : QIcon::fromTheme(m_icon);
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_FileIcon);
    QPainter painter(this);
    const int iconSize = 64;
    const int lineHeight = fontMetrics().height();
    const int total = iconSize + 8 + lineHeight * int(lines.size());
    int y = qMax(0, (height() - total) / 2);
    icon.paint(&painter, QRect((width() - iconSize) / 2, y, iconSize, iconSize));
    y += iconSize + 8;
    for (const QString& line : lines) {
        painter.drawText(QRect(0, y, width(), lineHeight), Qt::AlignHCenter | Qt::AlignTop, line);
        y += lineHeight;
    }
}

TO_OLE_DOC::TO_OLE_DOC(TDatabaseConnection& connection, QWidget* parent)
    : QWidget(parent)
    , m_connection(&connection)
{
    setObjectName(QStringLiteral("O_OLE_DOC1"));
    OLE_viewer = new TOleContainer(this);
    OLE_viewer->setObjectName(QStringLiteral("OLE_viewer"));
    OLE_view = new TOleView(OLE_viewer, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(OLE_view);
    connect(OLE_viewer, &TOleContainer::ObjectChanged, this, &TO_OLE_DOC::SaveChangeQuietly);
    connect(OLE_viewer, &TOleContainer::ServerHandedOver, this, &TO_OLE_DOC::ShowHandedOver);
    connect(OLE_viewer, &TOleContainer::ObjectClosed, this, [this] {
        if (m_handedOverBox)
            m_handedOverBox->deleteLater();
    });
    TD_choose_object::Install();
}

void TO_OLE_DOC::SetConnection(TDatabaseConnection& connection)
{
    CloseQuery();
    m_connection = &connection;
}

QString TO_OLE_DOC::NoRecordText(const QString& id)
{
    return QStringLiteral("no record for id \"") + id + QLatin1Char('"');
}

QString TO_OLE_DOC::OleErrorText(const QString& error)
{
    return QStringLiteral("Can't edit the document for the OLE error:\n\"%1\".\n\nPlease check wheter the OLE server "
                          "is installed and works correct.")
        .arg(error);
}

QString TO_OLE_DOC::WriteBackFailedText(const QString& error)
{
    return QStringLiteral("The changed object could not be written to the database:\n\"%1\".\n\nTry again?").arg(error);
}

QString TO_OLE_DOC::DiscardChangeText()
{
    return QStringLiteral("Discard the changes made to the object?");
}

QString TO_OLE_DOC::SaveAsCaption()
{
    return QStringLiteral("Save the changed object as");
}

QString TO_OLE_DOC::EndEditingText(const QString& server)
{
    return QStringLiteral("The object is still open in \"%1\".\n\nEnd editing it now? What was not saved there is "
                          "lost.")
        .arg(server);
}

QString TO_OLE_DOC::StillOpenText(const QString& server)
{
    return QStringLiteral("The object is still open in \"%1\". Save it there and close it first.").arg(server);
}

QString TO_OLE_DOC::HandedOverText(const QString& server)
{
    return QStringLiteral("\"%1\" passed the object to a window of it that was already open. Save it there, then "
                          "press OK here when you are done editing.")
        .arg(server);
}

QString TO_OLE_DOC::LockEndText(const QString& server)
{
    return QStringLiteral("The object is still open in \"%1\", which may hold changes not saved there.\n\nEnd it "
                          "now and lock the database? What was not saved there is lost.")
        .arg(server);
}

void TO_OLE_DOC::CloseQuery()
{
    m_queryOpen = false;
    m_rowFound = false;
}

void TO_OLE_DOC::OpenRecord(const QString& id)
{
    m_objectKey = id;
    CloseQuery();
    m_rowFound = TDocStore(*m_connection).FindDocument(id).has_value();
    m_queryOpen = true;
}

bool TO_OLE_DOC::LoadFromRecord()
{
    if (!m_queryOpen || !m_rowFound)
        return false;
    // An empty cell is no object either.
    {
        const std::unique_ptr<QIODevice> cell = TDocStore(*m_connection).OpenContent(m_objectKey, Column);
        if (!cell || cell->size() == 0)
            return false;
    }
    // The view shows the header only; the object's bytes stay in the cell until it is opened or
    // saved, and are streamed from there.
    OLE_viewer->ReadHeaderFrom(
        [connection = m_connection, id = m_objectKey] { return TDocStore(*connection).OpenContent(id, Column); });
    OLE_viewer->SetModified(false);
    return true;
}

void TO_OLE_DOC::LoadObject(const QString& id)
{
    m_objectKey = id;
    OLE_viewer->ReleaseObject();
    try {
        OpenRecord(id);
        if (LoadFromRecord())
            OLE_viewer->SetModified(false);
    } catch (...) {
        CloseQuery();
        throw;
    }
    CloseQuery();
    m_objectLoaded = true;
}

void TO_OLE_DOC::SaveObject(const QString& id)
{
    if (id.trimmed().isEmpty() || OLE_viewer->ObjectState() == TOleContainer::osEmpty)
        return;
    OpenRecord(id);
    if (!m_rowFound) {
        ShowPlainMessage(NoRecordText(id));
        return;
    }
    TDocStore(*m_connection).WriteContent(id, Column, *OLE_viewer->StoredForm());
    OLE_viewer->SetModified(false);
}

void TO_OLE_DOC::CloseObject()
{
    if (OLE_viewer->ObjectState() == TOleContainer::osOpen) {
        // The server's window may hold unsaved work: it is never closed without asking.
        if (!Ask(EndEditingText(OLE_viewer->ServerName())))
            throw QbError(StillOpenText(OLE_viewer->ServerName()));
        OLE_viewer->EndEditing(); // what it saved so far is kept
    }
    if (OLE_viewer->Modified())
        WriteBack(m_objectKey);
    m_objectLoaded = false;
    OLE_viewer->ReleaseObject();
    CloseQuery();
}

void TO_OLE_DOC::WriteBack(const QString& id)
{
    for (;;) {
        try {
            SaveObject(id);
            return;
        } catch (const QbError& e) {
            // The edit exists only here (and in its kept file) until one of these succeeds.
            if (Ask(WriteBackFailedText(e.Message())))
                continue;
            const QString file = ChooseSaveFile();
            if (!file.isEmpty()) {
                try {
                    OLE_viewer->SaveToFile(file);
                    OLE_viewer->SetModified(false);
                    return;
                } catch (const QbError& saveError) {
                    ShowPlainMessage(saveError.Message());
                    continue;
                }
            }
            if (Ask(DiscardChangeText())) {
                OLE_viewer->SetModified(false);
                return;
            }
        }
    }
}

bool TO_OLE_DOC::EndEditingForLock()
{
    if (OLE_viewer->ObjectState() != TOleContainer::osOpen)
        return true;
    const QString server = OLE_viewer->ServerName();
    if (!OLE_viewer->AskServerToEnd()) {
        if (OLE_viewer->Modified())
            SaveChangeQuietly(); // what it saved so far is stored whatever the answer
        if (!Ask(LockEndText(server)))
            return false;
        OLE_viewer->EndEditing();
    }
    if (OLE_viewer->Modified())
        WriteBack(m_objectKey);
    return true;
}

void TO_OLE_DOC::DoneEditing()
{
    OLE_viewer->EndEditing();
}

void TO_OLE_DOC::ShowHandedOver()
{
    const QString text = HandedOverText(OLE_viewer->ServerName());
    // Not modal: the user edits in the other program meanwhile, and the main window stays usable.
    // Under the test seam there is no box: the test says when the user is done.
    QDialog* box = Dialogs::PlainNotice(window(), text);
    if (!box)
        return;
    box->setObjectName(QStringLiteral("DoneEditing"));
    connect(box, &QDialog::finished, this, &TO_OLE_DOC::DoneEditing);
    m_handedOverBox = box;
}

void TO_OLE_DOC::ShowObject()
{
    OLE_viewer->RunVerb(-1);
}

void TO_OLE_DOC::EditObject(const QString& id)
{
    ShowObject();
    OLE_viewer->WaitWhileOpen();
    if (!OLE_viewer->ServerError().isEmpty())
        throw QbError(OLE_viewer->ServerError());
    // A failed write is the database's, not the server's: WriteBack says why and keeps the edit.
    if (OLE_viewer->Modified())
        WriteBack(id);
}

// A save made in the server while the object is still open reaches the record at once; the
// write after the server is done reports any failure.
void TO_OLE_DOC::SaveChangeQuietly()
{
    if (m_objectKey.trimmed().isEmpty())
        return;
    try {
        if (TDocStore(*m_connection).FindDocument(m_objectKey))
            SaveObject(m_objectKey);
    } catch (const QbError&) {
    }
}

bool TO_OLE_DOC::Ask(const QString& question)
{
    if (Dialogs::MessageInstalled()) // the program's own dialogs, installed together
        return Dialogs::Confirm(question);
    return Dialogs::PlainQuestion(window(), QStringLiteral("Quietbox"), question);
}

QString TO_OLE_DOC::ChooseSaveFile()
{
    const QString suffix = OLE_viewer->ObjectSuffix();
    QFileDialog dialog(window(), SaveAsCaption(),
                       QDir::homePath() + QStringLiteral("/object")
                           + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    return Dialogs::ChooseFile(dialog);
}

void TO_OLE_DOC::ShowPlainMessage(const QString& text)
{
    Dialogs::PlainMessage(window(), Dialogs::Plain::Warning, text);
}
