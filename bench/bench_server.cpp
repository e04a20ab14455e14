// papelo-server against nginx serving the same JSON as files, in one run,
// and the server under abuse. Load from wrk (Debian's; scripts/deps.sh
// --bench installs it): 2 threads, 32 connections, runs alternating between
// the two servers, figures the medians. nginx is the tests' harness
// (tests/support/NginxProcess): one worker, access log on, as shipped.
//   targets: first page of /api/articles >= 0.4x nginx's requests per second,
//            /api/article/ID (counts a view) >= 0.3x, /api/stats no slower
//            than before, p99 under 10 ms, memory flat, /api/stats under
//            50 ms while the largest comment answer is fetched in a loop
//
//   scripts/locked-build.sh bench_server papelo-server
//   flock /tmp/papelo-build.lock build/bench/bench_server [--runs N] [--instructions]
//   PAPELO_SERVER_BINARY=<an older build's papelo-server> ...   (the same figures for it)
//
// --instructions also counts the server's instructions per request with
// callgrind (valgrind), from two runs of N and 2N requests on one connection.
#include "NginxProcess.h"
#include "ServerProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

qint64 rssMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
    }
    return 0;
}

// One keep-alive connection with blocking reads; reconnects when closed.
class Connection {
public:
    explicit Connection(quint16 port) : m_port(port) {}
    // Status and body of one request.
    std::pair<int, QByteArray> request(const QByteArray &raw)
    {
        if (m_socket.state() != QAbstractSocket::ConnectedState) {
            m_socket.abort();
            m_socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (!m_socket.waitForConnected(5000))
                return {0, {}};
        }
        m_socket.write(raw);
        QByteArray in;
        qsizetype end = -1;
        while ((end = in.indexOf("\r\n\r\n")) < 0) {
            if (!m_socket.waitForReadyRead(30000))
                return {0, {}};
            in += m_socket.readAll();
        }
        const qsizetype at = in.toLower().indexOf("content-length:");
        const qsizetype length = at < 0 ? 0 : in.mid(at + 15, in.indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
        while (in.size() < end + 4 + length) {
            if (!m_socket.waitForReadyRead(30000))
                return {0, {}};
            in += m_socket.readAll();
        }
        return {in.mid(9, 3).toInt(), in.mid(end + 4, length)};
    }

private:
    quint16 m_port;
    QTcpSocket m_socket;
};

QByteArray get(const QByteArray &path) { return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"; }

struct Load {
    double rps = 0;
    double p99Ms = 0;
};

Load wrk(quint16 port, const QByteArray &path, int seconds)
{
    QProcess p;
    p.start(QStringLiteral("wrk"), {"-t2", "-c32", QStringLiteral("-d%1s").arg(seconds), "--latency",
                                    QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(QString::fromLatin1(path))});
    p.waitForFinished(seconds * 1000 + 30000);
    const QString out = QString::fromLatin1(p.readAllStandardOutput());
    Load load;
    load.rps = QRegularExpression(QStringLiteral("Requests/sec:\\s+([\\d.]+)")).match(out).captured(1).toDouble();
    const QRegularExpressionMatch p99 = QRegularExpression(QStringLiteral("\\s99%\\s+([\\d.]+)(us|ms|s)")).match(out);
    const double scale = p99.captured(2) == QLatin1String("us") ? 0.001 : p99.captured(2) == QLatin1String("s") ? 1000 : 1;
    load.p99Ms = p99.captured(1).toDouble() * scale;
    return load;
}

// Four connections from one address ask for the same cover again and again
// and never read. Prints the server's RSS each second and when each was cut off.
void slowReaders(const ServerProcess &server, int seconds)
{
    std::vector<int> fds;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in from = {}, to = {};
        from.sin_family = to.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(0x7f000002);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(server.port());
        ::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from);
        ::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to);
        fds.push_back(fd);
    }
    QThread::msleep(100);
    const QByteArray ask = "GET /images/cover/1.jpg HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    std::vector<double> cutAt(fds.size(), -1);
    QElapsedTimer clock;
    clock.start();
    const qint64 start = rssMiB(server.processId());
    qint64 peak = start;
    for (int second = 1; second <= seconds; ++second) {
        while (clock.elapsed() < second * 1000) {
            for (size_t i = 0; i < fds.size(); ++i) {
                if (cutAt[i] >= 0)
                    continue;
                const ssize_t sent = ::send(fds[i], ask.constData(), size_t(ask.size()), MSG_NOSIGNAL);
                if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                    cutAt[i] = double(clock.elapsed()) / 1000;
            }
            QThread::msleep(2);
        }
        peak = std::max(peak, rssMiB(server.processId()));
        std::printf("  %2d s  server RSS %4lld MiB\n", second, rssMiB(server.processId()));
    }
    for (size_t i = 0; i < fds.size(); ++i) {
        if (cutAt[i] >= 0)
            std::printf("  connection %zu cut off after %.2f s\n", i + 1, cutAt[i]);
        else
            std::printf("  connection %zu still open after %d s\n", i + 1, seconds);
        ::close(fds[i]);
    }
    std::printf("slow readers: RSS %lld MiB at start, %lld MiB at most, %lld MiB at the end\n", start, peak,
                rssMiB(server.processId()));
}

