#pragma once

#include "http/HttpTypes.h"

#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QPair>

#include <optional>

// The reverse proxies whose forwarding headers are believed (--trusted-proxy,
// none by default). A request that arrives from one of them is the client's:
// its address is the rightmost X-Forwarded-For entry that is not itself a
// trusted proxy, and its absolute URLs use X-Forwarded-Proto with the Host
// the proxy passed on. From anyone else these headers are ignored.
class TrustedProxies {
public:
    using Subnet = QPair<QHostAddress, int>;

    // "ADDRESS" or "ADDRESS/BITS", written strictly; nullopt otherwise.
    static std::optional<Subnet> parseSubnet(const QString &text);
    // One X-Forwarded-For entry: an IP address, optionally with a port
    // ("[v6]:port", "v4:port"); IPv4-mapped IPv6 comes back as IPv4.
    static std::optional<QHostAddress> parseForwardedAddress(QByteArrayView entry);
    // "http" or "https" from an X-Forwarded-Proto value; nullopt for anything else.
    static std::optional<QString> forwardedScheme(QByteArrayView value);

    bool add(const QString &text);
    bool isEmpty() const { return m_subnets.isEmpty(); }
    bool contains(const QHostAddress &address) const;

    // The client a request from `peer` stands for, given its X-Forwarded-For
    // values in the order they arrived (repeated headers read as one list).
    QHostAddress client(const QHostAddress &peer, const QList<QByteArray> &forwardedFor) const;
    // Rewrites the request's remote address and scheme when it came from a
    // trusted proxy; leaves every other request as it is.
    void apply(HttpRequest &request) const;

private:
    QList<Subnet> m_subnets;
};
