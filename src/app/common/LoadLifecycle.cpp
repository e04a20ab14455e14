#include "common/LoadLifecycle.h"

#include <QTimer>

namespace papelo {

LoadLifecycle::~LoadLifecycle()
{
    // On the next turn of the event loop: the load's coroutine resumes inside
    // the cancellation, and by then its screen guard reads null.
    if (m_running)
        QTimer::singleShot(0, [client = std::move(m_running)] { client->cancelAll(); });
}

LoadLifecycle::Ticket LoadLifecycle::start(const QString &baseUrl, ClientLimits limits, OnHide onHide)
{
    if (m_running)
        m_running->cancelAll();
    Ticket ticket{++m_serial, APIClient::create(baseUrl, limits)};
    m_running = ticket.client;
    m_onHide = onHide;
    setState(true, std::nullopt);
    return ticket;
}

bool LoadLifecycle::fail(const Ticket &ticket, const QString &message)
{
    if (!isCurrent(ticket))
        return false;
    m_running.reset();
    setState(false, message);
    return true;
}

bool LoadLifecycle::finish(const Ticket &ticket)
{
    if (!isCurrent(ticket))
        return false;
    m_running.reset();
    setState(false, m_error);
    return true;
}

void LoadLifecycle::release(const Ticket &ticket)
{
    if (m_running == ticket.client)
        m_running.reset();
}

void LoadLifecycle::hide()
{
    if (m_running && m_onHide == OnHide::Cancel) {
        // Ends the load through its failure path; the cancelled ticket's end
        // is still honoured if nothing newer started.
        std::shared_ptr<APIClient> running = std::move(m_running);
        running->cancelAll();
    }
}

void LoadLifecycle::setState(bool loading, std::optional<QString> error)
{
    if (loading == m_loading && error == m_error)
        return;
    m_loading = loading;
    m_error = std::move(error);
    emit changed();
}

} // namespace papelo
