// The image connection and RemoteImage's loader against a real loopback
// server: disk persistence across a restart, clearing, capacities, the
// pending -> slow -> loaded / failed sequence and hostile bodies.
#include "core/Activity.h"
#include "images/ImageCache.h"
#include "images/ImageDecoder.h"
#include "ImageFixtures.h"
#include "images/ImageSurface.h"
#include "images/RemoteImageLoader.h"

#include <QCoroTask>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;
using namespace imagefixtures;

namespace {
ImageCache::Fetch fetchNow(ImageCache &cache, const QUrl &url)
{
    return QCoro::waitFor(cache.fetch(url));
}

// Records every status a loader passes through.
struct StatusLog {
    explicit StatusLog(RemoteImageLoader *loader) : loader(loader)
    {
        QObject::connect(loader, &RemoteImageLoader::statusChanged, loader,
                         [this] { statuses << this->loader->status(); });
    }
    RemoteImageLoader *loader;
    QList<RemoteImageLoader::Status> statuses;
};
} // namespace

class TestImages : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    // ImageCache
    void servedFromDiskAfterRestartWithServerGone();
    void memoryLayerAnswersRepeatsWithoutRequests();
    void clearEmptiesBothLayersAndRefetches();
    void capacitiesAreRespected();
    void twoLiveCachesNeverShareADirectory();
    void failedTransfersReportNoBody_data();
    void failedTransfersReportNoBody();
    void errorStatusesAreNotKeptInMemory();

    // Decoding
    void decoderRejectsNonImagesAndBombs();
    void decoderScalesToCoverRequestedSize();
    void cropRectFillsFrameKeepingAspect();
    void loaderDecodesAtScreenPixels();

    // RemoteImageLoader
    void absentUrlFailsAtOnceWithoutRequest_data();
    void absentUrlFailsAtOnceWithoutRequest();
    void slowLoadShowsShimmerThenImage();
    void fastLoadNeverShowsShimmer();
    void badBodiesEndInFailure_data();
    void badBodiesEndInFailure();
    void urlChangeRestartsAndDropsStaleResult();
    void destroyedMidLoadIsSafe();
    void countsItsLoadsInActivity();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeServer> m_server;
    std::unique_ptr<ImageCache> m_cache;
    QUrl url(const QByteArray &path) const { return QUrl(m_server->baseUrl() + QString::fromLatin1(path)); }
    std::unique_ptr<RemoteImageLoader> loaderFor(const QVariant &url);
};

void TestImages::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_server = std::make_unique<FakeServer>();
    QVERIFY(m_server->listen());
    m_cache = std::make_unique<ImageCache>(m_dir->filePath(QStringLiteral("papelo-image-cache")));
}

void TestImages::cleanup()
{
    m_cache.reset();
    m_server.reset();
    m_dir.reset();
    QTRY_COMPARE(Activity::shared().count(), 0);
}

std::unique_ptr<RemoteImageLoader> TestImages::loaderFor(const QVariant &url)
{
    auto loader = std::make_unique<RemoteImageLoader>();
    loader->setCache(m_cache.get());
    loader->setUrl(url);
    return loader;
}

void TestImages::servedFromDiskAfterRestartWithServerGone()
{
    const QByteArray body = png(40, 30);
    m_server->on("GET", "/img/cover.png", pngResponse(body));
    const QUrl address = url("/img/cover.png");
    const ImageCache::Fetch first = fetchNow(*m_cache, address);
    QVERIFY(first.ok);
    QCOMPARE(first.bytes, body);
    QVERIFY(m_cache->diskSize() > 0);

    // Restart: new cache objects over the same directory, and no server.
    m_cache.reset();
    m_server.reset();
    m_cache = std::make_unique<ImageCache>(m_dir->filePath(QStringLiteral("papelo-image-cache")));
    QVERIFY(m_cache->hasDiskCache());
    const ImageCache::Fetch again = fetchNow(*m_cache, address);
    QVERIFY(again.ok);
    QVERIFY(!again.fromMemory);
    QCOMPARE(again.bytes, body);

    // And the loader shows it.
    auto loader = std::make_unique<RemoteImageLoader>();
    loader->setCache(m_cache.get());
    loader->setUrl(address);
    QTRY_COMPARE(loader->status(), RemoteImageLoader::Loaded);
    QCOMPARE(loader->image().size(), QSize(40, 30));
}

