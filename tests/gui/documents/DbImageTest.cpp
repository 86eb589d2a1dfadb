#include "core/database/DocStore.h"
#include "core/database/Query.h"
#include "core/documents/ImageStore.h"
#include "gui/documents/O_db_image.h"
#include "gui/documents/db_image.h"
#include "gui/documents/scale_image.h"
#include "gui/widgets/ClipboardGuard.h"
#include "support/Child.h"
#include "support/DialogScript.h"
#include "support/ModalDriver.h"
#include "support/TempDatabase.h"
#include "support/TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

using qbtest::Child;

namespace {

const QString ImageField = QStringLiteral("Image");

QImage Picture(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * seed) % 256, (y * 7 + seed) % 256, (x ^ y) % 256));
    return image;
}

QImage Rgb(const QImage& image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

class DbImageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DialogScript::Start();
        // The offscreen clipboard lives in this process; it is put back as it was.
        if (const QMimeData* old = QApplication::clipboard()->mimeData()) {
            for (const QString& format : old->formats())
                m_savedClipboard->setData(format, old->data(format));
        }
        Id = Store.CreateDocumentRecord(QStringLiteral("Bild"), QStringLiteral("IMG"));
    }
    void TearDown() override
    {
        QApplication::clipboard()->setMimeData(m_savedClipboard.release());
        DialogScript::Stop();
    }

    static TImagePane* Pane(const QWidget* frame) { return Child<TImagePane>(frame, "Image1"); }
    static void Click(const QWidget* frame, const char* name) { Child<QAction>(frame, name)->trigger(); }
    QByteArray Stored() const { return Store.ReadContentBytes(Id, ImageField); }
    void StoreBytes(const QByteArray& bytes) { Store.WriteContentBytes(Id, ImageField, bytes); }

    qbtest::TempDatabase Db;
    TDocStore Store{Db.Connection};
    TO_db_image Frame{Db.Connection};
    QString Id;

private:
    std::unique_ptr<QMimeData> m_savedClipboard = std::make_unique<QMimeData>();
};

TEST_F(DbImageTest, NewDocumentWithoutContentStoresPlaceholderZero)
{
    Frame.OpenImage(Id);
    EXPECT_TRUE(Frame.IsImageOpen());
    EXPECT_TRUE(Pane(&Frame)->Picture().isNull()); // empty cell: empty bitmap, no message
    Frame.SetEmptyPicture();
    Frame.CloseImage();

    EXPECT_EQ(Rgb(ImageStore::DecodeBmp(Stored())), ImageStore::PlaceholderImage(ImageStore::PlaceholderNew));
    EXPECT_FALSE(Frame.IsImageOpen());
    EXPECT_EQ(Pane(&Frame)->size(), QSize(100, 100)); // placeholder 1 while closed
    EXPECT_TRUE(DialogScript::Shown().isEmpty());
}

TEST_F(DbImageTest, LoadedFileIsStoredAndReadBackEqual)
{
    const QString folder = qbtest::FreshFolder();
    const QString png = folder + QStringLiteral("/фото 1.png");
    const QImage picture = Picture(37, 21, 5);
    ASSERT_TRUE(picture.save(png));
    const QString notPicture = folder + QStringLiteral("/notes.png");
    qbtest::WriteAll(notPicture, "plain text");

    Frame.OpenImage(Id);
    DialogScript::QueueFileNames({notPicture, QString(), png});
    Click(&Frame, "TB_load"); // an unreadable file: reported, nothing changes
    EXPECT_TRUE(DialogScript::LastShown().contains(QStringLiteral("notes.png")));
    Click(&Frame, "TB_load"); // cancelled
    EXPECT_FALSE(Frame.PictureChanged());
    Click(&Frame, "TB_load");
    EXPECT_TRUE(Frame.PictureChanged());
    Frame.CloseImage();

    Frame.OpenImage(Id);
    EXPECT_EQ(Rgb(Pane(&Frame)->Picture()), picture);
    EXPECT_EQ(Pane(&Frame)->size(), picture.size());
    EXPECT_FALSE(Frame.PictureChanged());
}

