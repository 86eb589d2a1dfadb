#include "DocumentsFixture.h"
#include "app/Windows.h"
#include "core/documents/FakeObjectServer.h"
#include "core/documents/ImageStore.h"
#include "core/documents/OleContainer.h"
#include "core/intake/OleServerList.h"
#include "gui/documents/DocumentCommands.h"
#include "gui/documents/doc_content.h"
#include "gui/documents/wz_new_doc.h"
#include "support/Child.h"
#include "support/TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextDocument>
#include <QThread>
#include <QTime>
#include <QTimer>
#include <QUrl>

namespace {

// Answers the new-document wizard with `answer` and closes every other modal window that opens
// while it lives (the edit window of a new document), noting each one's name.
class ModalCloser
{
public:
    explicit ModalCloser(std::function<void(TW_new_doc*)> answer = {})
        : m_answer(std::move(answer))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            Closed << dialog->objectName();
            auto* wizard = qobject_cast<TW_new_doc*>(dialog);
            if (wizard && m_answer)
                m_answer(wizard);
            else
                dialog->reject();
        });
        m_timer.start();
    }
    QStringList Closed;

private:
    std::function<void(TW_new_doc*)> m_answer;
    QTimer m_timer;
};

// Wizard answers: a native document of the given choice, or a clipboard format, then "Ok".
std::function<void(TW_new_doc*)> Native(int choice)
{
    return [choice](TW_new_doc* w) {
        qbtest::Child<QButtonGroup>(w, "RG_creation_typeButtons")->button(0)->click();
        qbtest::Child<QPushButton>(w, "btnNext")->click();
        qbtest::Child<QButtonGroup>(w, "RG1Buttons")->button(choice)->click();
        qbtest::Child<QPushButton>(w, "btnFinish")->click();
    };
}
// meanwhile runs between the choice and "Ok".
std::function<void(TW_new_doc*)> PasteAs(const char* format, const std::function<void()>& meanwhile = {})
{
    return [format, meanwhile](TW_new_doc* w) {
        auto* list = qbtest::Child<QListWidget>(w, "LB_paste");
        const QList<QListWidgetItem*> items = list->findItems(QString::fromLatin1(format), Qt::MatchExactly);
        if (items.isEmpty())
            return qbtest::Child<QPushButton>(w, "btnCancel")->click();
        list->setCurrentItem(items.first());
        if (meanwhile)
            meanwhile();
        qbtest::Child<QPushButton>(w, "btnFinish")->click();
    };
}

class DocumentsTest : public qbtest::DocumentsFixture
{
protected:
    TO_doc_content* Viewer() const { return qbtest::Child<TO_doc_content>(Main(), "O_doc_content1"); }