void TestImages::memoryLayerAnswersRepeatsWithoutRequests()
{
    m_server->on("GET", "/a.png", pngResponse(png(8, 8)));
    QVERIFY(fetchNow(*m_cache, url("/a.png")).ok);
    QCOMPARE(m_server->count("/a.png"), 1);
    const ImageCache::Fetch second = fetchNow(*m_cache, url("/a.png"));
    QVERIFY(second.ok);
    QVERIFY(second.fromMemory);
    QCOMPARE(m_server->count("/a.png"), 1);
    QVERIFY(m_cache->memoryCost() > 0);
}

void TestImages::clearEmptiesBothLayersAndRefetches()
{
    m_server->on("GET", "/a.png", pngResponse(png(8, 8)));
    QVERIFY(fetchNow(*m_cache, url("/a.png")).ok);
    QVERIFY(m_cache->diskSize() > 0);
    m_cache->clear();
    QCOMPARE(m_cache->memoryCost(), 0);
    QCOMPARE(m_cache->diskSize(), 0);
    const ImageCache::Fetch again = fetchNow(*m_cache, url("/a.png"));
    QVERIFY(again.ok);
    QVERIFY(!again.fromMemory);
    QCOMPARE(m_server->count("/a.png"), 2);
    // A second clear in a row is harmless.
    m_cache->clear();
    m_cache->clear();
    QCOMPARE(m_cache->memoryCost(), 0);
}

void TestImages::capacitiesAreRespected()
{
    QCOMPARE(m_cache->memoryCapacity(), 50'000'000);
    QCOMPARE(m_cache->diskCapacity(), 200'000'000);

    m_cache.reset();
    ImageCacheLimits small;
    small.memoryBytes = 3000;
    small.diskBytes = 40'000;
    m_cache = std::make_unique<ImageCache>(m_dir->filePath(QStringLiteral("small")), small);
    // Noise does not compress: each body is ~12 KB.
    for (int i = 0; i < 12; ++i) {
        QByteArray noise(12'000, Qt::Uninitialized);
        for (char &c : noise)
            c = char(QRandomGenerator::global()->generate());
        const QByteArray path = "/n" + QByteArray::number(i);
        m_server->on("GET", path, FakeServer::Response::raw(200, noise, "image/png"));
        QVERIFY(fetchNow(*m_cache, url(path)).ok);
        QVERIFY2(m_cache->memoryCost() <= 3000, qPrintable(QString::number(m_cache->memoryCost())));
        QVERIFY2(m_cache->diskSize() <= 40'000 + 13'000, qPrintable(QString::number(m_cache->diskSize())));
    }
    // Qt trims before each insert, so the size stays within one entry of the cap.
    QVERIFY(m_cache->diskSize() > 0);
}

void TestImages::twoLiveCachesNeverShareADirectory()
{
    const QString dir = m_dir->filePath(QStringLiteral("papelo-image-cache"));
    ImageCache second(dir);
    QVERIFY(m_cache->hasDiskCache());
    QVERIFY(!second.hasDiskCache());
    m_server->on("GET", "/a.png", pngResponse(png(4, 4)));
    QVERIFY(fetchNow(second, url("/a.png")).ok); // still works, from memory/network only
    ImageCache other(m_dir->filePath(QStringLiteral("other")));
    QVERIFY(other.hasDiskCache());
}

void TestImages::failedTransfersReportNoBody_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("dead server") << 0;
    QTest::newRow("stalled past the whole limit") << 1;
    QTest::newRow("body over the cap") << 2;
    QTest::newRow("silent past the idle limit") << 3;
}

