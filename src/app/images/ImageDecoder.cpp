#include "images/ImageDecoder.h"

#include "core/Trace.h"

#include <QBuffer>
#include <QImageReader>

namespace papelo {

namespace {
void limitAllocation(QImageReader &reader)
{
    reader.setAutoTransform(true);
    // Qt's own allocation limit (128 MB) would refuse colour images well below
    // ours; allow what our pixel limit allows as 32-bit pixels, in whole MB.
    reader.setAllocationLimit(int((kMaxDecodedPixels * 4 + (1 << 20) - 1) >> 20));
}

bool tooManyPixels(QSize size) { return qint64(size.width()) * size.height() > kMaxDecodedPixels; }
} // namespace

QImage decodeImage(QByteArray bytes, QSize fitSize)
{
    if (bytes.isEmpty())
        return {};
    trace::Span span("image", QStringLiteral("image-decode"));
    span.setArg("bytes", bytes.size());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    limitAllocation(reader);
    if (!reader.canRead())
        return {};
    const QSize declared = reader.size();
    if (declared.isValid()) {
        if (tooManyPixels(declared))
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
    if (image.isNull() || tooManyPixels(image.size()))
        return {};
    return image;
}

DecodedPicture decodePicture(QByteArray bytes, QSize box)
{
    DecodedPicture result;
    result.error = DecodedPicture::Error::NotAnImage;
    if (bytes.isEmpty())
        return result;
    trace::Span span("image", QStringLiteral("picture-decode"));
    span.setArg("bytes", bytes.size());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    limitAllocation(reader);
    if (!reader.canRead())
        return result;
    // The file's own orientation: a quarter turn swaps what the box bounds.
    const QSize declared = reader.size();
    const bool turned = reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
    if (declared.isValid()) {
        if (tooManyPixels(declared)) {
            result.error = DecodedPicture::Error::TooManyPixels;
            return result;
        }
        const QSize bounds = turned ? box.transposed() : box;
        if (bounds.isValid() && !bounds.isEmpty()
            && (declared.width() > bounds.width() || declared.height() > bounds.height()))
            reader.setScaledSize(declared.scaled(bounds, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    }
    QImage image = reader.read();
    if (image.isNull())
        return result;
    if (tooManyPixels(image.size())) {
        result.error = DecodedPicture::Error::TooManyPixels;
        return result;
    }
    span.setArg("width", image.width());
    span.setArg("height", image.height());
    result.fullSize = declared.isValid() ? (turned ? declared.transposed() : declared) : image.size();
    result.image = image;
    result.error = DecodedPicture::Error::None;
    return result;
}

std::optional<QByteArray> dataUrlBytes(const QUrl &url, qint64 maxBytes, bool *tooLarge)
{
    bool ignored = false;
    bool &large = tooLarge ? *tooLarge : ignored;
    large = false;
    if (url.scheme().compare(QLatin1String("data"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const QByteArray encoded = url.toEncoded();
    const qsizetype comma = encoded.indexOf(',');
    if (comma < 0)
        return std::nullopt;
    const QByteArray header = encoded.mid(5, comma - 5).toLower();
    QByteArray payload = QByteArray::fromPercentEncoding(encoded.mid(comma + 1));
    if (!header.endsWith(";base64")) {
        large = payload.size() > maxBytes;
        return large ? std::nullopt : std::optional<QByteArray>(payload);
    }
    payload.replace(' ', QByteArray()).replace('\n', QByteArray()).replace('\r', QByteArray()).replace('\t', QByteArray());
    // Refused before decoding: four characters carry three bytes.
    if (payload.size() / 4 * 3 > maxBytes + 2) {
        large = true;
        return std::nullopt;
    }
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(payload, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    if (decoded.decoded.size() > maxBytes) {
        large = true;
        return std::nullopt;
    }
    return decoded.decoded;
}

} // namespace papelo
