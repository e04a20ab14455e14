#include "images/ImageDecoder.h"

#include "core/Trace.h"

#include <QBuffer>
#include <QImageReader>

namespace papelo {

QImage decodeImage(QByteArray bytes, QSize fitSize)
{
    if (bytes.isEmpty())
        return {};
    trace::Span span("image", QStringLiteral("image-decode"));
    span.setArg("bytes", bytes.size());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    // Qt's own allocation limit (128 MB) would refuse colour images well below
    // ours; allow what our pixel limit allows as 32-bit pixels, in whole MB.
    reader.setAllocationLimit(int((kMaxDecodedPixels * 4 + (1 << 20) - 1) >> 20));
    if (!reader.canRead())
        return {};
    const QSize declared = reader.size();
    if (declared.isValid()) {
        if (qint64(declared.width()) * declared.height() > kMaxDecodedPixels)
            return {};
        if (fitSize.isValid() && !fitSize.isEmpty() && declared.width() > fitSize.width()
            && declared.height() > fitSize.height()) {
            reader.setScaledSize(declared.scaled(fitSize, Qt::KeepAspectRatioByExpanding));
        }
    }
    const bool scaled = reader.scaledSize().isValid();
    QImage image = reader.read();
    if (scaled)
        image.setText(QString::fromLatin1(kScaledKey), QStringLiteral("1"));
    span.setArg("width", image.width());
    span.setArg("height", image.height());
    if (image.isNull() || qint64(image.width()) * image.height() > kMaxDecodedPixels)
        return {};
    return image;
}

} // namespace papelo
