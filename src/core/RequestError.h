#pragma once

#include <QNetworkReply>
#include <QString>

namespace papelo {

// Every way a server operation can fail. Callers show description() only;
// the kind exists for tests and for the few places that must tell them apart.
class RequestError {
public:
    enum class Kind {
        Server,       // non-2xx with an {"error": "..."} body: the server's own message
        BadResponse,  // non-2xx without a usable error body
        Decoding,     // 2xx body that is not the expected shape
        Transport,    // no response: connection, timeout, cancellation, oversize body
        Encoding,     // the JSON request body could not be produced
        Config,       // the configured base URL cannot form a request address
    };
    enum class Transport { None, Refused, HostNotFound, Timeout, Cancelled, TooLarge, Other };

    static RequestError server(QString message, int status);
    static RequestError badResponse(int status);
    static RequestError decoding(QString description);
    static RequestError transport(Transport reason);
    // A reply that ended without a usable HTTP answer; every code gets its own
    // Chinese text, never Qt's English errorString().
    static RequestError network(QNetworkReply::NetworkError code);
    static RequestError encoding(QString description);
    static RequestError config(QString value);

    Kind kind() const { return m_kind; }
    Transport transportReason() const { return m_transport; }
    int httpStatus() const { return m_status; }
    // User-readable Chinese text; for Kind::Server exactly the server's message.
    QString description() const { return m_description; }

private:
    RequestError(Kind kind, QString description) : m_kind(kind), m_description(std::move(description)) {}
    Kind m_kind;
    QString m_description;
    Transport m_transport = Transport::None;
    int m_status = 0;
};

} // namespace papelo
