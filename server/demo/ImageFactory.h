#pragma once

#include "http/SharedWork.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <list>
#include <optional>

// Draws the demo pictures (a colour field with the title) the first time
// they are asked for, on a thread of its own, and keeps them as files under
// DIR/images, so a picture never changes between requests or restarts and
// its ETag stays valid. The directory holds at most maxBytes: beyond that
// the least recently served pictures go (drawn again, alike, if asked for).
// Main thread only, but for the drawing.
class ImageFactory {
public:
    enum class Kind { Thumb, Cover, Body };
    static constexpr qint64 defaultMaxBytes = 256 * 1024 * 1024;

    explicit ImageFactory(QString dataDir, qint64 maxBytes = defaultMaxBytes);

    struct Image {
        QByteArray bytes;  // empty when drawing or storing failed
        QByteArray contentType;
        QByteArray etag;  // quoted, as sent in the header
    };
    // A picture already in the directory.
    std::optional<Image> stored(Kind kind, const QString &name);
    // Draws it (seed picks the colour, caption is written on it) and keeps it.
    QFuture<Image> draw(Kind kind, const QString &name, quint32 seed, const QString &caption);

private:
    struct File {
        std::list<QString>::iterator order;
        qint64 size = 0;
        QByteArray etag;
    };
    static QByteArray paint(Kind kind, quint32 seed, const QString &caption);
    Image image(Kind kind, const QByteArray &bytes, const QByteArray &etag) const;
    void keep(const QString &name, qint64 size, const QByteArray &etag);
    void forget(const QString &name);

    QString m_dir;
    qint64 m_maxBytes;
    qint64 m_bytes = 0;
    std::list<QString> m_order;  // least recently served first
    QHash<QString, File> m_files;
    SharedWork<QString, QByteArray> m_drawing{1};
};
