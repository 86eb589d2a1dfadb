#include "core/settings/SettingsFile.h"

#include "core/settings/SettingsKeys.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

TSettingsFile::TSettingsFile()
    : m_root(std::make_unique<TOrbPigger>())
{
}

QString TSettingsFile::SettingsFileName()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return folder + QStringLiteral("/quietbox.SET");
}

bool TSettingsFile::Load()
{
    const QString name = SettingsFileName();
    if (!QFileInfo::exists(name))
        return false;
    try {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            throw QbError(QStringLiteral("Cannot open file \"%1\": %2").arg(name, file.errorString()));
        QByteArray bytes = file.readAll();
        // A hand-edited file in the old 8-bit encoding is no valid UTF-8: read as Latin-1, every
        // character survives (and is saved as UTF-8) instead of turning into a replacement mark.
        const qsizetype nul = bytes.indexOf('\0');
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString asUtf8 = utf8.decode(QByteArrayView(bytes).first(nul < 0 ? bytes.size() : nul));
        if (utf8.hasError())
            bytes = QString::fromLatin1(bytes).toUtf8();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        m_root->LoadFromStream(buffer);
        // An empty or blank file holds no settings at all: treat it like a damaged one.
        if (m_root->Name().isEmpty())
            throw QbError(QStringLiteral("The settings file holds no settings"));
        return true;
    } catch (const QbError&) {
        // Keep what the user had; the defaults that replace it must not be the only copy.
        const QString bad = name + QStringLiteral(".bad");
        QFile::remove(bad);
        if (!QFile::rename(name, bad))
            QFile::copy(name, bad);
        return false;
    }
}

bool TSettingsFile::Save() const
{
    const QString name = SettingsFileName();
    const QString folder = QFileInfo(name).absolutePath();
    QDir().mkpath(folder);
    // The settings name every database and where it is: the folder and file are the user's alone.
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QSaveFile file(name);
    // Unbuffered, so a refused write shows at once; QSaveFile would commit a short file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    try {
        m_root->SaveToStream(file);
    } catch (const QbError&) {
        file.cancelWriting();
        return false;
    }
    const qint64 expected = m_root->GetText().toUtf8().size();
    if (file.size() != expected) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

int TSettingsFile::IntOrZero(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

void TSettingsFile::FillDefaults(TOrbPigger& root)
{
    root.Clear();
    root.SetName(SettingsKey::Root);
    root.SetAttr(SettingsKey::Align, QStringLiteral("1"));
    root.AddChild(SettingsKey::OleServers);
    root.AddChild(SettingsKey::BaseList);
}
