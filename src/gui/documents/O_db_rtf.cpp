// The rich-text editor frame bound to one document row, with its ruler.
#include "gui/documents/O_db_rtf.h"

#include "core/common/QbError.h"
#include "core/database/DocStore.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/widgets/ClipboardGuard.h"
#include "gui/widgets/Teardown.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScopedValueRollback>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextList>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

using RulerMath::Indents;

void ShowPlainMessage(QWidget* parent, const QString& text)
{
    Dialogs::PlainMessage(parent, Dialogs::Plain::Information, text);
}

namespace {

constexpr int RulerHeight = 24;
constexpr int MarkerHeight = 8;
constexpr qreal TickSpacing = 48; // a tick every half inch at 96 dpi

// A theme icon when the desktop has one, else a small drawing.
QIcon Glyph(const char* themeName, const std::function<void(QPainter&)>& draw)
{
    const QString name = QString::fromLatin1(themeName);
    if (QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QApplication::palette().color(QPalette::WindowText));
    painter.setBrush(QApplication::palette().color(QPalette::WindowText));
    draw(painter);
    return QIcon(pixmap);
}

QIcon LetterGlyph(const char* themeName, char letter, const std::function<void(QFont&)>& style)
{
    return Glyph(themeName, [&](QPainter& p) {
        QFont font = p.font();
        font.setPixelSize(13);
        style(font);
        p.setFont(font);
        p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString(QLatin1Char(letter)));
    });
}

// Four lines of text set to one side (0 left, 1 centre, 2 right).
QIcon AlignGlyph(const char* themeName, int side)
{
    return Glyph(themeName, [side](QPainter& p) {
        const int widths[] = {14, 9, 14, 9};
        for (int i = 0; i < 4; ++i) {
            const int w = widths[i];
            const int x = side == 0 ? 1 : side == 1 ? (16 - w) / 2 : 15 - w;
            p.fillRect(x, 2 + 4 * i, w, 2, p.pen().color());
        }
    });
}

QIcon BulletGlyph()
{
    return Glyph("format-list-unordered", [](QPainter& p) {
        for (int i = 0; i < 3; ++i) {
            p.drawEllipse(QRectF(1, 2 + 5 * i, 3, 3));
            p.fillRect(6, 3 + 5 * i, 9, 2, p.pen().color());
        }
    });
}

// "Font Name|Select font name": the part before the bar is the tool tip, the rest the status tip.
template <class Control> void SetHint(Control* control, const QString& hint)
{
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    control->setToolTip(bar < 0 ? hint : hint.left(bar));
    control->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Edit control

TRichEdit::TRichEdit(QWidget* parent)
    : QTextEdit(parent)
    , m_document(new TRichTextDocument(this))
{
    setDocument(m_document);
}

void TRichEdit::BreakAnywhere(bool on)
{
    setWordWrapMode(on ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere);
}

namespace {

// With no clipboard owner the offer is null (offscreen) or has no formats (xcb); Qt 6.4 takes
// the first of the formats unchecked and crashes.
bool Offers(const QMimeData* source)
{
    return source && !source->formats().isEmpty();
}

} // namespace

QMimeData* TRichEdit::createMimeDataFromSelection() const
{
    return TClipboardGuard::Mark(QTextEdit::createMimeDataFromSelection());
}

bool TRichEdit::canInsertFromMimeData(const QMimeData* source) const
{
    return Offers(source) && QTextEdit::canInsertFromMimeData(source);
}

void TRichEdit::insertFromMimeData(const QMimeData* source)
{
    if (!Offers(source) || isReadOnly())
        return;
    const qsizetype size = source->hasHtml() ? source->html().size() : source->text().size();
    if (size > RichTextStore::MaxBytes) {
        ShowPlainMessage(this, RichTextStore::TooLargeText(size));
        return;
    }
    const bool html = source->hasHtml() && acceptRichText();
    if (RichTextStore::HasLongWord((html ? source->html() : source->text()).toUtf8()))
        BreakAnywhere(true); // before Qt lays the text out
    if (html && !RichTextStore::WithinBounds(source->html())) {
        if (source->hasText())
            textCursor().insertText(source->text());
        return;
    }
    QTextEdit::insertFromMimeData(source);
}

// ---------------------------------------------------------------------------------------------
// Ruler

TRulerMarker::TRulerMarker(Shape shape, const QString& name, QWidget* ruler)
    : QWidget(ruler)
    , m_shape(shape)
{
    setObjectName(name);
    setFixedSize(RulerMath::MarkerWidth, MarkerHeight);
    setCursor(Qt::SizeHorCursor);
}

void TRulerMarker::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = width();
    const qreal h = height();
    QPainterPath path;
    if (m_shape == Shape::PointingDown) {
        path.moveTo(0, 0);
        path.lineTo(w, 0);
        path.lineTo(w / 2, h);
    } else {
        path.moveTo(w / 2, 0);
        path.lineTo(w, h);
        path.lineTo(0, h);
    }
    path.closeSubpath();
    p.fillPath(path, palette().color(QPalette::WindowText));
}

