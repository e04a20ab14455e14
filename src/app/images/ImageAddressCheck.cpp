#include "images/ImageAddressCheck.h"

#include "core/AddressRule.h"

#include <QCoroFuture>
#include <QHostAddress>
#include <QHostInfo>
#include <QPromise>

#include <memory>
#include <optional>

namespace papelo {

namespace {
struct Lookup {
    QPromise<void> finished;
    std::optional<QHostInfo> info;
};
} // namespace

QCoro::Task<bool> mayFetchImage(QUrl url, QString serverBaseUrl)
{
    if (refusesPrivateTarget(url, serverBaseUrl))
        co_return false;
    // The configured server may be anywhere; an address as written was judged above.
    if (originOf(url) == originOf(QUrl(serverBaseUrl)) || QHostAddress().setAddress(url.host()))
        co_return true;
    // A lookup that never answers (the application going away) ends the
    // promise unfinished, which counts as refused.
    auto lookup = std::make_shared<Lookup>();
    const QFuture<void> done = lookup->finished.future();
    lookup->finished.start();
    QHostInfo::lookupHost(url.host(), [lookup](const QHostInfo &info) {
        lookup->info = info;
        lookup->finished.finish();
    });
    co_await done;
    if (!lookup->info || lookup->info->error() != QHostInfo::NoError || lookup->info->addresses().isEmpty())
        co_return false;
    for (const QHostAddress &address : lookup->info->addresses()) {
        if (isPrivateAddress(address))
            co_return false;
    }
    co_return true;
}

} // namespace papelo
