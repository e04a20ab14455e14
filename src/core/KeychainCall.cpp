#include "core/KeychainCall.h"

#include <QFileInfo>

#include <qt6keychain/keychain.h>

namespace papelo {

namespace {
const QString kService = QStringLiteral("papelo");
bool g_failedThisRun = false;

bool sessionBusKnown()
{
    // Where libsecret (GDBus) looks for the session bus; with neither, a job
    // could only fail, after a D-Bus auto-launch attempt at best.
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}
} // namespace

KeychainCall::Availability KeychainCall::availability()
{
    if (qEnvironmentVariable("PAPELO_TOKEN_STORE") == QLatin1String("file"))
        return Availability::SwitchedOff;
    if (g_failedThisRun || !sessionBusKnown())
        return Availability::Unavailable;
    return Availability::Usable;
}

KeychainCall::KeychainCall(Op op, const QString &key, const QString &secret) : m_op(op)
{
    // Never parented: QtKeychain's libsecret callbacks keep a raw pointer to
    // the job, so it must live until it finishes (it then deletes itself),
    // even if this call has given up on it.
    QKeychain::Job *job = nullptr;
    switch (op) {
    case Op::Read: job = new QKeychain::ReadPasswordJob(kService); break;
    case Op::Write: {
        auto *write = new QKeychain::WritePasswordJob(kService);
        write->setTextData(secret);
        job = write;
        break;
    }
    case Op::Remove: job = new QKeychain::DeletePasswordJob(kService); break;
    }
    job->setKey(key);
    job->setAutoDelete(true);
    connect(job, &QKeychain::Job::finished, this, &KeychainCall::onJobFinished);
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, [this] { finish(true, std::nullopt); });
    m_limit.start(timeLimit);
    job->start(); // queued by QtKeychain: done() can never come before this returns
}

void KeychainCall::onJobFinished(QKeychain::Job *job)
{
    switch (job->error()) {
    case QKeychain::NoError:
        if (m_op == Op::Read)
            finish(false, static_cast<QKeychain::ReadPasswordJob *>(job)->textData());
        else
            finish(false, std::nullopt);
        break;
    case QKeychain::EntryNotFound: finish(false, std::nullopt); break;
    default: finish(true, std::nullopt); break;
    }
}

void KeychainCall::finish(bool failed, std::optional<QString> secret)
{
    if (m_done)
        return;
    m_done = true;
    m_limit.stop();
    m_failed = failed;
    m_secret = std::move(secret);
    if (failed)
        g_failedThisRun = true;
    emit done();
}

} // namespace papelo
