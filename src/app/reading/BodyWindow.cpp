#include "reading/BodyWindow.h"

#include "reading/PageScroll.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QQuickWindow>

#include <algorithm>
#include <cmath>

namespace papelo {

namespace {
// Frames after the engine's answer until its new frame is surely shown.
constexpr int kSettleFrames = 2;
constexpr int kGiveUpMs = 500;
} // namespace

BodyWindow::BodyWindow(QObject *parent) : QObject(parent)
{
    m_giveUp.setSingleShot(true);
    m_giveUp.setInterval(kGiveUpMs);
    connect(&m_giveUp, &QTimer::timeout, this, [this] {
        if (m_step == Step::Scrolling)
            m_unreachable = m_requested;
        release();
    });
}

qreal BodyWindow::viewHeightFor(qreal documentHeight, qreal visibleHeight)
{
    // Whole pixels: a fractional view height would blur the document's text.
    return std::max<qreal>(0, std::min(std::ceil(documentHeight), std::ceil(std::max<qreal>(visibleHeight, 100) * 3)));
}

std::optional<qreal> BodyWindow::scrollTarget(qreal documentHeight, qreal viewHeight, qreal visibleTop,
                                              qreal visibleHeight, qreal current)
{
    const qreal maxScroll = std::max<qreal>(0, std::floor(documentHeight - viewHeight));
    const qreal top = std::clamp<qreal>(visibleTop, 0, std::max<qreal>(0, documentHeight));
    const qreal bottom = std::clamp<qreal>(visibleTop + visibleHeight, top, std::max<qreal>(0, documentHeight));
    const qreal slack = std::max<qreal>(1, (viewHeight - visibleHeight) / 4);
    const bool coversTop = current <= 0 || top >= current + slack;
    const bool coversBottom = current >= maxScroll || bottom <= current + viewHeight - slack;
    if (coversTop && coversBottom && current <= maxScroll)
        return std::nullopt;
    const qreal target = std::round(std::clamp((top + bottom - viewHeight) / 2, qreal(0), maxScroll));
    if (target == current)
        return std::nullopt;
    return target;
}

QString BodyWindow::scrollScript(qreal y)
{
    // 'instant' whatever scroll-behavior the body's own styles ask for.
    return QStringLiteral("window.scrollTo({top: %1, left: 0, behavior: 'instant'})").arg(y);
}

QString BodyWindow::fragmentScript(const QString &fragment)
{
    const QByteArray quoted = QJsonDocument(QJsonArray{fragment}).toJson(QJsonDocument::Compact);
    // An empty fragment or "top" without such an element means the top.
    return QStringLiteral(R"JS((function (name) {
    var target = document.getElementById(name) || document.getElementsByName(name)[0];
    if (!target)
        return name === '' || name.toLowerCase() === 'top' ? 0 : null;
    return target.getBoundingClientRect().top + window.scrollY;
})(%1))JS")
        .arg(QString::fromUtf8(quoted.mid(1, quoted.size() - 2)));
}

void BodyWindow::setDocumentHeight(qreal height)
{
    if (height == m_documentHeight)
        return;
    m_documentHeight = height;
    m_unreachable.reset();
    emit geometryChanged();
    follow();
}

void BodyWindow::setVisibleTop(qreal top)
{
    if (top == m_visibleTop)
        return;
    m_visibleTop = top;
    emit geometryChanged();
    follow();
}

void BodyWindow::setVisibleHeight(qreal height)
{
    if (height == m_visibleHeight)
        return;
    m_visibleHeight = height;
    m_unreachable.reset();
    emit geometryChanged();
    follow();
}

void BodyWindow::setScrollPosition(qreal y)
{
    if (y != m_scrollPosition) {
        m_scrollPosition = y;
        emit geometryChanged();
    }
    // Any report answers the request, also when the engine clamped it.
    if (m_step == Step::Scrolling) {
        // The document cannot scroll there (its own styles, or shorter than
        // measured): asking again would only repeat for ever.
        if (std::abs(y - m_requested) >= 1)
            m_unreachable = m_requested;
        m_step = Step::Settling;
        m_framesToSettle = kSettleFrames;
        if (!m_window)
            release();
        return;
    }
    follow();
}

void BodyWindow::frameShown()
{
    if (m_step == Step::Settling && --m_framesToSettle <= 0)
        release();
}

void BodyWindow::release()
{
    m_giveUp.stop();
    if (m_step == Step::Idle)
        return;
    m_step = Step::Idle;
    follow();
}

qreal BodyWindow::viewY() const { return m_scrollPosition; }

void BodyWindow::follow()
{
    if (m_step != Step::Idle)
        return;
    const std::optional<qreal> target =
        scrollTarget(m_documentHeight, viewHeight(), m_visibleTop, m_visibleHeight, m_scrollPosition);
    if (!target || target == m_unreachable)
        return;
    m_requested = *target;
    m_step = Step::Scrolling;
    m_giveUp.start();
    emit scrollRequested(*target);
}

void BodyWindow::setKeySource(QQuickItem *item)
{
    if (item == m_keySource)
        return;
    if (m_keySource)
        disconnect(m_keySource, nullptr, this, nullptr);
    m_keySource = item;
    if (item)
        connect(item, &QQuickItem::windowChanged, this, &BodyWindow::watchWindow);
    watchWindow();
    emit keySourceChanged();
}

void BodyWindow::watchWindow()
{
    QQuickWindow *window = m_keySource ? m_keySource->window() : nullptr;
    if (window == m_window)
        return;
    if (m_window) {
        m_window->removeEventFilter(this);
        disconnect(m_window, nullptr, this, nullptr);
    }
    m_window = window;
    if (window) {
        window->installEventFilter(this);
        connect(window, &QQuickWindow::frameSwapped, this, &BodyWindow::frameShown);
    }
}

bool BodyWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease))
        return false;
    QQuickItem *focus = m_window->activeFocusItem();
    if (!m_keySource || !focus || (focus != m_keySource && !m_keySource->isAncestorOf(focus)))
        return false;
    // The document would scroll itself, unseen: the page scrolls instead.
    const auto *key = static_cast<QKeyEvent *>(event);
    if (!PageScroll::isScrollKey(key->key(), int(key->modifiers())))
        return false;
    if (event->type() == QEvent::KeyPress)
        emit scrollKeyPressed(key->key(), int(key->modifiers()));
    return true;
}

} // namespace papelo
