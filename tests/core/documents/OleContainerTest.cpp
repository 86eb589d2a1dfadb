#include "core/documents/OleContainer.h"

#include "core/common/MadeDevice.h"
#include "core/common/PrivateFolder.h"
#include "core/common/QbError.h"
#include "core/documents/FakeObjectServer.h"
#include "core/documents/ObjectServers.h"
#include "support/FailDevice.h"
#include "support/TestEnv.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

using namespace qbtest;

namespace {

QByteArray Stored(const TOleContainer& container)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    container.WriteToStream(buffer);
    return buffer.data();
}

void Load(TOleContainer& container, const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    container.ReadFromStream(buffer);
}

// The stored form as a database cell read in place; counts into *read the bytes it hands out from
// offset bodyAt on (an object's own bytes).
TOleContainer::TStoredSource InPlace(const QByteArray& stored, std::shared_ptr<qint64> read = {}, qint64 bodyAt = 0)
{
    return [stored, read, bodyAt]() -> std::unique_ptr<QIODevice> {
        return std::make_unique<TMadeDevice>(stored.size(), [=](qint64 at, char* data, qint64 max) {
            if (read)
                *read += qMax<qint64>(0, at + max - qMax(at, bodyAt));
            std::memcpy(data, stored.constData() + at, size_t(max));
            return max;
        });
    };
}

// Runs the object's server and waits until the container reports it closed.
void EditAndWait(TOleContainer& container)
{
    container.RunVerb(-1);
    EXPECT_EQ(container.ObjectState(), TOleContainer::osOpen);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &container, [&container] {
        ADD_FAILURE() << "the object stayed open";
        container.EndEditing();
    });
    guard.start(20000);
    container.WaitWhileOpen();
}

class OleContainerTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // Records the modes of the file and its folder, then edits it.
        AddFakeServer(QStringLiteral("qbtest-editor"),
                      "stat -c '%a' \"$1\" \"$(dirname \"$1\")\" >> \"$1\"\nprintf 'edited' >> \"$1\"");
        AddFakeServer(QStringLiteral("qbtest-office"), LockingServerScript("first", " later"));
        AddFakeServer(QStringLiteral("qbtest-sleeper"), "exec sleep 60");
        AddFakeServer(QStringLiteral("qbtest-launcher"), "exit 0");
        WriteFakeEntry(
            QStringLiteral("qbtest-missing"),
            QStringLiteral("Type=Application\nName=Missing\nExec=/nonexistent/qbtest %f\nMimeType=text/plain;\n"));
    }
};

TEST_F(OleContainerTest, ServerEditsTheFileAndItIsTakenBackWhenItEnds)
{
    TOleContainer container;
    container.SetHandOverGrace(0);
    container.CreateFromClass(QStringLiteral("qbtest-editor"));
    EXPECT_EQ(container.ObjectSuffix(), QStringLiteral("txt"));
    container.SetModified(false);
    EditAndWait(container);
    EXPECT_EQ(container.ObjectState(), TOleContainer::osLoaded);
    EXPECT_EQ(container.ObjectBytes(), QByteArray("600\n700\nedited"));
    EXPECT_TRUE(container.Modified());
    // The edited file stays until its change is stored.
    EXPECT_EQ(ReadAll(container.EditedFilePath()), QByteArray("600\n700\nedited"));
    container.SetModified(false);
    EXPECT_TRUE(container.EditedFilePath().isEmpty());
    EXPECT_TRUE(LeftoverObjectFolders().isEmpty()) << LeftoverObjectFolders().join(u',').toStdString();
}

