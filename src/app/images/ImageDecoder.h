#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

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

} // namespace papelo
