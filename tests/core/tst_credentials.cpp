#include "ConsoleCapture.h"
#include "DataTable.h"
#include "Fixtures.h"
#include "ServedTest.h"
#include "core/AppSettings.h"
#include "core/APIClient.h"
#include "core/Console.h"
#include "core/Envelopes.h"

#include <QMetaEnum>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;

namespace {
template <typename T> std::optional<RequestError> failure(const Result<T> &r) { return r ? std::nullopt : std::optional<RequestError>(r.error()); }

// The operation that sends "METHOD /path".
std::optional<RequestError> run(APIClient &c, const QByteArray &request)
{
    if (request == "GET /api/me") return failure(QCoro::waitFor(c.fetchMe("tok")));
    if (request == "POST /api/me/bio") return failure(QCoro::waitFor(c.updateBio("tok", "签名")));
    if (request == "POST /api/like") return failure(QCoro::waitFor(c.like(LikeTarget(1, std::nullopt), QString("tok"))));
    if (request == "POST /api/login") return failure(QCoro::waitFor(c.login("u", "pw")));
    if (request == "POST /api/register") return failure(QCoro::waitFor(c.registerUser("u", "u@example.org", "pw")));
    if (request == "POST /api/comment") return failure(QCoro::waitFor(c.postComment(1, "好", std::nullopt)));
    return failure(QCoro::waitFor(c.fetchStats()));
}

} // namespace

class CredentialsTest : public ServedTest {
    Q_OBJECT
private slots:
    // Another port or another host name of the same address is another origin.
    void credentialsStayWithOrigin_data() { data::table<QByteArray, int, QString, bool, QByteArray>("core/redirects.tsv"); }
    void credentialsStayWithOrigin()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QString, to);
        QFETCH(bool, followed);
        QFETCH(QByteArray, reply);
        FakeServer other;
        QVERIFY(other.listen());
        FakeServer &target = to == "port" ? other : server();
        const QByteArray method = request.split(' ').first(), path = request.split(' ').last();
        const QByteArray base = to == "host" ? "http://localhost:" + QByteArray::number(server().port()) : target.baseUrl().toUtf8();
        FakeServer::Response moved = FakeServer::Response::raw(status, {}, "text/plain");
        moved.headers.append({"Location", base + "/moved" + path});
        server().on(method, path, moved);
        target.on(method, "/moved" + path, FakeServer::Response::raw(200, reply));

        auto client = APIClient::create(server().baseUrl());
        const std::optional<RequestError> error = run(*client, request);
        QCOMPARE(server().count(path), 1);
        if (!followed) {
            QVERIFY(error.has_value());
            QCOMPARE(error->kind(), RequestError::Kind::BadResponse);
            QCOMPARE(target.count("/moved" + path), 0);
            return;
        }
        QVERIFY2(!error, qPrintable(error ? error->description() : QString()));
        QCOMPARE(target.count("/moved" + path), 1);
        const FakeServer::Request arrived = target.requestsTo("/moved" + path).constFirst();
        QCOMPARE(arrived.hasHeader("Authorization"), request == "GET /api/me");
        QCOMPARE(arrived.body, server().requestsTo(path).constFirst().body); // a 307 re-posts the same body
    }

    void consoleDropsControlCharacters_data() { data::table<QByteArray, QString>("core/console-lines.tsv"); }
    void consoleDropsControlCharacters()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, printed);
        ConsoleCapture capture;
        consoleLine("失败：", QString::fromUtf8(QByteArray::fromPercentEncoding(text)));
        capture.release();
        QCOMPARE(capture.text(), "失败：" + printed + "\n");
    }

    void unwritableSettingsAreToldAndKeptInMemory()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath("plain-file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where a folder should be: unwritable, even for root
        AppSettings settings(dir.filePath("plain-file/papelo.ini"));
        ConsoleCapture capture;
        settings.setThemeMode(ThemeMode::Dark);
        const QStringList lines = capture.release();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.constFirst().startsWith("设置保存失败：") && fixtures::isChinese(lines.constFirst()), qPrintable(lines.constFirst()));
        QCOMPARE(settings.themeMode(), ThemeMode::Dark);
    }

    // Rule: Chinese text; the only Latin letters allowed are "HTTP" before a status number.
    void errorTextsAreChinese_data()
    {
        QTest::addColumn<QString>("text");
        const QMetaEnum codes = QMetaEnum::fromType<QNetworkReply::NetworkError>();
        for (int i = 0; i < codes.keyCount(); ++i)
            QTest::newRow(codes.key(i)) << RequestError::network(QNetworkReply::NetworkError(codes.value(i))).description();
        QTest::newRow("too large") << RequestError::transport(RequestError::Transport::TooLarge).description();
        QTest::newRow("bad response") << RequestError::badResponse(502).description();
    }
    void errorTextsAreChinese()
    {
        QFETCH(QString, text);
        static QSet<QString> seen; // each failure tells its own story
        QVERIFY2(!seen.contains(text), qPrintable(text));
        seen.insert(text);
        QVERIFY2(fixtures::isChinese(text), qPrintable(text));
        QVERIFY2(!QString(text).remove(QRegularExpression("HTTP \\d{3}")).contains(QRegularExpression("[A-Za-z]")),
                 qPrintable(text));
    }
};

QTEST_MAIN(CredentialsTest)
#include "tst_credentials.moc"