TEST_F(OleContainerTest, ServerThatReturnsAtOnceHandsTheFileOverUntilTheUserIsDone)
{
    for (const int limit : {5000, 0}) {
        TOleContainer container;
        container.SetHandOverGrace(0);
        container.SetHandOverLimit(limit);
        container.CreateFromClass(QStringLiteral("qbtest-launcher"));
        container.SetModified(false);
        bool handedOver = false;
        QObject::connect(&container, &TOleContainer::ServerHandedOver, &container, [&] {
            handedOver = true;
            // The running instance saves later; the session is still there to take it in.
            WriteAll(container.EditedFilePath(), "saved by the instance");
        });
        QObject::connect(&container, &TOleContainer::ObjectChanged, &container, [&] { container.EndEditing(); });
        EditAndWait(container);
        EXPECT_EQ(handedOver, limit > 0) << limit;
        EXPECT_EQ(container.ObjectBytes(), limit > 0 ? QByteArray("saved by the instance") : QByteArray()) << limit;
        EXPECT_FALSE(container.IsHandedOver());
    }
    EXPECT_TRUE(LeftoverObjectFolders().isEmpty());
}

TEST_F(OleContainerTest, ObjectStaysOpenWhileTheLockFileExists)
{
    TOleContainer container;
    container.SetHandOverGrace(0);
    container.CreateFromClass(QStringLiteral("qbtest-office"));
    QByteArray seenMidway;
    QObject::connect(&container, &TOleContainer::ObjectChanged, &container, [&] {
        seenMidway = container.ObjectBytes();
        EXPECT_EQ(container.ObjectState(), TOleContainer::osOpen);
        WriteAll(QFileInfo(container.EditedFilePath()).path() + QStringLiteral("/go"), "");
    });
    EditAndWait(container);
    EXPECT_EQ(seenMidway, QByteArray("first"));
    EXPECT_EQ(container.ObjectBytes(), QByteArray("first later"));
    container.SetModified(false); // stored
    EXPECT_TRUE(LeftoverObjectFolders().isEmpty());
}

TEST_F(OleContainerTest, EveryWayOutOfAnEditLeavesNoFile)
{
    const std::vector<std::pair<const char*, std::function<void(std::unique_ptr<TOleContainer>&)>>> ways = {
        {"release", [](auto& c) { c->ReleaseObject(); }},
        {"end editing", [](auto& c) { c->EndEditing(); }},
        {"destroy", [](auto& c) { c.reset(); }},
    };
    for (const auto& [name, leave] : ways) {
        auto container = std::make_unique<TOleContainer>();
        container->CreateFromClass(QStringLiteral("qbtest-sleeper"));
        container->RunVerb(-1);
        ASSERT_EQ(LeftoverObjectFolders().size(), 1) << name;
        leave(container);
        EXPECT_TRUE(LeftoverObjectFolders().isEmpty()) << name;
        if (container) {
            EXPECT_NE(container->ObjectState(), TOleContainer::osOpen) << name;
        }
    }

    TOleContainer container;
    Load(container, StoredForm("qbtest-missing", "txt", "secret"));
    EXPECT_THROW(container.RunVerb(-1), QbError);
    EXPECT_EQ(container.ObjectState(), TOleContainer::osLoaded);
    EXPECT_TRUE(LeftoverObjectFolders().isEmpty());
}

TEST(WipeFolderTest, RemovesTheFolderButLeavesWhatLinksLeadTo)
{
    const QString outside = FreshFolder();
    const QString folder = FreshFolder();
    WriteAll(outside + QStringLiteral("/target"), "keep me");
    WriteAll(outside + QStringLiteral("/linked"), "keep me too");
    QDir().mkpath(folder + QStringLiteral("/sub/.hidden"));
    WriteAll(folder + QStringLiteral("/sub/.hidden/backup~"), "secret");
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/target"), folder + QStringLiteral("/symlink")));
    ASSERT_TRUE(QFile::link(outside, folder + QStringLiteral("/dirlink")));
    ASSERT_EQ(::link(QFile::encodeName(outside + QStringLiteral("/linked")).constData(),
                     QFile::encodeName(folder + QStringLiteral("/hardlink")).constData()),
              0);
    TPrivateFolder::WipeFolder(folder);
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(ReadAll(outside + QStringLiteral("/target")), QByteArray("keep me"));
    EXPECT_EQ(ReadAll(outside + QStringLiteral("/linked")), QByteArray("keep me too"));
}

