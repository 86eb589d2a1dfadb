#include "core/database/Connection.h"
#include "core/database/DocStore.h"
#include "core/dialogs/DialogSeam.h"
#include "core/documents/FakeObjectServer.h"
#include "core/documents/ImageStore.h"
#include "core/documents/OleContainer.h"
#include "core/intake/DropImport.h"
#include "gui/database/JobProgress.h"
#include "gui/documents/doc_list.h"
#include "gui/documents/wz_new_doc.h"
#include "gui/intake/DropImporter.h"
#include "gui/intake/OleServers.h"
#include "gui/intake/fixedServers.h"
#include "gui/intake/target.h"
#include "support/AppFixture.h"
#include "support/Child.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QBuffer>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <QTreeWidget>
#include <QUrl>

using qbtest::AppFixture;

namespace {

// Notes each message with the main window's state at the moment it is shown.
class StateSeam : public TDialogSeam
{
public:
    void Message(const QString& text) override
    {
        Texts << text;
        States << Windows().Fmain->windowState();
    }
    bool Confirm(const QString&) override { return true; }
    QString ChooseFile(const QString&) override { return {}; }
    QString TypeText(const QString&) override { return {}; }

    QStringList Texts;
    QList<Qt::WindowStates> States;
};

class IntakeTest : public AppFixture
{
protected:
    void Open()
    {
        StartApp("<SETTINGS><BASE_LIST/></SETTINGS>");
        Main()->OpenDatabaseDirect(QString(), qbtest::FreshDatabase(), QString());
        ASSERT_TRUE(Main()->DatabaseOpen());
        Main()->show();
    }
    void UseSeam() { TDialogSeam::Install(&seam); }
    void TearDown() override
    {
        TDialogSeam::Install(nullptr);
        AppFixture::TearDown();
    }

    // A drag from another program entering `over` and dropped there, as Qt delivers it.
    void Drop(const QMimeData& data, QWidget* over = nullptr)
    {
        QWidget* receiver = over ? over : Main();
        QDragEnterEvent enter(QPoint(3, 3), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(receiver, &enter);
        QDropEvent drop(QPointF(3, 3), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(receiver, &drop);
    }
    // Lets the refusal timer run out.
    void LetTimerRun() const
    {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !Part<QTimer>("TimerDropError")->isActive(); }));
    }

    std::vector<TDocRow> Documents() const { return TDocStore(TDatabaseConnection::ADB()).ListDocuments(); }
    static QString PlainText(const QString& id)
    {
        QTextDocument document;
        document.setHtml(
            QString::fromUtf8(TDocStore(TDatabaseConnection::ADB()).ReadContentBytes(id, QStringLiteral("Image"))));
        return document.toPlainText();
    }
    TO_target* Target() const { return Part<TO_target>("O_target1"); }
    QLabel* Label(const char* name) const { return qbtest::Child<QLabel>(Target(), name); }
    TO_doc_list* List() const { return Part<TO_doc_list>("O_doc_list1"); }

    StateSeam seam;
};

