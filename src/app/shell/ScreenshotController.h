#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QQuickWindow;

namespace papelo {

// Screenshot mode: waits until the window has settled (no work counted by
// Activity for `quietMs`, after at least one frame), at most `maxMs`, then
// saves a PNG of the window and reports the exit code through finished().
class ScreenshotController : public QObject {
    Q_OBJECT
public:
    ScreenshotController(QQuickWindow *window, QString path, QObject *parent = nullptr);

    void setQuietMs(int ms) { m_quietMs = ms; }
    void setMaxMs(int ms) { m_maxMs = ms; }
    void start();

signals:
    // 0 when the PNG was written; non-zero with a message otherwise.
    void finished(int exitCode, const QString &message);

private:
    void poll();
    void onActivityChanged(int count);
    void capture();

    QPointer<QQuickWindow> m_window;
    QString m_path;
    int m_quietMs = 800;
    int m_maxMs = 15000;
    bool m_framed = false;
    bool m_done = false;
    QTimer m_poll;
    QElapsedTimer m_sinceStart;
    QElapsedTimer m_sinceBusy;
};

} // namespace papelo
