#include "core/ReadingPositions.h"

#include "core/AddressRule.h"
#include "core/ServerConfig.h"
#include "core/SettingsFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <limits>

namespace papelo {

namespace {
const QString kKey = QStringLiteral("readingPositions");

std::optional<double> fraction(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    return std::isfinite(d) && d >= 0 && d <= 1 ? std::optional(d) : std::nullopt;
}
} // namespace

ReadingPositions::ReadingPositions(QString settingsPath, QObject *parent)
    : QObject(parent), m_settingsPath(std::move(settingsPath))
{
    m_writeTimer.setSingleShot(true);
    m_writeTimer.setInterval(kWriteIntervalMs);
    connect(&m_writeTimer, &QTimer::timeout, this, &ReadingPositions::flush);
}

ReadingPositions::~ReadingPositions() { flush(); }

QString ReadingPositions::serverOrigin() { return originOf(QUrl(ServerConfig::baseUrl())); }

void ReadingPositions::load() const
{
    if (m_loaded)
        return;
    m_loaded = true;
    const QByteArray stored = openSettings(m_settingsPath)->value(kKey).toByteArray();
    const QJsonArray list = QJsonDocument::fromJson(stored).array();
    for (const QJsonValue &value : list) {
        if (m_entries.size() >= kLimit)
            break;
        const QJsonObject o = value.toObject();
        const QJsonValue id = o.value(QLatin1String("id")), block = o.value(QLatin1String("block"));
        const auto offset = fraction(o.value(QLatin1String("offset")));
        const auto progress = fraction(o.value(QLatin1String("progress")));
        const QString origin = o.value(QLatin1String("origin")).toString();
        // Whole numbers only (toInteger() gives the default for anything else).
        if (origin.isEmpty() || id.toInteger(-1) <= 0 || block.toInteger(-1) < 0
            || block.toInteger() > std::numeric_limits<int>::max() || !offset || !progress
            || indexOf(origin, id.toInteger()) >= 0)
            continue;
        m_entries.append({origin, id.toInteger(), {int(block.toInteger()), *offset, *progress}});
    }
}

qsizetype ReadingPositions::indexOf(const QString &origin, qint64 id) const
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).id == id && m_entries.at(i).origin == origin)
            return i;
    }
    return -1;
}

QVariant ReadingPositions::placeOf(double id) const
{
    const auto found = place(serverOrigin(), qint64(id));
    if (!found)
        return {};
    return QVariantMap{{QStringLiteral("block"), found->block}, {QStringLiteral("offset"), found->offset}};
}

std::optional<ReadingPlace> ReadingPositions::place(const QString &origin, qint64 id) const
{
    load();
    const qsizetype i = indexOf(origin, id);
    return i < 0 ? std::nullopt : std::optional(m_entries.at(i).place);
}

double ReadingPositions::progress(const QString &origin, qint64 id) const
{
    const auto found = place(origin, id);
    return found ? found->progress : 0;
}

int ReadingPositions::size() const
{
    load();
    return int(m_entries.size());
}

void ReadingPositions::remember(const QString &origin, qint64 id, const ReadingPlace &place)
{
    if (origin.isEmpty() || id <= 0)
        return;
    load();
    const qsizetype i = indexOf(origin, id);
    ReadingPlace kept = place;
    kept.offset = std::clamp(std::isfinite(kept.offset) ? kept.offset : 0.0, 0.0, 1.0);
    kept.progress = std::clamp(std::isfinite(kept.progress) ? kept.progress : 0.0, 0.0, 1.0);
    kept.block = std::max(0, kept.block);
    if (i == 0 && m_entries.first().place == kept)
        return;
    if (i >= 0)
        m_entries.removeAt(i);
    m_entries.prepend({origin, id, kept});
    while (m_entries.size() > kLimit)
        m_entries.removeLast();
    scheduleWrite();
    ++m_revision;
    emit changed();
}

void ReadingPositions::forget(const QString &origin, qint64 id)
{
    load();
    const qsizetype i = indexOf(origin, id);
    if (i < 0)
        return;
    m_entries.removeAt(i);
    scheduleWrite();
    ++m_revision;
    emit changed();
}

void ReadingPositions::scheduleWrite()
{
    m_dirty = true;
    if (!m_writeTimer.isActive())
        m_writeTimer.start();
}

void ReadingPositions::flush()
{
    m_writeTimer.stop();
    if (!m_dirty)
        return;
    m_dirty = false;
    QJsonArray list;
    for (const Entry &entry : std::as_const(m_entries)) {
        list.append(QJsonObject{{QStringLiteral("origin"), entry.origin},
                                {QStringLiteral("id"), entry.id},
                                {QStringLiteral("block"), entry.place.block},
                                {QStringLiteral("offset"), entry.place.offset},
                                {QStringLiteral("progress"), entry.place.progress}});
    }
    auto settings = openSettings(m_settingsPath);
    settings->setValue(kKey, QJsonDocument(list).toJson(QJsonDocument::Compact));
    syncPrivately(*settings);
}

} // namespace papelo
