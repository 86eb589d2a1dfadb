// The picture frame and the pane that draws its picture.
#include "gui/documents/O_db_image.h"

#include "core/common/QbError.h"
#include "core/database/DocStore.h"
#include "core/documents/ImageStore.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/documents/scale_image.h"
#include "gui/widgets/ClipboardGuard.h"
#include "gui/widgets/Teardown.h"
#include "gui/widgets/ThemeIcon.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QImageReader>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

TImagePane::TImagePane(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Image1"));
}

void TImagePane::SetPicture(const QImage& picture)
{
    m_picture = picture;
    if (m_autoSize)
        resize(m_picture.size());
    update();
}

void TImagePane::SetAutoSize(bool on)
{
    m_autoSize = on;
    if (m_autoSize)
        resize(m_picture.size());
}

void TImagePane::SetStretch(bool on)
{
    m_stretch = on;
    update();
}

void TImagePane::paintEvent(QPaintEvent* event)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    if (m_stretch) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), m_picture);
    } else {
        // Only the exposed part: a large picture scrolls without redrawing all of it.
        const QRect exposed = event->rect() & m_picture.rect();
        painter.drawImage(exposed.topLeft(), m_picture, exposed);
    }
}

namespace {

QString OpenFilter()
{
    QStringList patterns;
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    for (const QByteArray& format : formats)
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    return QStringLiteral("Pictures (%1);;Bitmaps (*.bmp);;All files (*)").arg(patterns.join(QLatin1Char(' ')));
}

} // namespace

TO_db_image::TO_db_image(TDatabaseConnection& connection, QWidget* parent)
    : QWidget(parent)
    , m_connection(connection)
{
    setObjectName(QStringLiteral("O_db_image1"));

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setIconSize(QSize(20, 20));
    auto add = [this](QAction*& a, const char* name, const char* hint, const char* theme, QStyle::StandardPixmap sp) {
        a = AddNamedAction(ToolBar1, name, hint, theme, sp);
    };
    ToolBar1->addSeparator();
    add(TB_exit, "TB_exit", "Return", "go-previous", QStyle::SP_ArrowBack);
    ToolBar1->addSeparator();
    add(TB_load, "TB_load", "Load bitmap", "document-open", QStyle::SP_DialogOpenButton);
    add(TB_save_as, "TB_save_as", "Save bitmap as", "document-save-as", QStyle::SP_DialogSaveButton);
    add(TB_reload, "TB_reload", "REload image from database", "view-refresh", QStyle::SP_BrowserReload);
    ToolBar1->addSeparator();
    add(TB_copy, "TB_copy", "Copy to clipboard", "edit-copy", QStyle::SP_FileLinkIcon);
    add(TB_paste, "TB_paste", "Paste from clipboard", "edit-paste", QStyle::SP_FileIcon);
    ToolBar1->addSeparator();
    add(TB_scale, "TB_scale", "Scale view", "zoom-in", QStyle::SP_FileDialogContentsView);

    connect(TB_exit, &QAction::triggered, this, &TO_db_image::ExitRequested);
    connect(TB_load, &QAction::triggered, this, &TO_db_image::TB_loadClick);
    connect(TB_save_as, &QAction::triggered, this, &TO_db_image::TB_save_asClick);
    connect(TB_reload, &QAction::triggered, this, &TO_db_image::TB_reloadClick);
    connect(TB_copy, &QAction::triggered, this, &TO_db_image::TB_copyClick);
    connect(TB_paste, &QAction::triggered, this, &TO_db_image::TB_pasteClick);
    connect(TB_scale, &QAction::triggered, this, &TO_db_image::TB_scaleClick);

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setBackgroundRole(QPalette::Dark); // the desktop's work-space colour
    ScrollBox1->setWidgetResizable(false);
    Image1 = new TImagePane;
    ScrollBox1->setWidget(Image1);
    Image1->SetPicture(ImageStore::PlaceholderImage(ImageStore::PlaceholderClosed));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar1);
    layout->addWidget(ScrollBox1, 1);
}

TO_db_image::~TO_db_image()
{
    DisconnectChildren(this);
}

void TO_db_image::SetDialogs(TD_scale_image* scale)
{
    m_scale = scale;
}

void TO_db_image::SetToolBarVisible(bool visible)
{
    ToolBar1->setVisible(visible);
}

void TO_db_image::SetPasteTip(const QString& tip)
{
    TB_paste->setToolTip(tip);
    TB_paste->setStatusTip(tip);
}

void TO_db_image::ResetView()
{
    Image1->SetStretch(false);
    Image1->SetAutoSize(true);
}

