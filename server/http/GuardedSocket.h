#pragma once

#include <QHash>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

// Open connections, in all and per client key.
struct ConnectionCounts {
    int total = 0;
    QHash<QString, int> perClient;
};

// One client connection as the front end guards it, ahead of Qt's request
// parser: what arrives towards an unfinished request is counted (413 past
// maxPendingBytes), a connection that does not open with a request line is
// refused (400), and every request must be complete within the timeout
// (408, or a silent close for an idle connection).
class GuardedSocket : public QTcpSocket {
    Q_OBJECT
public:
    static constexpr qint64 maxPendingBytes = 1024 * 1024;

    GuardedSocket(int requestTimeoutMs, QObject *parent);
    ~GuardedSocket() override;

    // Takes a share of the counts, given back when the socket is deleted. A
    // trusted proxy's connection (empty key) counts towards the total only.
    void hold(std::shared_ptr<ConnectionCounts> counts, QString key);
    // A trusted proxy's request counts under the client it forwards until
    // its answer is sent, as that client's own connection would; false when
    // the client already has `limit`.
    bool claimFor(const QString &clientKey, int limit);
    // Sends this answer (a whole HTTP message, or nothing) and closes;
    // whatever the client sends from now on is drained unread.
    void refuse(const QByteArray &answer);
    // The request is complete: its deadline stops while the answer is made.
    void requestComplete();
    // The answer went out on a kept-alive connection: the next request's
    // deadline starts.
    void answerSent();

private:
    void guard();
    void expire();
    void drop(QString &key);

    std::shared_ptr<ConnectionCounts> m_counts;
    QString m_key;
    QString m_claim;  // the forwarded client of the request being answered
    QTimer m_deadline;
    qint64 m_pending = 0;
    QByteArray m_opening;  // the connection's first bytes, until they show a request line
    bool m_started = false;
    bool m_refused = false;
};
