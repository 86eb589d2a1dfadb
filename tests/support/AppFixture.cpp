#include "support/AppFixture.h"

#include "core/settings/SettingsFile.h"
#include "core/shell/Shell.h"

#include <QDir>
#include <QFileInfo>

namespace qbtest {

void AppFixture::StartApp(const char* settingsText)
{
    PrepareStart(settingsText);
    CreateWindows();
    Windows().Fmain->SetActivateOnShow(false); // tests call Activate() themselves
}

void AppFixture::PrepareStart(const char* settingsText)
{
    const QString file = TSettingsFile::SettingsFileName();
    QFile::remove(file);
    QFile::remove(file + QStringLiteral(".bad"));
    if (settingsText) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(settingsText);
    }
    opened.clear();
    DialogScript::Start();
    Shell::SetOpener([this](const QUrl& url) {
        opened.append(url);
        return true;
    });
}

void AppFixture::TearDown()
{
    DestroyWindows();
    Shell::SetOpener({});
    DialogScript::Stop();
}

QByteArray AppFixture::SettingsFileBytes()
{
    QFile f(TSettingsFile::SettingsFileName());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace qbtest
