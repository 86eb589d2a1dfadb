#include "core/documents/FakeObjectServer.h"
#include "core/settings/OrbPigger.h"
#include "core/settings/SettingsModel.h"
#include "gui/documents/wz_new_doc.h"
#include "gui/intake/OleServers.h"
#include "support/Child.h"
#include "support/DialogScript.h"
#include "support/ModalDriver.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

using qbtest::Child;
using qbtest::OnModal;

namespace {

class NewDocWizardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The offscreen clipboard lives in this process; it is put back as it was.
        if (const QMimeData* old = QApplication::clipboard()->mimeData())
            for (const QString& format : old->formats())
                m_saved->setData(format, old->data(format));
        settings.Root().SetText(
            QStringLiteral("<SETTINGS><OLE_SERVERS DEFAULT=\"nobody\"><SERVER NAME=\"Sketch\" CLASS=\"org.s\"/>"
                           "<SERVER NAME=\" \" CLASS=\"org.blank\"/><SERVER NAME=\"Writer\" CLASS=\"org.w\"/>"
                           "</OLE_SERVERS></SETTINGS>"));
        wizard.SetSettings(&settings);
    }
    void TearDown() override { QApplication::clipboard()->setMimeData(m_saved.release()); }

    static void SetClipboard(QMimeData* data) { QApplication::clipboard()->setMimeData(data); }
    static QStringList Items(const QListWidget* list)
    {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->item(i)->text();
        return items;
    }
    static void Choose(QListWidget* list, const QString& text)
    {
        list->setCurrentItem(list->findItems(text, Qt::MatchExactly).value(0));
    }

    TSettingsModel settings;
    TW_new_doc wizard;
    QString name = QStringLiteral("Document created at 10:15:00");
    QString type = QStringLiteral("stale");

private:
    std::unique_ptr<QMimeData> m_saved = std::make_unique<QMimeData>();
};

TEST_F(NewDocWizardTest, NativeAndServerChoicesGiveTheirTypes)
{
    OnModal<TW_new_doc>([](TW_new_doc* w) {
        EXPECT_EQ(Child<QLineEdit>(w, "Edit1")->text(), QStringLiteral("Document created at 10:15:00"))
            << "the proposed name";
        Child<QLineEdit>(w, "Edit1")->setText(QStringLiteral("   "));
        EXPECT_FALSE(qbtest::Child<QPushButton>(w, "btnNext")->isEnabled()) << "a blank name";
        Child<QLineEdit>(w, "Edit1")->setText(QStringLiteral("  Notes  "));
        qbtest::Child<QPushButton>(w, "btnNext")->click();
        EXPECT_EQ(w->InnerPage(), 0) << "TabSheet1, native";
        Child<QButtonGroup>(w, "RG1Buttons")->button(1)->click();
        qbtest::Child<QPushButton>(w, "btnFinish")->click();
    });
    EXPECT_EQ(wizard.Execute(name, type).ContentKind, TDocContent::Kind::Nothing);
    EXPECT_EQ(name, QStringLiteral("Notes"));
    EXPECT_EQ(type, QStringLiteral("TXT"));

    OnModal<TW_new_doc>([](TW_new_doc* w) {
        EXPECT_EQ(Child<QComboBox>(w, "CB1")->count(), 2) << "the entry with a blank name is left out";
        EXPECT_EQ(Child<QComboBox>(w, "CB1")->currentIndex(), -1) << "DEFAULT names no entry";
        Child<QButtonGroup>(w, "RG_creation_typeButtons")->button(1)->click();
        qbtest::Child<QPushButton>(w, "btnNext")->click();
        EXPECT_EQ(w->InnerPage(), 1) << "TabSheet2, server";
        EXPECT_FALSE(qbtest::Child<QPushButton>(w, "btnFinish")->isEnabled());
        Child<QComboBox>(w, "CB1")->setCurrentText(QStringLiteral("Writer"));
        qbtest::Child<QPushButton>(w, "btnFinish")->click();
    });
    EXPECT_EQ(wizard.Execute(name, type).ContentKind, TDocContent::Kind::Nothing);
    EXPECT_EQ(type, QStringLiteral("org.w"));
}