void TestImages::failedTransfersReportNoBody()
{
    QFETCH(int, kind);
    ImageCacheLimits limits;
    limits.whole = std::chrono::milliseconds(400);
    limits.maxBodyBytes = 50'000;
    m_cache.reset();
    m_cache = std::make_unique<ImageCache>(m_dir->filePath(QStringLiteral("limits")), limits);
    QUrl address = url("/x.png");
    if (kind == 0) {
        const quint16 port = m_server->port();
        m_server.reset();
        address = QUrl(QStringLiteral("http://127.0.0.1:%1/x.png").arg(port));
    } else if (kind == 1) {
        FakeServer::Response r = pngResponse(png(4, 4));
        r.stall = true;
        m_server->on("GET", "/x.png", r);
    } else if (kind == 2) {
        m_server->on("GET", "/x.png", FakeServer::Response::raw(200, QByteArray(2'000'000, 'x'), "image/png"));
    } else {
        // Headers and a little data, then nothing: the idle limit ends it long before the whole one.
        m_cache.reset();
        limits.whole = std::chrono::milliseconds(20000);
        limits.idle = std::chrono::milliseconds(400);
        m_cache = std::make_unique<ImageCache>(m_dir->filePath(QStringLiteral("idle")), limits);
        FakeServer::Response r = pngResponse(png(64, 64));
        r.stallAfterBytes = 20;
        m_server->on("GET", "/x.png", r);
    }
    QElapsedTimer clock;
    clock.start();
    const ImageCache::Fetch fetched = fetchNow(*m_cache, address);
    QVERIFY(!fetched.ok);
    QVERIFY(fetched.bytes.isEmpty());
    QVERIFY2(clock.elapsed() < 15000, "a limit must end the fetch");
    QCOMPARE(m_cache->memoryCost(), 0);
    QCOMPARE(m_cache->fetchesInFlight(), 0);
}

void TestImages::errorStatusesAreNotKeptInMemory()
{
    m_server->on("GET", "/missing.png", FakeServer::Response::raw(404, "<html>Not Found</html>", "text/html"));
    const ImageCache::Fetch fetched = fetchNow(*m_cache, url("/missing.png"));
    QVERIFY(fetched.ok);
    QCOMPARE(fetched.status, 404);
    QCOMPARE(m_cache->memoryCost(), 0);
    fetchNow(*m_cache, url("/missing.png"));
    QCOMPARE(m_server->count("/missing.png"), 2);
}

void TestImages::decoderRejectsNonImagesAndBombs()
{
    QVERIFY(decodeImage({}, {}).isNull());
    QVERIFY(decodeImage("<html><body>Not an image</body></html>", {}).isNull());
    QVERIFY(decodeImage(png(10, 10).left(30), {}).isNull());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(decodeImage(bombPng(30000, 30000), {}).isNull());
    QVERIFY2(clock.elapsed() < 5000, "a bomb must fail from its header, not after decoding");
    const QImage fine = decodeImage(png(33, 21), {});
    QCOMPARE(fine.size(), QSize(33, 21));
}

void TestImages::decoderScalesToCoverRequestedSize()
{
    // 400x200 into a 100x100 frame: the smallest cover is 200x100.
    QCOMPARE(decodeImage(png(400, 200), QSize(100, 100)).size(), QSize(200, 100));
    // Never enlarged.
    QCOMPARE(decodeImage(png(50, 40), QSize(100, 100)).size(), QSize(50, 40));
}

void TestImages::cropRectFillsFrameKeepingAspect()
{
    // Wide image in a square frame: centre square of the image.
    QCOMPARE(ImageSurface::cropRect(QSizeF(200, 100), QSizeF(50, 50)), QRectF(50, 0, 100, 100));
    // Tall image in a wide frame: centre band.
    QCOMPARE(ImageSurface::cropRect(QSizeF(100, 400), QSizeF(100, 50)), QRectF(0, 175, 100, 50));
    QCOMPARE(ImageSurface::cropRect(QSizeF(80, 60), QSizeF(160, 120)), QRectF(0, 0, 80, 60));
}

