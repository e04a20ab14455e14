#include "common/ReadingOrder.h"

namespace papelo {

namespace {
qint64 idOf(const QVariant &entry)
{
    bool ok = false;
    const qint64 id = entry.toMap().value(QStringLiteral("id")).toLongLong(&ok);
    return ok && id > 0 ? id : 0;
}

QVariant entryAt(const QVariantList &list, qsizetype i)
{
    if (i < 0 || i >= list.size() || idOf(list.at(i)) == 0)
        return {};
    const QVariantMap entry = list.at(i).toMap();
    return QVariantMap{{QStringLiteral("id"), idOf(list.at(i))},
                       {QStringLiteral("title"), entry.value(QStringLiteral("title")).toString()}};
}
} // namespace

QVariantMap ReadingOrder::neighbours(const QVariantList &list, double id)
{
    for (qsizetype i = 0; id > 0 && i < list.size(); ++i) {
        if (idOf(list.at(i)) == qint64(id))
            return {{QStringLiteral("previous"), entryAt(list, i - 1)}, {QStringLiteral("next"), entryAt(list, i + 1)}};
    }
    return {{QStringLiteral("previous"), QVariant()}, {QStringLiteral("next"), QVariant()}};
}

} // namespace papelo
