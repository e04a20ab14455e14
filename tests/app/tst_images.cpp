// The image connection, the decoder and RemoteImage's loader against a
// loopback server: the disk layer across a restart, the memory layer and its
// clearing, the pixel limit, the pending -> slow -> loaded / failed sequence
// and hostile bodies; the picture viewer's zoom and its loads.
#include "FakeServer.h"
#include "core/Activity.h"
#include "core/AddressRule.h"
#include "core/ServerConfig.h"
#include "images/ImageCache.h"
#include "images/ImageDecoder.h"
#include "images/ImageSurface.h"
#include "images/PictureViewer.h"
#include "images/PictureZoom.h"
#include "images/RemoteImageLoader.h"

#include <QBuffer>
#include <QCoroTask>
#include <QHostInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <QRegularExpression>
#include <QtTest>

using namespace papelo;

namespace {
QByteArray png(int width, int height)
{
    QBuffer buffer;
    return buffer.open(QIODevice::WriteOnly) && QImage(width, height, QImage::Format_RGB32).save(&buffer, "PNG") ? buffer.data() : QByteArray();
}

// A PNG declaring width x height with all-zero rows (a small body for any
// size), grey at one bit per pixel or eight-bit RGB; `complete` false leaves
// most rows out, as a decompression bomb does.
QByteArray declaredPng(quint32 width, quint32 height, int bitsPerPixel = 24, bool complete = true)
{
    const auto chunk = [](const QByteArray &type, const QByteArray &data) {
        const QByteArray body = type + data;
        quint32 crc = 0xFFFFFFFFu;
        for (unsigned char byte : body) {
            crc ^= byte;
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        const quint32 length = qToBigEndian(quint32(data.size())), sum = qToBigEndian(crc ^ 0xFFFFFFFFu);
        return QByteArray(reinterpret_cast<const char *>(&length), 4) + body + QByteArray(reinterpret_cast<const char *>(&sum), 4);
    };
    const quint32 size[2] = {qToBigEndian(width), qToBigEndian(height)};
    const QByteArray header = QByteArray(reinterpret_cast<const char *>(size), 8)
                              + QByteArray(bitsPerPixel == 1 ? "\x01\x00" : "\x08\x02", 2) + QByteArray(3, '\0');
    const QByteArray rows(complete ? (1 + (qint64(width) * bitsPerPixel + 7) / 8) * height : 64 * 1024, '\0');
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", qCompress(rows, 9).mid(4)) + chunk("IEND", {});
}

FakeServer::Response pngResponse(const QByteArray &bytes, int ms = 0) { return FakeServer::delayed(FakeServer::Response::raw(200, bytes, "image/png"), ms); }
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
        FakeServer::Response withCookie = pngResponse(png(8, 8));
        withCookie.headers.append({"Set-Cookie", QByteArray("seen=1; Path=/")});
        m_server.on("GET", "/a.png", withCookie);
        m_server.on("GET", "/missing.png", FakeServer::Response::raw(404, "<html>Not Found</html>", "text/html"));
        QCOMPARE(fetchNow(url("/missing.png")).status, 404);
        QVERIFY(fetchNow(url("/a.png")).ok && fetchNow(url("/a.png")).fromMemory);
        QVERIFY(!fetchNow(url("/missing.png")).fromMemory);
        QCOMPARE(m_server.count("/missing.png") + m_server.count("/a.png"), 3);
        m_cache->clear();
        QVERIFY(m_cache->memoryCost() == 0 && m_cache->diskSize() == 0);
        QVERIFY(!fetchNow(url("/a.png")).fromMemory && m_server.count("/a.png") == 2);
        QVERIFY(!m_server.requestsTo("/a.png").last().hasHeader("Cookie")); // pictures do not remember the reader
    }

