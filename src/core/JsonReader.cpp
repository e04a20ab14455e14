#include "core/JsonReader.h"

#include <QCborValue>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>
#include <cstring>

namespace papelo::json {

QString kindName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Bool: return QStringLiteral("布尔值");
    case QJsonValue::Double: return QStringLiteral("数字");
    case QJsonValue::String: return QStringLiteral("字符串");
    case QJsonValue::Array: return QStringLiteral("数组");
    case QJsonValue::Object: return QStringLiteral("对象");
    case QJsonValue::Undefined: return QStringLiteral("缺失");
    }
    return QStringLiteral("未知");
}

void fail(const QString &path, const QString &what)
{
    const QString where = path.isEmpty() ? QStringLiteral("根") : QStringLiteral("字段 %1").arg(path);
    throw DecodeFailure{QStringLiteral("数据格式错误：%1%2").arg(where, what)};
}

ObjectReader::ObjectReader(const QJsonValue &value, QString path) : m_path(std::move(path))
{
    if (!value.isObject())
        fail(m_path, QStringLiteral("应为对象，实际为%1").arg(kindName(value)));
    m_object = value.toObject();
}

QString ObjectReader::childPath(const char *key) const
{
    return m_path.isEmpty() ? QString::fromLatin1(key) : m_path + QLatin1Char('.') + QLatin1String(key);
}

QJsonValue ObjectReader::present(const char *key) const
{
    const QJsonValue v = m_object.value(QLatin1String(key));
    if (v.isUndefined())
        fail(childPath(key), QStringLiteral("缺失"));
    if (v.isNull())
        fail(childPath(key), QStringLiteral("为 null"));
    return v;
}

qint64 intValue(const QJsonValue &value, const QString &path)
{
    if (value.type() != QJsonValue::Double)
        fail(path, QStringLiteral("应为整数，实际为%1").arg(kindName(value)));
    // The parser keeps integers that fit in 64 bits exact; anything else
    // arrives as a double and is accepted only when it is a whole number in range.
    const QCborValue cbor = QCborValue::fromJsonValue(value);
    if (cbor.isInteger())
        return cbor.toInteger();
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::trunc(d) != d)
        fail(path, QStringLiteral("应为整数，实际为小数"));
    // 2^63 is the first double outside the range; -2^63 itself fits.
    if (d >= 9223372036854775808.0 || d < -9223372036854775808.0)
        fail(path, QStringLiteral("超出 64 位整数范围"));
    return static_cast<qint64>(d);
}

QString stringValue(const QJsonValue &value, const QString &path)
{
    if (!value.isString())
        fail(path, QStringLiteral("应为字符串，实际为%1").arg(kindName(value)));
    return value.toString();
}

bool boolValue(const QJsonValue &value, const QString &path)
{
    if (!value.isBool())
        fail(path, QStringLiteral("应为布尔值，实际为%1").arg(kindName(value)));
    return value.toBool();
}

qint64 ObjectReader::requiredInt(const char *key) const { return intValue(present(key), childPath(key)); }

std::optional<qint64> ObjectReader::optionalInt(const char *key) const
{
    const QJsonValue v = m_object.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    return intValue(v, childPath(key));
}

QString ObjectReader::requiredString(const char *key) const { return stringValue(present(key), childPath(key)); }

std::optional<QString> ObjectReader::optionalString(const char *key) const
{
    const QJsonValue v = m_object.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    return stringValue(v, childPath(key));
}

bool ObjectReader::requiredBool(const char *key) const { return boolValue(present(key), childPath(key)); }

namespace {
[[noreturn]] void failUnparsable(qint64 offset)
{
    throw DecodeFailure{QStringLiteral("数据格式错误：JSON 无法解析（位置 %1）").arg(offset)};
}

bool isNumberChar(char c)
{
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// Magnitude of a run of decimal digits (no leading zeros: the text parsed) above 2^63.
bool beyondMinimum(const char *digits, qsizetype count)
{
    static const char minimumMagnitude[] = "9223372036854775808";
    const qsizetype width = qsizetype(sizeof(minimumMagnitude) - 1);
    if (count != width)
        return count > width;
    return std::memcmp(digits, minimumMagnitude, size_t(width)) > 0;
}

// Two things Qt's parser lets through, checked in text it has already accepted.
// Raw control characters (NUL included) inside strings, which JSON forbids:
// refused. Number texts just below -2^63, which Qt folds into -2^63 itself, so
// "-9223372036854775809" would pass as a valid id: such literals (outside
// strings) are replaced by a number plainly out of range, so integer fields
// refuse it and ignored keys stay ignored. Nothing when there is no such literal.
std::optional<QByteArray> screened(const QByteArray &bytes)
{
    QByteArray out;
    qsizetype copied = 0;
    bool inString = false;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes.at(i);
        if (inString) {
            if (static_cast<unsigned char>(c) < 0x20)
                failUnparsable(i);
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
            continue;
        }
        if (c != '-' && !(c >= '0' && c <= '9'))
            continue;
        qsizetype digitsEnd = i + 1;
        while (digitsEnd < n && bytes.at(digitsEnd) >= '0' && bytes.at(digitsEnd) <= '9')
            ++digitsEnd;
        qsizetype end = digitsEnd;
        bool exponent = false;
        while (end < n && isNumberChar(bytes.at(end))) {
            exponent = exponent || bytes.at(end) == 'e' || bytes.at(end) == 'E';
            ++end;
        }
        // A fraction does not bring the integer part back into range.
        if (c == '-' && !exponent && beyondMinimum(bytes.constData() + i + 1, digitsEnd - i - 1)) {
            out += QByteArrayView(bytes).sliced(copied, i - copied);
            out += "-1e300";
            copied = end;
        }
        i = end - 1;
    }
    if (copied == 0)
        return std::nullopt;
    out += QByteArrayView(bytes).sliced(copied);
    return out;
}
} // namespace

QJsonValue parse(const QByteArray &bytes)
{
    QJsonParseError error{};
    QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        failUnparsable(error.offset);
    if (const std::optional<QByteArray> unfolded = screened(bytes)) {
        doc = QJsonDocument::fromJson(*unfolded, &error);
        if (error.error != QJsonParseError::NoError)
            failUnparsable(error.offset);
    }
    if (doc.isArray())
        return doc.array();
    if (doc.isObject())
        return doc.object();
    return QJsonValue(QJsonValue::Null);
}

} // namespace papelo::json
