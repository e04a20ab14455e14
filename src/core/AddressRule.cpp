#include "core/AddressRule.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace papelo {

namespace {

bool inRange(quint32 address, quint32 network, int bits)
{
    return (address >> (32 - bits)) == (network >> (32 - bits));
}

constexpr quint32 ip(quint32 a, quint32 b, quint32 c, quint32 d) { return a << 24 | b << 16 | c << 8 | d; }

bool isPrivateIPv4(quint32 address)
{
    struct Range {
        quint32 network;
        int bits;
    };
    static constexpr std::array<Range, 8> ranges{{
        {ip(0, 0, 0, 0), 8},      // "this network", unspecified
        {ip(10, 0, 0, 0), 8},     // private
        {ip(100, 64, 0, 0), 10},  // shared address space (carrier-grade NAT)
        {ip(127, 0, 0, 0), 8},    // loopback
        {ip(169, 254, 0, 0), 16}, // link-local
        {ip(172, 16, 0, 0), 12},  // private
        {ip(192, 168, 0, 0), 16}, // private
        {ip(224, 0, 0, 0), 3},    // multicast, reserved, broadcast
    }};
    for (const Range &range : ranges) {
        if (inRange(address, range.network, range.bits))
            return true;
    }
    return false;
}

quint32 embeddedIPv4(const Q_IPV6ADDR &bytes)
{
    return quint32(bytes[12]) << 24 | quint32(bytes[13]) << 16 | quint32(bytes[14]) << 8 | bytes[15];
}

bool allZero(const Q_IPV6ADDR &bytes, int from, int to)
{
    for (int i = from; i < to; ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return true;
}

bool isPrivateIPv6(const Q_IPV6ADDR &b)
{
    if (allZero(b, 0, 15) && (b[15] == 0 || b[15] == 1))
        return true; // unspecified, loopback
    if (b[0] == 0xfe && (b[1] & 0x80) == 0x80)
        return true; // link-local fe80::/10, site-local fec0::/10
    if ((b[0] & 0xfe) == 0xfc || b[0] == 0xff)
        return true; // unique-local fc00::/7, multicast
    if (allZero(b, 0, 10) && b[10] == 0xff && b[11] == 0xff)
        return isPrivateIPv4(embeddedIPv4(b)); // IPv4-mapped
    if (allZero(b, 0, 12))
        return isPrivateIPv4(embeddedIPv4(b)); // IPv4-compatible
    if (b[0] == 0x00 && b[1] == 0x64 && b[2] == 0xff && b[3] == 0x9b) {
        if (allZero(b, 4, 12))
            return isPrivateIPv4(embeddedIPv4(b)); // NAT64 64:ff9b::/96
        return b[4] == 0x00 && b[5] == 0x01;       // local-use NAT64 64:ff9b:1::/48
    }
    return false;
}

std::optional<quint64> parsePart(QStringView part)
{
    int radix = 10;
    if (part.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        radix = 16;
        part = part.mid(2);
    } else if (part.size() > 1 && part.front() == QLatin1Char('0')) {
        radix = 8;
        part = part.mid(1);
    }
    quint64 value = 0;
    for (const QChar c : part) {
        const char16_t u = c.unicode();
        const int digit = u >= '0' && u <= '9' ? u - '0'
                          : u >= 'a' && u <= 'f' ? u - 'a' + 10
                          : u >= 'A' && u <= 'F' ? u - 'A' + 10
                                                 : 99;
        if (digit < 0 || digit >= radix)
            return std::nullopt;
        value = value * quint64(radix) + quint64(digit);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    return value;
}

} // namespace

QString originOf(const QUrl &url)
{
    if (url.host().isEmpty())
        return {};
    const QString scheme = url.scheme().toLower();
    const int defaultPort = scheme == QLatin1String("http") ? 80 : scheme == QLatin1String("https") ? 443 : -1;
    QUrl origin;
    origin.setScheme(scheme);
    origin.setHost(url.host());
    origin.setPort(url.port(defaultPort));
    return origin.toString(QUrl::FullyEncoded);
}

std::optional<quint32> parseIPv4(const QString &host)
{
    QStringList parts = host.split(QLatin1Char('.'));
    if (parts.size() > 1 && parts.last().isEmpty())
        parts.removeLast();
    if (parts.size() > 4)
        return std::nullopt;
    std::array<quint64, 4> numbers{};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (parts.at(i).isEmpty())
            return std::nullopt;
        const std::optional<quint64> number = parsePart(parts.at(i));
        if (!number || (i < parts.size() - 1 && *number > 255))
            return std::nullopt;
        numbers[size_t(i)] = *number;
    }
    const qsizetype last = parts.size() - 1;
    if (numbers[size_t(last)] >= (quint64(1) << (8 * (4 - last))))
        return std::nullopt;
    quint64 address = numbers[size_t(last)];
    for (qsizetype i = 0; i < last; ++i)
        address += numbers[size_t(i)] << (8 * (3 - i));
    return quint32(address);
}

bool isPrivateAddress(const QHostAddress &address)
{
    switch (address.protocol()) {
    case QAbstractSocket::IPv4Protocol: return isPrivateIPv4(address.toIPv4Address());
    case QAbstractSocket::IPv6Protocol: return isPrivateIPv6(address.toIPv6Address());
    default: return false;
    }
}

bool isPrivateHost(const QString &written)
{
    QString host = written.toLower();
    // Full-width digits and ideographic dots are folded as the URL parsers do.
    if (!host.isEmpty() && std::any_of(host.cbegin(), host.cend(), [](QChar c) { return c.unicode() > 127; })) {
        const QByteArray ace = QUrl::toAce(host);
        if (!ace.isEmpty())
            host = QString::fromLatin1(ace).toLower();
    }
    if (host.size() > 2 && host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (host.contains(QLatin1Char(':'))) {
        QHostAddress address;
        return address.setAddress(host) && isPrivateAddress(address);
    }
    if (host.size() > 1 && host.endsWith(QLatin1Char('.')))
        host.chop(1);
    if (host == QLatin1String("localhost") || host.endsWith(QLatin1String(".localhost")))
        return true;
    const std::optional<quint32> v4 = parseIPv4(host);
    return v4 && isPrivateIPv4(*v4);
}

bool refusesPrivateTarget(const QUrl &url, const QString &serverBaseUrl)
{
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return false;
    if (!isPrivateHost(url.host()))
        return false;
    return originOf(url) != originOf(QUrl(serverBaseUrl));
}

} // namespace papelo