    // Into the reader's machine or network only the configured server may
    // send it: by address as written (every spelling: tst_addressrule), by a
    // redirect, or by a name that resolves there.
    void privateAddressesAreRefused_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("127.0.0.5") << m_fifth.baseUrl() + "/p.png";
        QTest::newRow("server redirects there") << m_server.baseUrl() + "/moved.png";
        QTest::newRow("this machine's name") << QStringLiteral("http://%1:%2/p.png").arg(QHostInfo::localHostName()).arg(m_other.port());
    }
    void privateAddressesAreRefused()
    {
        QFETCH(QString, address);
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
    void failedTransfersReportNoBody_data()
    {
        QTest::addColumn<bool>("dead");
        QTest::newRow("dead server") << true;
        QTest::newRow("body over the cap") << false;
    }
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

    void decoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("fit");
        QTest::addColumn<QSize>("decoded"); // invalid: refused
        QTest::newRow("nothing") << QByteArray() << QSize() << QSize();
        QTest::newRow("html") << QByteArray("<html><body>Not an image</body></html>") << QSize() << QSize();
        QTest::newRow("truncated") << png(10, 10).left(30) << QSize() << QSize();
        QTest::newRow("bomb") << declaredPng(30000, 30000, 24, false) << QSize() << QSize();
        // The default limit: 40 megapixels of colour decode, one row more does not.
        QTest::newRow("40 megapixels") << declaredPng(8000, 5000) << QSize() << QSize(8000, 5000);
        QTest::newRow("just over 40 megapixels") << declaredPng(8000, 5001, 1) << QSize() << QSize();
        QTest::newRow("smallest cover of the frame") << png(400, 200) << QSize(100, 100) << QSize(200, 100);
        QTest::newRow("never enlarged") << png(50, 40) << QSize(100, 100) << QSize(50, 40);
    }
    void decoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, fit);
        QFETCH(QSize, decoded);
        QCOMPARE(decodeImage(bytes, fit).isNull() ? QSize() : decodeImage(bytes, fit).size(), decoded);
    }

    // A data: address carries its bytes, base64 or percent-encoded; too
    // many are refused, a long one before anything is decoded.
    void dataUrls()
    {
        bool tooLarge = true;
        QCOMPARE(dataUrlBytes(QUrl("data:image/png;base64,aGVs bG8="), 5, &tooLarge).value_or("-"), QByteArray("hello"));
        QVERIFY(!tooLarge);
        QCOMPARE(dataUrlBytes(QUrl("data:text/plain,a%2Cb"), 5).value_or("-"), QByteArray("a,b"));
        QVERIFY(!dataUrlBytes(QUrl("data:image/png;base64,aGVsbG8h"), 5, &tooLarge) && tooLarge);
        QVERIFY(!dataUrlBytes(QUrl("data:;base64," + QByteArray(4000, 'A')), 100, &tooLarge) && tooLarge);
        QVERIFY(!dataUrlBytes(QUrl("data:image/png;base64,%%%"), 50, &tooLarge) && !tooLarge);
        QVERIFY(!dataUrlBytes(QUrl("https://p.test/a.png"), 50));
    }

    // Operations on a 1000 x 800 viewport: "in", "out", "fit", "toggle@x,y",
    // "zoom:factor@x,y", "pan:dx,dy", "view:WxH". The texture is for one
    // device pixel per point.
    void pictureZoom_data()
    {
        QTest::addColumn<QSizeF>("picture");
        QTest::addColumn<QString>("operations");
        QTest::addColumn<qreal>("zoom");
        QTest::addColumn<QRectF>("shown");
        QTest::addColumn<QSize>("texture");
        QTest::newRow("fitted") << QSizeF(4000, 2000) << "" << 0.25 << QRectF(0, 150, 1000, 500) << QSize(1000, 500);
        QTest::newRow("small: never enlarged") << QSizeF(200, 100) << "" << 1.0 << QRectF(400, 350, 200, 100) << QSize(200, 100);
        QTest::newRow("next step, around the centre") << QSizeF(4000, 2000) << "in" << 0.5 << QRectF(-500, -100, 2000, 1000) << QSize(2000, 1000);
        QTest::newRow("400 % at most") << QSizeF(200, 100) << "in in in in in in in in in" << 4.0 << QRectF(100, 200, 800, 400) << QSize(200, 100);
        QTest::newRow("the fit at least") << QSizeF(4000, 2000) << "in out out out" << 0.25 << QRectF(0, 150, 1000, 500) << QSize(1000, 500);
        QTest::newRow("wheel around the pointer") << QSizeF(2000, 1600) << "zoom:2@250,200" << 1.0 << QRectF(-250, -200, 2000, 1600) << QSize(2000, 1600);
        QTest::newRow("wheel past the cap") << QSizeF(200, 100) << "zoom:100@500,400" << 4.0 << QRectF(100, 200, 800, 400) << QSize(200, 100);
        QTest::newRow("double click and back") << QSizeF(2000, 1600) << "toggle@250,200 toggle@0,0" << 0.5 << QRectF(0, 0, 1000, 800) << QSize(1000, 800);
        QTest::newRow("pan to the edges") << QSizeF(2000, 1600) << "toggle@500,400 pan:-5000,100" << 1.0 << QRectF(-1000, -300, 2000, 1600) << QSize(2000, 1600);
        QTest::newRow("a narrower window keeps it fitted") << QSizeF(4000, 2000) << "view:500x400" << 0.125 << QRectF(0, 75, 500, 250) << QSize(500, 250);
        QTest::newRow("zoomed stays zoomed") << QSizeF(4000, 2000) << "in view:500x400" << 0.5 << QRectF(-500, -100, 2000, 1000) << QSize(2000, 1000);
        QTest::newRow("40 megapixels at 400 %: a safe texture") << QSizeF(8000, 5000) << "zoom:100@0,0" << 4.0 << QRectF(0, 0, 32000, 20000) << QSize(5181, 3238);
        QTest::newRow("a long strip: a safe edge") << QSizeF(20000, 100) << "toggle@0,0" << 1.0 << QRectF(0, 350, 20000, 100) << QSize(8192, 40);
    }
    void pictureZoom()
    {
        QFETCH(QSizeF, picture);
        QFETCH(QString, operations);
        PictureZoom zoom;
        zoom.setViewport(QSizeF(1000, 800));
        zoom.setPicture(picture);
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
        QTEST(zoom.shownRect(), "shown");
        QTEST(zoom.textureSize(1.0), "texture");
        QCOMPARE(zoom.fitted(), zoom.zoom() == zoom.fitZoom());
    }

    // What the viewer makes of each address a body may list: through the
    // image cache with its rules, data: pictures directly, the usual errors.
    void viewerLoads_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QSize>("decoded");  // for a 1000 x 800 viewport
        QTest::newRow("picture") << "/a.png" << "" << QSize(400, 300);
        QTest::newRow("large: decoded at the size shown") << "/big.png" << "" << QSize(1000, 750);
        QTest::newRow("data:") << "data:image/png;base64," + QString::fromLatin1(png(30, 20).toBase64()) << "" << QSize(30, 20);
        QTest::newRow("404") << "/missing.png" << "图片加载失败：服务器返回 404" << QSize();
        QTest::newRow("not a picture") << "/page.html" << "图片加载失败：无法识别的图片" << QSize();
        QTest::newRow("over 40 megapixels: a bomb") << "/huge.png" << "图片加载失败：图片超过 4000 万像素" << QSize();
        QTest::newRow("private address") << m_fifth.baseUrl() + "/p.png" << "图片加载失败：图片地址无法解析或指向本机、内网" << QSize();
        QTest::newRow("broken data:") << "data:image/png;base64,%%%" << "图片加载失败：图片地址无效" << QSize();
        QTest::newRow("other scheme") << "javascript:alert(1)" << "图片加载失败：图片地址无效" << QSize();
    }
    void viewerLoads()
    {
        QFETCH(QString, address);
        QFETCH(QString, error);
        QFETCH(QSize, decoded);
        static const QByteArray big = png(4000, 3000);
        m_server.on("GET", "/a.png", pngResponse(png(400, 300)));
        m_server.on("GET", "/big.png", pngResponse(big));
        m_server.on("GET", "/missing.png", FakeServer::Response::raw(404, "<html>Not Found</html>", "text/html"));
        m_server.on("GET", "/page.html", FakeServer::Response::raw(200, "<!doctype html><p>hi</p>", "text/html"));
        m_server.on("GET", "/huge.png", pngResponse(declaredPng(30000, 30000, 24, false)));
        PictureViewer viewer;
        viewer.setCache(m_cache.get());
        viewer.setViewportSize(QSizeF(1000, 800));
        QVERIFY(viewer.open({QVariantMap{{"url", address.startsWith('/') ? m_server.baseUrl() + address : address}}}, 0));
        QCOMPARE(Activity::shared().count(), viewer.status() == PictureViewer::Loading ? 1 : 0);  // for the screenshot mode
        QTRY_VERIFY_WITH_TIMEOUT(viewer.status() != PictureViewer::Loading, 10000);
        QCOMPARE(viewer.errorText(), error);
        QCOMPARE(viewer.image().isNull() ? QSize() : viewer.image().size(), decoded);
        QCOMPARE(Activity::shared().count(), 0);
        QVERIFY(m_fifth.requests().isEmpty());
    }

    // Left and right through the pictures, "3 / 7", a zoom decoded again
    // larger, and what opening and closing hand out.
    void viewerGoesThroughThePictures()
    {
        m_server.on("GET", "/big.png", pngResponse(png(4000, 3000)));
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

    void statusSequence_data()
    {
        QTest::addColumn<bool>("inMemory");
        QTest::addColumn<QList<RemoteImageLoader::Status>>("statuses");
        using S = RemoteImageLoader::Status;
        QTest::newRow("slow: shimmer after 0.25 s") << false << QList<S>{S::Pending, S::Slow, S::Loaded};
        QTest::newRow("in memory: no shimmer") << true << QList<S>{S::Pending, S::Loaded};
    }
    void statusSequence()
    {
        QFETCH(bool, inMemory);
        QFETCH(QList<RemoteImageLoader::Status>, statuses);
        m_server.on("GET", "/a.png", pngResponse(png(256, 192), inMemory ? 0 : 1000));
        if (inMemory)
            QVERIFY(fetchNow(url("/a.png")).ok);
        auto loader = loaderFor(QVariant());
        loader->setSourceSize(QSize(32, 24)); // decoded at screen pixels
        loader->setDevicePixelRatio(2.0);
        QList<RemoteImageLoader::Status> log;
        connect(loader.get(), &RemoteImageLoader::statusChanged, this, [&] { log << loader->status(); });
        loader->setUrl(url("/a.png"));
        QVERIFY(inMemory || Activity::shared().count() == 1); // a fetch counts for the screenshot mode
        QTRY_VERIFY_WITH_TIMEOUT(loader->hasImage(), 10000);
        QCOMPARE(Activity::shared().count(), 0);
        QTest::qWait(350); // past the shimmer delay: a stopped timer must not fire
        QCOMPARE(log, statuses);
        QCOMPARE(loader->image().size(), QSize(64, 48));
    }

    // Without an address a view fails at once and asks nothing; a bad answer
    // fails it after one request (what the decoder refuses: decoding()).
    void failures_data()
    {
        QTest::addColumn<QVariant>("address");
        QTest::addColumn<FakeServer::Response>("response");
        using R = FakeServer::Response;
        QTest::newRow("null") << QVariant() << R();
        QTest::newRow("empty url") << QVariant(QUrl()) << R();
        QTest::newRow("empty string") << QVariant(QString()) << R();
        QTest::newRow("blank string") << QVariant(QStringLiteral("  ")) << R();
        QTest::newRow("200 with HTML") << QVariant("/bad") << R::raw(200, "<!doctype html><p>hello</p>", "text/html");
    }
    void failures()
    {
        QFETCH(QVariant, address);
        QFETCH(FakeServer::Response, response);
        m_server.on("GET", "/bad", response);
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
        m_server.on("GET", "/first.png", pngResponse(png(10, 10)));
        m_server.on("GET", "/old.png", pngResponse(png(30, 30), 700));
        m_server.on("GET", "/new.png", pngResponse(png(20, 20), 100));
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
        m_server.on("GET", "/slow.png", pngResponse(png(64, 48), 400));
        auto loader = loaderFor(url("/slow.png"));
        QTRY_COMPARE(m_server.count("/slow.png"), 1);
        loader.reset();
        QCOMPARE(Activity::shared().count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.inFlight(), 0, 5000);
        // The response still reached the cache for the next view.
        auto next = loaderFor(url("/slow.png"));
        QTRY_VERIFY(next->hasImage() && m_server.count("/slow.png") == 1);
        // The cache itself going away mid-fetch fails the load cleanly.
        m_server.on("GET", "/slower.png", pngResponse(png(8, 8), 2000));
        auto orphan = loaderFor(url("/slower.png"));
        QTRY_COMPARE(m_server.count("/slower.png"), 1);
        m_cache.reset();
        QTRY_VERIFY(orphan->failed());
    }
};

QTEST_GUILESS_MAIN(TestImages)
#include "tst_images.moc"
