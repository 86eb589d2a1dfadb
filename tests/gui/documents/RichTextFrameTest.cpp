#include "core/common/QbError.h"
#include "core/database/DocStore.h"
#include "core/documents/RichTextStore.h"
#include "gui/documents/O_db_rtf.h"
#include "gui/documents/db_rtf.h"
#include "gui/widgets/ClipboardGuard.h"
#include "support/Child.h"
#include "support/DialogScript.h"
#include "support/ModalDriver.h"
#include "support/TempDatabase.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QSpinBox>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFrame>
#include <QTextList>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

using qbtest::Child;
using RulerMath::Indents;

namespace {

class RichTextFrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DialogScript::Start();
        id = store.CreateDocumentRecord(QStringLiteral("note"), QStringLiteral("TXT"));
    }
    void TearDown() override { DialogScript::Stop(); }

    static void Bind(TOdb_rtf& frame, bool viewOnly)
    {
        frame.SetTableName(QStringLiteral("Docs"));
        frame.SetKeyFieldName(QStringLiteral("Doc_id"));
        frame.SetBlobFieldName(QStringLiteral("Image"));
        frame.SetViewOnly(viewOnly);
    }
    QByteArray Stored() const { return store.ReadContentBytes(id, QStringLiteral("Image")); }
    void Store(const QByteArray& bytes) { store.WriteContentBytes(id, QStringLiteral("Image"), bytes); }
    static TOdb_rtf* Frame(const QWidget* window) { return Child<TOdb_rtf>(window, "Odb_rtf1"); }
    static TRichEdit* Edit(const QWidget* w) { return Child<TRichEdit>(w, "RichEdit1"); }
    static void Click(QWidget* root, const char* name) { Child<QToolButton>(root, name)->click(); }

    qbtest::TempDatabase db;
    TDocStore store{db.Connection};
    QString id;
};

TEST_F(RichTextFrameTest, ViewOnlyHidesTheToolsAndIgnoresTyping)
{
    Store("plain words");
    TOdb_rtf frame(db.Connection);
    Bind(frame, true);
    frame.show();
    frame.OpenDocument(id);
    EXPECT_FALSE(Child<TRuler>(&frame, "Ruler")->isVisible());
    EXPECT_FALSE(Child<QToolBar>(&frame, "StandardToolBar")->isVisible());
    EXPECT_FALSE(Child<QAction>(&frame, "TB_exit")->isVisible());

    Edit(&frame)->setFocus();
    QTest::keyClicks(Edit(&frame), QStringLiteral("typed"));
    QTest::keyClick(Edit(&frame), Qt::Key_Delete);
    EXPECT_EQ(Edit(&frame)->toPlainText(), QStringLiteral("plain words"));
    EXPECT_FALSE(frame.TextChanged());
    frame.CloseDocument();
    EXPECT_EQ(Stored(), QByteArray("plain words")); // not rewritten as HTML

    Bind(frame, false);
    EXPECT_TRUE(Child<TRuler>(&frame, "Ruler")->isVisible());
    EXPECT_TRUE(Child<QToolBar>(&frame, "StandardToolBar")->isVisible());
    EXPECT_TRUE(Child<QAction>(&frame, "TB_exit")->isVisible());
}