TEST_F(IntakeTest, DroppedTextAndPicturesBecomeDocumentsThatReadBackEqual)
{
    Open();
    UseSeam();
    QImage picture(5, 4, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    picture.setPixel(1, 2, qRgb(200, 10, 30));
    // Which offer of a drop is taken, and how lines and bitmaps are read, is DropFormatsTest's.
    struct Row
    {
        const char* what;
        std::function<void(QMimeData&)> fill;
        bool overTarget; // dropped on the collapsed target
        const char* type;
        QString text; // TXT: the stored text
    };
    const Row rows[] = {
        {"plain text in lines on the window",
         [](QMimeData& m) { m.setText(QStringLiteral("first line\r\nsecond\rthird\nпоследняя")); }, false, "TXT",
         QStringLiteral("first line\nsecond\nthird\nпоследняя")},
        {"a picture on the collapsed target", [&](QMimeData& m) { m.setImageData(picture); }, true, "IMG", {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Main()->SetCollapsed(r.overTarget);
        const auto before = Documents().size();
        QMimeData data;
        r.fill(data);
        Drop(data, r.overTarget ? Target() : nullptr);
        ASSERT_EQ(Documents().size(), before + 1U);
        const QString id = List()->CurrentId();
        EXPECT_EQ(List()->FieldText(QStringLiteral("doc_type")), QString::fromLatin1(r.type));
        EXPECT_TRUE(List()->CurrentName().startsWith(QStringLiteral("Document created at ")));
        if (r.text.isNull()) {
            EXPECT_EQ(ImageStore::ReadPicture(TDatabaseConnection::ADB(), id).convertToFormat(QImage::Format_RGB32),
                      picture);
        } else {
            EXPECT_EQ(PlainText(id), r.text);
        }
        EXPECT_EQ(Label("Label_counter")->text(), QStringLiteral("1")) << "counted since the last collapse";
        EXPECT_EQ(Label("Label_status")->text(), QStringLiteral("Waiting..."));
        EXPECT_FALSE(Part<TDropImporter>("DropImporter")->DropBusy());
        LetTimerRun();
    }
    EXPECT_TRUE(seam.Texts.isEmpty()) << seam.Texts.join(QLatin1Char('|')).toStdString();
}

TEST_F(IntakeTest, ARefusedDropIsReportedAfterTheDropWithTheWindowMinimised)
{
    StartApp("<SETTINGS><BASE_LIST/></SETTINGS>");
    Main()->show();
    UseSeam();
    EXPECT_EQ(Part<QTimer>("TimerDropError")->interval(), 100);
    EXPECT_TRUE(Part<QTimer>("TimerDropError")->isSingleShot());
    struct Row
    {
        const char* what;
        bool open;
        std::function<void(QMimeData&)> fill;
        QString message;
    };
    const QString fileName = qbtest::FreshFolder() + QStringLiteral("/a file.txt");
    const Row rows[] = {
        {"text without a database", false, [](QMimeData& m) { m.setText(QStringLiteral("x")); },
         DropImport::NoDatabaseText},
        {"a missing file", true, [&](QMimeData& m) { m.setUrls({QUrl::fromLocalFile(fileName)}); },
         DropImport::RefusedFilesText({fileName})},
        {"nothing usable", true, [](QMimeData& m) { m.setData(QStringLiteral("x-special/icons"), "i"); },
         DropImport::CannotImportText},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        if (r.open && !Main()->DatabaseOpen())
            Main()->OpenDatabaseDirect(QString(), qbtest::FreshDatabase(), QString());
        seam.Texts.clear();
        seam.States.clear();
        QMimeData data;
        r.fill(data);
        Drop(data);
        EXPECT_TRUE(seam.Texts.isEmpty()) << "nothing is shown inside the drop call";
        EXPECT_TRUE(Part<QTimer>("TimerDropError")->isActive());
        LetTimerRun();
        EXPECT_EQ(seam.Texts, QStringList{r.message});
        ASSERT_EQ(seam.States.size(), 1);
        EXPECT_TRUE(seam.States.first().testFlag(Qt::WindowMinimized));
        EXPECT_FALSE(Main()->windowState().testFlag(Qt::WindowMinimized)) << "restored afterwards";
        if (r.open) {
            EXPECT_TRUE(Documents().empty());
        }
        EXPECT_EQ(Label("Label_counter")->text(), QStringLiteral("0"));
    }
}

TEST_F(IntakeTest, DroppedFilesBecomeOneEmbeddedDocumentEachAndTheRestIsListed)
{
    qbtest::AddFakeServer(QStringLiteral("org.test.text"), "true", QStringLiteral("text/plain"));
    Open();
    UseSeam();
    Main()->SetCollapsed(true);
    const QString folder = qbtest::FreshFolder();
    const QString one = folder + QStringLiteral("/one.txt");
    const QString two = folder + QStringLiteral("/") + QString(80, QLatin1Char('n')) + QStringLiteral(".txt");
    qbtest::WriteAll(one, "first");
    qbtest::WriteAll(two, QByteArray(300 * 1024, 'x'));
    const QString missing = folder + QStringLiteral("/missing.txt");
    // Text, then a sparse hole: large for the import, next to nothing to write here.
    const QString large = folder + QStringLiteral("/large.txt");
    qbtest::WriteAll(large, "large\n");
    QFile(large).resize(24 * 1024 * 1024);
    enum Way
    {
        AtOnce,
        Job, // as a large drop, with the progress window
        Stopped // and stopped there at once: the database is still writing the first chunk
    };
    struct Row
    {
        const char* what;
        QList<QUrl> urls;
        QStringList names; // of the documents made, in order
        QStringList refused;
        Way way = AtOnce;
    };
    const Row rows[] = {
        {"one file", {QUrl::fromLocalFile(one)}, {QStringLiteral("one.txt")}, {}},
        {"several, in the drop's order",
         {QUrl::fromLocalFile(two), QUrl::fromLocalFile(one)},
         {QString(80, QLatin1Char('n')) + QStringLiteral(".txt"), QStringLiteral("one.txt")},
         {}},
        {"a folder", {QUrl::fromLocalFile(folder)}, {}, {folder}},
        {"a missing file beside a good one",
         {QUrl::fromLocalFile(one), QUrl::fromLocalFile(missing)},
         {QStringLiteral("one.txt")},
         {missing}},
        {"several as a job, a folder beside them",
         {QUrl::fromLocalFile(one), QUrl::fromLocalFile(folder), QUrl::fromLocalFile(two)},
         {QStringLiteral("one.txt"), QString(80, QLatin1Char('n')) + QStringLiteral(".txt")},
         {folder},
         Job},
        {"a large file stopped midway", {QUrl::fromLocalFile(one), QUrl::fromLocalFile(large)}, {}, {}, Stopped},
    };
    int counted = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const auto before = Documents();
        seam.Texts.clear();
        QMimeData data;
        data.setUrls(r.urls);
        Part<TDropImporter>("DropImporter")->SetJobFromBytes(r.way == Job ? 0 : 16 * 1024 * 1024);
        Drop(data, Target());
        auto* progress = Main()->findChild<TJobProgress*>();
        ASSERT_EQ(progress != nullptr, r.way != AtOnce);
        EXPECT_EQ(Part<TDropImporter>("DropImporter")->DropBusy(), r.way != AtOnce);
        if (progress) {
            EXPECT_EQ(Label("Label_status")->text(), QStringLiteral("Accepting..."));
            EXPECT_TRUE(seam.Texts.isEmpty()) << "the refusal waits for the job's end";
            if (r.way == Stopped)
                progress->reject(); // the close box; the question is answered yes
            ASSERT_TRUE(QTest::qWaitFor([this] { return !Part<TDropImporter>("DropImporter")->DropBusy(); }, 30000));
            EXPECT_TRUE(QTest::qWaitFor([this] { return !Main()->findChild<TJobProgress*>(); }));
        }
        EXPECT_EQ(Label("Label_status")->text(), QStringLiteral("Waiting..."));
        LetTimerRun();
        EXPECT_EQ(seam.Texts,
                  r.refused.isEmpty() ? QStringList() : QStringList{DropImport::RefusedFilesText(r.refused)});
        const auto after = Documents();
        ASSERT_EQ(after.size(), before.size() + size_t(r.names.size()));
        counted += int(r.names.size());
        EXPECT_EQ(Label("Label_counter")->text(), QString::number(counted));
        if (!r.names.isEmpty()) {
            EXPECT_EQ(List()->CurrentName(), r.names.last().left(64)) << "the last one is current";
        }
        for (const QString& name : r.names) {
            const QString stored = name.left(64); // cut to the width of Doc_name
            const auto it = std::find_if(after.begin(), after.end(), [&](const TDocRow& d) {
                return d.Name == stored && d.Type.isEmpty()
                    && std::none_of(before.begin(), before.end(), [&](const TDocRow& b) { return b.Id == d.Id; });
            });
            ASSERT_NE(it, after.end()) << name.toStdString();
            // The same stored object a paste of the copied file makes.
            TOleContainer pasted;
            QMimeData copied;
            copied.setUrls({QUrl::fromLocalFile(name == QStringLiteral("one.txt") ? one : two)});
            pasted.PasteFrom(&copied);
            QBuffer expected;
            expected.open(QIODevice::ReadWrite);
            pasted.WriteToStream(expected);
            EXPECT_EQ(TDocStore(TDatabaseConnection::ADB()).ReadContentBytes(it->Id, QStringLiteral("OLEobj")),
                      expected.data());
        }
    }
}

TEST_F(IntakeTest, ADropDeliveredWhileAnImportRunsIsIgnored)
{
    Open();
    UseSeam();
    QMimeData first, second;
    first.setText(QStringLiteral("first"));
    second.setText(QStringLiteral("second"));
    // Delivered while the import lets events run to paint its status.
    QCoreApplication::postEvent(Target(),
                                new QDropEvent(QPointF(3, 3), Qt::CopyAction, &second, Qt::LeftButton, Qt::NoModifier));
    Drop(first);
    QCoreApplication::processEvents();
    const auto documents = Documents();
    ASSERT_EQ(documents.size(), 1U);
    EXPECT_EQ(PlainText(List()->CurrentId()), QStringLiteral("first"))
        << "the ignored drop does not replace what is imported";
    EXPECT_EQ(Label("Label_counter")->text(), QStringLiteral("1"));
    LetTimerRun();
    EXPECT_TRUE(seam.Texts.isEmpty()) << "ignored without a message";
}

TEST_F(IntakeTest, TheCounterStartsAgainOnCollapseAndExpand)
{
    Open();
    QMimeData text;
    text.setText(QStringLiteral("t"));
    Main()->SetCollapsed(true);
    Drop(text, Target());
    Drop(text, Target());
    EXPECT_EQ(Label("Label_counter")->text(), QStringLiteral("2"));
    Main()->SetCollapsed(false);
    EXPECT_EQ(Label("Label_counter")->text(), QStringLiteral("0"));
    Drop(text);
    EXPECT_EQ(Label("Label_counter")->text(), QStringLiteral("1")) << "a drop on the expanded window counts too";
    Main()->SetCollapsed(true);
    EXPECT_EQ(Label("Label_counter")->text(), QStringLiteral("0"));
    Label("Label_counter")->setText(QStringLiteral("many"));
    Target()->CountAccepted();
    EXPECT_EQ(Label("Label_counter")->text(), QStringLiteral("many")) << "not a number: left alone";
    LetTimerRun();
}

TEST_F(IntakeTest, SettingsDialogHostsTheServerPagesAndCancelBringsARemovedServerBack)
{
    StartApp("<SETTINGS TXT_ACCEPT_MODE=\"OLE\" TXT_SERVER=\"org.t\"><BASE_LIST/></SETTINGS>");
    EXPECT_EQ(Root().Child(Root().ChildCount() - 1)->Name(), QStringLiteral("OLE_SERVERS")) << "added after BASE_LIST";
    TOrbPigger* servers = Root().Child(Root().ChildCount() - 1);
    TOrbPigger* entry = servers->AddChild(QStringLiteral("SERVER"));
    entry->SetAttr(QStringLiteral("NAME"), QStringLiteral("Sketch"));
    entry->SetAttr(QStringLiteral("CLASS"), QStringLiteral("org.s"));
    Settings()->SaveSettings();
    Settings()->ShowSettings();
    auto* page = qbtest::Child<TOOLEServers>(Settings(), "OOLEServers1");
    EXPECT_EQ(page->parentWidget()->objectName(), QStringLiteral("TabSheet_OLE"));
    ASSERT_EQ(page->findChild<QTreeWidget*>()->topLevelItemCount(), 1);
    EXPECT_TRUE(qbtest::Child<QRadioButton>(Settings(), "RB_OLE_txt")->isChecked());
    EXPECT_EQ(qbtest::Child<QLineEdit>(Settings(), "Edit_txt_server")->text(), QStringLiteral("org.t"));
    auto* tabs = qbtest::Child<QTabWidget>(Settings(), "PageControl1");
    EXPECT_FALSE(tabs->isTabVisible(tabs->indexOf(qbtest::Child<QWidget>(tabs, "TabSheet_drag_n_drop"))));

    // The wizard's "..." opens the dialog on this page; removing there and cancelling undoes it.
    DialogScript::QueueAnswers({true});
    qbtest::OnModal<TD_SB_settings>([](TD_SB_settings* d) {
        EXPECT_EQ(d->findChild<QTabWidget*>()->currentWidget()->objectName(), QStringLiteral("TabSheet_OLE"));
        d->findChild<QTreeWidget*>()->setCurrentItem(d->findChild<QTreeWidget*>()->topLevelItem(0));
        qbtest::Child<QPushButton>(d, "BtnDelete")->click();
        EXPECT_EQ(d->findChild<QTreeWidget*>()->topLevelItemCount(), 0);
        qbtest::Child<QPushButton>(d, "CancelBtn")->click();
    });
    Q_EMIT Windows().W_new_doc->ServerSettingsWanted();
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Do you want to remove \"Sketch\" from the list?"));
    EXPECT_EQ(page->findChild<QTreeWidget*>()->topLevelItemCount(), 1) << "Cancel reloads the file";
}

} // namespace
