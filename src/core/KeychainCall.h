#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <optional>

namespace QKeychain {
class Job;
}

namespace papelo {

// One read, write or removal of a secret in the desktop keychain (the
// Secret Service, through QtKeychain), answered by done() on a later turn of
// the event loop, at most timeLimit after it started. The caller owns the
// call and deletes it (later) once done() came. QtKeychain reports a missing backend only as a
// generic error, so every error and every silence past the limit count as
// "no keychain" (failed()), and the keychain is not asked again in this run.
class KeychainCall : public QObject {
    Q_OBJECT
public:
    enum class Op { Read, Write, Remove };
    enum class Availability {
        Usable,
        SwitchedOff,  // PAPELO_TOKEN_STORE=file: the settings file is wanted
        Unavailable,  // no session bus, or an earlier call failed
    };
    static constexpr std::chrono::milliseconds timeLimit{2000};

    // Decided without talking to the bus, so it never blocks.
    static Availability availability();

    KeychainCall(Op op, const QString &key, const QString &secret = {});

    bool failed() const { return m_failed; }
    // Read: the stored secret, or none when the keychain holds no entry.
    std::optional<QString> secret() const { return m_secret; }

signals:
    void done();

private:
    void onJobFinished(QKeychain::Job *job);
    void finish(bool failed, std::optional<QString> secret);

    Op m_op;
    QTimer m_limit;
    bool m_done = false;
    bool m_failed = false;
    std::optional<QString> m_secret;
};

} // namespace papelo