void TRulerMarker::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Q_EMIT MouseDown(int(event->position().x()));
}

void TRulerMarker::mouseMoveEvent(QMouseEvent* event)
{
    Q_EMIT MouseMove(int(event->position().x()));
}

void TRulerMarker::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Q_EMIT MouseUp();
}

TRuler::TRuler(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Ruler"));
    setFixedHeight(RulerHeight);
}

void TRuler::SetCaption(const QString& caption)
{
    m_caption = caption;
    update();
}

void TRuler::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::Mid));
    QTextOption option(Qt::AlignLeft | Qt::AlignVCenter);
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabStopDistance(TickSpacing);
    p.drawText(QRectF(RulerMath::Gutter - 1, 0, width(), height()), m_caption, option);
}

void TRuler::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Q_EMIT Resized();
}

// ---------------------------------------------------------------------------------------------
// Frame

TOdb_rtf::TOdb_rtf(TDatabaseConnection& connection, QWidget* parent)
    : QWidget(parent)
    , m_connection(connection)
{
    setObjectName(QStringLiteral("Odb_rtf1"));
    RichEdit1 = new TRichEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    BuildToolBar();
    BuildRuler();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(StandardToolBar);
    layout->addWidget(Ruler);
    layout->addWidget(RichEdit1, 1);

    connect(RichEdit1, &QTextEdit::textChanged, this, &TOdb_rtf::RichEdit1Change);
    connect(RichEdit1, &QTextEdit::cursorPositionChanged, this, &TOdb_rtf::SelectionChange);
    connect(RichEdit1, &QTextEdit::selectionChanged, this, &TOdb_rtf::SelectionChange);
    connect(RichEdit1, &QTextEdit::currentCharFormatChanged, this, &TOdb_rtf::SelectionChange);
    SetupRuler();
}

TOdb_rtf::~TOdb_rtf()
{
    DisconnectChildren(this);
    try {
        CloseDocument();
    } catch (const QbError&) {
    }
}

QAction* TOdb_rtf::AddButton(const QString& name, const QString& caption, const QString& hint, const QIcon& icon,
                             bool toggle)
{
    auto* action = new QAction(icon, caption, this);
    action->setObjectName(name);
    action->setCheckable(toggle);
    SetHint(action, hint);
    StandardToolBar->addAction(action);
    StandardToolBar->widgetForAction(action)->setObjectName(name);
    return action;
}

