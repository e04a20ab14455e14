// Image pipeline numbers: 300 distinct 1200x800 JPEG covers fetched from a
// loopback server and decoded through RemoteImageLoader, cold (network),
// warm (memory layer) and after a restart (disk layer), with peak memory.
// Run: QT_QPA_PLATFORM=offscreen build/bench/bench_images
#include "FakeServer.h"
#include "images/ImageCache.h"
#include "images/RemoteImageLoader.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>
#include <QTest>

#include <cstdio>
#include <memory>
#include <vector>

using namespace papelo;

namespace {
constexpr int kImages = 300;

long peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

QByteArray cover(int seed)
{
    QImage image(1200, 800, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 1200, 800);
    gradient.setColorAt(0, QColor::fromHsv(seed * 37 % 360, 120, 230));
    gradient.setColorAt(1, QColor::fromHsv(seed * 53 % 360, 200, 120));
    painter.fillRect(image.rect(), gradient);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

// Loads every URL with one loader each (as a grid of cards would) and
// returns the milliseconds until all have settled.
qint64 loadAll(ImageCache &cache, const QList<QUrl> &urls, QSize fit, int *loaded)
{
    std::vector<std::unique_ptr<RemoteImageLoader>> loaders;
    QElapsedTimer clock;
    clock.start();
    for (const QUrl &url : urls) {
        auto loader = std::make_unique<RemoteImageLoader>();
        loader->setCache(&cache);
        loader->setSourceSize(fit);
        loader->setUrl(url);
        loaders.push_back(std::move(loader));
    }
    const auto settled = [&] {
        for (const auto &loader : loaders)
            if (loader->status() == RemoteImageLoader::Pending || loader->status() == RemoteImageLoader::Slow)
                return false;
        return true;
    };
    if (!QTest::qWaitFor(settled, 120000))
        std::fprintf(stderr, "bench_images: loads still pending after 120 s\n");
    *loaded = 0;
    for (const auto &loader : loaders)
        *loaded += loader->hasImage() ? 1 : 0;
    return clock.elapsed();
}
} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    FakeServer server;
    if (!dir.isValid() || !server.listen())
        return 1;
    QList<QUrl> urls;
    qint64 totalBytes = 0;
    for (int i = 0; i < kImages; ++i) {
        const QByteArray body = cover(i);
        totalBytes += body.size();
        const QByteArray path = "/images/cover/" + QByteArray::number(i) + ".jpg";
        server.on("GET", path, FakeServer::Response::raw(200, body, "image/jpeg"));
        urls << QUrl(server.baseUrl() + QString::fromLatin1(path));
    }
    std::printf("%d JPEG covers, %.1f MB encoded; peak RSS before loading %ld KB\n", kImages,
                totalBytes / 1e6, peakRssKb());

    const QString cacheDir = dir.filePath(QStringLiteral("papelo-image-cache"));
    const QSize cardImage(2 * 340, 2 * 130); // a card's image area at 2x
    int loaded = 0;
    {
        ImageCache cache(cacheDir);
        const qint64 cold = loadAll(cache, urls, cardImage, &loaded);
        std::printf("cold (network): %lld ms, %d/%d loaded, %d requests, memory layer %.1f MB, disk %.1f MB\n",
                    static_cast<long long>(cold), loaded, kImages, int(server.requests().size()),
                    cache.memoryCost() / 1e6, cache.diskSize() / 1e6);
        const qint64 warm = loadAll(cache, urls, cardImage, &loaded);
        std::printf("warm (memory):  %lld ms, %d/%d loaded, %d requests\n", static_cast<long long>(warm), loaded,
                    kImages, int(server.requests().size()));
        std::printf("peak RSS with %d card-sized images alive: %ld KB\n", kImages, peakRssKb());
        const qint64 full = loadAll(cache, urls, QSize(), &loaded);
        std::printf("warm, full size: %lld ms, %d/%d loaded\n", static_cast<long long>(full), loaded, kImages);
        std::printf("peak RSS with %d full-size (1200x800) images alive: %ld KB\n", kImages, peakRssKb());
    }
    {
        ImageCache restarted(cacheDir);
        const int before = int(server.requests().size());
        const qint64 disk = loadAll(restarted, urls, cardImage, &loaded);
        std::printf("restart (disk): %lld ms, %d/%d loaded, %d new requests\n", static_cast<long long>(disk), loaded,
                    kImages, int(server.requests().size()) - before);
    }
    return 0;
}