    // Lets events run until pred holds; false when it never does.
    static bool ProcessUntil(const std::function<bool()>& pred)
    {
        const QDeadlineTimer deadline(10000);
        while (!pred() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        return pred();
    }
    QString PlainText(const QString& id) const
    {
        QTextDocument document;
        document.setHtml(QString::fromUtf8(TDocStore(ADB()).ReadContentBytes(id, QStringLiteral("Image"))));
        return document.toPlainText();
    }
    static void SetClipboard(QMimeData* data) { QGuiApplication::clipboard()->setMimeData(data); }
};

TEST_F(DocumentsTest, InsertCtrlNAndCtrlVCreateDocumentsThroughTheWizardOnly)
{
    OpenDatabase();
    struct Row
    {
        const char* what;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool newDocEnabled;
        std::function<QMimeData*()> clipboard;
        std::function<void(TW_new_doc*)> answer;
        QString type; // of the document made; empty: none made
        QString plainText;
    };
    const auto text = [](const char* t) {
        return [t] {
            auto* m = new QMimeData;
            m->setText(QString::fromUtf8(t));
            return m;
        };
    };
    QImage picture(7, 5, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    const auto pictureData = [&] {
        auto* m = new QMimeData;
        m->setImageData(picture);
        m->setText(QStringLiteral("also text"));
        return m;
    };
    const QString txt = QStringLiteral("TXT"), img = QStringLiteral("IMG");
    const Row rows[] = {
        {"Insert, RTF text", Qt::Key_Insert, Qt::NoModifier, true, {}, Native(1), txt, QString()},
        {"Insert while new is off", Qt::Key_Insert, Qt::NoModifier, false, {}, Native(1), {}, {}},
        {"Insert, cancelled", Qt::Key_Insert, Qt::NoModifier, true, {}, {}, {}, {}},
        {"Ctrl+N, picture", Qt::Key_N, Qt::ControlModifier, true, {}, Native(0), img, {}},
        {"Ctrl+N while new is off", Qt::Key_N, Qt::ControlModifier, false, {}, Native(0), {}, {}},
        {"three lines", Qt::Key_V, Qt::ControlModifier, true, text("one\r\ntwo\nthree"), PasteAs("Text"), txt,
         QStringLiteral("one\ntwo\nthree")},
        {"Ctrl+V while new is off", Qt::Key_V, Qt::ControlModifier, false, text("x"), PasteAs("Text"), {}, {}},
        {"picture chosen before text", Qt::Key_V, Qt::ControlModifier, true, pictureData, PasteAs("Bitmap"), img, {}},
        {"the text of the same clipboard", Qt::Key_V, Qt::ControlModifier, true, pictureData, PasteAs("Text"), txt,
         QStringLiteral("also text")},
        {"nothing to paste",
         Qt::Key_V,
         Qt::ControlModifier,
         true,
         [] { return new QMimeData; },
         PasteAs("Text"),
         {},
         {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        if (r.clipboard)
            SetClipboard(r.clipboard());
        Main()->UpdateCommands();
        Part<QAction>("TB_new_doc")->setEnabled(r.newDocEnabled);
        const int before = Query()->RowCount();
        // The offscreen platform leaves a closed edit window active; the window's keys need its own.
        QApplication::setActiveWindow(Main());
        Grid()->setFocus();
        DialogScript::Start();
        ModalCloser closer(r.answer);
        QTest::keyClick(Grid(), r.key, r.modifiers);
        EXPECT_TRUE(Main()->ListReady());
        // The wizard asks first; the new document is then opened for editing.
        QStringList modals;
        if (r.newDocEnabled)
            modals << QStringLiteral("W_new_doc");
        if (!r.type.isEmpty())
            modals << (r.type == img ? QStringLiteral("F_db_image") : QStringLiteral("F_db_rtf"));
        EXPECT_EQ(closer.Closed, modals);
        EXPECT_TRUE(DialogScript::Shown().isEmpty()) << DialogScript::LastShown().toStdString();
        if (r.type.isEmpty()) {
            EXPECT_EQ(Query()->RowCount(), before);
            continue;
        }
        ASSERT_EQ(Query()->RowCount(), before + 1);
        const QString id = List()->CurrentId();
        EXPECT_EQ(id.size(), 32);
        EXPECT_TRUE(List()->CurrentName().startsWith(QStringLiteral("Document created at ")));
        EXPECT_EQ(List()->FieldText(QStringLiteral("doc_type")), r.type);
        EXPECT_EQ(Viewer()->ShownId(), id) << "the new document is shown";
        if (r.type == txt) {
            EXPECT_EQ(PlainText(id), r.plainText);
        } else if (r.clipboard) {
            EXPECT_EQ(ImageStore::ReadPicture(ADB(), id).size(), picture.size());
        }
    }
    EXPECT_EQ(Part<QAction>("TB_new_doc")->toolTip(), QStringLiteral("New document (Ctrl+N)"));
    EXPECT_EQ(Part<QAction>("TB_doc")->toolTip(), QStringLiteral("Documentation (F1)"));
    EXPECT_EQ(Query()->RowCount(), int(TDocStore(ADB()).ListDocuments().size())) << "no row without a record";
}

TEST_F(DocumentsTest, ACopiedFileIsPastedAsAnObjectAndEditedInItsServer)
{
    OpenDatabase();
    qbtest::AddFakeServer(QStringLiteral("fake.editor"), "printf ' edited' >> \"$1\"");
    const QString file = qbtest::FreshFolder() + QStringLiteral("/note.txt");
    qbtest::WriteAll(file, "note");
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(file)});
    data->setText(file); // file managers offer the path as text too
    SetClipboard(data);
    Main()->ViewerContainer()->SetHandOverGrace(0);

    DialogScript::Start();
    {
        ModalCloser closer(PasteAs("OLE object"));
        QTest::keyClick(Grid(), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(closer.Closed, QStringList{QStringLiteral("W_new_doc")});
    }
    EXPECT_TRUE(DialogScript::Shown().isEmpty()) << DialogScript::Shown().join(QLatin1Char('|')).toStdString();
    ASSERT_EQ(Query()->RowCount(), 1);
    EXPECT_TRUE(List()->FieldText(QStringLiteral("doc_type")).isEmpty()) << "an object from the clipboard";

    // The object was opened in its server at once and written back when the server ended.
    QBuffer stored;
    stored.setData(TDocStore(ADB()).ReadContentBytes(List()->CurrentId(), QStringLiteral("OLEobj")));
    stored.open(QIODevice::ReadOnly);
    TOleContainer object;
    object.ReadFromStream(stored);
    EXPECT_EQ(object.ObjectClassName(), QStringLiteral("fake.editor"));
    EXPECT_EQ(object.ObjectBytes(), QByteArray("note edited"));
    EXPECT_EQ(qbtest::ReadAll(file), QByteArray("note")) << "the copied file stays as it was";
    EXPECT_TRUE(qbtest::LeftoverObjectFolders().isEmpty());
}

TEST_F(DocumentsTest, ContentOfANewDocumentByTypeAndContent)
{
    OpenDatabase();
    auto* commands = Part<TDocumentCommands>("DocCommands");
    QImage bitmap(3, 2, QImage::Format_RGB32);
    bitmap.fill(Qt::red);
    struct Row
    {
        const char* type;
        TDocContent content;
        QByteArray expectedImage; // the stored picture's BMP bytes, or the rich text's plain text
    };
    const Row rows[] = {
        {"TXT", TDocContent::Text({QStringLiteral("a"), QStringLiteral("b b"), QStringLiteral("c")}), "a\nb b\nc"},
        {"TXT", TDocContent(), ""},
        {"IMG", TDocContent(), ImageStore::EncodeBmp(ImageStore::PlaceholderImage(0))},
        {"IMG", TDocContent::FromBitmap(bitmap), ImageStore::EncodeBmp(bitmap)},
    };
    for (const Row& r : rows) {
        const QString type = QString::fromLatin1(r.type);
        const QString id = commands->CreateDocumentRecord(QStringLiteral("new"), type);
        ASSERT_EQ(id.size(), 32);
        commands->StoreDocumentContent(id, type, r.content);
        if (type == QStringLiteral("TXT"))
            EXPECT_EQ(PlainText(id).toUtf8(), r.expectedImage);
        else
            EXPECT_EQ(ImageStore::EncodeBmp(ImageStore::ReadPicture(ADB(), id)), r.expectedImage);
    }

    // A type that names no object server raises; the record stays without content.
    const QString id = commands->CreateDocumentRecord(QStringLiteral("object"), QStringLiteral("no.such.server"));
    EXPECT_THROW(commands->StoreDocumentContent(id, QStringLiteral("no.such.server"), TDocContent()), QbError);
    EXPECT_TRUE(TDocStore(ADB()).ReadContentBytes(id, QStringLiteral("OLEobj")).isEmpty());
    // A clipboard that offers no object leaves the new object document empty.
    SetClipboard(new QMimeData);
    const QString pasted = commands->CreateDocumentRecord(QStringLiteral("pasted"), QString());
    commands->StoreDocumentContent(pasted, QString(), TDocContent::FromClipboard());
    EXPECT_TRUE(TDocStore(ADB()).ReadContentBytes(pasted, QStringLiteral("OLEobj")).isEmpty());
    // The proposed name: the time of day in the locale's format, without a time zone.
    const QTime time(21, 41, 7);
    EXPECT_EQ(TDocumentCommands::DefaultDocumentName(time, QLocale(QLocale::English, QLocale::UnitedStates)),
              QStringLiteral("Document created at 9:41:07 PM"));
    EXPECT_EQ(TDocumentCommands::DefaultDocumentName(time, QLocale(QLocale::German, QLocale::Germany)),
              QStringLiteral("Document created at 21:41:07"));
    // Without a database nothing is created.
    Main()->CloseDatabase();
    EXPECT_TRUE(commands->CreateDocumentRecord(QStringLiteral("x"), QStringLiteral("TXT")).isEmpty());
}

TEST_F(DocumentsTest, PageByTypeComparedExactly)
{
    OpenDatabase();
    struct Row
    {
        const char* type;
        const char* page;
    };
    const Row rows[] = {{"TXT", "TabSheet_rtf"}, {"IMG", "TabSheet_picture"},
                        {"", "TabSheet_ole"},    {"org.example.Editor", "TabSheet_ole"},
                        {"txt", "TabSheet_ole"}, {"URL", "TabSheet_ole"}};
    EXPECT_EQ(Viewer()->CurrentPage()->objectName(), QStringLiteral("TabSheet_ole"));
    for (const Row& r : rows) {
        const QString type = QString::fromLatin1(r.type);
        const QString id = TDocStore(ADB()).CreateDocumentRecord(QStringLiteral("doc"), type);
        Viewer()->ShowDocument(id, type);
        EXPECT_EQ(Viewer()->CurrentPage()->objectName(), QString::fromLatin1(r.page)) << r.type;
        EXPECT_TRUE(Viewer()->Shown());
        EXPECT_EQ(Viewer()->ShownType(), type);
    }
    EXPECT_TRUE(DialogScript::Shown().isEmpty()) << "an empty object column is no error";

    // Editing an object that cannot be opened reports it in the message dialog.
    Viewer()->EditDocument();
    EXPECT_EQ(DialogScript::LastShown(),
              QStringLiteral("Can't edit the document for the OLE error:\n\"The container holds no object.\".\n\n"
                             "Please check wheter the OLE server is installed and works correct."));

    // Closing the database (and a pack) leave nothing shown, on the object page.
    Part<TDocumentCommands>("DocCommands")->BeforePack();
    EXPECT_FALSE(Viewer()->Shown());
    EXPECT_FALSE(Main()->ListReady());
    EXPECT_FALSE(List()->IsActive());
    Part<TDocumentCommands>("DocCommands")->AfterPack();
    EXPECT_TRUE(Main()->ListReady());
    EXPECT_EQ(Query()->RowCount(), 6);
    Viewer()->ShowDocument(List()->CurrentId(), List()->FieldText(QStringLiteral("doc_type")));
    Main()->CloseDatabase();
    EXPECT_FALSE(Viewer()->Shown());
    EXPECT_EQ(Viewer()->CurrentPage()->objectName(), QStringLiteral("TabSheet_ole"));
}

TEST_F(DocumentsTest, DeleteGuardAndTheEmptyList)
{
    OpenDatabase([](TDocStore& s) {
        s.CreateDocumentRecord(QStringLiteral("one"), QStringLiteral("IMG"));
        s.CreateDocumentRecord(QStringLiteral("two"), QStringLiteral("TXT"));
    });
    struct Row
    {
        const char* what;
        bool listReady;
        bool byKey; // Ctrl+Delete in the grid, else the command
        QList<bool> answers;
        QStringList asked;
        int rowsAfter;
    };
    const Row rows[] = {
        {"busy, command", false, false, {}, {}, 2},
        {"busy, key", false, true, {}, {}, 2},
        {"answered no", true, false, {false}, {QStringLiteral("Delete \"one\"?")}, 2},
        {"key, yes", true, true, {true}, {QStringLiteral("Delete \"one\"?")}, 1},
        {"command, yes", true, false, {true}, {QStringLiteral("Delete \"two\"?")}, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const QString id = List()->CurrentId();
        Viewer()->ShowDocument(id, List()->FieldText(QStringLiteral("doc_type")));
        DialogScript::Start();
        DialogScript::QueueAnswers(r.answers);
        Main()->Session().SetListReady(r.listReady);
        Part<QTimer>("Timer1")->stop();
        if (r.byKey)
            QTest::keyClick(Grid(), Qt::Key_Delete, Qt::ControlModifier);
        else
            Main()->TB_del_docClick();
        EXPECT_EQ(DialogScript::Shown(), r.asked);
        EXPECT_EQ(Query()->RowCount(), r.rowsAfter);
        EXPECT_EQ(TDocStore(ADB()).FindDocument(id).has_value(), r.rowsAfter == 2);
        // A refused delete leaves the viewer alone; an asked one has let the document go first.
        EXPECT_EQ(Viewer()->Shown(), r.asked.isEmpty());
        // ... and whatever is current afterwards, the document kept or the next one, comes back.
        EXPECT_EQ(Part<QTimer>("Timer1")->isActive(), !r.asked.isEmpty());
    }

    for (auto command : {&TFmain::TB_edit_docClick, &TFmain::TB_del_docClick}) {
        DialogScript::Start();
        (Main()->*command)();
        EXPECT_EQ(DialogScript::Shown(), QStringList{QStringLiteral("The database is empty.")});
        EXPECT_TRUE(Main()->ListReady()) << "a command gives the list back when it ends";
        EXPECT_TRUE(Part<QAction>("TB_del_doc")->isEnabled());
    }
}

TEST_F(DocumentsTest, PreviewOncePerDelayForTheRowCurrentThen)
{
    OpenDatabase([](TDocStore& s) {
        for (const char* name : {"a", "b", "c", "d"})
            s.CreateDocumentRecord(QString::fromLatin1(name), QStringLiteral("IMG"));
    });
    QSignalSpy shown(Viewer(), &TO_doc_content::DocumentShown);
    QTimer* timer = Part<QTimer>("Timer1");
    timer->setInterval(20);
    ProcessUntil([&] { return !timer->isActive(); }); // the opening's own preview
    shown.clear();

    for (int row = 1; row < 4; ++row)
        List()->SetCurrentRow(row);
    ASSERT_TRUE(ProcessUntil([&] { return !shown.isEmpty(); }));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0][0].toString(), List()->CurrentId());
    EXPECT_FALSE(timer->isActive());

    // Nothing is previewed while a command works.
    Main()->Session().SetListReady(false);
    List()->SetCurrentRow(0);
    ProcessUntil([&] { return !timer->isActive(); });
    EXPECT_EQ(shown.size(), 1);
    Main()->Session().SetListReady(true);

    // A move while the delay runs does not start it again (a precise timer, so that its remaining
    // time is not rounded to whole seconds).
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(60000);
    List()->SetCurrentRow(1);
    QThread::msleep(100);
    const int left = timer->remainingTime();
    List()->SetCurrentRow(2);
    EXPECT_LE(timer->remainingTime(), left);
}

TEST_F(DocumentsTest, WhileCollapsedOnlyCtrlVActsAndItExpandsFirst)
{
    OpenDatabase([](TDocStore& s) { s.CreateDocumentRecord(QStringLiteral("doc"), QStringLiteral("TXT")); });
    SetClipboard(new QMimeData);
    struct Row
    {
        const char* what;
        std::function<void(QWidget*)> keys;
        bool pastes;
    };
    const Row rows[] = {
        {"typed text, then Enter",
         [](QWidget* w) {
             QTest::keyClicks(w, QStringLiteral("xyz"));
             QTest::keyClick(w, Qt::Key_Return);
         },
         false},
        {"Ctrl+Delete", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Delete, Qt::ControlModifier); }, false},
        {"Insert", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Insert); }, false},
        {"Ctrl+N", [](QWidget* w) { QTest::keyClick(w, Qt::Key_N, Qt::ControlModifier); }, false},
        {"Ctrl+V", [](QWidget* w) { QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier); }, true},
    };
    for (const Row& r : rows) {
        // Through the focus, and straight to the hidden list as when it kept the focus.
        for (const bool toList : {false, true}) {
            SCOPED_TRACE(std::string(r.what) + (toList ? ", to the hidden list" : ", to the focus"));
            QApplication::setActiveWindow(Main());
            Grid()->setFocus();
            Main()->SetCollapsed(true);
            QWidget* target = toList ? Grid() : QApplication::focusWidget();
            ASSERT_NE(target, nullptr);
            EXPECT_FALSE(Grid()->hasFocus()) << "the hidden list lets the focus go";
            DialogScript::Start();
            bool collapsedWhenAsked = true;
            bool pasteMode = false;
            ModalCloser closer([&](TW_new_doc* w) {
                collapsedWhenAsked = Main()->Collapsed();
                pasteMode = w->PasteMode();
                qbtest::Child<QPushButton>(w, "btnCancel")->click();
            });
            r.keys(target);
            EXPECT_EQ(closer.Closed, r.pastes ? QStringList{QStringLiteral("W_new_doc")} : QStringList());
            EXPECT_TRUE(DialogScript::Shown().isEmpty()) << DialogScript::Shown().join(QLatin1Char('|')).toStdString();
            EXPECT_EQ(Main()->Collapsed(), !r.pastes);
            if (r.pastes) {
                EXPECT_FALSE(collapsedWhenAsked) << "expanded first";
                EXPECT_TRUE(pasteMode);
            }
            ASSERT_EQ(Query()->RowCount(), 1);
            EXPECT_EQ(List()->CurrentName(), QStringLiteral("doc"));
            EXPECT_FALSE(Grid()->Editing());
            Main()->SetCollapsed(false);
        }
    }
    EXPECT_EQ(TDocStore(ADB()).ListDocuments().front().Name, QStringLiteral("doc"));
}