void TO_db_image::OpenImage(const QString& key)
{
    ResetView();
    // The previous picture goes first, so that a large one is not held beside the next.
    Image1->SetPicture(QImage());
    m_open = true;
    m_rowFound = false;
    ImageKey = key;
    m_pictureChanged = false;
    try {
        if (!TDocStore(m_connection).FindDocument(ImageKey)) {
            Image1->SetPicture(ImageStore::PlaceholderImage(ImageStore::PlaceholderClosed));
            ShowPlain(QStringLiteral("no responding record found"));
            return;
        }
        m_rowFound = true;
        Image1->SetPicture(ImageStore::ReadPicture(m_connection, ImageKey));
    } catch (const QbError& e) {
        // The stored bytes stay as they are: nothing is written back unless a new picture is given.
        ShowPlain(e.Message());
    }
}

void TO_db_image::CloseImage()
{
    if (m_open && m_rowFound && m_pictureChanged)
        ImageStore::WritePicture(m_connection, ImageKey, Image1->Picture());
    m_open = false;
    m_rowFound = false;
    ResetView();
    Image1->SetPicture(ImageStore::PlaceholderImage(ImageStore::PlaceholderClosed));
}

QString TO_db_image::WriteBackFailedText(const QString& error)
{
    return QStringLiteral("The changed picture could not be written to the database:\n\"%1\".\n\nTry again?")
        .arg(error);
}

QString TO_db_image::DiscardChangeText()
{
    return QStringLiteral("Discard the changed picture?");
}

bool TO_db_image::CloseImageOrKeep()
{
    for (;;) {
        try {
            CloseImage();
            return true;
        } catch (const QbError& e) {
            if (Ask(WriteBackFailedText(e.Message())))
                continue;
            const QString file = ChooseFile(true);
            if (!file.isEmpty()) {
                try {
                    ImageStore::WriteImageFile(Image1->Picture(), file);
                } catch (const QbError& saveError) {
                    ShowPlain(saveError.Message());
                    continue;
                }
            } else if (!Ask(DiscardChangeText())) {
                return false; // the window stays open with the picture
            }
            m_pictureChanged = false; // saved elsewhere, or let go by the user
            CloseImage();
            return true;
        }
    }
}

void TO_db_image::SetPicture(const QImage& bitmap)
{
    // A new picture is shown at its own size, not stretched over the last one's scaled view.
    ResetView();
    Image1->SetPicture(bitmap);
    m_pictureChanged = true;
}

void TO_db_image::SetEmptyPicture()
{
    SetPicture(ImageStore::PlaceholderImage(ImageStore::PlaceholderNew));
}

void TO_db_image::TB_loadClick()
{
    const QString file = ChooseFile(false);
    if (file.isEmpty())
        return;
    try {
        SetPicture(ImageStore::ReadImageFile(file));
    } catch (const QbError& e) {
        ShowPlain(e.Message());
    }
}

void TO_db_image::TB_save_asClick()
{
    const QString file = ChooseFile(true);
    if (file.isEmpty())
        return;
    try {
        ImageStore::WriteImageFile(Image1->Picture(), file);
    } catch (const QbError& e) {
        ShowPlain(e.Message());
    }
}

void TO_db_image::TB_reloadClick()
{
    if (!Ask(QStringLiteral("Reload the picture from the database?")))
        return;
    m_pictureChanged = false;
    try {
        CloseImage();
    } catch (const QbError& e) {
        ShowPlain(e.Message()); // cannot happen without a change; kept for a failing connection
        return;
    }
    OpenImage(ImageKey);
}

void TO_db_image::TB_copyClick()
{
    if (Image1->Picture().isNull()) {
        ShowPlain(QStringLiteral("There is no picture to copy."));
        return;
    }
    auto* data = new QMimeData;
    data->setImageData(Image1->Picture());
    TClipboardGuard::Put(data);
    ShowMessage(QStringLiteral("Image has been copied to the clipboard."));
}

void TO_db_image::TB_pasteClick()
{
    const QMimeData* data = QApplication::clipboard()->mimeData();
    const QImage picture = data ? ImageStore::ImageFromMimeData(*data) : QImage();
    if (picture.isNull()) {
        ShowMessage(QStringLiteral("Sorry, can't paste clipboard content as a picture."));
        return;
    }
    SetPicture(picture);
}

void TO_db_image::TB_scaleClick()
{
    if (!m_scale) {
        m_ownScale = std::make_unique<TD_scale_image>();
        m_scale = m_ownScale.get();
    }
    m_scale->ScaleView(Image1);
}

QString TO_db_image::ChooseFile(bool save)
{
    const QString caption = save ? QStringLiteral("Save bitmap as") : QStringLiteral("Load bitmap");
    QFileDialog dialog(window(), caption);
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters({QStringLiteral("Bitmaps (*.bmp)"), QStringLiteral("All files (*)")});
        dialog.setDefaultSuffix(QStringLiteral("bmp"));
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(OpenFilter());
    }
    return Dialogs::ChooseFile(dialog);
}

void TO_db_image::ShowPlain(const QString& text)
{
    Dialogs::PlainMessage(window(), Dialogs::Plain::Warning, text);
}

void TO_db_image::ShowMessage(const QString& text)
{
    Dialogs::ShowMessage(text);
}

bool TO_db_image::Ask(const QString& text)
{
    return Dialogs::Confirm(text);
}
