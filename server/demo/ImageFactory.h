#pragma once

#include <QByteArray>
#include <QString>

// Draws the demo pictures (a colour field with the title) the first time
// they are asked for and keeps them as files under DIR/images, so a picture
// never changes between requests or restarts and its ETag stays valid.
class ImageFactory {
public:
    enum class Kind { Thumb, Cover, Body };

    explicit ImageFactory(QString dataDir);

    struct Image {
        QByteArray bytes;
        QByteArray contentType;
        QByteArray etag;  // quoted, as sent in the header
    };
    // seed picks the colour; caption is drawn onto it. Empty bytes on failure.
    Image image(Kind kind, const QString &name, quint32 seed, const QString &caption) const;

private:
    QByteArray draw(Kind kind, quint32 seed, const QString &caption) const;

    QString m_dir;
};