TEST_F(DocumentsTest, PasteWithoutAClipboardOwnerMakesNothingOnEveryPath)
{
    OpenDatabase();
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    struct Row
    {
        const char* what;
        std::function<void()> paste;
        bool collapsed;
    };
    const Row rows[] = {
        {"Ctrl+V in the list", [this] { QTest::keyClick(Grid(), Qt::Key_V, Qt::ControlModifier); }, false},
        {"the list's menu", [this] { Part<QAction>("N_paste")->trigger(); }, false},
        {"Ctrl+V on the collapsed target",
         [this] {
             QWidget* focus = QApplication::focusWidget();
             QTest::keyClick(focus ? focus : Main(), Qt::Key_V, Qt::ControlModifier);
         },
         true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        QApplication::setActiveWindow(Main());
        Grid()->setFocus();
        Main()->SetCollapsed(r.collapsed);
        QGuiApplication::clipboard()->clear();
        EXPECT_EQ(QGuiApplication::clipboard()->mimeData(), nullptr) << "no owner";
        DialogScript::Start();
        bool nothingOffered = false;
        bool okEnabled = true;
        ModalCloser closer([&](TW_new_doc* w) {
            nothingOffered = qbtest::Child<QLabel>(w, "Label_clp_empty")->isVisibleTo(w)
                && qbtest::Child<QListWidget>(w, "LB_paste")->count() == 0;
            okEnabled = qbtest::Child<QPushButton>(w, "btnFinish")->isEnabled();
            qbtest::Child<QPushButton>(w, "btnCancel")->click();
        });
        r.paste();
        EXPECT_EQ(closer.Closed, QStringList{QStringLiteral("W_new_doc")});
        EXPECT_TRUE(nothingOffered);
        EXPECT_FALSE(okEnabled);
        EXPECT_TRUE(DialogScript::Shown().isEmpty());
        EXPECT_EQ(Query()->RowCount(), 0);
    }

    // The picture window's paste, with nothing on the clipboard.
    DialogScript::Start();
    qbtest::Child<QAction>(Windows().F_db_image, "TB_paste")->trigger();
    EXPECT_EQ(DialogScript::Shown(), QStringList{QStringLiteral("Sorry, can't paste clipboard content as a picture.")});
    EXPECT_TRUE(TDocStore(ADB()).ListDocuments().empty());
}

TEST_F(DocumentsTest, ANewDocumentWhoseContentCannotBeMadeLeavesNoRow)
{
    OpenDatabase();
    TOrbPigger* servers = OleServerList::ServersNode(Root());
    TOrbPigger* gone = servers->AddChild(QStringLiteral("SERVER"));
    gone->SetAttr(QStringLiteral("NAME"), QStringLiteral("Uninstalled"));
    gone->SetAttr(QStringLiteral("CLASS"), QStringLiteral("org.example.Uninstalled"));
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const auto clear = [] { QGuiApplication::clipboard()->clear(); };
    struct Row
    {
        const char* what;
        std::function<QMimeData*()> clipboard;
        bool paste;
        std::function<void(TW_new_doc*)> answer;
        const char* message; // the start of what the user is told
    };
    const Row rows[] = {
        {"the picture went away",
         [&] {
             auto* m = new QMimeData;
             m->setImageData(picture);
             return m;
         },
         true, PasteAs("Bitmap", clear), "Sorry, can't paste clipboard content as a picture."},
        {"the text went away",
         [] {
             auto* m = new QMimeData;
             m->setText(QStringLiteral("gone soon"));
             return m;
         },
         true, PasteAs("Text", clear), "The clipboard no longer holds anything to paste as \"Text\"."},
        {"an object server that is not installed", [] { return new QMimeData; }, false,
         [](TW_new_doc* w) {
             qbtest::Child<QButtonGroup>(w, "RG_creation_typeButtons")->button(1)->click();
             qbtest::Child<QPushButton>(w, "btnNext")->click();
             qbtest::Child<QComboBox>(w, "CB1")->setCurrentIndex(0);
             qbtest::Child<QPushButton>(w, "btnFinish")->click();
         },
         "class not registered"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        SetClipboard(r.clipboard());
        QApplication::setActiveWindow(Main());
        Grid()->setFocus();
        DialogScript::Start();
        {
            ModalCloser closer(r.answer);
            QTest::keyClick(Grid(), r.paste ? Qt::Key_V : Qt::Key_Insert,
                            r.paste ? Qt::ControlModifier : Qt::NoModifier);
            EXPECT_EQ(closer.Closed, QStringList{QStringLiteral("W_new_doc")});
        }
        ASSERT_EQ(DialogScript::Shown().size(), 1);
        EXPECT_TRUE(DialogScript::Shown().front().startsWith(QString::fromUtf8(r.message)))
            << DialogScript::LastShown().toStdString();
        EXPECT_EQ(Query()->RowCount(), 0);
        EXPECT_TRUE(TDocStore(ADB()).ListDocuments().empty());
        EXPECT_TRUE(Main()->ListReady());
    }
}

} // namespace
