#include "reading/BodyMenu.h"

#include "reading/ArticleDocumentServer.h"

#include <QClipboard>
#include <QGuiApplication>

namespace papelo {

namespace {
// The address as the reader shows it outside, for the schemes it acts on:
// web and mail for links (what the link rule opens), web and data: for pictures.
QUrl shownAddress(const QUrl &url, bool picture)
{
    const QUrl web = ArticleDocumentServer::toWebUrl(url);
    const QString scheme = web.scheme().toLower();
    const bool allowed = scheme == QLatin1String("http") || scheme == QLatin1String("https")
                         || scheme == QLatin1String(picture ? "data" : "mailto");
    return allowed && web.isValid() ? web : QUrl();
}
} // namespace

QVariantList BodyMenu::items(const QUrl &linkUrl, bool isPicture, const QUrl &pictureUrl)
{
    const auto item = [](const char *action, const QString &text) {
        return QVariantMap{{QStringLiteral("action"), QString::fromLatin1(action)}, {QStringLiteral("text"), text}};
    };
    QVariantList list{item("copy", QStringLiteral("复制")), item("selectAll", QStringLiteral("全选"))};
    if (!shownAddress(linkUrl, false).isEmpty())
        list << item("copyLink", QStringLiteral("复制链接地址")) << item("openLink", QStringLiteral("在浏览器中打开链接"));
    if (isPicture && !shownAddress(pictureUrl, true).isEmpty())
        list << item("copyPicture", QStringLiteral("复制图片地址")) << item("viewPicture", QStringLiteral("查看图片"));
    return list;
}

bool BodyMenu::copyAddress(const QUrl &url, bool picture)
{
    const QUrl shown = shownAddress(url, picture);
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (shown.isEmpty() || !clipboard)
        return false;
    clipboard->setText(shown.toString(QUrl::FullyEncoded));
    return true;
}

int BodyMenu::pictureIndexOf(const QVariantList &pictures, const QUrl &url)
{
    const QUrl wanted = ArticleDocumentServer::toWebUrl(url);
    for (qsizetype i = 0; !wanted.isEmpty() && i < pictures.size(); ++i) {
        if (pictures.at(i).toMap().value(QStringLiteral("url")).toUrl() == wanted)
            return int(i);
    }
    return -1;
}

} // namespace papelo