TEST_F(RichTextFrameTest, EditedFormattingIsWrittenBackWhenTheWindowCloses)
{
    TF_db_rtf window(db.Connection);
    qbtest::OnModal<TF_db_rtf>([&](TF_db_rtf* w) {
        QTextEdit* edit = Edit(w);
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("Title"));
        QTest::keyClick(edit, Qt::Key_Home, Qt::ShiftModifier);
        Click(w, "BoldButton");
        Click(w, "CenterAlign");
        Child<QSpinBox>(w, "FontSize")->setValue(20);
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClick(edit, Qt::Key_Return);
        Click(w, "LeftAlign");
        Click(w, "BulletsButton");
        Click(w, "BoldButton"); // nothing selected: only what is typed next
        QTest::keyClicks(edit, QStringLiteral("item"));
        Click(w, "TB_exit");
    });
    window.EditText(id, QStringLiteral("note"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("note"));
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(Frame(&window)->DocumentOpen());

    TRichTextDocument loaded;
    RichTextStore::Load(loaded, Stored());
    const QTextBlock title = loaded.begin();
    const QTextBlock item = title.next();
    ASSERT_EQ(title.text(), QStringLiteral("Title"));
    ASSERT_EQ(item.text(), QStringLiteral("item"));
    QTextCursor inTitle(title);
    inTitle.movePosition(QTextCursor::EndOfBlock);
    EXPECT_TRUE(inTitle.charFormat().font().bold());
    EXPECT_EQ(inTitle.charFormat().font().pointSize(), 20);
    EXPECT_EQ(title.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(title.textList(), nullptr);
    QTextCursor inItem(item);
    inItem.movePosition(QTextCursor::EndOfBlock);
    EXPECT_FALSE(inItem.charFormat().font().bold());
    EXPECT_NE(item.textList(), nullptr);
    EXPECT_EQ(item.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
}

// Desktop editors bold, slant and underline with Ctrl+B, Ctrl+I and Ctrl+U; Ctrl+U must not
// delete the line instead, as the text field's own key binding would.
TEST_F(RichTextFrameTest, StyleKeysInTheEditWindow)
{
    TF_db_rtf window(db.Connection);
    QFont styled;
    QString text;
    qbtest::OnModal<TF_db_rtf>([&](TF_db_rtf* w) {
        QTextEdit* edit = Edit(w);
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w));
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("word"));
        QTest::keyClick(edit, Qt::Key_Home, Qt::ShiftModifier);
        for (Qt::Key key : {Qt::Key_B, Qt::Key_I, Qt::Key_U})
            QTest::keyClick(edit, key, Qt::ControlModifier);
        QTextCursor end = edit->textCursor();
        end.movePosition(QTextCursor::End);
        styled = end.charFormat().font();
        text = edit->toPlainText();
        EXPECT_TRUE(Child<QAction>(w, "UnderlineButton")->isChecked());
        w->close();
    });
    window.EditText(id, QStringLiteral("note"));
    EXPECT_EQ(text, QStringLiteral("word"));
    EXPECT_TRUE(styled.bold());
    EXPECT_TRUE(styled.italic());
    EXPECT_TRUE(styled.underline());
}

TEST_F(RichTextFrameTest, ClosingTheWindowWithoutTypingWritesNothing)
{
    Store("plain words");
    TF_db_rtf window(db.Connection);
    qbtest::OnModal<TF_db_rtf>([](TF_db_rtf* w) { w->close(); });
    window.EditText(id, QStringLiteral("note"));
    EXPECT_EQ(Stored(), QByteArray("plain words"));
}

TEST_F(RichTextFrameTest, FailuresAreReportedAndLoseNothing)
{
    TOdb_rtf frame(db.Connection);
    frame.OpenDocument(id);
    frame.SetTableName(QStringLiteral("Docs"));
    frame.OpenDocument(id);
    frame.SetKeyFieldName(QStringLiteral("Doc_id"));
    frame.OpenDocument(id);
    EXPECT_EQ(
        DialogScript::Shown(),
        (QStringList{QStringLiteral("table name is not assigned"), QStringLiteral("key field name is not assigned"),
                     QStringLiteral("blob field name is not assigned")}));
    EXPECT_FALSE(frame.DocumentOpen());

    Bind(frame, false);
    frame.OpenDocument(TDocStore::NewIdentifier());
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("no responding record found"));
    EXPECT_FALSE(frame.DocumentOpen());

    Store(QByteArray("BM\0\0\0\0", 6));
    EXPECT_THROW(frame.OpenDocument(id), QbError) << "a picture opened as text";
    EXPECT_FALSE(frame.DocumentOpen());

    Store("text");
    frame.OpenDocument(id);
    ASSERT_TRUE(frame.DocumentOpen());
    DialogScript::Start();
    frame.SetTableName(QStringLiteral("Other"));
    frame.SetKeyFieldName(QStringLiteral("Other"));
    frame.SetBlobFieldName(QStringLiteral("OLEobj"));
    frame.SetViewOnly(true);
    EXPECT_EQ(DialogScript::Shown(),
              (QStringList{QStringLiteral("can`t change table name while document is open"),
                           QStringLiteral("can`t change key field name while document is open"),
                           QStringLiteral("can`t change blob field name while document is open"),
                           QStringLiteral("can`t change edit/view mode while document is open")}));
    EXPECT_EQ(frame.TableName(), QStringLiteral("Docs"));
    EXPECT_FALSE(frame.ViewOnly());

    // The row vanishes under an edit: the write-back fails and the text stays open.
    frame.SetPlainText(QStringLiteral("edited"));
    store.DeleteDocument(id);
    try {
        frame.CloseDocument();
        ADD_FAILURE() << "a lost write reported as success";
    } catch (const QbError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Failed to Save Stream: "))) << e.what();
        EXPECT_GT(e.Message().size(), QStringLiteral("Failed to Save Stream: ").size()) << "no reason given";
    }
    EXPECT_TRUE(frame.DocumentOpen());
    EXPECT_EQ(Edit(&frame)->toPlainText(), QStringLiteral("edited"));
    store.InsertDocument({id, QStringLiteral("TXT"), QStringLiteral("note"), {}, {}});
    frame.CloseDocument();
    TRichTextDocument loaded;
    RichTextStore::Load(loaded, Stored());
    EXPECT_EQ(loaded.toPlainText(), QStringLiteral("edited"));
}