TEST_F(DbImageTest, MissingRowIsReportedAndNothingIsWritten)
{
    Frame.OpenImage(TDocStore::NewIdentifier());
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("no responding record found"));
    Frame.SetPicture(Picture(3, 3, 1));
    EXPECT_NO_THROW(Frame.CloseImage());
    EXPECT_EQ(Store.ListDocuments().size(), 1u);
    EXPECT_TRUE(Stored().isEmpty());
}

TEST_F(DbImageTest, UnchangedOrDamagedPicturesAreNeverRewritten)
{
    // Reserved header bytes that our writer would zero: any rewrite shows.
    QByteArray original = ImageStore::EncodeBmp(Picture(9, 4, 3));
    original[6] = 'Q';
    const QByteArray damaged = original.left(original.size() - 5);
    for (const QByteArray& bytes : {original, damaged}) {
        StoreBytes(bytes);
        Frame.OpenImage(Id);
        Frame.CloseImage();
        EXPECT_EQ(Stored(), bytes);
    }
    EXPECT_TRUE(DialogScript::LastShown().contains(QStringLiteral("damaged")));
}

TEST_F(DbImageTest, CopyPasteAndReloadThroughTheClipboard)
{
    const QImage stored = Picture(12, 8, 9);
    const QImage other = Picture(5, 6, 2);
    StoreBytes(ImageStore::EncodeBmp(stored));
    Frame.OpenImage(Id);

    {
        // Marked secret; the same picture put back by another owner still counts as ours.
        TClipboardGuard guard;
        Click(&Frame, "TB_copy");
        EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Image has been copied to the clipboard."));
        EXPECT_EQ(Rgb(QApplication::clipboard()->image()), stored);
        EXPECT_TRUE(QApplication::clipboard()->mimeData()->hasFormat(QString::fromLatin1(TClipboardGuard::HintFormat)));
        QApplication::clipboard()->setImage(Rgb(stored));
        guard.ClearAtLock();
        EXPECT_EQ(QApplication::clipboard()->mimeData(), nullptr);
    }

    QApplication::clipboard()->setText(QStringLiteral("no picture"));
    Click(&Frame, "TB_paste");
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Sorry, can't paste clipboard content as a picture."));
    EXPECT_FALSE(Frame.PictureChanged());

    QApplication::clipboard()->setImage(other);
    Click(&Frame, "TB_paste");
    EXPECT_EQ(Rgb(Pane(&Frame)->Picture()), other);
    EXPECT_TRUE(Frame.PictureChanged());

    // Reload: "No" keeps the paste, "Yes" discards it.
    DialogScript::QueueAnswers({false, true});
    Click(&Frame, "TB_reload");
    EXPECT_EQ(Rgb(Pane(&Frame)->Picture()), other);
    Click(&Frame, "TB_reload");
    EXPECT_EQ(DialogScript::LastShown(), QStringLiteral("Reload the picture from the database?"));
    EXPECT_EQ(Rgb(Pane(&Frame)->Picture()), stored);
    EXPECT_FALSE(Frame.PictureChanged());
    Frame.CloseImage();
    EXPECT_EQ(Rgb(ImageStore::DecodeBmp(Stored())), stored);
}

TEST_F(DbImageTest, ScaleDialogStretchesTheViewAndAlwaysStartsAtAutoSize)
{
    StoreBytes(ImageStore::EncodeBmp(Picture(101, 33, 4)));
    Frame.OpenImage(Id);
    TD_scale_image* dialog = nullptr;
    qbtest::OnModal<TD_scale_image>([&](TD_scale_image* d) {
        dialog = d;
        Child<QRadioButton>(d, "RB_scale")->click();
        EXPECT_EQ(d->height(), TD_scale_image::TallHeight);
        Child<QSlider>(d, "TrB1")->setValue(250);
        EXPECT_EQ(Child<QLabel>(d, "Label_scale")->text(), QStringLiteral("250"));
        d->accept();
    });
    Click(&Frame, "TB_scale");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Pane(&Frame)->size(), QSize(252, 82));
    EXPECT_TRUE(Pane(&Frame)->Stretch());
    EXPECT_EQ(Pane(&Frame)->Picture().size(), QSize(101, 33)); // only the view is scaled

    qbtest::OnModal<TD_scale_image>([](TD_scale_image* d) {
        EXPECT_TRUE(Child<QRadioButton>(d, "RB_auto_size")->isChecked());
        EXPECT_EQ(Child<QSlider>(d, "TrB1")->value(), 100);
        EXPECT_FALSE(Child<QSlider>(d, "TrB1")->isEnabled());
        EXPECT_EQ(d->height(), TD_scale_image::ShortHeight);
        d->accept();
    });
    Click(&Frame, "TB_scale");
    EXPECT_EQ(Pane(&Frame)->size(), QSize(101, 33));
    EXPECT_FALSE(Pane(&Frame)->Stretch());
}