// Fills one article with 2,000-character comments until the server refuses
// (or 1,500 went in), then fetches its comments in a loop on one thread while
// timing /api/stats on another.
void largestAnswer(const ServerProcess &server)
{
    Connection poster(server.port());
    const QByteArray body = QJsonDocument(QJsonObject{{"article_id", 7}, {"content", QString(2000, QChar(0x8bc4))}})
                                .toJson(QJsonDocument::Compact);
    const QByteArray post = "POST /api/comment HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    int posted = 0;
    while (posted < 1500 && poster.request(post).first == 200)
        ++posted;
    const QByteArray ask = get("/api/comments?article_id=7");
    const qsizetype size = Connection(server.port()).request(ask).second.size();
    std::printf("largest comment answer: %d comments posted, %.1f MiB\n", posted, double(size) / 1024 / 1024);

    std::atomic<bool> stop{false};
    std::atomic<int> fetched{0};
    std::thread fetcher([&] {
        Connection conn(server.port());
        while (!stop && conn.request(ask).first == 200)
            ++fetched;
    });
    Connection conn(server.port());
    std::vector<double> latencies;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer t;
        t.start();
        conn.request(get("/api/stats"));
        latencies.push_back(double(t.nsecsElapsed()) / 1e6);
        QThread::msleep(20);
    }
    stop = true;
    fetcher.join();
    std::printf("/api/stats meanwhile (%d answers fetched): median %.2f ms, p99 %.2f ms, max %.2f ms (target < 50 ms)\n",
                fetched.load(), median(latencies), percentile(latencies, 0.99),
                *std::max_element(latencies.begin(), latencies.end()));
}

// Instructions the server runs per request: two callgrind runs of n and 2n
// requests on one keep-alive connection, the difference over n.
void instructions(const QString &dataDir, const QByteArrayList &paths)
{
    const int n = 2000;
    QTemporaryDir scratch;
    for (const QByteArray &path : paths) {
        std::vector<double> totals;
        for (const int count : {n, 2 * n}) {
            const QString out = scratch.filePath(QStringLiteral("callgrind.%1").arg(count));
            const quint16 port = NginxProcess::freePort();
            QProcess valgrind;
            valgrind.start(QStringLiteral("valgrind"), {"--tool=callgrind", "--callgrind-out-file=" + out,
                                                        ServerProcess::binaryPath(), "--no-throttle", "--port",
                                                        QString::number(port), "--data", dataDir});
            Connection conn(port);
            for (int tries = 0; tries < 300 && conn.request(get("/api/stats")).first != 200; ++tries)
                QThread::msleep(100);
            for (int i = 0; i < count; ++i)
                conn.request(get(path));
            valgrind.terminate();
            valgrind.waitForFinished(60000);
            QFile file(out);
            file.open(QIODevice::ReadOnly);
            const QRegularExpressionMatch total = QRegularExpression(QStringLiteral("\\n(?:summary|totals): (\\d+)")).match(QString::fromLatin1(file.readAll()));
            totals.push_back(total.captured(1).toDouble());
        }
        std::printf("  %-34s %8.0f instructions per request\n", path.constData(), (totals[1] - totals[0]) / n);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int runs = args.contains(QStringLiteral("--runs")) ? args.value(args.indexOf(QStringLiteral("--runs")) + 1).toInt() : 5;
    std::printf("server: %s\n", qPrintable(ServerProcess::binaryPath()));

    ServerProcess server;  // the demo site, limits off
    if (!server.start()) {
        std::printf("server did not start: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    struct Route {
        QByteArray path;
        QByteArray file;
    };
    const std::vector<Route> routes = {{"/api/articles?page=1&limit=20", "page.json"},
                                       {"/api/article/5", "article.json"},
                                       {"/api/stats", "stats.json"}};
    QTemporaryDir files;
    for (const Route &route : routes) {
        QFile out(files.filePath(QString::fromLatin1(route.file)));
        if (!out.open(QIODevice::WriteOnly) || out.write(Connection(server.port()).request(get(route.path)).second) <= 0)
            return 1;
    }
    NginxProcess nginx({.files = files.path()});
    if (!nginx.start()) {
        std::printf("nginx did not start: %s\n", qPrintable(nginx.errorString()));
        return 1;
    }

    const qint64 rssBefore = rssMiB(server.processId());
    std::printf("\n%-32s %10s %10s %7s %9s %9s\n", "route", "nginx r/s", "server r/s", "ratio", "nginx p99", "server p99");
    for (const Route &route : routes) {
        std::vector<double> nginxRps, serverRps, nginxP99, serverP99;
        for (int r = 0; r < runs; ++r) {
            // Alternating which goes first, so a change in machine load hits both alike.
            for (int side = 0; side < 2; ++side) {
                const bool toNginx = (side + r) % 2 == 0;
                const Load load = toNginx ? wrk(nginx.httpPort(), "/" + route.file, 3) : wrk(server.port(), route.path, 3);
                (toNginx ? nginxRps : serverRps).push_back(load.rps);
                (toNginx ? nginxP99 : serverP99).push_back(load.p99Ms);
            }
        }
        std::printf("%-32s %10.0f %10.0f %6.2fx %7.2fms %7.2fms\n", route.path.constData(), median(nginxRps), median(serverRps),
                    median(serverRps) / std::max(1.0, median(nginxRps)), median(nginxP99), median(serverP99));
    }
    std::printf("server RSS %lld MiB before the load, %lld MiB after\n\n", rssBefore, rssMiB(server.processId()));
    nginx.stop();

    slowReaders(server, 20);
    std::printf("\n");
    largestAnswer(server);

    if (args.contains(QStringLiteral("--instructions"))) {
        const QString data = server.dataDir();
        server.stop();
        std::printf("\ninstructions per request (callgrind):\n");
        QByteArrayList paths;
        for (const Route &route : routes)
            paths << route.path;
        instructions(data, paths);
    }
    return 0;
}