void TOdb_rtf::BuildToolBar()
{
    StandardToolBar = new QToolBar(this);
    StandardToolBar->setObjectName(QStringLiteral("StandardToolBar"));
    StandardToolBar->setIconSize(QSize(16, 16));
    StandardToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);

    TB_exit = AddButton(QStringLiteral("TB_exit"), QStringLiteral("Return"), QStringLiteral("Return"),
                        QIcon::fromTheme(QStringLiteral("go-previous"), style()->standardIcon(QStyle::SP_ArrowBack)),
                        false);
    connect(TB_exit, &QAction::triggered, this, [this] { Q_EMIT ExitClicked(); });
    StandardToolBar->addSeparator();

    // Without a theme icon a tool button shows its caption.
    const auto edit = [this](const char* name, const char* caption, const char* hint, const char* theme,
                             QKeySequence::StandardKey key, void (QTextEdit::*command)()) {
        QAction* action = AddButton(QString::fromLatin1(name), QString::fromLatin1(caption), QString::fromLatin1(hint),
                                    QIcon::fromTheme(QString::fromLatin1(theme)), false);
        action->setShortcut(key);
        connect(action, &QAction::triggered, RichEdit1, command);
        return action;
    };
    EditCut = edit("EditCut", "Cu&t", "Delete selected item", "edit-cut", QKeySequence::Cut, &QTextEdit::cut);
    EditCopy = edit("EditCopy", "&Copy", "Copy selected item to clipboard", "edit-copy", QKeySequence::Copy,
                    &QTextEdit::copy);
    EditPaste = edit("EditPaste", "&Paste", "Paste contents of clipboard", "edit-paste", QKeySequence::Paste,
                     &QTextEdit::paste);
    EditUndo = edit("EditUndo", "&Undo", "Undo the last action", "edit-undo", QKeySequence::Undo, &QTextEdit::undo);
    StandardToolBar->addSeparator();

    FontName = new QComboBox(StandardToolBar);
    FontName->setObjectName(QStringLiteral("FontName"));
    FontName->setEditable(true);
    FontName->setInsertPolicy(QComboBox::NoInsert);
    FontName->setMaxVisibleItems(10);
    FontName->setMinimumContentsLength(12);
    FontName->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    SetHint(FontName, QStringLiteral("Font Name|Select font name"));
    connect(FontName, &QComboBox::textActivated, this, &TOdb_rtf::FontNameChange);
    StandardToolBar->addWidget(FontName);
    StandardToolBar->addSeparator();

    FontSize = new QSpinBox(StandardToolBar);
    FontSize->setObjectName(QStringLiteral("FontSize"));
    FontSize->setRange(0, 100);
    SetHint(FontSize, QStringLiteral("Font Size|Select font size"));
    connect(FontSize, &QSpinBox::valueChanged, this, &TOdb_rtf::FontSizeChange);
    StandardToolBar->addWidget(FontSize);
    StandardToolBar->addSeparator();

    const auto bold = [](QFont& f) { f.setBold(true); };
    const auto italic = [](QFont& f) { f.setItalic(true); };
    const auto underline = [](QFont& f) { f.setUnderline(true); };
    BoldButton = AddButton(QStringLiteral("BoldButton"), QStringLiteral("Bold"), QStringLiteral("Bold"),
                           LetterGlyph("format-text-bold", 'B', bold), true);
    ItalicButton = AddButton(QStringLiteral("ItalicButton"), QStringLiteral("Italic"), QStringLiteral("Italic"),
                             LetterGlyph("format-text-italic", 'I', italic), true);
    UnderlineButton
        = AddButton(QStringLiteral("UnderlineButton"), QStringLiteral("Underline"), QStringLiteral("Underline"),
                    LetterGlyph("format-text-underline", 'U', underline), true);
    // The keys desktop editors use; they act only while the tool bar shows, so never in the viewer.
    BoldButton->setShortcut(QKeySequence::Bold);
    ItalicButton->setShortcut(QKeySequence::Italic);
    UnderlineButton->setShortcut(QKeySequence::Underline);
    connect(BoldButton, &QAction::triggered, this, &TOdb_rtf::BoldButtonClick);
    connect(ItalicButton, &QAction::triggered, this, &TOdb_rtf::ItalicButtonClick);
    connect(UnderlineButton, &QAction::triggered, this, &TOdb_rtf::UnderlineButtonClick);
    StandardToolBar->addSeparator();

    // The tag of an alignment button: 0 left, 1 right, 2 centre.
    auto* alignment = new QActionGroup(this);
    LeftAlign = AddButton(QStringLiteral("LeftAlign"), QStringLiteral("Align Left"), QStringLiteral("Align Left"),
                          AlignGlyph("format-justify-left", 0), true);
    CenterAlign = AddButton(QStringLiteral("CenterAlign"), QStringLiteral("Center"), QStringLiteral("Center"),
                            AlignGlyph("format-justify-center", 1), true);
    RightAlign = AddButton(QStringLiteral("RightAlign"), QStringLiteral("Align Right"), QStringLiteral("Align Right"),
                           AlignGlyph("format-justify-right", 2), true);
    LeftAlign->setData(0);
    RightAlign->setData(1);
    CenterAlign->setData(2);
    for (QAction* button : {LeftAlign, CenterAlign, RightAlign}) {
        alignment->addAction(button);
        connect(button, &QAction::triggered, this, [this, button] { AlignButtonClick(button); });
    }
    LeftAlign->setChecked(true);
    StandardToolBar->addSeparator();

    BulletsButton = AddButton(QStringLiteral("BulletsButton"), QStringLiteral("Bullets"),
                              QStringLiteral("Bullets|Enter bullet mode"), BulletGlyph(), true);
    connect(BulletsButton, &QAction::triggered, this, &TOdb_rtf::BulletsButtonClick);
}

