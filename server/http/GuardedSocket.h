#pragma once

#include "limits/ClientKey.h"

#include <QHash>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <list>
#include <memory>

class GuardedSocket;

// Open connections, in all and per client bucket, and those waiting for a
// whole request, oldest first. Main thread only.
struct ConnectionCounts {
    int total = 0;
    QHash<QString, int> perClient;
    std::list<GuardedSocket *> waiting;
};

// One client connection as the front end guards it, ahead of Qt's request
// parser: what arrives towards an unfinished request is counted (413 past
// maxPendingBytes), a connection that does not open with a request line is
// refused (400), and every request must be complete within the timeout
// (408, or a silent close for an idle connection). On the way out, answers
// the client does not read may pile up to maxUnsentBytes (one answer of any
// size is let out whole), and what is unsent must move within the timeout;
// otherwise the connection is cut off.
class GuardedSocket : public QTcpSocket {
    Q_OBJECT
public:
    static constexpr qint64 maxPendingBytes = 1024 * 1024;
    static constexpr qint64 maxUnsentBytes = 1024 * 1024;

    GuardedSocket(int requestTimeoutMs, QObject *parent);
    ~GuardedSocket() override;

    // Takes a share of the counts under each of the client's buckets, given
    // back when the socket goes. A trusted proxy's connection (no buckets)
    // counts towards the total only.
    void hold(std::shared_ptr<ConnectionCounts> counts, const ClientKeys &client);
    // A trusted proxy's request counts under the client it forwards until
    // its answer is sent, as that client's own connection would; false when
    // one of the client's buckets already has its share of `limit`.
    bool claimFor(const ClientKeys &client, int limit);
    // Sends this answer (a whole HTTP message, or nothing) and closes;
    // whatever the client sends from now on is drained unread.
    void refuse(const QByteArray &answer);
    // The request is complete: its deadline stops while the answer is made.
    void requestComplete();
    // Writes an answer (head, then a body that may be shared with a cache),
    // then closes or waits for the next request.
    void answer(const QByteArray &head, const QByteArray &body, bool close);
    // Closes at once, discarding what is unsent, and gives back its share.
    void cutOff();

private:
    void guard();
    void expire();
    void outputMoved();
    void release();
    void drop(ClientKeys &keys);

    std::shared_ptr<ConnectionCounts> m_counts;
    ClientKeys m_keys;
    ClientKeys m_claim;  // the forwarded client of the request being answered
    std::list<GuardedSocket *>::iterator m_waiting;
    bool m_isWaiting = false;
    QTimer m_deadline;  // for the request to arrive
    QTimer m_stalled;   // for unsent output to move
    qint64 m_pending = 0;
    QByteArray m_opening;  // the connection's first bytes, until they show a request line
    bool m_started = false;
    bool m_refused = false;
};
