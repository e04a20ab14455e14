#pragma once

#include <QByteArray>
#include <QCache>
#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;
class QNetworkDiskCache;
class QNetworkReply;

namespace papelo {

struct ImageCacheLimits {
    std::chrono::milliseconds idle{20000};  // no data for this long fails the fetch
    std::chrono::milliseconds whole{40000}; // the whole fetch
    qint64 memoryBytes = 50'000'000;
    qint64 diskBytes = 200'000'000;
    // A body larger than any sensible image fails instead of filling memory.
    qint64 maxBodyBytes = 40 * 1024 * 1024;
};

// The image connection (imageURLSession): one network manager with a memory
// layer of response bodies in front of a QNetworkDiskCache. Any stored
// response is used whatever its age; only a miss goes to the network, and
// what the network delivers is stored as Qt's HTTP stack decides. Addresses
// (and redirects) into the reader's machine or private network are refused
// unless they are the configured server's (mayFetchImage), and no cookie is
// kept or sent.
// UI thread only; fetches run as coroutines on it, transfers in Qt's network
// thread.
class ImageCache : public QObject {
    Q_OBJECT
public:
    using Limits = ImageCacheLimits;

    // diskDirectory empty: memory only. A directory already used by another
    // live cache is not shared either: that cache stays memory-only.
    explicit ImageCache(const QString &diskDirectory, Limits limits = Limits(), QObject *parent = nullptr);
    ~ImageCache() override;

    // The process-wide cache under <CacheLocation>/papelo-image-cache.
    static ImageCache *shared();
    static QString defaultDirectory();

    struct Fetch {
        bool ok = false;       // a body arrived (whatever its status)
        int status = 0;
        bool fromMemory = false;
        QByteArray bytes;
    };
    QCoro::Task<Fetch> fetch(QUrl url);

    // Removes every stored response from both layers.
    void clear();

    bool hasDiskCache() const { return m_disk != nullptr; }
    QString diskDirectory() const { return m_directory; }
    qint64 memoryCost() const { return m_memory.totalCost(); }
    qint64 memoryCapacity() const { return m_memory.maxCost(); }
    qint64 diskSize() const;
    qint64 diskCapacity() const;
    int fetchesInFlight() const { return int(m_inFlight.size()); }

signals:
    // After clear(): other caches of pictures (the article bodies') follow.
    void cleared();

private:
    void rememberInMemory(const QString &key, const Fetch &fetched);

    Limits m_limits;
    QString m_directory;
    QNetworkAccessManager *m_nam;
    QNetworkDiskCache *m_disk = nullptr;
    QCache<QString, QByteArray> m_memory;
    QSet<QNetworkReply *> m_inFlight;
    quint64 m_clears = 0;
};

// The process-wide image connection, under the name the views know it by.
inline ImageCache *imageURLSession() { return ImageCache::shared(); }

} // namespace papelo
