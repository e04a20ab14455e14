// The image connection, the decoder and RemoteImage's loader against a
// loopback server: the disk layer across a restart, the memory layer and its
// clearing, the pixel limit, the pending -> slow -> loaded / failed sequence
// and hostile bodies; the picture viewer's zoom and its loads.
#include "BodyPage.h"
#include "core/AddressRule.h"
#include "images/ImageCache.h"
#include "images/ImageDecoder.h"
#include "images/ImageSurface.h"
#include "images/PictureZoom.h"
#include "images/RemoteImageLoader.h"

#include <QCoroTask>
#include <QHostInfo>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QtTest>

using namespace papelo;
using bodypage::filled;

namespace {
// "WxH" and "x,y,w,h" as the tables write them; empty: invalid.
QSizeF sizeOf(const QString &text)
{
    const QStringList p = text.split(QLatin1Char('x'));
    return text.isEmpty() ? QSizeF() : QSizeF(p.value(0).toDouble(), p.value(1).toDouble());
}
QRectF rectOf(const QString &text)
{
    const QStringList p = text.split(QLatin1Char(','));
    return QRectF(p.value(0).toDouble(), p.value(1).toDouble(), p.value(2).toDouble(), p.value(3).toDouble());
}
} // namespace

class TestImages : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    FakeServer m_server;  // the configured server
    FakeServer m_other, m_fifth;  // loopback hosts it may not send the reader to
    std::unique_ptr<ImageCache> m_cache;

    QUrl url(const char *path) const { return QUrl(m_server.baseUrl() + QLatin1String(path)); }
    ImageCache::Fetch fetchNow(const QUrl &address) { return QCoro::waitFor(m_cache->fetch(address)); }
    // Each test function has a directory of its own; a new cache on it is a restart.
    QString directory() const { return m_dir.filePath(QLatin1String(QTest::currentTestFunction()) + QLatin1String(QTest::currentDataTag())); }
    void newCache(ImageCacheLimits limits = {})
    {
        m_cache.reset();
        m_cache = std::make_unique<ImageCache>(directory(), limits);
    }
    std::unique_ptr<RemoteImageLoader> loaderFor(const QVariant &address)
    {
        auto loader = std::make_unique<RemoteImageLoader>();
        loader->setCache(m_cache.get());
        loader->setUrl(address);
        return loader;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen() && m_other.listen() && m_fifth.listen(QHostAddress("127.0.0.5")));
        ServerConfig::setBaseUrl(m_server.baseUrl());
        for (const QStringList &route : data::rows(QStringLiteral("app/images/routes.tsv")).mid(1))
            m_server.on("GET", route.value(0).toUtf8(), FakeServer::delayed(FakeServer::Response::raw(route.value(1).toInt(), data::bytes("app/images/" + route.value(4)),
                                                                                                     route.value(3).toUtf8()), route.value(2).toInt()));
    }
    void init()
    {
        m_server.clear();
        newCache();
    }
    void cleanup()
    {
        m_cache.reset();
        QTRY_COMPARE(Activity::shared().count(), 0);
    }

    // The default limits keep a 25 MB image in both layers (memory holds 50 MB,
    // the disk 200 MB): asked again, then after a restart, it is not fetched.
    // A second live cache never shares its directory.
    void keptInMemoryAndOnDiskByDefault()
    {
        const QByteArray body(25'000'000, 'x');
        m_server.on("GET", "/large.png", FakeServer::Response::raw(200, body, "image/png"));
        QVERIFY(fetchNow(url("/large.png")).ok && fetchNow(url("/large.png")).fromMemory);
        newCache();
        const ImageCache::Fetch again = fetchNow(url("/large.png"));
        QVERIFY(again.ok && !again.fromMemory && again.bytes == body);
        QCOMPARE(m_server.count("/large.png"), 1);
        ImageCache second(directory());
        QVERIFY(m_cache->hasDiskCache() && !second.hasDiskCache() && QCoro::waitFor(second.fetch(url("/large.png"))).ok);
    }

    // Only successful bodies are kept in memory; clearing empties both layers.
    void memoryAnswersRepeatsUntilCleared()
    {
        FakeServer::Response withCookie = FakeServer::Response::raw(200, bodypage::pngBytes(Qt::gray, QSize(8, 8)), "image/png");
        withCookie.headers.append({"Set-Cookie", QByteArray("seen=1; Path=/")});
        m_server.on("GET", "/a.png", withCookie);
        QCOMPARE(fetchNow(url("/missing.png")).status, 404);
        QVERIFY(fetchNow(url("/a.png")).ok && fetchNow(url("/a.png")).fromMemory);
        QVERIFY(!fetchNow(url("/missing.png")).fromMemory);
        QCOMPARE(m_server.count("/missing.png") + m_server.count("/a.png"), 3);
        m_cache->clear();
        QVERIFY(m_cache->memoryCost() == 0 && m_cache->diskSize() == 0);
        QVERIFY(!fetchNow(url("/a.png")).fromMemory && m_server.count("/a.png") == 2);
        for (const FakeServer::Request &request : m_server.requestsTo("/a.png"))  // pictures do not remember the reader
            QVERIFY(!request.hasHeader("Cookie") && !request.hasHeader("Referer"));
    }

    // Into the reader's machine or network only the configured server may
    // send it: by address as written (every spelling: tst_addresses), by a
    // redirect, or by a name that resolves there.
    void privateAddressesAreRefused_data() { data::table<QString>(QStringLiteral("app/images/private-addresses.tsv")); }
    void privateAddressesAreRefused()
    {
        QFETCH(QString, address);
        address = filled(address, {{"fifth", m_fifth.baseUrl()}, {"server", m_server.baseUrl()},
                                   {"machine", QHostInfo::localHostName()}, {"port", QString::number(m_other.port())}});
        const QList<QHostAddress> own = QHostInfo::fromName(QHostInfo::localHostName()).addresses();
        if (address.contains(QHostInfo::localHostName()) && std::none_of(own.begin(), own.end(), isPrivateAddress))
            QSKIP("this machine's name does not resolve to a private address here");
        FakeServer::Response moved = FakeServer::Response::raw(302, {}, "text/plain");
        moved.headers = {{"Location", m_fifth.baseUrl().toUtf8() + "/p.png"}};
        m_server.on("GET", "/moved.png", moved);
        QVERIFY(!fetchNow(QUrl(address)).ok);
        QTest::qWait(200);
        QVERIFY(m_other.requests().isEmpty() && m_fifth.requests().isEmpty());
    }

    // The limits themselves are the transfer watch's (proven with the API
    // client); here, that the cache applies them and keeps nothing.
    void failedTransfersReportNoBody_data() { data::table<bool>(QStringLiteral("app/images/failed-transfers.tsv")); }
    void failedTransfersReportNoBody()
    {
        QFETCH(bool, dead);
        ImageCacheLimits limits;
        limits.maxBodyBytes = 50'000;
        newCache(limits);
        m_server.on("GET", "/x.png", FakeServer::Response::raw(200, QByteArray(2'000'000, 'x'), "image/png"));
        const ImageCache::Fetch fetched = fetchNow(dead ? QUrl(FakeServer::deadBaseUrl() + QStringLiteral("/x.png")) : url("/x.png"));
        QVERIFY(!fetched.ok && fetched.bytes.isEmpty());
        QVERIFY(m_cache->memoryCost() == 0 && m_cache->fetchesInFlight() == 0);
    }

    void decoding_data() { data::table<QString, QString, QString>(QStringLiteral("app/image-decoding.tsv")); }
    void decoding()
    {
        QFETCH(QString, file);
        QFETCH(QString, fit);
        QFETCH(QString, decoded);
        const QByteArray bytes = file.isEmpty() ? QByteArray() : data::bytes(QStringLiteral("app/images/") + file);
        const QImage image = decodeImage(bytes, sizeOf(fit).toSize());
        QCOMPARE(image.isNull() ? QSize() : image.size(), sizeOf(decoded).toSize());
    }

    // A data: address carries its bytes, base64 or percent-encoded; too
    // many are refused, a long one before anything is decoded.
    void dataUrls_data() { data::table<QString, qint64, QByteArray, bool>(QStringLiteral("app/images/data-urls.tsv")); }
    void dataUrls()
    {
        QFETCH(QString, address);
        QFETCH(qint64, limit);
        bool tooLarge = true;  // each answer sets it
        QTEST(dataUrlBytes(QUrl(address), limit, &tooLarge).value_or("-"), "bytes");
        QTEST(tooLarge, "tooLarge");
    }

    // Operations on a picture in a 1000 x 800 viewport, as the table spells them.
    void pictureZoom_data() { data::table<QString, QString, double, QString, QString>(QStringLiteral("app/picture-zoom.tsv")); }
    void pictureZoom()
    {
        QFETCH(QString, picture);
        QFETCH(QString, operations);
        QFETCH(QString, shown);
        QFETCH(QString, texture);
        PictureZoom zoom;
        zoom.setViewport(QSizeF(1000, 800));
        zoom.setPicture(sizeOf(picture));
        static const QRegularExpression form(QStringLiteral("^(\\w+)(?::([-\\d.]+)[,x]?([-\\d.]*))?(?:@([-\\d.]+),([-\\d.]+))?$"));
        for (const QString &operation : operations.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch m = form.match(operation);
            QVERIFY2(m.hasMatch(), qPrintable(operation));
            const QString name = m.captured(1);
            const QPointF at(m.captured(4).toDouble(), m.captured(5).toDouble());
            if (name == "in") zoom.stepIn();
            else if (name == "out") zoom.stepOut();
            else if (name == "toggle") zoom.toggleFit(at);
            else if (name == "zoom") zoom.zoomBy(m.captured(2).toDouble(), at);
            else if (name == "pan") zoom.panBy(QPointF(m.captured(2).toDouble(), m.captured(3).toDouble()));
            else if (name == "view") zoom.setViewport(QSizeF(m.captured(2).toDouble(), m.captured(3).toDouble()));
        }
        QTEST(zoom.zoom(), "zoom");
        QCOMPARE(zoom.shownRect(), rectOf(shown));
        QCOMPARE(zoom.textureSize(1.0), sizeOf(texture).toSize());
        QCOMPARE(zoom.fitted(), zoom.zoom() == zoom.fitZoom());
    }

    // What the viewer makes of each address a body may list: through the
    // image cache with its rules, data: pictures directly, the usual errors.
    void viewerLoads_data() { data::table<QString, QString, QString>(QStringLiteral("app/viewer-loads.tsv")); }
    void viewerLoads()
    {
        QFETCH(QString, address);
        QFETCH(QString, error);
        QFETCH(QString, decoded);
        PictureViewer viewer;
        viewer.setCache(m_cache.get());
        viewer.setViewportSize(QSizeF(1000, 800));
        address = filled(address, {{"fifth", m_fifth.baseUrl()}});
        QVERIFY(viewer.open({QVariantMap{{"url", address.startsWith('/') ? m_server.baseUrl() + address : address}}}, 0));
        QCOMPARE(Activity::shared().count(), viewer.status() == PictureViewer::Loading ? 1 : 0);  // for the screenshot mode
        QTRY_VERIFY_WITH_TIMEOUT(viewer.status() != PictureViewer::Loading, 10000);
        QCOMPARE(viewer.errorText(), error);
        QCOMPARE(viewer.image().isNull() ? QSize() : viewer.image().size(), sizeOf(decoded).toSize());
        QCOMPARE(Activity::shared().count(), 0);
        QVERIFY(m_fifth.requests().isEmpty());
    }

    // Left and right through the pictures, "3 / 7", a zoom decoded again
    // larger, and what opening and closing hand out.
    void viewerGoesThroughThePictures()
    {
        const QVariantMap big{{"url", url("/big.png")}, {"alt", QStringLiteral("大图\u202e")}};
        PictureViewer viewer;
        viewer.setCache(m_cache.get());
        viewer.setViewportSize(QSizeF(1000, 800));
        QSignalSpy closed(&viewer, &PictureViewer::closed);
        QVERIFY(!viewer.open({}, 0) && !viewer.open({big}, 1) && !viewer.open({big}, -1) && !viewer.active());
        QVERIFY(viewer.open({QVariantMap{{"url", "ftp://x/a.png"}}, big, QVariantMap{}}, 1));
        QVERIFY(viewer.position() == QStringLiteral("2 / 3") && viewer.canPrevious() && viewer.canNext());
        QCOMPARE(viewer.description(), QStringLiteral("大图"));
        QTRY_COMPARE_WITH_TIMEOUT(viewer.image().size(), QSize(1000, 750), 10000);
        viewer.toggleFit(500, 400);  // 100 %: decoded again, whole
        QCOMPARE(viewer.zoomPercent(), 100);
        QTRY_COMPARE_WITH_TIMEOUT(viewer.image().size(), QSize(4000, 3000), 10000);
        QCOMPARE(m_server.count("/big.png"), 1);
        viewer.next();
        QVERIFY(viewer.position() == QStringLiteral("3 / 3") && !viewer.canNext());
        QCOMPARE(viewer.errorText(), QStringLiteral("图片加载失败：图片地址无效"));
        for (const bool forward : {true, false, false})
            forward ? viewer.next() : viewer.previous();
        QCOMPARE(viewer.position() + viewer.errorText(), QStringLiteral("1 / 3图片加载失败：图片地址无效"));
        viewer.close();
        QVERIFY(!viewer.active() && viewer.image().isNull() && viewer.position().isEmpty() && Activity::shared().count() == 0);
        QVERIFY(closed.count() == 1 && closed.first().first().toInt() == 1);  // the picture it was opened on
    }

    void cropRectFillsTheFrameKeepingTheAspect()
    {
        QCOMPARE(ImageSurface::cropRect(QSizeF(200, 100), QSizeF(50, 50)), QRectF(50, 0, 100, 100));
        QCOMPARE(ImageSurface::cropRect(QSizeF(100, 400), QSizeF(100, 50)), QRectF(0, 175, 100, 50));
        QCOMPARE(ImageSurface::cropRect(QSizeF(80, 60), QSizeF(160, 120)), QRectF(0, 0, 80, 60));
    }

    void statusSequence_data() { data::table<bool, QStringList>(QStringLiteral("app/images/status-sequences.tsv")); }
    void statusSequence()
    {
        QFETCH(bool, inMemory);
        if (inMemory)
            QVERIFY(fetchNow(url("/late.png")).ok);
        auto loader = loaderFor(QVariant());
        loader->setSourceSize(QSize(32, 24)); // decoded at screen pixels
        loader->setDevicePixelRatio(2.0);
        QStringList log;
        const QMetaEnum names = QMetaEnum::fromType<RemoteImageLoader::Status>();
        connect(loader.get(), &RemoteImageLoader::statusChanged, this, [&] { log << QString::fromLatin1(names.valueToKey(loader->status())); });
        loader->setUrl(url("/late.png"));
        QVERIFY(inMemory || Activity::shared().count() == 1); // a fetch counts for the screenshot mode
        QTRY_VERIFY_WITH_TIMEOUT(loader->hasImage(), 10000);
        QCOMPARE(Activity::shared().count(), 0);
        QTest::qWait(350); // past the shimmer delay: a stopped timer must not fire
        QTEST(log, "statuses");
        QCOMPARE(loader->image().size(), QSize(64, 48));
    }

    // Without an address a view fails at once and asks nothing; a bad answer
    // fails it after one request (what the decoder refuses: decoding()).
    void failures_data() { data::table<QString, QString, QByteArray>(QStringLiteral("app/images/failures.tsv")); }
    void failures()
    {
        QFETCH(QString, text);
        QFETCH(QString, type);
        QVariant address = type.isEmpty() ? QVariant() : QVariant(text);  // of the type the view hands over
        QVERIFY(type.isEmpty() || address.convert(QMetaType::fromName(type.toLatin1())));
        QFETCH(QByteArray, answer);
        m_server.on("GET", "/bad", FakeServer::Response::raw(200, answer, "text/html"));
        const bool absent = address.toString().trimmed().isEmpty();
        auto loader = loaderFor(absent ? address : QVariant(url("/bad")));
        QVERIFY(loader->failed() == absent && loader->hasUrl() == !absent); // at once only without an address
        QTRY_VERIFY_WITH_TIMEOUT(loader->failed(), 10000);
        QTest::qWait(300); // no shimmer afterwards
        QVERIFY(loader->failed() && loader->image().isNull());
        QCOMPARE(m_server.count("/bad"), absent ? 0 : 1);
    }

    void urlChangeRestartsAndDropsTheStaleResult()
    {
        auto loader = loaderFor(url("/first.png"));
        QTRY_VERIFY(loader->hasImage());
        loader->setUrl(url("/old.png"));
        QVERIFY(loader->status() == RemoteImageLoader::Pending && loader->image().isNull()); // back to pending
        QTRY_COMPARE(m_server.count("/old.png"), 1);
        loader->setUrl(url("/new.png")); // before the old answer arrives: it must not win
        QTRY_COMPARE_WITH_TIMEOUT(m_server.inFlight(), 0, 5000);
        QTest::qWait(100);
        QCOMPARE(loader->hasImage() ? loader->image().size() : QSize(), QSize(20, 20));
        QSignalSpy spy(loader.get(), &RemoteImageLoader::statusChanged);
        loader->setUrl(url("/new.png")); // the same address does not restart
        QCOMPARE(spy.count(), 0);
    }

    void destroyedMidLoadIsSafe()
    {
        auto loader = loaderFor(url("/slow.png"));
        QTRY_COMPARE(m_server.count("/slow.png"), 1);
        loader.reset();
        QCOMPARE(Activity::shared().count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.inFlight(), 0, 5000);
        // The response still reached the cache for the next view.
        auto next = loaderFor(url("/slow.png"));
        QTRY_VERIFY(next->hasImage() && m_server.count("/slow.png") == 1);
        // The cache itself going away mid-fetch fails the load cleanly.
        auto orphan = loaderFor(url("/slower.png"));
        QTRY_COMPARE(m_server.count("/slower.png"), 1);
        m_cache.reset();
        QTRY_VERIFY(orphan->failed());
    }
};

QTEST_GUILESS_MAIN(TestImages)
#include "tst_images.moc"
