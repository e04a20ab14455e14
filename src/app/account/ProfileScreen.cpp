#include "account/ProfileScreen.h"

#include "core/APIClient.h"
#include "core/AddressRule.h"
#include "common/AvatarInitial.h"
#include "core/Console.h"
#include "core/ServerConfig.h"

#include <QVariantMap>

namespace papelo {

namespace {

QVariantMap articleEntry(const Article &article)
{
    QVariantMap entry;
    entry.insert(QStringLiteral("id"), article.id);
    entry.insert(QStringLiteral("title"), article.title);
    entry.insert(QStringLiteral("views"), article.views);
    return entry;
}

} // namespace

ProfileScreen::ProfileScreen(QObject *parent) : QObject(parent), m_baseUrl(ServerConfig::baseUrl())
{
}

void ProfileScreen::setAuth(AuthManager *auth)
{
    if (m_auth == auth)
        return;
    if (m_auth)
        disconnect(m_auth, nullptr, this, nullptr);
    m_auth = auth;
    if (m_auth)
        connect(m_auth, &AuthManager::changed, this, &ProfileScreen::onAuthChanged);
    emit authChanged();
    onAuthChanged();
}

void ProfileScreen::setBaseUrl(const QString &baseUrl)
{
    if (m_baseUrl == baseUrl)
        return;
    m_baseUrl = baseUrl;
    emit baseUrlChanged();
}

bool ProfileScreen::showsCleartextWarning() const { return ServerConfig::sendsInTheClear(m_baseUrl); }

void ProfileScreen::onAuthChanged()
{
    emit headerChanged();
    emit bioChanged(); // canSaveBio compares with the user's bio
}

// ---- form ---------------------------------------------------------------

void ProfileScreen::setUsername(const QString &value)
{
    if (m_username == value)
        return;
    m_username = value;
    emit formChanged();
}

void ProfileScreen::setPassword(const QString &value)
{
    if (m_password == value)
        return;
    m_password = value;
    emit formChanged();
}

void ProfileScreen::setEmail(const QString &value)
{
    if (m_email == value)
        return;
    m_email = value;
    emit formChanged();
}

void ProfileScreen::setLoginMode(bool loginMode)
{
    if (m_isLoginMode == loginMode)
        return;
    m_isLoginMode = loginMode;
    emit formChanged();
}

bool ProfileScreen::canSubmit() const
{
    if (m_username.isEmpty() || m_password.isEmpty())
        return false;
    return m_isLoginMode || !m_email.isEmpty();
}

QString ProfileScreen::submitLabel() const
{
    return m_isLoginMode ? QStringLiteral("登录") : QStringLiteral("注册");
}

void ProfileScreen::setLoading(bool loading)
{
    if (m_isLoading == loading)
        return;
    m_isLoading = loading;
    emit submissionChanged();
}

void ProfileScreen::setErrorMessage(std::optional<QString> message)
{
    if (m_errorMessage == message)
        return;
    m_errorMessage = std::move(message);
    emit submissionChanged();
}

void ProfileScreen::setShowSuccess(bool show)
{
    if (m_showSuccess == show)
        return;
    m_showSuccess = show;
    emit submissionChanged();
}

// ---- header -------------------------------------------------------------

QString ProfileScreen::initial() const
{
    const std::optional<Author> user = m_auth ? m_auth->user() : std::nullopt;
    return avatarInitial(user ? user->username : QString());
}

QString ProfileScreen::displayName() const
{
    const std::optional<Author> user = m_auth ? m_auth->user() : std::nullopt;
    return user ? user->username : QStringLiteral("用户");
}

QString ProfileScreen::displayRole() const
{
    const std::optional<Author> user = m_auth ? m_auth->user() : std::nullopt;
    return user ? user->role : QStringLiteral("普通用户");
}

QString ProfileScreen::displayBio() const
{
    return currentUserBio();
}

QString ProfileScreen::currentUserBio() const
{
    const std::optional<Author> user = m_auth ? m_auth->user() : std::nullopt;
    return user ? user->bio.value_or(QString()) : QString();
}

// ---- articles and statistics ----------------------------------------------

QVariantList ProfileScreen::myArticles() const
{
    QVariantList list;
    list.reserve(m_myArticles.size());
    for (const Article &article : m_myArticles)
        list.append(articleEntry(article));
    return list;
}

QString ProfileScreen::articlesHeading() const
{
    return QStringLiteral("我的文章 (%1)").arg(m_myArticles.size());
}

QString ProfileScreen::statsPublished() const
{
    return m_userStats ? QString::number(m_userStats->published) : QString();
}

QString ProfileScreen::statsPending() const
{
    return m_userStats ? QString::number(m_userStats->pending) : QString();
}

QString ProfileScreen::statsTotal() const
{
    return m_userStats ? QString::number(m_userStats->total) : QString();
}

void ProfileScreen::setArticles(QList<Article> articles, std::optional<UserStats> stats)
{
    m_myArticles = std::move(articles);
    m_userStats = stats;
    emit articlesChanged();
}

// ---- signature ----------------------------------------------------------

void ProfileScreen::setBioText(const QString &value)
{
    if (m_bioText == value)
        return;
    m_bioText = value;
    emit bioChanged();
}

void ProfileScreen::setBioError(std::optional<QString> error)
{
    if (m_bioError == error)
        return;
    m_bioError = std::move(error);
    emit bioChanged();
}

bool ProfileScreen::canSaveBio() const
{
    return m_bioText != currentUserBio();
}

// ---- sign-out -----------------------------------------------------------

void ProfileScreen::setShowLogoutConfirm(bool show)
{
    if (m_showLogoutConfirm == show)
        return;
    m_showLogoutConfirm = show;
    emit logoutConfirmChanged();
}

void ProfileScreen::requestLogout()
{
    setShowLogoutConfirm(true);
}

void ProfileScreen::confirmLogout()
{
    setShowLogoutConfirm(false);
    if (m_auth) {
        const std::optional<QString> token = m_auth->token();
        const QString issuer = m_auth->issuingOrigin();
        m_auth->logout();
        // Revoked only by the server that issued it: another never sees it.
        if (token && !issuer.isEmpty() && issuer == originOf(QUrl(m_baseUrl)))
            APIClient::create(m_baseUrl)->revokeToken(*token);
    }
    setArticles({}, std::nullopt);
    setBioText(QString());
}

void ProfileScreen::cancelLogout()
{
    setShowLogoutConfirm(false);
}

// ---- appearance and actions ---------------------------------------------

void ProfileScreen::appear()
{
    appearTask();
}

QCoro::Task<> ProfileScreen::appearTask()
{
    if (!m_auth)
        co_return;
    QPointer<ProfileScreen> guard(this);
    // The stored token may have to come from the keychain first.
    co_await m_auth->loadFromStorage();
    if (!guard || !m_auth)
        co_return;
    setBioText(currentUserBio());
    if (m_auth->isLoggedIn())
        loadMyArticles();
}

void ProfileScreen::handleAuth()
{
    handleAuthTask();
}

void ProfileScreen::submitFromKeyboard()
{
    if (canSubmit())
        handleAuthTask();
}

void ProfileScreen::loadMyArticles()
{
    loadMyArticlesTask();
}

void ProfileScreen::saveBio()
{
    saveBioTask();
}

QCoro::Task<> ProfileScreen::handleAuthTask()
{
    if (!m_auth)
        co_return;
    QPointer<ProfileScreen> guard(this);
    setLoading(true);
    m_failedField.clear();
    setErrorMessage(std::nullopt);
    setShowSuccess(false);

    auto client = APIClient::create(m_baseUrl);
    Result<LoginResponse> response;
    const bool signingIn = m_isLoginMode;
    if (signingIn)
        response = co_await client->login(m_username, m_password);
    else
        response = co_await client->registerUser(m_username, m_email, m_password);
    if (!guard)
        co_return;

    if (!response) {
        m_failedField = signingIn ? QStringLiteral("password") : QStringLiteral("username");
        setErrorMessage(QStringLiteral("操作失败：") + response.error().description());
        setLoading(false);
        co_return;
    }
    if (!m_auth) {
        setLoading(false);
        co_return;
    }
    m_auth->login(response->token, response->user);
    setBioText(response->user.bio.value_or(QString()));
    co_await loadMyArticlesTask();
    if (!guard)
        co_return;
    setShowSuccess(true);
    setLoading(false);
}

QCoro::Task<> ProfileScreen::loadMyArticlesTask()
{
    if (!m_auth)
        co_return;
    const std::optional<QString> token = m_auth->token();
    if (!token)
        co_return;
    QPointer<ProfileScreen> guard(this);

    auto client = APIClient::create(m_baseUrl);
    const Result<MeResponse> me = co_await client->fetchMe(*token);
    if (!guard)
        co_return;
    if (!me) {
        consoleLine(QStringLiteral("加载我的文章失败："), me.error().description());
        // The server no longer knows this token (expired, revoked, another
        // database): keeping it would fail every action, so the sign-in ends.
        if (me.error().httpStatus() == 401 && m_auth && m_auth->token() == token) {
            m_auth->logout();
            setArticles({}, std::nullopt);
            setBioText(QString());
            setErrorMessage(QStringLiteral("登录已失效，请重新登录"));
        }
        co_return;
    }
    // A slow answer for an account that has since signed out (or been
    // replaced by another sign-in) must not show under the current one.
    if (!m_auth || m_auth->token() != token)
        co_return;
    setArticles(me->articles, me->stats);
}

QCoro::Task<> ProfileScreen::saveBioTask()
{
    if (!m_auth)
        co_return;
    const std::optional<QString> token = m_auth->token();
    if (!token)
        co_return;
    QPointer<ProfileScreen> guard(this);
    setBioError(std::nullopt);

    auto client = APIClient::create(m_baseUrl);
    const Result<QString> stored = co_await client->updateBio(*token, m_bioText);
    if (!guard)
        co_return;
    if (!stored) {
        setBioError(stored.error().description());
        co_return;
    }
    // The answer belongs to the account that sent it; never write it into
    // another user's record.
    if (!m_auth || m_auth->token() != token)
        co_return;
    std::optional<Author> user = m_auth->user();
    if (!user)
        co_return;
    user->bio = stored.value();
    m_auth->setUser(user);
    // Keep the stored record in step, or the next visit of the tab (which
    // re-reads storage) would bring back the old signature.
    m_auth->persistUser();
}

} // namespace papelo