TEST_F(OleContainerTest, UnknownClassRaisesAndChangesNothing)
{
    TOleContainer container;
    try {
        container.CreateFromClass(QStringLiteral("qbtest-not-there"));
        ADD_FAILURE() << "no error";
    } catch (const QbError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("class not registered"));
    }
    EXPECT_EQ(container.ObjectState(), TOleContainer::osEmpty);

    // A stored object whose server is gone still loads, but cannot be edited.
    Load(container, StoredForm("qbtest-uninstalled", "odt", "x"));
    EXPECT_THROW(container.RunVerb(-1), QbError);
    EXPECT_TRUE(LeftoverObjectFolders().isEmpty());
}

TEST_F(OleContainerTest, StoredObjectRoundTripsAndForeignBytesAreRefused)
{
    TOleContainer original;
    Load(original, StoredForm("qbtest-editor", "txt", QByteArray("a\0b", 3)));
    const QByteArray stored = Stored(original);
    EXPECT_EQ(stored, StoredForm("qbtest-editor", "txt", QByteArray("a\0b", 3)));
    // The device form gives the same bytes, read in pieces that cross from header to object.
    const std::unique_ptr<QIODevice> form = original.StoredForm();
    EXPECT_EQ(form->size(), stored.size());
    QByteArray pieces;
    for (qint64 piece : {3, 1, 40, 1000})
        pieces += form->read(piece);
    EXPECT_EQ(pieces, stored);
    ASSERT_TRUE(form->seek(stored.size() - 2));
    EXPECT_EQ(form->readAll(), stored.right(2));

    const QByteArray good = StoredForm("qbtest-editor", "txt", "keep");
    const std::vector<std::pair<QByteArray, QString>> rows = {
        {"", QStringLiteral("not in Quietbox's object format")},
        {"PK\3\4 a zip file, not an object", QStringLiteral("not in Quietbox's object format")},
        {StoredForm("c", "txt", "x", 2), QStringLiteral("format version 2")},
        {StoredForm("", "txt", "x"), QStringLiteral("damaged")},
        {StoredForm("c", "../x", "x"), QStringLiteral("damaged")},
        {StoredForm("c", "t/x", "x"), QStringLiteral("damaged")},
        {StoredForm("c\n", "txt", "x"), QStringLiteral("damaged")},
        {StoredForm(QByteArray(33, 'c'), "txt", "x"), QStringLiteral("damaged")},
        {StoredForm("c", "txt", "x") + "trailing", QStringLiteral("damaged")},
    };
    auto refused = [&](const QByteArray& bytes, const QString& expected, const std::string& row) {
        // Read whole, and read in place for its header only (as a cell is shown).
        for (const bool inPlace : {false, true}) {
            TOleContainer container;
            Load(container, good);
            try {
                if (inPlace)
                    container.ReadHeaderFrom(InPlace(bytes));
                else
                    Load(container, bytes);
                ADD_FAILURE() << "accepted: " << row << " in place " << inPlace;
            } catch (const QbError& e) {
                EXPECT_TRUE(e.Message().contains(expected)) << row << ": " << e.Message().toStdString();
            }
            EXPECT_EQ(container.ObjectBytes(), QByteArray("keep")) << row << " in place " << inPlace;
        }
    };
    for (const auto& [bytes, expected] : rows)
        refused(bytes, expected, bytes.toHex().toStdString());
    for (qsizetype cut = TOleContainer::Magic.size(); cut < stored.size(); ++cut)
        refused(stored.left(cut), QStringLiteral("incomplete"), "cut at " + std::to_string(cut));

    TOleContainer empty;
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    EXPECT_THROW(empty.WriteToStream(sink), QbError);
    EXPECT_THROW(empty.StoredForm(), QbError);
    for (qint64 failAfter : {qint64(0), qint64(12), qint64(stored.size()) - 1}) {
        FailDevice device(failAfter);
        device.open(QIODevice::WriteOnly);
        EXPECT_THROW(original.WriteToStream(device), QbError) << failAfter;
    }
}

