#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>

#include <functional>

// A scriptable HTTP/1.1 server on loopback for tests. Answers per method and
// path (query ignored for matching), can delay, stall or stream, and records
// every request exactly as it arrived so tests assert what went over the wire.
class FakeServer : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QByteArray target;     // path plus "?query" as sent
        QByteArray path;       // before "?"
        QByteArray rawQuery;   // after "?", still percent-encoded; empty if none
        bool hasQuery = false; // a "?" was present
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;

        bool hasHeader(const QByteArray &name) const { return !header(name).isNull(); }
        QByteArray header(const QByteArray &name) const; // case-insensitive; null when absent
        QJsonObject jsonBody() const;
        // Decoded value of a query item, or a null QString when absent.
        QString queryItem(const QString &name) const;
        QStringList queryKeys() const;
    };

    struct Response {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers; // Content-Type defaults to JSON
        int delayMs = 0;          // wait before answering
        bool stall = false;       // accept and never answer
        int stallAfterBytes = -1; // send this many body bytes, then go silent
        // A streamed answer: `head` verbatim (status line, headers, blank
        // line), then `chunk` every chunkEveryMs, `chunks` times (-1: until
        // the client hangs up), then the connection closes.
        QByteArray head;
        QByteArray chunk;
        int chunkEveryMs = 0;
        int chunks = -1;

        static Response json(const QJsonObject &o, int status = 200);
        static Response json(const QJsonArray &a, int status = 200);
        static Response raw(int status, QByteArray body, QByteArray contentType = "application/json");
        static Response stream(QByteArray head, QByteArray chunk, int everyMs, int chunks = -1);
    };
    using Handler = std::function<Response(const Request &)>;

    // Accepts the request and never answers.
    static Response stalled();
    static Response delayed(Response response, int ms);
    // A loopback address where nothing listens: connections are refused.
    static QString deadBaseUrl();

    explicit FakeServer(QObject *parent = nullptr);
    ~FakeServer() override;

    // On 127.0.0.1 unless another loopback address is given (127.0.0.5, ::1).
    bool listen(const QHostAddress &address = QHostAddress::LocalHost);
    QString baseUrl() const; // "http://127.0.0.1:<port>", "http://[::1]:<port>"
    quint16 port() const;

    void on(const QByteArray &method, const QByteArray &path, Response response);
    void on(const QByteArray &method, const QByteArray &path, Handler handler);
    void setFallback(Handler handler);

    const QList<Request> &requests() const { return m_requests; }
    QList<Request> requestsTo(const QByteArray &path) const;
    int count(const QByteArray &path) const { return int(requestsTo(path).size()); }
    void clear() { m_requests.clear(); m_maxInFlight = 0; }
    // Highest number of requests being answered at the same moment.
    int maxInFlight() const { return m_maxInFlight; }
    int inFlight() const { return m_inFlight; }
    // Body bytes written by streamed answers so far.
    qint64 bytesStreamed() const { return m_streamed; }

private:
    void onConnection();
    void respond(class QTcpSocket *socket, const Response &response);

    QTcpServer m_server;
    QHash<QByteArray, Handler> m_routes;
    Handler m_fallback;
    QList<Request> m_requests;
    int m_inFlight = 0;
    int m_maxInFlight = 0;
    qint64 m_streamed = 0;
};
