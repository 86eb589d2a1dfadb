#include "gui/widgets/ClipboardGuard.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QTimer>
#include <algorithm>

namespace {

TClipboardGuard* g_current = nullptr;

QClipboard* Clipboard()
{
    return QGuiApplication::clipboard();
}

// The text (or else the picture) as a digest: what is compared once another program owns the
// clipboard, without keeping a second copy of the secret.
QByteArray Fingerprint(const QMimeData* data)
{
    if (!data)
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (data->hasText()) {
        hash.addData("T");
        hash.addData(data->text().toUtf8());
    } else if (data->hasImage()) {
        const QImage image = qvariant_cast<QImage>(data->imageData()).convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            return {};
        hash.addData("I");
        hash.addData(QByteArray::number(image.width()) + 'x' + QByteArray::number(image.height()));
        for (int y = 0; y < image.height(); ++y)
            hash.addData(QByteArrayView(reinterpret_cast<const char*>(image.constScanLine(y)), image.width() * 4));
    } else {
        return {};
    }
    return hash.result();
}

} // namespace

TClipboardGuard::TClipboardGuard(QObject* parent)
    : QObject(parent)
    , Clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &TClipboardGuard::CheckExpiry);
    connect(Clipboard(), &QClipboard::changed, this, &TClipboardGuard::OnChanged);
    m_previous = g_current;
    g_current = this;
}

TClipboardGuard::~TClipboardGuard()
{
    if (g_current == this)
        g_current = m_previous;
}

TClipboardGuard* TClipboardGuard::Current()
{
    return g_current;
}

QMimeData* TClipboardGuard::Mark(QMimeData* data)
{
    if (!data)
        return data;
    data->setData(QString::fromLatin1(HintFormat), QByteArrayLiteral("secret"));
    if (g_current) {
        // Drags make data that never reaches the clipboard; it is gone once the drag ends.
        g_current->m_marked.removeIf([](const QPointer<QMimeData>& p) { return p.isNull(); });
        g_current->m_marked.append(data);
    }
    return data;
}

void TClipboardGuard::Put(QMimeData* data)
{
    Clipboard()->setMimeData(Mark(data));
}

void TClipboardGuard::OnChanged(QClipboard::Mode mode)
{
    if (mode != QClipboard::Clipboard && mode != QClipboard::Selection)
        return;
    const QMimeData* data = Clipboard()->mimeData(mode);
    // Ours: data marked here, or anything else this process put there (a line edit's copy
    // where the platform can tell the owner).
    const auto marked = std::find(m_marked.begin(), m_marked.end(), data);
    const bool own = data
        && (marked != m_marked.end()
            || (mode == QClipboard::Clipboard ? Clipboard()->ownsClipboard() : Clipboard()->ownsSelection()));
    if (!own)
        return; // another program's now; what was ours is still compared when it is time
    if (marked != m_marked.end())
        m_marked.erase(marked);
    if (!data->hasFormat(QString::fromLatin1(HintFormat)))
        const_cast<QMimeData*>(data)->setData(QString::fromLatin1(HintFormat), QByteArrayLiteral("secret"));
    Held& held = m_held[mode];
    held.data = data;
    held.fingerprint = Fingerprint(data);
    if (mode == QClipboard::Clipboard) {
        m_copiedAt = Clock();
        Schedule();
    }
}

bool TClipboardGuard::HoldsOwn(QClipboard::Mode mode) const
{
    if (mode != QClipboard::Clipboard && mode != QClipboard::Selection)
        return false;
    const Held& held = m_held[mode];
    const QMimeData* now = Clipboard()->mimeData(mode);
    if (!now)
        return false;
    if (held.data && held.data == now)
        return true;
    return !held.fingerprint.isEmpty() && Fingerprint(now) == held.fingerprint;
}

void TClipboardGuard::Clear(QClipboard::Mode mode)
{
    if (HoldsOwn(mode))
        Clipboard()->clear(mode);
    m_held[mode] = Held{};
    if (mode == QClipboard::Clipboard)
        m_timer->stop();
}

void TClipboardGuard::SetClearSeconds(int seconds)
{
    m_clearSeconds = std::max(0, seconds);
    Schedule();
}

void TClipboardGuard::Schedule()
{
    const Held& held = m_held[QClipboard::Clipboard];
    if (m_clearSeconds <= 0 || (!held.data && held.fingerprint.isEmpty())) {
        m_timer->stop();
        return;
    }
    const qint64 left = m_copiedAt + qint64(m_clearSeconds) * 1000 - Clock();
    m_timer->start(int(std::clamp<qint64>(left, 0, qint64(m_clearSeconds) * 1000)));
}

void TClipboardGuard::CheckExpiry()
{
    if (m_clearSeconds <= 0)
        return;
    if (Clock() - m_copiedAt >= qint64(m_clearSeconds) * 1000)
        Clear(QClipboard::Clipboard);
    else
        Schedule(); // woken early (the clock moved)
}

void TClipboardGuard::ClearAtLock()
{
    Clear(QClipboard::Clipboard);
    Clear(QClipboard::Selection);
}

void TClipboardGuard::ClearAtExit()
{
    if (m_clearSeconds > 0)
        Clear(QClipboard::Clipboard);
}
