#pragma once

#include "core/Activity.h"
#include "images/ImageCache.h"
#include "images/PictureZoom.h"

#include <QCoroTask>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace papelo {

// State of the picture viewer: the pictures of an article, the one shown
// ("3 / 7"), its loading state or Chinese error, and its zoom and pan
// (PictureZoom). A picture comes through the image cache with its limits
// and address rules (data: pictures are decoded directly under the same
// limits) and is decoded on the thread pool at the size shown, again when a
// zoom shows more pixels than were decoded. What it is given to open comes
// from an article body: every entry is checked here again. UI thread only.
class PictureViewer : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool active READ active NOTIFY activeChanged)
    Q_PROPERTY(int index READ index NOTIFY pictureChanged)
    Q_PROPERTY(int count READ count NOTIFY pictureChanged)
    Q_PROPERTY(QString position READ position NOTIFY pictureChanged)
    // The picture's own text (its alt), for assistive technology.
    Q_PROPERTY(QString description READ description NOTIFY pictureChanged)
    Q_PROPERTY(bool canPrevious READ canPrevious NOTIFY pictureChanged)
    Q_PROPERTY(bool canNext READ canNext NOTIFY pictureChanged)
    Q_PROPERTY(Status status READ status NOTIFY statusChanged)
    Q_PROPERTY(QString errorText READ errorText NOTIFY statusChanged)
    Q_PROPERTY(QImage image READ image NOTIFY imageChanged)
    Q_PROPERTY(QSizeF viewportSize READ viewportSize WRITE setViewportSize NOTIFY viewChanged)
    Q_PROPERTY(qreal devicePixelRatio READ devicePixelRatio WRITE setDevicePixelRatio NOTIFY viewChanged)
    Q_PROPERTY(qreal zoom READ zoom NOTIFY viewChanged)
    Q_PROPERTY(int zoomPercent READ zoomPercent NOTIFY viewChanged)
    Q_PROPERTY(bool fitted READ fitted NOTIFY viewChanged)
    Q_PROPERTY(QRectF shownRect READ shownRect NOTIFY viewChanged)
    Q_PROPERTY(bool canZoomIn READ canZoomIn NOTIFY viewChanged)
    Q_PROPERTY(bool canZoomOut READ canZoomOut NOTIFY viewChanged)
public:
    enum Status { Closed, Loading, Shown, Failed };
    Q_ENUM(Status)
    // More would only be a body trying to exhaust memory.
    static constexpr int kMaxPictures = 1000;

    explicit PictureViewer(QObject *parent = nullptr);
    ~PictureViewer() override;

    bool active() const { return m_status != Closed; }
    int index() const { return m_index; }
    int count() const { return int(m_pictures.size()); }
    QString position() const;
    QString description() const;
    bool canPrevious() const { return active() && m_index > 0; }
    bool canNext() const { return active() && m_index + 1 < count(); }
    Status status() const { return m_status; }
    QString errorText() const { return m_errorText; }
    QImage image() const { return m_image; }
    QSizeF viewportSize() const { return m_zoom.viewport(); }
    void setViewportSize(QSizeF size);
    qreal devicePixelRatio() const { return m_devicePixelRatio; }
    void setDevicePixelRatio(qreal ratio);
    qreal zoom() const { return m_zoom.zoom(); }
    int zoomPercent() const { return qRound(m_zoom.zoom() * 100); }
    bool fitted() const { return m_zoom.fitted(); }
    QRectF shownRect() const { return m_zoom.shownRect(); }
    bool canZoomIn() const { return m_status == Shown && m_zoom.canZoomIn(); }
    bool canZoomOut() const { return m_status == Shown && m_zoom.canZoomOut(); }

    // Opens on pictures[index]; each entry a map with "url" (http, https or
    // data) and optionally "alt". False, and nothing opens, when the index
    // is not one of them.
    Q_INVOKABLE bool open(const QVariantList &pictures, int index);
    Q_INVOKABLE void close();
    Q_INVOKABLE void next() { show(m_index + 1); }
    Q_INVOKABLE void previous() { show(m_index - 1); }
    Q_INVOKABLE void reload();
    Q_INVOKABLE void zoomIn();
    Q_INVOKABLE void zoomOut();
    // Wheel and pinch: by `factor` around the viewport point (x, y).
    Q_INVOKABLE void zoomAt(qreal factor, qreal x, qreal y);
    Q_INVOKABLE void toggleFit(qreal x, qreal y);
    Q_INVOKABLE void fit();
    Q_INVOKABLE void panBy(qreal dx, qreal dy);
    // Whether a viewport point lies on the shown picture.
    Q_INVOKABLE bool onPicture(qreal x, qreal y) const;

    // Tests: another cache than the shared one.
    void setCache(ImageCache *cache) { m_cache = cache; }

signals:
    void activeChanged();
    void pictureChanged();
    void statusChanged();
    void imageChanged();
    void viewChanged();
    // After close(): `index` is the picture the viewer was opened on.
    void closed(int index);

private:
    struct Picture {
        QUrl url;
        QString alt;
    };
    void show(int index);
    void fail(quint64 generation, const QString &reason);
    void viewMoved();
    void sharpenSoon();
    QCoro::Task<> load(quint64 generation, Picture picture);
    QCoro::Task<> sharpen(quint64 generation, QSize size);

    QList<Picture> m_pictures;
    int m_index = -1;
    int m_openedIndex = -1;
    Status m_status = Closed;
    QString m_errorText;
    QImage m_image;
    QByteArray m_bytes;  // of the picture shown, for decoding it again larger
    PictureZoom m_zoom;
    qreal m_devicePixelRatio = 1;
    quint64 m_generation = 0;
    quint64 m_sharpening = 0;
    QTimer m_sharpenDelay;  // a wheel turn zooms many times
    QPointer<ImageCache> m_cache;
    std::optional<Activity::Scope> m_busy;
    std::optional<Activity::Scope> m_sharpenBusy;
};

} // namespace papelo
