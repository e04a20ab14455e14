// Which addresses from the server the reader may fetch, and what a mailto:
// link may hand to the mail client. Pure functions: every private range is
// a row here; real requests are tested against loopback hosts only.
#include "core/AddressRule.h"
#include "core/MailtoLink.h"
#include "DataTable.h"

#include <QtTest>

using namespace papelo;

class AddressRuleTest : public QObject {
    Q_OBJECT
private slots:
    void privateHosts_data() { data::table<QString, bool>(QStringLiteral("core/private-hosts.tsv")); }
    void privateHosts()
    {
        QFETCH(QString, host);
        QTEST(isPrivateHost(host), "private");
    }

    // Only http(s) is judged; the configured server's own origin stays reachable.
    void targets_data() { data::table<QString, QString, bool>(QStringLiteral("core/private-targets.tsv")); }
    void targets()
    {
        QFETCH(QString, url);
        QFETCH(QString, server);
        QTEST(refusesPrivateTarget(QUrl(url), server), "refused");
    }

    // The addresses, subject and body only; anything else not opened at all.
    void mailto_data() { data::table<QString, QString>(QStringLiteral("core/mailto-links.tsv")); }
    void mailto()
    {
        QFETCH(QString, link);
        const std::optional<QUrl> url = mailClientUrl(QUrl(link));
        QTEST(url ? url->toString(QUrl::FullyEncoded) : QString(), "opened");
    }
};

QTEST_GUILESS_MAIN(AddressRuleTest)
#include "tst_addressrule.moc"