// The edit window's write-back fails (the row is gone): the text is saved to a file, let go, or
// kept in the open window; nothing else closes it.
TEST_F(RichTextFrameTest, AFailedWriteBackInTheWindowKeepsTheTextUntilTheUserDecides)
{
    struct Case
    {
        QList<bool> answers; // retry?, then discard? when no file is chosen
        bool toFile;
        bool closes;
    };
    const Case cases[] = {{{false}, true, true}, {{false, true}, false, true}, {{false, false}, false, false}};
    const QString file = QDir(qEnvironmentVariable("QB_SANDBOX")).filePath(QStringLiteral("kept.html"));
    for (const Case& c : cases) {
        QFile::remove(file);
        DialogScript::Start();
        bool closed = false;
        QString text;
        TF_db_rtf window(db.Connection);
        qbtest::OnModal<TF_db_rtf>([&](TF_db_rtf* w) {
            Frame(w)->SetPlainText(QStringLiteral("edited"));
            store.DeleteDocument(id);
            DialogScript::QueueAnswers(c.answers);
            DialogScript::QueueFileNames({c.toFile ? file : QString()});
            w->close();
            closed = !w->isVisible();
            text = Edit(w)->toPlainText();
            EXPECT_EQ(DialogScript::PendingAnswers(), 0);
            if (!closed) {
                Frame(w)->ForgetChanges();
                w->close();
            }
        });
        window.EditText(id, QStringLiteral("note"));
        EXPECT_EQ(closed, c.closes);
        EXPECT_TRUE(DialogScript::Shown().filter(QStringLiteral("Failed to Save Stream: ")).size() == 1)
            << qPrintable(DialogScript::Shown().join(QLatin1Char('|')));
        EXPECT_EQ(QFileInfo::exists(file), c.toFile);
        if (c.toFile) {
            QFile saved(file);
            ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
            TRichTextDocument loaded;
            RichTextStore::Load(loaded, saved.readAll());
            EXPECT_EQ(loaded.toPlainText(), QStringLiteral("edited"));
            EXPECT_FALSE(saved.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
        }
        if (!c.closes) {
            EXPECT_EQ(text, QStringLiteral("edited"));
        }
        store.InsertDocument({id, QStringLiteral("TXT"), QStringLiteral("note"), {}, {}});
    }
}

// With no clipboard owner Qt hands the editor no data (offscreen) or an offer without formats
// (xcb); HTML nested past the bounds comes in as its plain text.
TEST_F(RichTextFrameTest, PasteWithoutClipboardDataOrWithHostileHtml)
{
    TOdb_rtf frame(db.Connection);
    Bind(frame, false);
    frame.show();
    frame.OpenDocument(id);
    Edit(&frame)->setFocus();
    QTest::keyClicks(Edit(&frame), QStringLiteral("kept "));

    QGuiApplication::clipboard()->clear();
    ASSERT_EQ(QGuiApplication::clipboard()->mimeData(), nullptr);
    QTest::keyClick(Edit(&frame), Qt::Key_V, Qt::ControlModifier);
    Child<QAction>(&frame, "EditPaste")->trigger();
    QGuiApplication::clipboard()->setMimeData(new QMimeData);
    QTest::keyClick(Edit(&frame), Qt::Key_V, Qt::ControlModifier);
    Child<QAction>(&frame, "EditPaste")->trigger();
    EXPECT_EQ(Edit(&frame)->toPlainText(), QStringLiteral("kept "));

    auto* data = new QMimeData;
    data->setHtml(QStringLiteral("<table><tr><td>").repeated(24) + QStringLiteral("deep"));
    data->setText(QStringLiteral("flat"));
    QGuiApplication::clipboard()->setMimeData(data);
    QTest::keyClick(Edit(&frame), Qt::Key_V, Qt::ControlModifier);
    QGuiApplication::clipboard()->clear();
    EXPECT_EQ(Edit(&frame)->toPlainText(), QStringLiteral("kept flat"));
    EXPECT_TRUE(Edit(&frame)->document()->rootFrame()->childFrames().isEmpty());
}

// What is copied out of a document is marked secret for clipboard managers; it is cleared after
// the set time, at exit while clearing is on, and at lock, but only while the clipboard still
// holds that text (another owner's identical text counts: the data is compared).
TEST_F(RichTextFrameTest, CopiedTextIsMarkedSecretAndClearedOnlyWhileStillOurs)
{
    Store("secret text");
    TOdb_rtf frame(db.Connection);
    Bind(frame, true); // the viewer's preview
    frame.OpenDocument(id);
    QClipboard* clipboard = QGuiApplication::clipboard();
    using Step = std::function<void(TClipboardGuard&)>;
    const auto other = [clipboard](const char* text) {
        return [clipboard, text] { clipboard->setText(QString::fromLatin1(text)); };
    };
    const Step expire = [](TClipboardGuard& g) { g.CheckExpiry(); };
    const Step exit = [](TClipboardGuard& g) { g.ClearAtExit(); };
    const Step lock = [](TClipboardGuard& g) { g.ClearAtLock(); };
    struct Row
    {
        const char* what;
        int seconds;
        qint64 waitMs;
        std::function<void()> meanwhile;
        Step then;
        bool cleared;
    };
    const Row rows[] = {
        {"before the time is up", 30, 29999, {}, expire, false},
        {"once the time is up", 30, 30000, {}, expire, true},
        {"replaced by other text", 30, 30000, other("mine"), expire, false},
        {"the same text from another owner", 30, 30000, other("secret text"), expire, true},
        {"clearing off", 0, 86400000, {}, expire, false},
        {"exit, clearing off", 0, 0, {}, exit, false},
        {"exit, clearing on", 30, 0, {}, exit, true},
        {"lock, clearing off", 0, 0, {}, lock, true},
        {"lock after other text", 0, 0, other("mine"), lock, false},
    };
    for (const Row& r : rows) {
        TClipboardGuard guard;
        qint64 now = 1000;
        guard.SetClock([&now] { return now; });
        guard.SetClearSeconds(r.seconds);
        Edit(&frame)->selectAll();
        Edit(&frame)->copy();
        const QMimeData* copied = clipboard->mimeData();
        ASSERT_NE(copied, nullptr) << r.what;
        EXPECT_EQ(copied->text(), QStringLiteral("secret text"));
        EXPECT_EQ(copied->data(QString::fromLatin1(TClipboardGuard::HintFormat)), QByteArrayLiteral("secret"));
        if (r.meanwhile)
            r.meanwhile();
        now += r.waitMs;
        r.then(guard);
        EXPECT_EQ(clipboard->mimeData() == nullptr, r.cleared) << r.what;
    }
}

// Destroying the frame takes its font box's focus away, which activates the typed name: that
// must not reach the half-destroyed frame. The pending edit is written back.
TEST_F(RichTextFrameTest, ClosingWhileTheFontBoxHoldsFocusAndAnEditIsPending)
{
    auto* frame = new TOdb_rtf(db.Connection);
    Bind(*frame, false);
    frame->show();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    frame->OpenDocument(id);
    Edit(frame)->setFocus();
    QTest::keyClicks(Edit(frame), QStringLiteral("pending"));
    QComboBox* font = Child<QComboBox>(frame, "FontName");
    ASSERT_GT(font->count(), 0);
    font->setFocus();
    font->lineEdit()->setText(font->itemText(font->count() - 1));
    ASSERT_TRUE(font->lineEdit()->hasFocus());
    delete frame;

    TRichTextDocument loaded;
    RichTextStore::Load(loaded, Stored());
    EXPECT_EQ(loaded.toPlainText(), QStringLiteral("pending"));
}

TEST_F(RichTextFrameTest, DraggedMarkersSetTheParagraphIndents)
{
    Store("one paragraph of text");
    TOdb_rtf frame(db.Connection);
    Bind(frame, false);
    frame.resize(500, 300);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    frame.OpenDocument(id);
    ASSERT_EQ(Child<TRulerMarker>(&frame, "FirstInd")->x(), 2);
    ASSERT_EQ(Child<TRulerMarker>(&frame, "LeftInd")->x(), 2);
    const int rulerWidth = Child<TRuler>(&frame, "Ruler")->width();
    ASSERT_EQ(Child<TRulerMarker>(&frame, "RightInd")->x(), RulerMath::RightMarkerLeft({}, rulerWidth));

    // Held at its middle (4) and let go 12 pixels further right.
    QTest::mousePress(Child<TRulerMarker>(&frame, "FirstInd"), Qt::LeftButton, {}, QPoint(16, 4));
    QTest::mouseRelease(Child<TRulerMarker>(&frame, "FirstInd"), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_EQ(RulerMath::IndentsOf(Edit(&frame)->textCursor().blockFormat()), (Indents{9, -9, 0}));
    EXPECT_EQ(Child<TRulerMarker>(&frame, "FirstInd")->x(), 14);
    EXPECT_EQ(Child<TRulerMarker>(&frame, "LeftInd")->x(), 2); // the other lines stay

    const int rightBefore = Child<TRulerMarker>(&frame, "RightInd")->x();
    QTest::mousePress(Child<TRulerMarker>(&frame, "RightInd"), Qt::LeftButton, {}, QPoint(-36, 4));
    QTest::mouseRelease(Child<TRulerMarker>(&frame, "RightInd"), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_EQ(RulerMath::IndentsOf(Edit(&frame)->textCursor().blockFormat()).Right,
              RulerMath::RightIndentAt(rightBefore - 40, RulerMath::DragOffset, rulerWidth));
    EXPECT_TRUE(frame.TextChanged());
}

TEST_F(RichTextFrameTest, ToolBarCarriesTheNamedButtonsAndKeys)
{
    TOdb_rtf frame(db.Connection);
    const struct
    {
        const char* name;
        const char* tip;
    } buttons[] = {
        {"TB_exit", "Return"},         {"BoldButton", "Bold"},
        {"ItalicButton", "Italic"},    {"UnderlineButton", "Underline"},
        {"LeftAlign", "Align Left"},   {"CenterAlign", "Center"},
        {"RightAlign", "Align Right"}, {"BulletsButton", "Bullets"},
    };
    for (const auto& b : buttons) {
        auto* button = Child<QToolButton>(Child<QToolBar>(&frame, "StandardToolBar"), b.name);
        EXPECT_EQ(button->toolTip(), QString::fromLatin1(b.tip)) << b.name;
    }
    EXPECT_EQ(Child<QAction>(&frame, "BulletsButton")->statusTip(), QStringLiteral("Enter bullet mode"));
    EXPECT_EQ(Child<QComboBox>(&frame, "FontName")->statusTip(), QStringLiteral("Select font name"));
    EXPECT_EQ(Child<QSpinBox>(&frame, "FontSize")->maximum(), 100);
    EXPECT_EQ(Child<QAction>(&frame, "EditUndo")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
    EXPECT_EQ(Child<QAction>(&frame, "EditCut")->shortcut(), QKeySequence(QStringLiteral("Ctrl+X")));
    EXPECT_EQ(Child<QAction>(&frame, "EditCopy")->shortcut(), QKeySequence(QStringLiteral("Ctrl+C")));
    EXPECT_EQ(Child<QAction>(&frame, "EditPaste")->shortcut(), QKeySequence(QStringLiteral("Ctrl+V")));
    EXPECT_EQ(Child<QAction>(&frame, "EditCut")->toolTip(), QStringLiteral("Delete selected item"));
}

} // namespace
