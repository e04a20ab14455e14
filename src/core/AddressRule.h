#pragma once

#include <QHostAddress>
#include <QString>
#include <QUrl>

#include <optional>

namespace papelo {

// Which addresses content from the server may make the reader fetch. A body
// or an image address naming the reader's own machine or a private network
// could probe routers, printers and local services; only the configured
// server itself may live there. Pure functions, no lookups, any thread.

// "scheme://host:port" with the scheme's default port written out (so
// "http://a" and "http://a:80" agree); empty for an address without a host.
QString originOf(const QUrl &url);

// The IPv4 forms an address bar accepts: one to four parts, each decimal,
// octal (leading 0) or hexadecimal (0x), the last filling the remaining
// bytes ("127.1", "2130706433", "0x7f.1", "0177.0.0.1"), one trailing dot.
std::optional<quint32> parseIPv4(const QString &host);

// Loopback, private, shared (carrier-grade NAT), link-local, unspecified,
// multicast and reserved IPv4; loopback, unspecified, link-local,
// site-local, unique-local and multicast IPv6, and IPv6 carrying an IPv4
// address (mapped, compatible, NAT64) judged by that address.
bool isPrivateAddress(const QHostAddress &address);

// The host as written: an address in any spelling above (IPv6 with or
// without brackets), "localhost" or a name under ".localhost".
bool isPrivateHost(const QString &host);

// An http(s) address with a private host, unless it is the configured
// server's own origin. Other schemes are not this rule's to judge.
bool refusesPrivateTarget(const QUrl &url, const QString &serverBaseUrl);

} // namespace papelo