void TestImages::loaderDecodesAtScreenPixels()
{
    m_server->on("GET", "/big.png", pngResponse(png(1600, 800)));
    auto loader = std::make_unique<RemoteImageLoader>();
    loader->setCache(m_cache.get());
    loader->setSourceSize(QSize(200, 100));
    loader->setDevicePixelRatio(2.0);
    QCOMPARE(loader->decodeSize(), QSize(400, 200));
    loader->setUrl(url("/big.png"));
    QTRY_COMPARE(loader->status(), RemoteImageLoader::Loaded);
    QCOMPARE(loader->image().size(), QSize(400, 200));
}

void TestImages::absentUrlFailsAtOnceWithoutRequest_data()
{
    QTest::addColumn<QVariant>("url");
    QTest::newRow("null") << QVariant();
    QTest::newRow("empty url") << QVariant(QUrl());
    QTest::newRow("empty string") << QVariant(QString());
    QTest::newRow("blank string") << QVariant(QStringLiteral("  "));
}

void TestImages::absentUrlFailsAtOnceWithoutRequest()
{
    QFETCH(QVariant, url);
    auto loader = loaderFor(url);
    QCOMPARE(loader->status(), RemoteImageLoader::Failed);
    QVERIFY(!loader->hasUrl());
    QCOMPARE(Activity::shared().count(), 0);
    QTest::qWait(300);
    QCOMPARE(loader->status(), RemoteImageLoader::Failed); // no shimmer afterwards
    QCOMPARE(m_server->requests().size(), 0);
}

void TestImages::slowLoadShowsShimmerThenImage()
{
    m_server->on("GET", "/slow.png", pngResponse(png(64, 48), 1000));
    auto loader = std::make_unique<RemoteImageLoader>();
    loader->setCache(m_cache.get());
    StatusLog log(loader.get());
    QElapsedTimer clock;
    clock.start();
    loader->setUrl(url("/slow.png"));
    QCOMPARE(loader->status(), RemoteImageLoader::Pending);
    QTRY_COMPARE(loader->status(), RemoteImageLoader::Slow);
    const qint64 shimmerAt = clock.elapsed();
    QVERIFY2(shimmerAt >= 240, qPrintable(QString::number(shimmerAt)));
    QTRY_COMPARE_WITH_TIMEOUT(loader->status(), RemoteImageLoader::Loaded, 10000);
    QVERIFY(clock.elapsed() >= 1000);
    QCOMPARE(log.statuses, (QList<RemoteImageLoader::Status>{RemoteImageLoader::Pending, RemoteImageLoader::Slow,
                                                              RemoteImageLoader::Loaded}));
    QCOMPARE(loader->image().size(), QSize(64, 48));
    QVERIFY(loader->hasImage());
    QVERIFY(!loader->showSkeleton());
}

void TestImages::fastLoadNeverShowsShimmer()
{
    m_server->on("GET", "/a.png", pngResponse(png(16, 16)));
    QVERIFY(fetchNow(*m_cache, url("/a.png")).ok); // now in memory
    auto loader = std::make_unique<RemoteImageLoader>();
    loader->setCache(m_cache.get());
    StatusLog log(loader.get());
    loader->setUrl(url("/a.png"));
    QTRY_COMPARE(loader->status(), RemoteImageLoader::Loaded);
    QTest::qWait(350); // past the shimmer delay: the stopped timer must not fire
    QCOMPARE(log.statuses, (QList<RemoteImageLoader::Status>{RemoteImageLoader::Pending, RemoteImageLoader::Loaded}));
}

