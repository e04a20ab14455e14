#include "core/AuthManager.h"

#include "core/Activity.h"
#include "core/AddressRule.h"
#include "core/Console.h"
#include "core/Envelopes.h"
#include "core/KeychainCall.h"
#include "core/ServerConfig.h"
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
const QString kOriginKey = QStringLiteral("authOrigin");
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
    std::optional<QString> origin;  // none: stored before origins were kept
};

StoredSignIn readStored(const QString &settingsPath)
{
    auto settings = openSettings(settingsPath);
    StoredSignIn stored;
    const QVariant token = settings->value(kTokenKey);
    if (token.isValid())
        stored.fileToken = token.toString();
    const QVariant origin = settings->value(kOriginKey);
    if (origin.isValid())
        stored.origin = origin.toString();
    const QVariant userData = settings->value(kUserKey);
    if (!userData.isValid())
        return stored;
    const Result<Author> user = decodeJson<Author>(userData.toByteArray());
    if (user)
        stored.user = user.value();
    return stored;
}

QString settingsFileOf(const QString &settingsPath)
{
    return QFileInfo(openSettings(settingsPath)->fileName()).absoluteFilePath();
}

// The keychain entry of a settings file's sign-in for one origin; without
// an origin, the entry older versions wrote.
QString keychainKeyOf(const QString &settingsPath, const QString &origin)
{
    const QString file = settingsFileOf(settingsPath);
    return origin.isEmpty() ? file : file + QLatin1Char(' ') + origin;
}

void removeFromKeychain(const QString &key)
{
    auto *call = new KeychainCall(KeychainCall::Op::Remove, key);
    QObject::connect(call, &KeychainCall::done, call, &QObject::deleteLater);
}

// Bumped by every login, logout and change of server over a settings file,
// by any instance: a keychain answer that arrives after one of them no
// longer speaks for it.
quint64 &signInGeneration(const QString &settingsPath)
{
    static QHash<QString, quint64> generations;
    return generations[settingsFileOf(settingsPath)];
}

// Writes the token to the keychain and, once it is there, takes it out of
// the settings file, unless the sign-in changed meanwhile, and out of an
// older version's entry if asked. Not tied to any AuthManager: the move
// completes even if the one that started it is gone.
void moveTokenToKeychain(const QString &settingsPath, const QString &origin, const QString &token, quint64 generation,
                         bool dropOlderEntry = false)
{
    auto *call = new KeychainCall(KeychainCall::Op::Write, keychainKeyOf(settingsPath, origin), token);
    QObject::connect(call, &KeychainCall::done, call, [call, settingsPath, token, generation, dropOlderEntry] {
        call->deleteLater();
        if (call->failed()) {
            noteFileStore();
            return;
        }
        if (dropOlderEntry)
            removeFromKeychain(keychainKeyOf(settingsPath, QString()));
        if (signInGeneration(settingsPath) != generation)
            return;
        auto settings = openSettings(settingsPath);
        if (settings->value(kTokenKey).toString() != token)
            return;
        settings->remove(kTokenKey);
        syncPrivately(*settings);
    });
}

// A sign-in read from storage now belongs to `origin` for good.
void claimForOrigin(const QString &settingsPath, const QString &origin)
{
    auto settings = openSettings(settingsPath);
    settings->setValue(kOriginKey, origin);
    syncPrivately(*settings);
}
} // namespace

AuthManager::AuthManager(QString settingsPath, QObject *parent)
    : QObject(parent), m_settingsPath(std::move(settingsPath)), m_serverOrigin(originOf(QUrl(ServerConfig::baseUrl())))
{
}

void AuthManager::setServer(const QString &baseUrl)
{
    const QString origin = originOf(QUrl(baseUrl));
    if (origin == m_serverOrigin)
        return;
    m_serverOrigin = origin;
    ++signInGeneration(m_settingsPath); // a keychain answer for the old server is not taken
    if (m_token || m_user || m_isLoggedIn) {
        m_tokenOrigin.clear();
        setToken(std::nullopt);
        setUser(std::nullopt);
        setLoggedIn(false);
    }
    if (m_storageRead)
        loadFromStorage();
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

void AuthManager::restore(const QString &token, const Author &user)
{
    m_tokenOrigin = m_serverOrigin;
    setToken(token);
    setUser(user);
    setLoggedIn(true);
}

void AuthManager::login(const QString &token, const Author &user)
{
    const quint64 generation = ++signInGeneration(m_settingsPath);
    const std::optional<QString> replaced = readStored(m_settingsPath).origin;
    m_storageRead = true;
    m_tokenOrigin = m_serverOrigin;
    setToken(token);
    setUser(user);
    setLoggedIn(true);
    // The owner-only file holds the token until the keychain confirms it, so
    // a failing keychain or a quick exit never loses the sign-in.
    auto settings = openSettings(m_settingsPath);
    settings->setValue(kTokenKey, token);
    settings->setValue(kUserKey, userBytes(user));
    settings->setValue(kOriginKey, m_serverOrigin);
    syncPrivately(*settings);
    if (!keychainUsable()) {
        noteFileStore();
        return;
    }
    // One stored sign-in: another server's entry (or an older version's) goes.
    if (replaced.value_or(QString()) != m_serverOrigin)
        removeFromKeychain(keychainKeyOf(m_settingsPath, replaced.value_or(QString())));
    moveTokenToKeychain(m_settingsPath, m_serverOrigin, token, generation);
}

void AuthManager::logout()
{
    ++signInGeneration(m_settingsPath);
    const std::optional<QString> stored = readStored(m_settingsPath).origin;
    m_tokenOrigin.clear();
    setToken(std::nullopt);
    setUser(std::nullopt);
    setLoggedIn(false);
    auto settings = openSettings(m_settingsPath);
    settings->remove(kTokenKey);
    settings->remove(kUserKey);
    settings->remove(kOriginKey);
    syncPrivately(*settings);
    if (keychainUsable())
        removeFromKeychain(keychainKeyOf(m_settingsPath, stored.value_or(QString())));
}

QCoro::Task<> AuthManager::loadFromStorage()
{
    m_storageRead = true;
    const StoredSignIn stored = readStored(m_settingsPath);
    if (!stored.user)
        co_return;
    // Another server's sign-in stays stored, untouched, for when it is served again.
    if (stored.origin && *stored.origin != m_serverOrigin)
        co_return;
    if (stored.fileToken) {
        if (!stored.origin)
            claimForOrigin(m_settingsPath, m_serverOrigin);
        restore(*stored.fileToken, *stored.user);
        if (keychainUsable())
            moveTokenToKeychain(m_settingsPath, m_serverOrigin, *stored.fileToken, signInGeneration(m_settingsPath));
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
    const QString origin = m_serverOrigin;
    const quint64 generation = signInGeneration(m_settingsPath);
    // An older version's entry has no origin in its name.
    KeychainCall *call = new KeychainCall(KeychainCall::Op::Read, keychainKeyOf(m_settingsPath, stored.origin ? origin : QString()));
    co_await qCoro(call, &KeychainCall::done);
    call->deleteLater();
    if (!guard || generation != signInGeneration(m_settingsPath))
        co_return;
    if (call->failed()) {
        noteFileStore();
        co_return;
    }
    const std::optional<QString> token = call->secret();
    if (!token)
        co_return;
    if (!stored.origin) {
        claimForOrigin(m_settingsPath, origin);
        moveTokenToKeychain(m_settingsPath, origin, *token, generation, true);
    }
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
