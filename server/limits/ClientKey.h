#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// A bucket that a per-client limit counts under, and how many times the
// per-address allowance it may use.
struct ClientKey {
    QString key;
    int share = 1;
};
using ClientKeys = QList<ClientKey>;

// An IPv4 address (also when it arrives IPv6-mapped) is one bucket. An IPv6
// address falls into its /64 (one allowance), /56 (4) and /48 (16): one
// client commonly holds a whole /64 and may hold a /48, and must not get a
// fresh allowance from each address in it. Narrowest first.
ClientKeys clientKeys(const QHostAddress &address);
// The narrowest bucket: one client, for anonymous likes.
QString clientKey(const QHostAddress &address);
