// The content viewer of the main window (unit _doc_content).
#include "gui/documents/doc_content.h"

#include "core/common/QbError.h"
#include "core/documents/OleContainer.h"
#include "gui/documents/OLE_DOC.h"
#include "gui/documents/O_db_image.h"
#include "gui/documents/O_db_rtf.h"
#include "gui/documents/db_image.h"
#include "gui/documents/db_rtf.h"
#include "gui/documents/dic.h"

#include <QGridLayout>
#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <exception>
#include <functional>

namespace {

const QString kText = QStringLiteral("TXT");
const QString kPicture = QStringLiteral("IMG");

QWidget* Page(const char* name, QStackedWidget* pages)
{
    auto* page = new QWidget(pages);
    page->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    pages->addWidget(page);
    return page;
}

} // namespace

TO_doc_content::TO_doc_content(TDatabaseConnection& connection, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("O_doc_content1"));
    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet_rtf = Page("TabSheet_rtf", PageControl1);
    TabSheet_picture = Page("TabSheet_picture", PageControl1);
    TabSheet_ole = Page("TabSheet_ole", PageControl1);
    TabSheet_file = Page("TabSheet_file", PageControl1);
    TabSheet_url = Page("TabSheet_url", PageControl1);
    TabSheet_undef = Page("TabSheet_undef", PageControl1);
    Label_undef = new QLabel(QStringLiteral("Unknown document type"), TabSheet_undef);
    Label_undef->setObjectName(QStringLiteral("Label_undef"));
    Label_undef->setAlignment(Qt::AlignCenter);
    TabSheet_undef->layout()->addWidget(Label_undef);

    Odb_rtf1 = new TOdb_rtf(connection, TabSheet_rtf);
    Odb_rtf1->setObjectName(QStringLiteral("Odb_rtf1"));
    TabSheet_rtf->layout()->addWidget(Odb_rtf1);
    O_db_image1 = new TO_db_image(connection, TabSheet_picture);
    O_db_image1->setObjectName(QStringLiteral("O_db_image1"));
    O_db_image1->SetToolBarVisible(false);
    TabSheet_picture->layout()->addWidget(O_db_image1);
    // The empty object page is what shows while no document is: the hint lies over it.
    auto* ole = new QWidget(TabSheet_ole);
    auto* overlay = new QGridLayout(ole);
    overlay->setContentsMargins(0, 0, 0, 0);
    O_OLE_DOC1 = new TO_OLE_DOC(connection, ole);
    O_OLE_DOC1->setObjectName(QStringLiteral("O_OLE_DOC1"));
    overlay->addWidget(O_OLE_DOC1, 0, 0);
    Label_hint = new QLabel(ole);
    Label_hint->setObjectName(QStringLiteral("Label_hint"));
    Label_hint->setAlignment(Qt::AlignCenter);
    Label_hint->setWordWrap(true);
    Label_hint->setContentsMargins(12, 12, 12, 12);
    Label_hint->setForegroundRole(QPalette::PlaceholderText);
    Label_hint->setAttribute(Qt::WA_TransparentForMouseEvents);
    Label_hint->hide();
    overlay->addWidget(Label_hint, 0, 0);
    TabSheet_ole->layout()->addWidget(ole);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageControl1);
}

TO_doc_content::~TO_doc_content() = default;

void TO_doc_content::ResetViewer()
{
    ShowPage(TabSheet_ole);
    Odb_rtf1->SetTableName(QStringLiteral("Docs"));
    Odb_rtf1->SetKeyFieldName(QStringLiteral("Doc_id"));
    Odb_rtf1->SetBlobFieldName(QStringLiteral("Image"));
    Odb_rtf1->SetViewOnly(true);
    m_shownId.clear();
    m_shown = false;
}

void TO_doc_content::SetEditWindows(TF_db_image* picture, TF_db_rtf* text)
{
    m_pictureWindow = picture;
    m_textWindow = text;
}

void TO_doc_content::SetDialogs(TD_scale_image* scale)
{
    O_db_image1->SetDialogs(scale);
}

TOleContainer* TO_doc_content::ObjectContainer() const
{
    return O_OLE_DOC1->Container();
}

bool TO_doc_content::EndEditingForLock()
{
    return O_OLE_DOC1->EndEditingForLock();
}