TEST_F(OleContainerTest, ObjectReadInPlaceIsShownFromItsHeaderAndStreamedOnlyWhenUsed)
{
    QByteArray content;
    for (int i = 0; content.size() < 3 * 1024 * 1024; ++i)
        content += QByteArray::number(i) + '\n';
    const QByteArray stored = StoredForm("qbtest-editor", "txt", content);
    const qint64 bodyAt = stored.size() - content.size();
    const QString folder = FreshFolder();
    // Each use gives back the object's bytes as it saw them.
    const std::vector<std::pair<const char*, std::function<QByteArray(TOleContainer&)>>> uses = {
        {"bytes", [](TOleContainer& c) { return c.ObjectBytes(); }},
        {"save to file",
         [&](TOleContainer& c) {
             c.SaveToFile(folder + QStringLiteral("/saved"));
             return ReadAll(folder + QStringLiteral("/saved"));
         }},
        {"stored form", [&](TOleContainer& c) { return Stored(c).mid(bodyAt); }},
        {"edit",
         [](TOleContainer& c) {
             c.SetHandOverGrace(0);
             EditAndWait(c);
             return c.ObjectBytes().chopped(QByteArrayLiteral("600\n700\nedited").size());
         }},
    };
    for (const auto& [name, use] : uses) {
        const auto read = std::make_shared<qint64>(0);
        TOleContainer container;
        container.ReadHeaderFrom(InPlace(stored, read, bodyAt));
        EXPECT_EQ(container.ObjectClassName(), QStringLiteral("qbtest-editor")) << name;
        EXPECT_EQ(container.ObjectSuffix(), QStringLiteral("txt")) << name;
        EXPECT_EQ(container.ObjectSize(), content.size()) << name;
        EXPECT_FALSE(container.Modified()) << name;
        EXPECT_EQ(*read, 0) << name;
        EXPECT_TRUE(use(container) == content) << name;
        EXPECT_EQ(*read, content.size()) << name; // once, whole
    }
    EXPECT_TRUE(LeftoverObjectFolders().isEmpty());

    // A cell that holds another object by the time it is used is refused.
    const auto opens = std::make_shared<int>(0);
    TOleContainer container;
    container.ReadHeaderFrom(
        [&, opens] { return InPlace(++*opens == 1 ? stored : StoredForm("qbtest-editor", "txt", "other"))(); });
    EXPECT_THROW(container.ObjectBytes(), QbError);
    EXPECT_THROW(container.RunVerb(-1), QbError);
    EXPECT_TRUE(LeftoverObjectFolders().isEmpty());
}

TEST_F(OleContainerTest, ClipboardFileBecomesAnObjectOfTheDefaultServer)
{
    const QString folder = FreshFolder();
    WriteAll(folder + QStringLiteral("/note копия.txt"), "clipboard text");
    // The desktop's default for plain text is the editor, whatever other servers say.
    WriteAll(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/mimeapps.list"),
             "[Added Associations]\ntext/plain=qbtest-office.desktop;\n"
             "[Default Applications]\ntext/plain=qbtest-gone.desktop;qbtest-editor.desktop;\n");

    struct Row
    {
        const char* name;
        QList<QUrl> urls;
        QString text;
        bool offers;
    };
    const std::vector<Row> rows = {
        {"local file", {QUrl::fromLocalFile(folder + QStringLiteral("/note копия.txt"))}, {}, true},
        {"web address", {QUrl(QStringLiteral("https://example.org/a.txt"))}, {}, false},
        {"missing file", {QUrl::fromLocalFile(folder + QStringLiteral("/gone.txt"))}, {}, false},
        {"folder", {QUrl::fromLocalFile(folder)}, {}, false},
        {"plain text", {}, QStringLiteral("just text"), false},
    };
    for (const Row& row : rows) {
        auto* data = new QMimeData;
        if (!row.urls.isEmpty())
            data->setUrls(row.urls);
        if (!row.text.isEmpty())
            data->setText(row.text);
        QGuiApplication::clipboard()->setMimeData(data);
        TOleContainer container;
        EXPECT_EQ(container.ClipboardOffersObject(), row.offers) << row.name;
        container.PasteFromClipboard();
        if (row.offers) {
            EXPECT_EQ(container.ObjectClassName(), QStringLiteral("qbtest-editor")) << row.name;
            EXPECT_EQ(container.ObjectSuffix(), QStringLiteral("txt"));
            EXPECT_EQ(container.ObjectBytes(), QByteArray("clipboard text"));
            EXPECT_TRUE(container.Modified());
        } else {
            EXPECT_EQ(container.ObjectState(), TOleContainer::osEmpty) << row.name;
        }
    }
    QGuiApplication::clipboard()->clear();
}