void TOdb_rtf::BuildRuler()
{
    Ruler = new TRuler(this);
    FirstInd = new TRulerMarker(TRulerMarker::Shape::PointingDown, QStringLiteral("FirstInd"), Ruler);
    LeftInd = new TRulerMarker(TRulerMarker::Shape::PointingUp, QStringLiteral("LeftInd"), Ruler);
    RightInd = new TRulerMarker(TRulerMarker::Shape::PointingUp, QStringLiteral("RightInd"), Ruler);
    FirstInd->move(0, 0);
    LeftInd->move(0, RulerHeight - MarkerHeight);
    RightInd->move(0, RulerHeight - MarkerHeight);
    for (TRulerMarker* marker : {FirstInd, LeftInd, RightInd}) {
        connect(marker, &TRulerMarker::MouseDown, this, [this, marker](int x) { RulerItemMouseDown(marker, x); });
        connect(marker, &TRulerMarker::MouseMove, this, [this, marker](int x) { RulerItemMouseMove(marker, x); });
    }
    connect(RightInd, &TRulerMarker::MouseUp, this, &TOdb_rtf::RightIndMouseUp);
    connect(LeftInd, &TRulerMarker::MouseUp, this, &TOdb_rtf::LeftIndMouseUp);
    connect(FirstInd, &TRulerMarker::MouseUp, this, &TOdb_rtf::FirstIndMouseUp);
    // The right marker keeps its distance from the right edge.
    connect(Ruler, &TRuler::Resized, this, &TOdb_rtf::PlaceMarkers);
}

// ---------------------------------------------------------------------------------------------
// Names and mode

bool TOdb_rtf::Refused(const QString& what)
{
    if (!m_documentOpen)
        return false;
    ShowPlainMessage(this, QStringLiteral("can`t change %1 while document is open").arg(what));
    return true;
}

void TOdb_rtf::SetTableName(const QString& name)
{
    if (!Refused(QStringLiteral("table name")))
        m_tableName = name;
}

void TOdb_rtf::SetKeyFieldName(const QString& name)
{
    if (!Refused(QStringLiteral("key field name")))
        m_keyFieldName = name;
}

void TOdb_rtf::SetBlobFieldName(const QString& name)
{
    if (!Refused(QStringLiteral("blob field name")))
        m_blobFieldName = name;
}

void TOdb_rtf::SetViewOnly(bool flag)
{
    if (Refused(QStringLiteral("edit/view mode")))
        return;
    m_viewOnly = flag;
    Ruler->setVisible(!flag);
    StandardToolBar->setVisible(!flag);
    TB_exit->setVisible(!flag);
    UpdateReadOnly();
}

