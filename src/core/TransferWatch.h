#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

class QNetworkReply;

namespace papelo {

struct ClientLimits {
    std::chrono::milliseconds idle{15000};   // no progress for this long fails the request
    std::chrono::milliseconds whole{30000};  // the whole transfer
    qint64 maxBodyBytes = 32 * 1024 * 1024;  // a larger body fails instead of filling memory
};

// Enforces the idle and whole-transfer limits and the body cap on one reply,
// for as long as it lives (keep it in the awaiting scope). Kept out of
// coroutine bodies: GCC 12 mishandles lambdas created inside coroutines
// (captured values are destroyed twice).
class TransferWatch {
public:
    TransferWatch(QNetworkReply *reply, const ClientLimits &limits);
    TransferWatch(const TransferWatch &) = delete;
    TransferWatch &operator=(const TransferWatch &) = delete;

    bool timedOut = false;
    bool tooLarge = false;

private:
    QObject m_context; // connections die with it
    QTimer m_idle;
    QTimer m_whole;
};

} // namespace papelo