TEST(ObjectServersTest, OnlyUsableEntriesAreServers)
{
    const QString base = QStringLiteral("Name=N\nMimeType=text/x-qbtest;\n");
    const std::vector<std::pair<QString, QString>> refused = {
        {QStringLiteral("qbt-hidden"), QStringLiteral("Type=Application\nExec=ed %f\nHidden=true\n")},
        {QStringLiteral("qbt-nodisplay"), QStringLiteral("Type=Application\nExec=ed %f\nNoDisplay=true\n")},
        {QStringLiteral("qbt-terminal"), QStringLiteral("Type=Application\nExec=ed %f\nTerminal=true\n")},
        {QStringLiteral("qbt-link"), QStringLiteral("Type=Link\nExec=ed %f\n")},
        {QStringLiteral("qbt-nofile"), QStringLiteral("Type=Application\nExec=ed --new-window\n")},
        {QStringLiteral("qbt-tryexec"), QStringLiteral("Type=Application\nExec=ed %f\nTryExec=qbtest-not-installed\n")},
        {QStringLiteral("qbt-quote"), QStringLiteral("Type=Application\nExec=\"ed %f\n")},
        {QStringLiteral("qbt-") + QString(29, u'x'), QStringLiteral("Type=Application\nExec=ed %f\n")},
    };
    for (const auto& [id, body] : refused) {
        WriteFakeEntry(id, body + base);
        EXPECT_FALSE(ObjectServers::Find(id)) << id.toStdString();
    }
    WriteFakeEntry(QStringLiteral("qbt-sub/ok"), QStringLiteral("Type=Application\nExec=ed %U\nName[de]=D\n") + base);
    const auto server = ObjectServers::Find(QStringLiteral("qbt-sub-ok"));
    ASSERT_TRUE(server);
    EXPECT_EQ(server->Name, QStringLiteral("N"));
    EXPECT_EQ(server->MimeTypes, QStringList{QStringLiteral("text/x-qbtest")});
}

TEST(ObjectServersTest, ExecLineBecomesAnArgumentList)
{
    const QString file = QStringLiteral("/run/user/1 x/object.txt");
    TObjectServer server;
    server.Name = QStringLiteral("Editor");
    server.Icon = QStringLiteral("ed-icon");
    server.DesktopFile = QStringLiteral("/a/ed.desktop");
    const std::vector<std::pair<QString, QStringList>> rows = {
        {QStringLiteral("ed %f"), {QStringLiteral("ed"), file}},
        {QStringLiteral("\"/opt/my ed/bin\"  --open %U"),
         {QStringLiteral("/opt/my ed/bin"), QStringLiteral("--open"), file}},
        {QStringLiteral("ed \"a \\\"q\\\" \\$b\" \"\" %F"),
         {QStringLiteral("ed"), QStringLiteral("a \"q\" $b"), QString(), file}},
        {QStringLiteral("ed --file=%f %i %c %k 100%%"),
         {QStringLiteral("ed"), QStringLiteral("--file=") + file, QStringLiteral("--icon"), QStringLiteral("ed-icon"),
          QStringLiteral("Editor"), QStringLiteral("/a/ed.desktop"), QStringLiteral("100%")}},
        {QStringLiteral("ed %d %m %u"), {QStringLiteral("ed"), file}},
    };
    for (const auto& [exec, expected] : rows) {
        server.Exec = exec;
        EXPECT_EQ(ObjectServers::CommandLine(server, file), expected) << exec.toStdString();
    }
    server.Exec = QStringLiteral("ed \"open %f");
    EXPECT_THROW(ObjectServers::CommandLine(server, file), QbError);
}

} // namespace
