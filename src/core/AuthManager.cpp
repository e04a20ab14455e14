#include "core/AuthManager.h"

#include "core/Envelopes.h"
#include "core/SettingsFile.h"

#include <QJsonDocument>

namespace papelo {

namespace {
const QString kTokenKey = QStringLiteral("authToken");
const QString kUserKey = QStringLiteral("authUser");
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

void AuthManager::login(const QString &token, const Author &user)
{
    setToken(token);
    setUser(user);
    setLoggedIn(true);
    auto settings = openSettings(m_settingsPath);
    settings->setValue(kTokenKey, token);
    settings->setValue(kUserKey, QJsonDocument(user.toJson()).toJson(QJsonDocument::Compact));
    syncPrivately(*settings);
}

void AuthManager::logout()
{
    setToken(std::nullopt);
    setUser(std::nullopt);
    setLoggedIn(false);
    auto settings = openSettings(m_settingsPath);
    settings->remove(kTokenKey);
    settings->remove(kUserKey);
    syncPrivately(*settings);
}

void AuthManager::loadFromStorage()
{
    auto settings = openSettings(m_settingsPath);
    const QVariant token = settings->value(kTokenKey);
    if (!token.isValid())
        return;
    const QVariant userData = settings->value(kUserKey);
    if (!userData.isValid())
        return;
    const Result<Author> user = decodeJson<Author>(userData.toByteArray());
    if (!user)
        return;
    setToken(token.toString());
    setUser(user.value());
    setLoggedIn(true);
}

void AuthManager::persistUser()
{
    if (!m_user)
        return;
    auto settings = openSettings(m_settingsPath);
    if (!settings->contains(kTokenKey))
        return;
    settings->setValue(kUserKey, QJsonDocument(m_user->toJson()).toJson(QJsonDocument::Compact));
    syncPrivately(*settings);
}

} // namespace papelo