QWidget* TO_doc_content::CurrentPage() const
{
    return PageControl1->currentWidget();
}

void TO_doc_content::ShowPage(QWidget* page)
{
    PageControl1->setCurrentWidget(page);
}

void TO_doc_content::SetEmptyHint(const QString& text)
{
    Label_hint->setText(text);
    Label_hint->setVisible(!text.isEmpty());
}

void TO_doc_content::ShowObjectPage()
{
    ShowPage(TabSheet_ole);
}

QString TO_doc_content::Caption() const
{
    return m_names ? m_names->CurrentName() : QString();
}

void TO_doc_content::ClearDocument()
{
    m_shown = false;
    m_shownId.clear();
    m_shownType.clear();
    // Every frame gets its chance to write back; the first failure is reported afterwards.
    std::exception_ptr failure;
    const auto close = [&failure](const std::function<void()>& step) {
        try {
            step();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    };
    close([this] { O_OLE_DOC1->CloseObject(); });
    close([this] { O_db_image1->CloseImage(); });
    close([this] { Odb_rtf1->CloseDocument(); });
    if (failure)
        std::rethrow_exception(failure);
}

void TO_doc_content::ShowDocument(const QString& id, const QString& type)
{
    ClearDocument();
    m_shownId = id;
    m_shownType = type;
    if (type == kText) {
        ShowPage(TabSheet_rtf);
        Odb_rtf1->OpenDocument(id);
    } else if (type != kPicture) {
        ShowPage(TabSheet_ole);
        O_OLE_DOC1->LoadObject(id);
    } else {
        ShowPage(TabSheet_picture);
        O_db_image1->OpenImage(id);
    }
    m_shown = true;
    Q_EMIT DocumentShown(id, type);
}

void TO_doc_content::EditDocument()
{
    if (!m_shown)
        return;
    if (m_shownType == kText) {
        if (!m_textWindow)
            return;
        m_textWindow->EditText(m_shownId, Caption());
        // The page shows what was saved in the window.
        Odb_rtf1->CloseDocument();
        Odb_rtf1->OpenDocument(m_shownId);
        return;
    }
    if (m_shownType == kPicture) {
        if (!m_pictureWindow)
            return;
        m_pictureWindow->EditPicture(m_shownId, Caption());
        // The page shows what was saved in the window.
        O_db_image1->CloseImage();
        O_db_image1->OpenImage(m_shownId);
        return;
    }
    try {
        // Waits in a local event loop while the server has the object open.
        O_OLE_DOC1->EditObject(m_shownId);
    } catch (const QbError& e) {
        Q_EMIT EditFailed(TO_OLE_DOC::OleErrorText(e.Message()));
    }
}

void TO_doc_content::SetContent(const QString& id, const QString& type, const TDocContent& content)
{
    ClearDocument();
    if (id.trimmed().isEmpty())
        return;
    m_shownId = id;
    if (type == kText) {
        if (content.IsText()) {
            Odb_rtf1->OpenDocument(id);
            // One paragraph per entry; the last entry ends the text, as a list's text does.
            Odb_rtf1->SetPlainText(content.Lines.join(QLatin1Char('\n')));
            Odb_rtf1->CloseDocument(); // writes the text as rich text
        }
    } else if (type == kPicture) {
        O_db_image1->OpenImage(id); // the column is still empty
        if (content.IsBitmap())
            O_db_image1->SetPicture(content.Picture);
        else if (content.ContentKind == TDocContent::Kind::Nothing)
            O_db_image1->SetEmptyPicture();
        O_db_image1->CloseImage();
    } else if (content.IsClipboard()) {
        PasteObject(id);
    } else {
        O_OLE_DOC1->StartObject(id);
        O_OLE_DOC1->Container()->CreateFromClass(type, false); // an unknown class raises
        O_OLE_DOC1->SaveObject(id);
    }
    m_shown = true;
}

void TO_doc_content::PasteObject(const QString& id)
{
    ClearDocument();
    if (id.trimmed().isEmpty())
        return;
    m_shownId = id;
    O_OLE_DOC1->StartObject(id);
    O_OLE_DOC1->Container()->PasteFromClipboard(); // nothing when the clipboard offers no object
    O_OLE_DOC1->SaveObject(id);
    m_shown = true;
}
