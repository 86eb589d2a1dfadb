#pragma once

#include <QByteArray>
#include <QClipboard>
#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class QMimeData;
class QTimer;

// What the program puts on the clipboard is marked secret for clipboard managers, and taken off
// again after a set time, at lock and at exit, while the clipboard still holds that same data
// (whoever owns it by then).
class TClipboardGuard : public QObject
{
    Q_OBJECT

public:
    // The format clipboard managers read to leave a copy out of their history.
    static constexpr const char* HintFormat = "x-kde-passwordManagerHint";

    explicit TClipboardGuard(QObject* parent = nullptr);
    ~TClipboardGuard() override;
    // The program's guard, or null while there is none (windows made on their own).
    static TClipboardGuard* Current();

    // Marks data secret; once it reaches the clipboard or the selection, the guard watches it.
    static QMimeData* Mark(QMimeData* data);
    // Puts data on the clipboard, marked.
    static void Put(QMimeData* data);

    // Seconds after a copy until the clipboard is cleared; 0 keeps it (and at exit too).
    void SetClearSeconds(int seconds);
    int ClearSeconds() const { return m_clearSeconds; }
    // The clock in milliseconds, for tests; the timer only wakes CheckExpiry.
    void SetClock(std::function<qint64()> clock) { Clock = std::move(clock); }
    void CheckExpiry();

    // The clipboard and the selection, if they still hold the program's data.
    void ClearAtLock();
    // The clipboard, if clearing is on and it still holds the program's data.
    void ClearAtExit();
    bool HoldsOwn(QClipboard::Mode mode) const;

private:
    void OnChanged(QClipboard::Mode mode);
    void Clear(QClipboard::Mode mode);
    void Schedule();

    std::function<qint64()> Clock;

    struct Held
    {
        QPointer<const QMimeData> data; // ours while the platform still keeps our object
        QByteArray fingerprint; // a digest of its text or picture, to compare what another owner holds
    };
    Held m_held[2]; // QClipboard::Clipboard, QClipboard::Selection
    QList<QPointer<QMimeData>> m_marked; // made, not yet on the clipboard
    int m_clearSeconds = 0;
    qint64 m_copiedAt = 0;
    QTimer* m_timer = nullptr;
    TClipboardGuard* m_previous = nullptr; // a test's guard stands in for the program's
};
