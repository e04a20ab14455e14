#pragma once

#include <QObject>
#include <QUrl>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace papelo {

// The article body's context menu in place of the engine's: what it offers
// for the place clicked and what its items do outside the engine. Nothing
// of the engine's own menu (back, reload, save, view source) is offered.
class BodyMenu : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    using QObject::QObject;

    // [{action, text}]: always 复制 and 全选; on a link the reader can open
    // (web, mail) 复制链接地址 and 在浏览器中打开链接; on a picture it can
    // show (web, data:) 复制图片地址 and 查看图片.
    Q_INVOKABLE static QVariantList items(const QUrl &linkUrl, bool isPicture, const QUrl &pictureUrl);
    // Puts a link's or a picture's address on the clipboard as the reader
    // shows it outside (the document's own scheme as https); false for a
    // scheme the menu does not offer.
    Q_INVOKABLE static bool copyAddress(const QUrl &url, bool picture);
    // The index of the picture at `url` in a body's picture list (as
    // WebViewHost::bodyPictures gives it), or -1.
    Q_INVOKABLE static int pictureIndexOf(const QVariantList &pictures, const QUrl &url);
};

} // namespace papelo
