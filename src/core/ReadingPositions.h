#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>

#include <optional>

namespace papelo {

// Where the reader left an article: the body's `block` (its leaf blocks
// counted in document order), how far into that block (0..1) and how far
// through the whole body (0..1, for the card's line). A place, not a pixel
// offset: it holds at any text size and window width.
struct ReadingPlace {
    int block = 0;
    double offset = 0;
    double progress = 0;
    bool operator==(const ReadingPlace &) const = default;
};

// The reading positions of the most recently read articles, per server
// origin and article id, in the settings under "readingPositions" (reading
// state, not content). Most recent first, at most kLimit; changes are kept in
// memory at once and written at most every kWriteIntervalMs, or at once by
// flush() (an article being left). A damaged stored list loses only its
// damaged entries. UI thread only.
class ReadingPositions : public QObject {
    Q_OBJECT
    // Grows with every change: a binding that reads it follows the store.
    Q_PROPERTY(int revision READ revision NOTIFY changed)
public:
    static constexpr int kLimit = 200;
    static constexpr int kWriteIntervalMs = 5000;

    explicit ReadingPositions(QString settingsPath = {}, QObject *parent = nullptr);
    ~ReadingPositions() override;
    // The configured server's origin, the key of its articles.
    static QString serverOrigin();
    int revision() const { return m_revision; }

    // The same for the configured server's article `id`, from QML (ids as JS numbers).
    Q_INVOKABLE double progressOf(double id) const { return progress(serverOrigin(), qint64(id)); }
    // {block, offset}, or null without a place.
    Q_INVOKABLE QVariant placeOf(double id) const;
    Q_INVOKABLE void rememberPlace(double id, int block, double offset, double progress)
    {
        remember(serverOrigin(), qint64(id), {block, offset, progress});
    }
    Q_INVOKABLE void forgetPlace(double id) { forget(serverOrigin(), qint64(id)); }

    std::optional<ReadingPlace> place(const QString &origin, qint64 id) const;
    // How far through the article the reader is; 0 without a place.
    double progress(const QString &origin, qint64 id) const;
    // The reader is at `place`: it becomes the most recent entry.
    void remember(const QString &origin, qint64 id, const ReadingPlace &place);
    // The reader is at the top or the end: nothing to return to.
    void forget(const QString &origin, qint64 id);
    // Writes what has changed since the last write, now.
    Q_INVOKABLE void flush();
    int size() const;

signals:
    void changed();

private:
    struct Entry {
        QString origin;
        qint64 id = 0;
        ReadingPlace place;
    };
    void load() const;
    qsizetype indexOf(const QString &origin, qint64 id) const;
    void scheduleWrite();

    QString m_settingsPath;
    mutable bool m_loaded = false;
    mutable QList<Entry> m_entries;
    bool m_dirty = false;
    int m_revision = 0;
    QTimer m_writeTimer;
};

} // namespace papelo
