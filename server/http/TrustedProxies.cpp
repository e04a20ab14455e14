#include "http/TrustedProxies.h"

namespace {

// A chain longer than this is not walked further: the request counts as the
// last trusted hop's, which cannot be anyone else's fresh allowance.
constexpr int maxForwardedEntries = 32;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Dotted quad with four decimal parts, no leading zeros (which some parsers
// read as octal), each at most 255.
bool isStrictIPv4(QByteArrayView text)
{
    int parts = 0;
    qsizetype i = 0;
    while (i <= text.size()) {
        const qsizetype start = i;
        int value = 0;
        while (i < text.size() && isDigit(text[i]) && i - start < 4)
            value = value * 10 + (text[i++] - '0');
        const qsizetype length = i - start;
        if (length == 0 || length > 3 || value > 255 || (length > 1 && text[start] == '0'))
            return false;
        ++parts;
        if (i == text.size())
            break;
        if (text[i] != '.' || parts == 4)
            return false;
        ++i;
    }
    return parts == 4;
}

// Maps ::ffff:a.b.c.d to a.b.c.d, so one client has one spelling.
QHostAddress plain(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

std::optional<QHostAddress> parseAddress(QByteArrayView text)
{
    if (isStrictIPv4(text))
        return QHostAddress(QString::fromLatin1(text));
    if (!text.contains(':') || text.size() > 45)
        return std::nullopt;
    for (const char c : text) {
        const bool hex = isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex && c != ':' && c != '.')
            return std::nullopt;  // no zone ids, no names
    }
    QHostAddress address;
    if (!address.setAddress(QString::fromLatin1(text)) || address.protocol() != QAbstractSocket::IPv6Protocol)
        return std::nullopt;
    return plain(address);
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

bool isPort(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (const char c : text) {
        if (!isDigit(c))
            return false;
    }
    return true;
}

} // namespace

std::optional<TrustedProxies::Subnet> TrustedProxies::parseSubnet(const QString &text)
{
    const QByteArray latin = text.toLatin1();
    if (QString::fromLatin1(latin) != text)
        return std::nullopt;
    const qsizetype slash = latin.indexOf('/');
    const std::optional<QHostAddress> address = parseAddress(QByteArrayView(latin).first(slash < 0 ? latin.size() : slash));
    if (!address)
        return std::nullopt;
    const int width = address->protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
    if (slash < 0)
        return Subnet{*address, width};
    const QByteArrayView bits = QByteArrayView(latin).sliced(slash + 1);
    if (bits.isEmpty() || bits.size() > 3 || (bits.size() > 1 && bits.front() == '0'))
        return std::nullopt;
    int value = 0;
    for (const char c : bits) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > width)
        return std::nullopt;
    return Subnet{*address, value};
}

std::optional<QHostAddress> TrustedProxies::parseForwardedAddress(QByteArrayView entry)
{
    entry = trimmed(entry);
    if (entry.startsWith('[')) {
        const qsizetype close = entry.indexOf(']');
        if (close < 0)
            return std::nullopt;
        const QByteArrayView rest = entry.sliced(close + 1);
        if (!rest.isEmpty() && !(rest.front() == ':' && isPort(rest.sliced(1))))
            return std::nullopt;
        const std::optional<QHostAddress> address = parseAddress(entry.sliced(1, close - 1));
        if (!address || entry.sliced(1, close - 1).count(':') == 0)
            return std::nullopt;
        return address;
    }
    // A single colon can only be an IPv4 address's port; more are IPv6.
    const qsizetype colon = entry.indexOf(':');
    if (colon >= 0 && entry.count(':') == 1) {
        if (!isPort(entry.sliced(colon + 1)) || !isStrictIPv4(entry.first(colon)))
            return std::nullopt;
        return parseAddress(entry.first(colon));
    }
    return parseAddress(entry);
}

std::optional<QString> TrustedProxies::forwardedScheme(QByteArrayView value)
{
    value = trimmed(value);
    const QByteArray lower = value.toByteArray().toLower();
    if (lower == "http" || lower == "https")
        return QString::fromLatin1(lower);
    return std::nullopt;
}

bool TrustedProxies::add(const QString &text)
{
    const std::optional<Subnet> subnet = parseSubnet(text);
    if (subnet)
        m_subnets.append(*subnet);
    return subnet.has_value();
}

bool TrustedProxies::contains(const QHostAddress &address) const
{
    const QHostAddress a = plain(address);
    for (const Subnet &subnet : m_subnets) {
        if (a.isInSubnet(subnet))
            return true;
    }
    return false;
}

QHostAddress TrustedProxies::client(const QHostAddress &peer, const QList<QByteArray> &forwardedFor) const
{
    QHostAddress current = plain(peer);
    if (!contains(current))
        return current;
    const QList<QByteArray> entries = forwardedFor.join(',').split(',');
    int walked = 0;
    for (auto entry = entries.crbegin(); entry != entries.crend(); ++entry) {
        if (trimmed(*entry).isEmpty())
            continue;
        if (++walked > maxForwardedEntries)
            return current;
        // What a trusted hop passed on but nobody can read stays that hop's request.
        const std::optional<QHostAddress> hop = parseForwardedAddress(*entry);
        if (!hop)
            return current;
        current = *hop;
        if (!contains(current))
            return current;
    }
    return current;
}

void TrustedProxies::apply(HttpRequest &request) const
{
    if (!contains(request.remote))
        return;
    QList<QByteArray> forwardedFor;
    QList<QByteArray> protos;
    for (const auto &header : std::as_const(request.headers)) {
        if (header.first.compare("X-Forwarded-For", Qt::CaseInsensitive) == 0)
            forwardedFor.append(header.second);
        else if (header.first.compare("X-Forwarded-Proto", Qt::CaseInsensitive) == 0)
            protos.append(header.second);
    }
    request.remote = client(request.remote, forwardedFor);
    // Two differing answers about the scheme are no answer.
    if (protos.size() == 1) {
        if (const std::optional<QString> scheme = forwardedScheme(protos.first()))
            request.scheme = *scheme;
    }
}
