// decodeImage on arbitrary bytes, at full size and fitted to a cover: a file
// whose header declares more than the pixel limit must fail before its
// pixels are decoded, and nothing over the limit ever comes back.
#include "FuzzInput.h"
#include "images/ImageDecoder.h"

#include <QBuffer>
#include <QImageReader>

using namespace papelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    const QSize declared = QImageReader(&buffer).size();
    const bool bomb = declared.isValid() && qint64(declared.width()) * declared.height() > kMaxDecodedPixels;

    for (const QSize fit : {QSize(), QSize(320, 200)}) {
        const QImage image = decodeImage(bytes, fit);
        if ((bomb && !image.isNull()) || qint64(image.width()) * image.height() > kMaxDecodedPixels)
            fuzz::violated(QStringLiteral("declared %1x%2, decoded %3x%4").arg(declared.width()).arg(declared.height())
                               .arg(image.width()).arg(image.height()));
    }
    return 0;
}