TEST_F(DbImageTest, WindowEditsModallyAndWritesBackOnReturn)
{
    TF_db_image window(Db.Connection);
    const QImage pasted = Picture(7, 7, 11);
    QApplication::clipboard()->setImage(pasted);
    bool ran = false;
    qbtest::OnModal<TF_db_image>([&](TF_db_image* w) {
        ran = true;
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Urlaub 2024"));
        EXPECT_TRUE(Child<TO_db_image>(w, "O_db_image1")->IsImageOpen());
        EXPECT_EQ(qbtest::Child<QToolButton>(w, "TB_paste")->toolTip(),
                  QStringLiteral("Paste from clipboard (Cvtrl+V)"));
        // The shortcut acts only in the active window, which a loaded machine may make late.
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w));
        QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
        EXPECT_TRUE(Child<TO_db_image>(w, "O_db_image1")->PictureChanged());
        Click(w, "TB_exit");
    });
    window.EditPicture(Id, QStringLiteral("Urlaub 2024"));
    EXPECT_TRUE(ran);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(Child<TO_db_image>(&window, "O_db_image1")->IsImageOpen());
    EXPECT_EQ(Rgb(ImageStore::DecodeBmp(Stored())), pasted);
}

TEST_F(DbImageTest, FailedWriteBackSaysWhyAndTheWindowKeepsThePicture)
{
    TF_db_image window(Db.Connection);
    TO_db_image& frame = *Child<TO_db_image>(&window, "O_db_image1");
    frame.OpenImage(Id);
    const QImage picture = Picture(300, 300, 5); // more than the database may grow by
    frame.SetPicture(picture);
    {
        TQuery count(Db.Connection, QStringLiteral("PRAGMA page_count"));
        count.Next();
        TQuery(Db.Connection, QStringLiteral("PRAGMA max_page_count = %1").arg(count.Value(0).toLongLong())).Next();
    }
    const QString file = qbtest::FreshFolder() + QStringLiteral("/kept.bmp");
    const QString full = TO_db_image::WriteBackFailedText(QStringLiteral("Database error: database or disk is full"));
    window.show();

    // No retry, no file, not discarded: the window stays open with the picture.
    DialogScript::QueueAnswers({false, false});
    DialogScript::QueueFileNames({QString()});
    window.reject();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(frame.PictureChanged());
    EXPECT_EQ(Rgb(Pane(&frame)->Picture()), picture);
    // Saved to a file of the user's choice, it closes; the record keeps what it had.
    DialogScript::QueueAnswers({false});
    DialogScript::QueueFileNames({file});
    window.reject();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(Rgb(ImageStore::ReadImageFile(file)), picture);
    EXPECT_TRUE(Stored().isEmpty());
    EXPECT_EQ(DialogScript::Shown(),
              (QStringList{full, QStringLiteral("Save bitmap as"), TO_db_image::DiscardChangeText(), full,
                           QStringLiteral("Save bitmap as")}));
}

} // namespace

namespace {

// The main window stays on top. X11 marks only dialog-type windows as transient for their owner,
// so a modal picture window of another type opens behind the main window, out of reach.
TEST_F(DbImageTest, WindowIsADialogOfTheWindowThatOpensIt)
{
    QWidget owner;
    TF_db_image window(Db.Connection, &owner);
    EXPECT_EQ(window.windowType(), Qt::Dialog);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
}

} // namespace
