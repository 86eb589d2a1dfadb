#include "core/intake/OleDrop.h"

#include "core/intake/DropFormats.h"

#include <QMimeData>

using DropFormats::TDropFormat;

namespace {
const QString QtImageType = QStringLiteral("application/x-qt-image");
}

TOleDropper::TOleDropper(QObject* parent)
    : QObject(parent)
{
}

void TOleDropper::ClearData()
{
    m_text.clear();
    m_html.clear();
    m_rtf.clear();
    m_picture = QImage();
    m_files.clear();
    m_kind = dkNone;
}

void TOleDropper::Drop(const QMimeData& data)
{
    ClearData();
    Collect(data);
    Q_EMIT OnDrop(this);
}

void TOleDropper::Collect(const QMimeData& data)
{
    bool read = false;
    for (const QString& mimeType : data.formats()) {
        TDropFormat format = DropFormats::Classify(mimeType);
        if (format == TDropFormat::None)
            continue;
        if (format == TDropFormat::Dib) {
            if (!m_picture.isNull()) // only the first picture counts; later ones are not even read
                continue;
            const QImage picture = mimeType == QtImageType ? qvariant_cast<QImage>(data.imageData())
                                                           : DropFormats::PictureOf(mimeType, data.data(mimeType));
            if (picture.isNull()) // malformed, oversized or cut short: as if not offered
                continue;
            m_picture = picture;
            m_kind = dkPicture;
            read = true;
            continue;
        }
        // A format listed without bytes could not be obtained from the source: passed over.
        const QByteArray block = data.data(mimeType);
        if (block.isEmpty())
            continue;
        if (format == TDropFormat::UriList)
            format = DropFormats::UriListFormat(block);
        const QString text = DropFormats::TextOf(format, mimeType, block);
        switch (format) {
            case TDropFormat::Text:
                m_text = text;
                break;
            case TDropFormat::Url:
                m_text = text;
                m_kind = dkUrl;
                break;
            case TDropFormat::FileName:
            case TDropFormat::FileContents:
                m_text = text;
                m_kind = dkFile;
                // File contents name no file: such a drop stays refused.
                m_files = DropFormats::Classify(mimeType) == TDropFormat::UriList ? DropFormats::UriEntries(block)
                    : format == TDropFormat::FileName                             ? QStringList{text}
                                                                                  : QStringList();
                break;
            case TDropFormat::Html:
                m_html = text;
                break;
            case TDropFormat::Rtf:
                m_rtf = text;
                break;
            case TDropFormat::None: // a uri-list without entries
                continue;
            case TDropFormat::Dib:
            case TDropFormat::UriList:
                break;
        }
        read = true;
    }
    if (read && m_kind == dkNone)
        m_kind = dkText;
    if (m_kind != dkFile)
        m_files.clear();
}
