#include "DocumentsFixture.h"
#include "core/documents/ImageStore.h"
#include "core/jobs/JobRunner.h"
#include "gui/database/JobProgress.h"
#include "gui/documents/ExportAll.h"
#include "support/DialogScript.h"
#include "support/TestEnv.h"

#include <QFileInfo>
#include <QImage>

namespace {

QImage Picture()
{
    QImage image(9, 7, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    image.setPixel(2, 3, qRgb(250, 10, 20));
    return image;
}

class DocFilesWindowTest : public qbtest::DocumentsFixture
{
protected:
    void TearDown() override
    {
        DialogScript::Stop();
        DocumentsFixture::TearDown();
    }
    void OpenWithPicture()
    {
        OpenDatabase([](TDocStore& s) {
            const QString id = s.CreateDocumentRecord(QStringLiteral("pic"), QStringLiteral("IMG"));
            s.WriteContentBytes(id, QStringLiteral("Image"), ImageStore::EncodeBmp(Picture()));
        });
    }
};

} // namespace

TEST_F(DocFilesWindowTest, SaveAsFileAsksBeforeReplacingAndPicksTheFormatBySuffix)
{
    OpenWithPicture();
    const QString folder = qbtest::FreshFolder();
    const QString png = folder + QStringLiteral("/p.png");
    const QString bmp = folder + QStringLiteral("/p.bmp");
    struct Row
    {
        const char* what;
        QString chosen; // "" cancels
        QList<bool> answers;
        QByteArray before; // the file there first; empty: none
        bool written;
    };
    const Row rows[] = {
        {"cancelled", QString(), {}, {}, false},
        {"a new PNG", png, {}, {}, true},
        {"an existing file kept", bmp, {false}, "old", false},
        {"an existing file replaced", bmp, {true}, "old", true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        if (!r.before.isEmpty())
            qbtest::WriteAll(r.chosen, r.before);
        DialogScript::Start();
        DialogScript::QueueFileNames({r.chosen});
        DialogScript::QueueAnswers(r.answers);
        QTest::keyClick(Main(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(DialogScript::PendingAnswers(), 0);
        if (r.chosen.isEmpty())
            continue;
        if (r.written) {
            EXPECT_EQ(QImage(r.chosen).convertToFormat(QImage::Format_RGB32), Picture());
        } else {
            EXPECT_EQ(qbtest::ReadAll(r.chosen), r.before);
        }
    }
}

TEST_F(DocFilesWindowTest, ExportAllListsWhatItWroteAndRefusesAFolderNotEmpty)
{
    OpenWithPicture();
    const QString empty = qbtest::FreshFolder();
    const QString full = qbtest::FreshFolder();
    qbtest::WriteAll(full + QStringLiteral("/x"), "x");
    for (const QString& folder : {empty, full}) {
        DialogScript::Start();
        DialogScript::QueueFileNames({folder});
        ExportAll::Run(Main(), ADB());
        // It stops between files when asked, so its window's close box offers that.
        if (auto* progress = Main()->findChild<TJobProgress*>(); progress && TJobRunner::AnyBusy()) {
            DialogScript::QueueAnswers({false});
            progress->close();
            EXPECT_TRUE(
                DialogScript::Shown().takeLast().startsWith(QStringLiteral("Exporting the documents...\nStop it?")));
        }
        ASSERT_TRUE(QTest::qWaitFor([] { return !TJobRunner::AnyBusy() && !DialogScript::Shown().isEmpty(); }));
        const bool ok = folder == empty;
        const QString expected = ok ? ExportAll::Report(folder, {QStringLiteral("pic.bmp")}, QString())
                                    : ExportAll::Report(folder, {},
                                                        QStringLiteral("The folder \"%1\" is not empty: choose an "
                                                                       "empty folder.")
                                                            .arg(folder));
        EXPECT_EQ(DialogScript::LastShown(), expected);
        EXPECT_EQ(QFileInfo::exists(folder + QStringLiteral("/pic.bmp")), ok);
    }
}