TEST_F(NewDocWizardTest, DotsOpenTheServerPageThenReloadAndSave)
{
    // Without a settings dialog to open, the server page comes in a window of its own.
    qbtest::AddFakeServer(QStringLiteral("org.example.Sketch"), "exit 0", QStringLiteral("image/png"));
    TOleContainer::SetObjectChooser([] { return QStringLiteral("org.example.Sketch"); });
    QFile::remove(TSettingsFile::SettingsFileName());
    OnModal<TW_new_doc>([](TW_new_doc* w) {
        OnModal<QDialog>([](QDialog* page) {
            qbtest::Child<QPushButton>(page, "BtnAdd")->click();
            page->reject();
        });
        Child<QToolButton>(w, "SB_doc_types")->click();
        EXPECT_EQ(Child<QComboBox>(w, "CB1")->itemText(2), QStringLiteral("org.example.Sketch"));
        EXPECT_TRUE(qbtest::ReadAll(TSettingsFile::SettingsFileName()).contains("org.example.Sketch")) << "saved";
        qbtest::Child<QPushButton>(w, "btnCancel")->click();
    });
    wizard.Execute(name, type);
    TOleContainer::SetObjectChooser(nullptr);
    EXPECT_TRUE(name.isEmpty() && type.isEmpty()) << "cancelled";

    int opened = 0; // the settings dialog on its server page, as the program wires it
    QObject::connect(&wizard, &TW_new_doc::ServerSettingsWanted, [&opened] { ++opened; });
    OnModal<TW_new_doc>([](TW_new_doc* w) {
        Child<QToolButton>(w, "SB_doc_types")->click();
        qbtest::Child<QPushButton>(w, "btnCancel")->click();
    });
    wizard.Execute(name, type);
    EXPECT_EQ(opened, 1);
}

TEST_F(NewDocWizardTest, PasteModeOpensOnTheClipboardFormats)
{
    struct Row
    {
        const char* format;
        const char* type;
        TDocContent::Kind kind;
    };
    const QString file = qbtest::FreshFolder() + QStringLiteral("/note.txt");
    qbtest::WriteAll(file, "note");
    qbtest::AddFakeServer(QStringLiteral("org.example.Notes"), "exit 0", QStringLiteral("text/plain"));
    for (const Row& row :
         {Row{"Bitmap", "IMG", TDocContent::Kind::Bitmap}, Row{"Text", "TXT", TDocContent::Kind::TextLines},
          Row{"OLE object", "", TDocContent::Kind::Clipboard}}) {
        auto* data = new QMimeData;
        QImage picture(4, 3, QImage::Format_RGB32);
        picture.fill(Qt::red);
        data->setImageData(picture);
        data->setText(QStringLiteral("one\r\ntwo"));
        data->setUrls({QUrl::fromLocalFile(file)});
        SetClipboard(data);
        const QString format = QString::fromLatin1(row.format);
        OnModal<TW_new_doc>([format](TW_new_doc* w) {
            EXPECT_EQ(w->InnerPage(), 2) << "TabSheet3, clipboard";
            EXPECT_FALSE(qbtest::Child<QPushButton>(w, "btnNext")->isVisible());
            EXPECT_EQ(Items(Child<QListWidget>(w, "LB_paste")),
                      (QStringList{QStringLiteral("Bitmap"), QStringLiteral("Text"), QStringLiteral("OLE object")}));
            Choose(Child<QListWidget>(w, "LB_paste"), format);
            qbtest::Child<QPushButton>(w, "btnFinish")->click();
        });
        name = QStringLiteral("Document created at 10:15:00");
        const TDocContent content = wizard.ExecuteMode(name, type, true);
        EXPECT_EQ(name, QStringLiteral("Document created at 10:15:00")) << row.format;
        EXPECT_EQ(type, QString::fromLatin1(row.type)) << row.format;
        EXPECT_EQ(content.ContentKind, row.kind) << row.format;
        if (row.kind == TDocContent::Kind::Bitmap) {
            EXPECT_EQ(content.Picture.convertToFormat(QImage::Format_RGB32), picture);
        }
    }
}

} // namespace
