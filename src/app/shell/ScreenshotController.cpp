#include "shell/ScreenshotController.h"

#include "core/Activity.h"

#include <QImage>
#include <QQuickWindow>

namespace papelo {

ScreenshotController::ScreenshotController(QQuickWindow *window, QString path, QObject *parent)
    : QObject(parent), m_window(window), m_path(std::move(path))
{
    m_poll.setInterval(50);
    connect(&m_poll, &QTimer::timeout, this, &ScreenshotController::poll);
    connect(&Activity::shared(), &Activity::countChanged, this, &ScreenshotController::onActivityChanged);
}

void ScreenshotController::start()
{
    m_sinceStart.start();
    m_sinceBusy.start();
    if (m_window)
        connect(m_window, &QQuickWindow::frameSwapped, this, [this] { m_framed = true; });
    m_poll.start();
}

void ScreenshotController::onActivityChanged(int) { m_sinceBusy.restart(); }

void ScreenshotController::poll()
{
    if (m_done)
        return;
    if (!m_window) {
        m_done = true;
        emit finished(3, QStringLiteral("The window is gone; nothing to capture."));
        return;
    }
    const bool settled = Activity::shared().count() == 0 && m_sinceBusy.elapsed() >= m_quietMs;
    // Offscreen platforms may never swap a frame; grabWindow renders one itself.
    const bool framedOrLate = m_framed || m_sinceStart.elapsed() >= m_quietMs;
    if ((settled && framedOrLate) || m_sinceStart.elapsed() >= m_maxMs)
        capture();
}

void ScreenshotController::capture()
{
    m_done = true;
    m_poll.stop();
    const QImage image = m_window->grabWindow();
    if (image.isNull()) {
        emit finished(3, QStringLiteral("Could not capture the window."));
        return;
    }
    if (!image.save(m_path, "PNG")) {
        emit finished(4, QStringLiteral("Could not write the screenshot to \"%1\".").arg(m_path));
        return;
    }
    emit finished(0, {});
}

} // namespace papelo
