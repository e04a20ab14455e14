#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>

namespace papelo::json {

// Thrown inside decoding only; decodeDocument() turns it into a value.
struct DecodeFailure {
    QString description;
};

QString kindName(const QJsonValue &value);
[[noreturn]] void fail(const QString &path, const QString &what);

// A JSON object at a known path. Field readers follow the strict rules:
// exact kinds, optional means missing or null, a wrong kind fails even for
// optional fields, unknown keys are ignored, nothing is converted.
class ObjectReader {
public:
    ObjectReader(const QJsonValue &value, QString path);

    qint64 requiredInt(const char *key) const;
    std::optional<qint64> optionalInt(const char *key) const;
    QString requiredString(const char *key) const;
    std::optional<QString> optionalString(const char *key) const;
    bool requiredBool(const char *key) const;

    template <typename T> T required(const char *key) const
    {
        return T::fromJson(present(key), childPath(key));
    }
    template <typename T> std::optional<T> optional(const char *key) const
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        return T::fromJson(v, childPath(key));
    }
    template <typename T> QList<T> requiredList(const char *key) const
    {
        return listFromJson<T>(present(key), childPath(key));
    }
    template <typename T> std::optional<QList<T>> optionalList(const char *key) const
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        return listFromJson<T>(v, childPath(key));
    }

    const QJsonObject &object() const { return m_object; }
    const QString &path() const { return m_path; }

    template <typename T> static QList<T> listFromJson(const QJsonValue &value, const QString &path)
    {
        if (!value.isArray())
            fail(path, QStringLiteral("应为数组，实际为%1").arg(kindName(value)));
        const QJsonArray array = value.toArray();
        QList<T> out;
        out.reserve(array.size());
        for (qsizetype i = 0; i < array.size(); ++i)
            out.append(T::fromJson(array.at(i), QStringLiteral("%1[%2]").arg(path).arg(i)));
        return out;
    }

private:
    QJsonValue present(const char *key) const;
    QString childPath(const char *key) const;

    QJsonObject m_object;
    QString m_path;
};

qint64 intValue(const QJsonValue &value, const QString &path);
QString stringValue(const QJsonValue &value, const QString &path);
bool boolValue(const QJsonValue &value, const QString &path);

// Parses bytes into a JSON value; malformed text fails with its offset.
QJsonValue parse(const QByteArray &bytes);

} // namespace papelo::json
