#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QUrl>

#include <optional>

namespace papelo {

// Largest image we decode: 40 megapixels (160 MB as ARGB32). A file declaring
// more (a decompression bomb) fails before any pixel memory is taken.
inline constexpr qint64 kMaxDecodedPixels = 40'000'000;

// Text key set on an image decoded smaller than its file: a larger size
// would be sharper.
inline constexpr char kScaledKey[] = "papelo.scaled";

// Decodes the first image in `bytes`. When `fitSize` is valid and smaller,
// decodes straight to the smallest size that still covers it (aspect kept),
// which is all a cropping fill ever shows. Null image on any failure.
// Safe to call from any thread.
QImage decodeImage(QByteArray bytes, QSize fitSize);

// A picture for the viewer: decoded to fit inside `box` (aspect kept, never
// enlarged; an invalid box decodes it whole), with the size of the whole
// picture as shown upright, and why it failed. Safe to call from any thread.
struct DecodedPicture {
    enum class Error { None, NotAnImage, TooManyPixels };
    QImage image;
    QSize fullSize;
    Error error = Error::None;
};
DecodedPicture decodePicture(QByteArray bytes, QSize box);

// The bytes a data: URL carries (base64 or percent-encoded), or nothing when
// it is malformed or would hold more than maxBytes (then *tooLarge is set,
// before anything is decoded). Any thread.
std::optional<QByteArray> dataUrlBytes(const QUrl &url, qint64 maxBytes, bool *tooLarge = nullptr);

} // namespace papelo
