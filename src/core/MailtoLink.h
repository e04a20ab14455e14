#pragma once

#include <QUrl>

#include <optional>

namespace papelo {

// What a mailto: link from an article body may hand to the mail client: the
// address list and only the "subject" and "body" fields. Any other field
// ("attachment", "cc", "bcc", a second "to", a mail client's own switches)
// is left out, so a link cannot attach the reader's files or send copies
// elsewhere. None when the address part is not a plain list of addresses.
std::optional<QUrl> mailClientUrl(const QUrl &link);

} // namespace papelo
