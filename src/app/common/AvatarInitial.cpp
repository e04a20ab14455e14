#include "common/AvatarInitial.h"

#include <QTextBoundaryFinder>

namespace papelo {

QString avatarInitial(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("?");
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, name);
    const qsizetype end = finder.toNextBoundary();
    return end > 0 ? name.left(end) : name.left(1);
}

} // namespace papelo
