#pragma once

#include "core/APIClient.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace papelo {

// The one load a screen shows at a time. start() hands out a ticket; only the
// ticket of the newest start may end the loading state or leave an error, so a
// load that was superseded, or cancelled by hiding, ends without a trace. The
// previous load's requests are cancelled when a new one starts (its answer
// would be discarded anyway). UI thread only.
class LoadLifecycle : public QObject {
    Q_OBJECT
public:
    // Whether hide() cancels the load's requests.
    enum class OnHide { Cancel, KeepRunning };

    struct Ticket {
        quint64 serial = 0;
        std::shared_ptr<APIClient> client;
    };

    // A screen whose first face is its loading face starts out loading.
    explicit LoadLifecycle(bool loadingAtFirst = false, QObject *parent = nullptr)
        : QObject(parent), m_loading(loadingAtFirst)
    {
    }
    // A screen that goes has nobody to show its load to: it is cancelled.
    ~LoadLifecycle() override;

    Ticket start(const QString &baseUrl, ClientLimits limits = {}, OnHide onHide = OnHide::Cancel);
    bool isCurrent(const Ticket &ticket) const { return ticket.serial == m_serial; }

    // End the state, if the ticket is still current; both say whether it was.
    bool fail(const Ticket &ticket, const QString &message);
    bool finish(const Ticket &ticket);
    // The load's requests are done; work that outlives it (the count
    // enrichment) keeps the client, so neither hiding nor a newer start
    // cancels it any more.
    void release(const Ticket &ticket);
    // The screen left the screen: cancel a running load that asked for it.
    void hide();

    bool isLoading() const { return m_loading; }
    const std::optional<QString> &errorMessage() const { return m_error; }

signals:
    void changed();

private:
    void setState(bool loading, std::optional<QString> error);

    quint64 m_serial = 0;
    std::shared_ptr<APIClient> m_running; // of the newest load, until released
    OnHide m_onHide = OnHide::Cancel;
    bool m_loading = false;
    std::optional<QString> m_error;
};

} // namespace papelo
