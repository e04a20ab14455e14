// The trace recorder (off unless started, thread-safe, timed from the
// process's start) and the reader's --trace file against the real server,
// which also shows the requests a reader's start makes.
#include "core/Trace.h"
#include "DataTable.h"
#include "ServerProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using namespace papelo;

namespace {
QElapsedTimer sinceStaticInit = [] {
    QElapsedTimer t;
    t.start();
    return t;
}();

QJsonArray eventsIn(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll())[u"traceEvents"].toArray() : QJsonArray();
}
} // namespace

class TestTrace : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void cleanup() { trace::reset(); }

    void recordsOnlyWhileOnFromAnyThread()
    {
        trace::instant("lost");  // before start: nothing is kept
        trace::instantAtNextFrame("lost");
        QVERIFY(!trace::Span("x", QStringLiteral("lost")).active() && trace::takeNextFrameInstants().empty());
        trace::start(m_dir.filePath(QStringLiteral("t.json")));
        // The origin is the process's start (one kernel tick of slack), not start().
        QVERIFY(trace::nowUs() + 10'000 >= sinceStaticInit.nsecsElapsed() / 1000);
        trace::instant("window-shown");
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([] { for (int i = 0; i < 100; ++i) trace::Span("decode", QStringLiteral("d")); });
        threads.clear();  // joins them
        QVERIFY(trace::flush());
        QMap<QString, int> kinds;
        QSet<int> tids, named;
        for (const QJsonValue &e : eventsIn(m_dir.filePath(QStringLiteral("t.json")))) {
            kinds[e[u"ph"].toString() + e[u"cat"].toString() + e[u"name"].toString()] += 1;
            (e[u"ph"] == QStringLiteral("M") ? named : tids).insert(e[u"tid"].toInt());
        }
        QCOMPARE(kinds.value(QStringLiteral("Xdecoded")), 400);
        QCOMPARE(kinds.value(QStringLiteral("iwindow-shown")), 1);
        QVERIFY(!kinds.contains(QStringLiteral("ilost")));
        QCOMPARE(tids.size(), 5);
        QCOMPARE(named, tids);
    }

    // Lists carry their counts, so a reader's start opens no article (each
    // would count a view); over --bare-lists it completes them from details.
    void readerWritesItsEvents_data() { data::table<QStringList, QStringList, QString, QString>("core/reader-traces.tsv"); }
    void readerWritesItsEvents()
    {
        QFETCH(QStringList, server);
        QFETCH(QStringList, options);
        QFETCH(QString, instants);
        QFETCH(QString, spans);
        ServerProcess site({.extraArguments = server});
        QVERIFY2(site.start(), qPrintable(site.errorString()));
        const QString path = m_dir.filePath(QStringLiteral("reader.json"));
        qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8());  // inherited by the reader
        qputenv("XDG_CACHE_HOME", m_dir.filePath(QString::fromLatin1(QTest::currentDataTag())).toUtf8());  // each run starts cold
        QProcess reader;
        reader.start(QStringLiteral(PAPELO_BINARY), QStringList{"--server", site.baseUrl(), "--trace", path,
                                                                "--screenshot", m_dir.filePath("s.png")} + options);
        QVERIFY(reader.waitForFinished(60000) && reader.exitCode() == 0);
        QStringList seen, recorded;
        for (const QJsonValue &e : eventsIn(path)) {
            if (e[u"ph"] == QStringLiteral("i") && instants.split(QLatin1Char(' ')).contains(e[u"name"].toString()))
                seen << e[u"name"].toString();
            recorded << e[u"cat"].toString() + QLatin1Char(' ') + e[u"name"].toString();
        }
        QCOMPARE(seen.join(QLatin1Char(' ')), instants);  // recorded as they happen, each once
        for (const QString &span : spans.split(QLatin1Char('|'))) {
            const bool absent = span.startsWith(QLatin1Char('!'));
            const auto found = std::any_of(recorded.cbegin(), recorded.cend(), [&](const QString &r) { return r.startsWith(span.mid(absent)); });
            QVERIFY2(found != absent, qPrintable(span));
        }
    }
};

QTEST_GUILESS_MAIN(TestTrace)
#include "tst_trace.moc"