void TestImages::badBodiesEndInFailure_data()
{
    QTest::addColumn<FakeServer::Response>("response");
    QTest::newRow("404 with HTML") << FakeServer::Response::raw(404, "<html><h1>Not Found</h1></html>", "text/html");
    QTest::newRow("200 with HTML") << FakeServer::Response::raw(200, "<!doctype html><p>hello</p>", "text/html");
    QTest::newRow("500 empty") << FakeServer::Response::raw(500, "", "text/plain");
    QTest::newRow("truncated PNG") << pngResponse(png(50, 50).left(60));
    QTest::newRow("decompression bomb") << pngResponse(bombPng(30000, 30000));
}

void TestImages::badBodiesEndInFailure()
{
    QFETCH(FakeServer::Response, response);
    m_server->on("GET", "/bad", response);
    auto loader = loaderFor(url("/bad"));
    QTRY_COMPARE_WITH_TIMEOUT(loader->status(), RemoteImageLoader::Failed, 10000);
    QVERIFY(loader->image().isNull());
    QCOMPARE(m_server->count("/bad"), 1);
    QTRY_COMPARE(Activity::shared().count(), 0);
}

void TestImages::urlChangeRestartsAndDropsStaleResult()
{
    m_server->on("GET", "/first.png", pngResponse(png(10, 10)));
    m_server->on("GET", "/old.png", pngResponse(png(30, 30), 700));
    m_server->on("GET", "/new.png", pngResponse(png(20, 20), 100));
    auto loader = loaderFor(url("/first.png"));
    QTRY_COMPARE(loader->status(), RemoteImageLoader::Loaded);

    // A loaded view goes back to pending for the new address.
    loader->setUrl(url("/old.png"));
    QCOMPARE(loader->status(), RemoteImageLoader::Pending);
    QVERIFY(loader->image().isNull());

    // Switch again before the old answer arrives; it must not win.
    QTest::qWait(50);
    loader->setUrl(url("/new.png"));
    QTRY_COMPARE(loader->status(), RemoteImageLoader::Loaded);
    QCOMPARE(loader->image().size(), QSize(20, 20));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->inFlight(), 0, 5000);
    QTest::qWait(100);
    QCOMPARE(loader->image().size(), QSize(20, 20));

    // Setting the same address again does not restart.
    QSignalSpy spy(loader.get(), &RemoteImageLoader::statusChanged);
    loader->setUrl(url("/new.png"));
    QCOMPARE(spy.count(), 0);
}

void TestImages::destroyedMidLoadIsSafe()
{
    m_server->on("GET", "/slow.png", pngResponse(png(64, 48), 400));
    auto loader = loaderFor(url("/slow.png"));
    QTRY_COMPARE(m_server->count("/slow.png"), 1);
    loader.reset();
    QCOMPARE(Activity::shared().count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->inFlight(), 0, 5000);
    QTest::qWait(200);
    // The response still reached the cache for the next view.
    auto next = loaderFor(url("/slow.png"));
    QTRY_COMPARE(next->status(), RemoteImageLoader::Loaded);
    QCOMPARE(m_server->count("/slow.png"), 1);

    // The cache itself going away mid-fetch fails the load cleanly.
    m_server->on("GET", "/slower.png", pngResponse(png(8, 8), 2000));
    auto orphan = loaderFor(url("/slower.png"));
    QTRY_COMPARE(m_server->count("/slower.png"), 1);
    m_cache.reset();
    QTRY_COMPARE(orphan->status(), RemoteImageLoader::Failed);
}

void TestImages::countsItsLoadsInActivity()
{
    m_server->on("GET", "/slow.png", pngResponse(png(8, 8), 300));
    QCOMPARE(Activity::shared().count(), 0);
    auto a = loaderFor(url("/slow.png"));
    auto b = loaderFor(url("/slow.png"));
    QCOMPARE(Activity::shared().count(), 2);
    QTRY_COMPARE(a->status(), RemoteImageLoader::Loaded);
    QTRY_COMPARE(b->status(), RemoteImageLoader::Loaded);
    QCOMPARE(Activity::shared().count(), 0);
}

QTEST_GUILESS_MAIN(TestImages)
#include "tst_images.moc"
