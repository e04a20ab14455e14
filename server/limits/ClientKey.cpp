#include "limits/ClientKey.h"

#include <algorithm>
#include <iterator>
#include <utility>

ClientKeys clientKeys(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4)
        return {{QHostAddress(v4).toString(), 1}};
    ClientKeys keys;
    for (const auto &[bits, share] : {std::pair{64, 1}, {56, 4}, {48, 16}}) {
        Q_IPV6ADDR v6 = address.toIPv6Address();
        std::fill(std::begin(v6.c) + bits / 8, std::end(v6.c), quint8(0));
        keys.append({QHostAddress(v6).toString() + QLatin1Char('/') + QString::number(bits), share});
    }
    return keys;
}

QString clientKey(const QHostAddress &address) { return clientKeys(address).constFirst().key; }