void TOdb_rtf::UpdateReadOnly()
{
    RichEdit1->setReadOnly(m_viewOnly || !m_documentOpen);
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

void TOdb_rtf::OpenDocument(const QString& key)
{
    CloseDocument();
    // The last row's text stays in the editor after a close; it must not pass for this row's.
    RichEdit1->clear();
    m_textChanged = false;
    if (m_tableName.isEmpty()) {
        ShowPlainMessage(this, QStringLiteral("table name is not assigned"));
        return;
    }
    if (m_keyFieldName.isEmpty()) {
        ShowPlainMessage(this, QStringLiteral("key field name is not assigned"));
        return;
    }
    if (m_blobFieldName.isEmpty()) {
        ShowPlainMessage(this, QStringLiteral("blob field name is not assigned"));
        return;
    }
    if (m_tableName.compare(QStringLiteral("Docs"), Qt::CaseInsensitive) != 0
        || m_keyFieldName.compare(QStringLiteral("Doc_id"), Qt::CaseInsensitive) != 0)
        throw QbError(QStringLiteral("%1.%2 is not the document table's key").arg(m_tableName, m_keyFieldName));

    m_keyValue = key;
    TDocStore store(m_connection);
    // The key is the table's primary key, so a second row for it cannot exist.
    if (!store.FindDocument(key)) {
        ShowPlainMessage(this, QStringLiteral("no responding record found"));
        return;
    }
    const QByteArray bytes = store.ReadContentBytes(key, m_blobFieldName);
    const auto loaded = RichTextStore::Load(RichEdit1->Document(), bytes);
    m_documentOpen = true;
    GetFontNames();
    SetupRuler();
    SelectionChange();
    UpdateReadOnly();
    m_textChanged = false; // loading reports a change
    // Saving would keep the markup as text; the preview says nothing at every move of the list.
    if (loaded == RichTextStore::Loaded::MarkupAsText && !m_viewOnly)
        ShowPlainMessage(this,
                         QStringLiteral("This text nests its tables too deeply to be shown formatted; "
                                        "it is shown as its markup."));
}

QByteArray TOdb_rtf::RichText() const
{
    return RichTextStore::Save(*RichEdit1->document());
}

void TOdb_rtf::CloseDocument()
{
    if (m_documentOpen && m_textChanged) {
        const QByteArray bytes = RichText();
        try {
            TDocStore(m_connection).WriteContentBytes(m_keyValue, m_blobFieldName, bytes);
        } catch (const QbError& e) {
            // The engine's reason (a full disk, a read-only folder) tells the user what to mend.
            throw QbError(QStringLiteral("Failed to Save Stream: %1").arg(e.Message()), e.Kind());
        }
    }
    // A closed frame keeps no text of the document, shown or not.
    if (m_documentOpen)
        RichEdit1->clear();
    m_documentOpen = false;
    m_textChanged = false;
    UpdateReadOnly();
}

void TOdb_rtf::SetPlainText(const QString& text)
{
    RichEdit1->setPlainText(RichTextStore::WithoutFinalLineEnd(text));
}

void TOdb_rtf::RichEdit1Change()
{
    m_textChanged = true;
}

// ---------------------------------------------------------------------------------------------
// Tool bar and ruler in line with the selection

void TOdb_rtf::GetFontNames()
{
    const QStringList names = RichTextStore::FontNames();
    if (names.size() == FontName->count()) {
        bool same = true;
        for (int i = 0; same && i < names.size(); ++i)
            same = FontName->itemText(i) == names[i];
        if (same)
            return; // refilling a long list on every open would slow the preview
    }
    const QScopedValueRollback updating(m_updating, true);
    const QString shown = FontName->currentText();
    FontName->clear();
    FontName->addItems(names);
    FontName->setEditText(shown);
}

void TOdb_rtf::SetupRuler()
{
    Ruler->SetCaption(QStringLiteral("\t|").repeated(100));
}

void TOdb_rtf::PlaceMarkers()
{
    const Indents indents = CurrentIndents();
    FirstInd->move(RulerMath::FirstMarkerLeft(indents), FirstInd->y());
    LeftInd->move(RulerMath::LeftMarkerLeft(indents), LeftInd->y());
    RightInd->move(RulerMath::RightMarkerLeft(indents, Ruler->width()), RightInd->y());
}

Indents TOdb_rtf::CurrentIndents() const
{
    return RulerMath::IndentsOf(RichEdit1->textCursor().blockFormat());
}

void TOdb_rtf::SelectionChange()
{
    if (m_dragging)
        return;
    const QScopedValueRollback updating(m_updating, true);
    PlaceMarkers();
    const QTextCharFormat format = RichEdit1->currentCharFormat();
    const QFont font = format.font();
    BoldButton->setChecked(font.bold());
    ItalicButton->setChecked(font.italic());
    UnderlineButton->setChecked(font.underline());
    BulletsButton->setChecked(RichEdit1->textCursor().currentList() != nullptr);
    FontSize->setValue(font.pointSizeF() > 0 ? qRound(font.pointSizeF()) : 0);
    FontName->setEditText(font.family());
    const Qt::Alignment alignment = RichEdit1->alignment() & Qt::AlignHorizontal_Mask;
    if (alignment & Qt::AlignHCenter)
        CenterAlign->setChecked(true);
    else if (alignment & Qt::AlignRight)
        RightAlign->setChecked(true);
    else
        LeftAlign->setChecked(true);
}

// ---------------------------------------------------------------------------------------------
// Formatting commands

bool TOdb_rtf::Inert()
{
    if (m_updating)
        return true;
    if (!RichEdit1->isReadOnly())
        return false;
    SelectionChange(); // a click on a read-only text leaves the buttons as they were
    return true;
}

void TOdb_rtf::ApplyCharFormat(const std::function<void(QTextCharFormat&)>& change)
{
    if (Inert())
        return;
    // With nothing selected this sets the attributes of what is typed next.
    QTextCharFormat format;
    change(format);
    RichEdit1->mergeCurrentCharFormat(format);
}

void TOdb_rtf::FontNameChange(const QString& name)
{
    ApplyCharFormat([&name](QTextCharFormat& f) { f.setFontFamilies({name}); });
}

void TOdb_rtf::FontSizeChange(int size)
{
    if (size <= 0)
        return; // no font is zero points high
    ApplyCharFormat([size](QTextCharFormat& f) { f.setFontPointSize(size); });
}

void TOdb_rtf::BoldButtonClick()
{
    const bool on = BoldButton->isChecked();
    ApplyCharFormat([on](QTextCharFormat& f) { f.setFontWeight(on ? QFont::Bold : QFont::Normal); });
}

void TOdb_rtf::ItalicButtonClick()
{
    const bool on = ItalicButton->isChecked();
    ApplyCharFormat([on](QTextCharFormat& f) { f.setFontItalic(on); });
}

void TOdb_rtf::UnderlineButtonClick()
{
    const bool on = UnderlineButton->isChecked();
    ApplyCharFormat([on](QTextCharFormat& f) { f.setFontUnderline(on); });
}

void TOdb_rtf::AlignButtonClick(QAction* button)
{
    if (Inert())
        return;
    static constexpr Qt::Alignment ByTag[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter};
    RichEdit1->setAlignment(ByTag[button->data().toInt()]);
}

void TOdb_rtf::BulletsButtonClick()
{
    if (Inert())
        return;
    QTextCursor cursor = RichEdit1->textCursor();
    cursor.beginEditBlock();
    if (BulletsButton->isChecked()) {
        cursor.createList(QTextListFormat::ListDisc);
    } else {
        const QTextDocument* document = RichEdit1->document();
        const QTextBlock last = document->findBlock(cursor.selectionEnd());
        for (QTextBlock block = document->findBlock(cursor.selectionStart()); block.isValid(); block = block.next()) {
            if (QTextList* list = block.textList()) {
                list->remove(block);
                QTextBlockFormat format = block.blockFormat();
                format.setIndent(0);
                QTextCursor(block).setBlockFormat(format);
            }
            if (block == last)
                break;
        }
    }
    cursor.endEditBlock();
    SelectionChange();
}

// ---------------------------------------------------------------------------------------------
// Ruler dragging

void TOdb_rtf::RulerItemMouseDown(TRulerMarker* marker, int x)
{
    m_dragOffset = marker->width() / 2;
    marker->move(marker->x() + x - m_dragOffset, marker->y());
    m_dragging = true;
}

void TOdb_rtf::RulerItemMouseMove(TRulerMarker* marker, int x)
{
    if (m_dragging)
        marker->move(marker->x() + x - m_dragOffset, marker->y());
}

void TOdb_rtf::ChangeIndents(const std::function<void(Indents&)>& change)
{
    if (RichEdit1->isReadOnly())
        return;
    const QTextCursor cursor = RichEdit1->textCursor();
    const QTextDocument* document = RichEdit1->document();
    const QTextBlock last = document->findBlock(cursor.selectionEnd());
    QTextCursor editor(RichEdit1->document());
    editor.beginEditBlock();
    for (QTextBlock block = document->findBlock(cursor.selectionStart()); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        Indents indents = RulerMath::IndentsOf(format);
        change(indents);
        RulerMath::SetIndents(format, indents);
        editor.setPosition(block.position());
        editor.setBlockFormat(format);
        if (block == last)
            break;
    }
    editor.endEditBlock();
}

void TOdb_rtf::RightIndMouseUp()
{
    m_dragging = false;
    const int right = RulerMath::RightIndentAt(RightInd->x(), m_dragOffset, Ruler->width());
    ChangeIndents([right](Indents& i) { i.Right = right; });
    SelectionChange();
}

void TOdb_rtf::LeftIndMouseUp()
{
    m_dragging = false;
    ApplyLeftMarker(LeftInd->x());
    SelectionChange();
}

void TOdb_rtf::ApplyLeftMarker(int markerLeft)
{
    // Relative to the current paragraph's first-line indent, as the edit control keeps it.
    const int left = RulerMath::LeftIndentAt(markerLeft, m_dragOffset, CurrentIndents().First);
    ChangeIndents([left](Indents& i) { i.Left = left; });
}

void TOdb_rtf::FirstIndMouseUp()
{
    m_dragging = false;
    // Changing the paragraph moves the markers; the left marker counts where it stood.
    const int leftMarker = LeftInd->x();
    const int first = RulerMath::FirstIndentAt(FirstInd->x(), m_dragOffset);
    ChangeIndents([first](Indents& i) { i.First = first; });
    ApplyLeftMarker(leftMarker);
    SelectionChange();
}
