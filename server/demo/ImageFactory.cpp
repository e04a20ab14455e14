#include "demo/ImageFactory.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSaveFile>

namespace {
QSize sizeOf(ImageFactory::Kind kind)
{
    switch (kind) {
    case ImageFactory::Kind::Thumb: return {480, 320};
    case ImageFactory::Kind::Cover: return {1200, 630};
    case ImageFactory::Kind::Body: return {800, 450};
    }
    return {};
}
} // namespace

ImageFactory::ImageFactory(QString dataDir) : m_dir(QDir(dataDir).absoluteFilePath(QStringLiteral("images"))) {}

ImageFactory::Image ImageFactory::image(Kind kind, const QString &name, quint32 seed, const QString &caption) const
{
    Image result;
    result.contentType = kind == Kind::Body ? "image/png" : "image/jpeg";
    const QString path = QDir(m_dir).absoluteFilePath(name);
    QFile cached(path);
    if (cached.open(QIODevice::ReadOnly)) {
        result.bytes = cached.readAll();
    } else {
        result.bytes = draw(kind, seed, caption);
        // Written whole or not at all, so a crash never leaves a torn picture.
        QDir().mkpath(m_dir);
        QSaveFile file(path);
        if (!result.bytes.isEmpty() && file.open(QIODevice::WriteOnly)) {
            file.write(result.bytes);
            file.commit();
        }
    }
    result.etag = '"' + QCryptographicHash::hash(result.bytes, QCryptographicHash::Sha1).toHex().left(20) + '"';
    return result;
}

QByteArray ImageFactory::draw(Kind kind, quint32 seed, const QString &caption) const
{
    const QSize size = sizeOf(kind);
    QImage image(size, QImage::Format_RGB32);
    const QColor base = QColor::fromHsv(int(seed * 47 % 360), 90 + int(seed % 60), 150 + int(seed % 70));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, base.lighter(125));
    gradient.setColorAt(1, base.darker(140));
    p.fillRect(image.rect(), gradient);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    for (int i = 0; i < 4; ++i) {
        const int r = size.height() / (2 + i);
        p.drawEllipse(QPoint(int((seed >> i) % quint32(size.width())), size.height() / (i + 1)), r, r);
    }
    QFont font(QStringLiteral("Noto Serif CJK SC"));
    font.setPixelSize(size.height() / 9);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    const QRect textRect = image.rect().adjusted(size.width() / 12, size.height() / 8, -size.width() / 12, -size.height() / 8);
    p.drawText(textRect, Qt::AlignCenter | Qt::TextWordWrap, caption);
    p.end();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, kind == Kind::Body ? "PNG" : "JPEG", kind == Kind::Body ? -1 : 82);
    return bytes;
}
