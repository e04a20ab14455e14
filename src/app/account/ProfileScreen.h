#pragma once

#include "core/AuthManager.h"
#include "core/Envelopes.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace papelo {

// State of the account tab: the sign-in / registration form while signed
// out; header, statistics, own articles, signature editor and sign-out while
// signed in. The face is chosen by the shared AuthManager. UI thread only.
class ProfileScreen : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(papelo::AuthManager *auth READ auth WRITE setAuth NOTIFY authChanged)
    Q_PROPERTY(QString baseUrl READ baseUrl WRITE setBaseUrl NOTIFY baseUrlChanged)
    // The form still works; it only says that the password would travel unencrypted.
    Q_PROPERTY(bool showsCleartextWarning READ showsCleartextWarning NOTIFY baseUrlChanged)

    Q_PROPERTY(QString username READ username WRITE setUsername NOTIFY formChanged)
    Q_PROPERTY(QString password READ password WRITE setPassword NOTIFY formChanged)
    Q_PROPERTY(QString email READ email WRITE setEmail NOTIFY formChanged)
    Q_PROPERTY(bool isLoginMode READ isLoginMode WRITE setLoginMode NOTIFY formChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY submissionChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY submissionChanged)
    Q_PROPERTY(bool hasErrorMessage READ hasErrorMessage NOTIFY submissionChanged)
    Q_PROPERTY(bool showSuccess READ showSuccess NOTIFY submissionChanged)
    Q_PROPERTY(bool canSubmit READ canSubmit NOTIFY formChanged)
    Q_PROPERTY(QString submitLabel READ submitLabel NOTIFY formChanged)
    // The input a failed submission sends the focus to, so that the message
    // is read with it: "password" after a sign-in, "username" after a
    // registration; empty while nothing failed or a submission runs.
    Q_PROPERTY(QString failedField READ failedField NOTIFY submissionChanged)

    Q_PROPERTY(bool isLoggedIn READ isLoggedIn NOTIFY headerChanged)
    Q_PROPERTY(QString initial READ initial NOTIFY headerChanged)
    Q_PROPERTY(QString displayName READ displayName NOTIFY headerChanged)
    Q_PROPERTY(QString displayRole READ displayRole NOTIFY headerChanged)
    Q_PROPERTY(QString displayBio READ displayBio NOTIFY headerChanged)
    Q_PROPERTY(bool showBio READ showBio NOTIFY headerChanged)

    // Each entry: {id, title, views}.
    Q_PROPERTY(QVariantList myArticles READ myArticles NOTIFY articlesChanged)
    Q_PROPERTY(int myArticleCount READ myArticleCount NOTIFY articlesChanged)
    Q_PROPERTY(QString articlesHeading READ articlesHeading NOTIFY articlesChanged)
    Q_PROPERTY(bool hasUserStats READ hasUserStats NOTIFY articlesChanged)
    Q_PROPERTY(QString statsPublished READ statsPublished NOTIFY articlesChanged)
    Q_PROPERTY(QString statsPending READ statsPending NOTIFY articlesChanged)
    Q_PROPERTY(QString statsTotal READ statsTotal NOTIFY articlesChanged)

    Q_PROPERTY(QString bioText READ bioText WRITE setBioText NOTIFY bioChanged)
    Q_PROPERTY(QString bioError READ bioError NOTIFY bioChanged)
    Q_PROPERTY(bool hasBioError READ hasBioError NOTIFY bioChanged)
    Q_PROPERTY(bool canSaveBio READ canSaveBio NOTIFY bioChanged)

    Q_PROPERTY(bool showLogoutConfirm READ showLogoutConfirm WRITE setShowLogoutConfirm NOTIFY logoutConfirmChanged)

public:
    explicit ProfileScreen(QObject *parent = nullptr);

    AuthManager *auth() const { return m_auth; }
    void setAuth(AuthManager *auth);
    QString baseUrl() const { return m_baseUrl; }
    void setBaseUrl(const QString &baseUrl);
    bool showsCleartextWarning() const;

    QString username() const { return m_username; }
    void setUsername(const QString &value);
    QString password() const { return m_password; }
    void setPassword(const QString &value);
    QString email() const { return m_email; }
    void setEmail(const QString &value);
    bool isLoginMode() const { return m_isLoginMode; }
    void setLoginMode(bool loginMode);
    bool isLoading() const { return m_isLoading; }
    QString errorMessage() const { return m_errorMessage.value_or(QString()); }
    bool hasErrorMessage() const { return m_errorMessage.has_value(); }
    bool showSuccess() const { return m_showSuccess; }
    QString failedField() const { return m_isLoading ? QString() : m_failedField; }
    // Only spaces still count as typed; a running submission does not disable it.
    bool canSubmit() const;
    QString submitLabel() const;

    bool isLoggedIn() const { return m_auth && m_auth->isLoggedIn(); }
    QString initial() const;
    QString displayName() const;
    QString displayRole() const;
    QString displayBio() const;
    bool showBio() const { return !displayBio().isEmpty(); }

    QVariantList myArticles() const;
    int myArticleCount() const { return int(m_myArticles.size()); }
    QString articlesHeading() const;
    std::optional<UserStats> userStats() const { return m_userStats; }
    bool hasUserStats() const { return m_userStats.has_value(); }
    QString statsPublished() const;
    QString statsPending() const;
    QString statsTotal() const;

    QString bioText() const { return m_bioText; }
    void setBioText(const QString &value);
    QString bioError() const { return m_bioError.value_or(QString()); }
    bool hasBioError() const { return m_bioError.has_value(); }
    bool canSaveBio() const;

    bool showLogoutConfirm() const { return m_showLogoutConfirm; }
    void setShowLogoutConfirm(bool show);

    // Awaitable forms of the user actions (the invokables below start these
    // and let them run on their own).
    QCoro::Task<> handleAuthTask();
    QCoro::Task<> loadMyArticlesTask();
    QCoro::Task<> saveBioTask();
    QCoro::Task<> appearTask();

public slots:
    // The tab came on screen: re-read the stored sign-in, drop an unsaved
    // signature edit, reload the own articles. Not called for pushes/pops.
    void appear();
    void handleAuth();
    // Return in the form: submits only when the submit button could be pressed.
    void submitFromKeyboard();
    void loadMyArticles();
    void saveBio();
    void requestLogout();
    void confirmLogout();
    void cancelLogout();

signals:
    void authChanged();
    void baseUrlChanged();
    void formChanged();
    void submissionChanged();
    void headerChanged();
    void articlesChanged();
    void bioChanged();
    void logoutConfirmChanged();

private:
    void onAuthChanged();
    void setLoading(bool loading);
    void setErrorMessage(std::optional<QString> message);
    void setShowSuccess(bool show);
    void setBioError(std::optional<QString> error);
    void setArticles(QList<Article> articles, std::optional<UserStats> stats);
    QString currentUserBio() const;

    QPointer<AuthManager> m_auth;
    QString m_baseUrl;

    QString m_username;
    QString m_password;
    QString m_email;
    bool m_isLoginMode = true;
    bool m_isLoading = false;
    std::optional<QString> m_errorMessage;
    QString m_failedField;
    bool m_showSuccess = false;
    QList<Article> m_myArticles;
    std::optional<UserStats> m_userStats;
    QString m_bioText;
    std::optional<QString> m_bioError;
    bool m_showLogoutConfirm = false;
};

} // namespace papelo
