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

QByteArray etagOf(const QByteArray &bytes)
{
    return '"' + QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(20) + '"';
}
} // namespace

ImageFactory::ImageFactory(QString dataDir, qint64 maxBytes)
    : m_dir(QDir(dataDir).absoluteFilePath(QStringLiteral("images"))), m_maxBytes(maxBytes)
{
    // What earlier runs drew counts too, the oldest first out.
    const QFileInfoList files = QDir(m_dir).entryInfoList({QStringLiteral("*.jpg"), QStringLiteral("*.png")}, QDir::Files,
                                                          QDir::Time | QDir::Reversed);
    for (const QFileInfo &file : files)
        keep(file.fileName(), file.size(), {});
}

ImageFactory::Image ImageFactory::image(Kind kind, const QByteArray &bytes, const QByteArray &etag) const
{
    return {bytes, kind == Kind::Body ? QByteArray("image/png") : QByteArray("image/jpeg"), etag};
}

std::optional<ImageFactory::Image> ImageFactory::stored(Kind kind, const QString &name)
{
    const auto it = m_files.find(name);
    if (it == m_files.end())
        return std::nullopt;
    QFile file(QDir(m_dir).absoluteFilePath(name));
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (bytes.isEmpty()) {
        forget(name);
        return std::nullopt;
    }
    m_order.splice(m_order.end(), m_order, it->order);
    if (it->etag.isEmpty())
        it->etag = etagOf(bytes);
    return image(kind, bytes, it->etag);
}

QFuture<ImageFactory::Image> ImageFactory::draw(Kind kind, const QString &name, quint32 seed, const QString &caption)
{
    const QString path = QDir(m_dir).absoluteFilePath(name);
    const QString dir = m_dir;
    return m_drawing
        .ask(name, [=] {
            const QByteArray bytes = paint(kind, seed, caption);
            // Written whole or not at all, so a crash never leaves a torn picture.
            QDir().mkpath(dir);
            QSaveFile file(path);
            const bool saved = !bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()
                && file.commit();
            return saved ? bytes : QByteArray();
        })
        .then([this, kind, name](const QByteArray &bytes) {
            const QByteArray etag = bytes.isEmpty() ? QByteArray() : etagOf(bytes);
            if (!bytes.isEmpty() && !m_files.contains(name))
                keep(name, bytes.size(), etag);
            return image(kind, bytes, etag);
        });
}

void ImageFactory::keep(const QString &name, qint64 size, const QByteArray &etag)
{
    m_order.push_back(name);
    m_files.insert(name, {std::prev(m_order.end()), size, etag});
    m_bytes += size;
    while (m_bytes > m_maxBytes && m_order.size() > 1) {
        const QString oldest = m_order.front();
        QFile::remove(QDir(m_dir).absoluteFilePath(oldest));
        forget(oldest);
    }
}

void ImageFactory::forget(const QString &name)
{
    const auto it = m_files.find(name);
    if (it == m_files.end())
        return;
    m_bytes -= it->size;
    m_order.erase(it->order);
    m_files.erase(it);
}

QByteArray ImageFactory::paint(Kind kind, quint32 seed, const QString &caption)
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
