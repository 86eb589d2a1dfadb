#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

class QMimeData;

// Collects what one drop from another program carries into a text, an HTML text, a rich text, a
// picture and a kind, then raises OnDrop. It interprets nothing beyond the kind and shows nothing;
// the window that receives drops hands each one to Drop().
class TOleDropper : public QObject
{
    Q_OBJECT
public:
    enum TDropKind : quint8
    {
        dkNone = 0,
        dkText = 1,
        dkPicture = 2,
        dkFile = 3,
        dkUrl = 4
    };
    Q_ENUM(TDropKind)

    explicit TOleDropper(QObject* parent = nullptr);

    // From plain text, a file name, file contents or a link: whichever the source listed last.
    const QString& DroppedText() const { return m_text; }
    const QString& DroppedHtml() const { return m_html; }
    const QString& DroppedRtf() const { return m_rtf; }
    // The files of the format that made the kind dkFile: every entry of a uri-list (URLs, local
    // or not), or the one file name; empty for the other kinds.
    const QStringList& DroppedFiles() const { return m_files; }
    // The first picture of the drop that decodes; null when there is none.
    const QImage& DroppedPicture() const { return m_picture; }
    // dkText when only text formats were read; otherwise the last file name, file contents or
    // link, or the first picture, in the source's order decides.
    TDropKind DropKind() const { return m_kind; }

    void ClearData();
    // Reads the offered formats in the source's order, then raises OnDrop (also when nothing
    // could be used: the kind is then dkNone and every field empty).
    void Drop(const QMimeData& data);

Q_SIGNALS:
    void OnDrop(TOleDropper* sender);

private:
    void Collect(const QMimeData& data);

    QString m_text;
    QString m_html;
    QString m_rtf;
    QImage m_picture;
    QStringList m_files;
    TDropKind m_kind = dkNone;
};
