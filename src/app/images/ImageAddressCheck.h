#pragma once

#include <QCoroTask>
#include <QString>
#include <QUrl>

namespace papelo {

// Whether the image connection may fetch `url` (a picture address from the
// server or a redirect on the way to one): the address rule on the host as
// written (refusesPrivateTarget), then, for a name other than the configured
// server's, on every address the name resolves to; a name that does not
// resolve is refused too. The lookup goes through QHostInfo, whose cache the
// connection's own lookup reads a moment later. What stays possible: a name
// whose DNS answers change between the two lookups (rebinding with a short
// lifetime, once that cache has let the first answer go) can still reach a
// private address. UI thread.
QCoro::Task<bool> mayFetchImage(QUrl url, QString serverBaseUrl);

} // namespace papelo
