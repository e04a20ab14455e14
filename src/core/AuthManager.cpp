#include "core/AuthManager.h"

#include "core/Activity.h"
#include "core/Console.h"
#include "core/Envelopes.h"
#include "core/KeychainCall.h"
#include "core/SettingsFile.h"

#include <QCoroSignal>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QPointer>

namespace papelo {

namespace {
const QString kTokenKey = QStringLiteral("authToken");
const QString kUserKey = QStringLiteral("authUser");
bool g_fileStoreNoted = false;

bool keychainUsable() { return KeychainCall::availability() == KeychainCall::Availability::Usable; }

// Once per run, when a sign-in has to rely on the settings file because no
// keychain answered; not when the file store was chosen on purpose.
void noteFileStore()
{
    if (g_fileStoreNoted || KeychainCall::availability() == KeychainCall::Availability::SwitchedOff)
        return;
    g_fileStoreNoted = true;
    consoleLine(QStringLiteral("钥匙串不可用："), QStringLiteral("登录令牌改存在仅本人可读的设置文件中"));
}

QByteArray userBytes(const Author &user) { return QJsonDocument(user.toJson()).toJson(QJsonDocument::Compact); }

struct StoredSignIn {
    std::optional<QString> fileToken;
    std::optional<Author> user;
};

StoredSignIn readStored(const QString &settingsPath)
{
    auto settings = openSettings(settingsPath);
    StoredSignIn stored;
    const QVariant token = settings->value(kTokenKey);
    if (token.isValid())
        stored.fileToken = token.toString();
    const QVariant userData = settings->value(kUserKey);
    if (!userData.isValid())
        return stored;
    const Result<Author> user = decodeJson<Author>(userData.toByteArray());
    if (user)
        stored.user = user.value();
    return stored;
}

QString keychainKeyOf(const QString &settingsPath)
{
    return QFileInfo(openSettings(settingsPath)->fileName()).absoluteFilePath();
}

// Bumped by every login and logout over a settings file, by any instance:
// a keychain answer that arrives after one of them no longer speaks for it.
quint64 &signInGeneration(const QString &settingsPath)
{
    static QHash<QString, quint64> generations;
    return generations[keychainKeyOf(settingsPath)];
}

// Writes the token to the keychain and, once it is there, takes it out of
// the settings file, unless the sign-in changed meanwhile. Not tied to any
// AuthManager: the move completes even if the one that started it is gone.
void moveTokenToKeychain(const QString &settingsPath, const QString &token, quint64 generation)
{
    auto *call = new KeychainCall(KeychainCall::Op::Write, keychainKeyOf(settingsPath), token);
    QObject::connect(call, &KeychainCall::done, call, [call, settingsPath, token, generation] {
        call->deleteLater();
        if (call->failed()) {
            noteFileStore();
            return;
        }
        if (signInGeneration(settingsPath) != generation)
            return;
        auto settings = openSettings(settingsPath);
        if (settings->value(kTokenKey).toString() != token)
            return;
        settings->remove(kTokenKey);
        syncPrivately(*settings);
    });
}
} // namespace

AuthManager::AuthManager(QString settingsPath, QObject *parent) : QObject(parent), m_settingsPath(std::move(settingsPath))
{
}

void AuthManager::setToken(std::optional<QString> token)
{
    emit aboutToChange();
    m_token = std::move(token);
    emit changed();
}

void AuthManager::setUser(std::optional<Author> user)
{
    emit aboutToChange();
    m_user = std::move(user);
    emit changed();
}

void AuthManager::setLoggedIn(bool loggedIn)
{
    emit aboutToChange();
    m_isLoggedIn = loggedIn;
    emit changed();
}

QString AuthManager::keychainKey() const { return keychainKeyOf(m_settingsPath); }

void AuthManager::restore(const QString &token, const Author &user)
{
    setToken(token);
    setUser(user);
    setLoggedIn(true);
}

void AuthManager::login(const QString &token, const Author &user)
{
    const quint64 generation = ++signInGeneration(m_settingsPath);
    setToken(token);
    setUser(user);
    setLoggedIn(true);
    // The owner-only file holds the token until the keychain confirms it, so
    // a failing keychain or a quick exit never loses the sign-in.
    auto settings = openSettings(m_settingsPath);
    settings->setValue(kTokenKey, token);
    settings->setValue(kUserKey, userBytes(user));
    syncPrivately(*settings);
    if (keychainUsable())
        moveTokenToKeychain(m_settingsPath, token, generation);
    else
        noteFileStore();
}

void AuthManager::logout()
{
    ++signInGeneration(m_settingsPath);
    setToken(std::nullopt);
    setUser(std::nullopt);
    setLoggedIn(false);
    auto settings = openSettings(m_settingsPath);
    settings->remove(kTokenKey);
    settings->remove(kUserKey);
    syncPrivately(*settings);
    if (keychainUsable()) {
        auto *call = new KeychainCall(KeychainCall::Op::Remove, keychainKey());
        QObject::connect(call, &KeychainCall::done, call, &QObject::deleteLater);
    }
}

QCoro::Task<> AuthManager::loadFromStorage()
{
    const StoredSignIn stored = readStored(m_settingsPath);
    if (!stored.user)
        co_return;
    if (stored.fileToken) {
        restore(*stored.fileToken, *stored.user);
        if (keychainUsable())
            moveTokenToKeychain(m_settingsPath, *stored.fileToken, signInGeneration(m_settingsPath));
        else
            noteFileStore();
        co_return;
    }
    if (!keychainUsable()) {
        noteFileStore();
        co_return;
    }

    QPointer<AuthManager> guard(this);
    const Activity::Scope busy; // a settling window waits for the answer
    const quint64 generation = signInGeneration(m_settingsPath);
    KeychainCall *call = new KeychainCall(KeychainCall::Op::Read, keychainKey());
    co_await qCoro(call, &KeychainCall::done);
    call->deleteLater();
    if (!guard || generation != signInGeneration(m_settingsPath))
        co_return;
    if (call->failed()) {
        noteFileStore();
        co_return;
    }
    if (const std::optional<QString> token = call->secret())
        restore(*token, *stored.user);
}

void AuthManager::persistUser()
{
    if (!m_user || !m_token)
        return;
    auto settings = openSettings(m_settingsPath);
    if (!settings->contains(kUserKey))
        return;
    settings->setValue(kUserKey, userBytes(*m_user));
    syncPrivately(*settings);
}

} // namespace papelo
