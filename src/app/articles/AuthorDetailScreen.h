#pragma once

#include "common/LoadLifecycle.h"
#include "articles/ArticleListModel.h"
#include "core/Envelopes.h"

#include <QCoroTask>
#include <QObject>
#include <QtQml/qqmlregistration.h>

#include <memory>
#include <optional>

namespace papelo {

class APIClient;

// State and behaviour of an author's page: one fetchAuthor per load, the
// last loaded author kept over later failures. UI thread only.
class AuthorDetailScreen : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(qint64 authorId READ authorId WRITE setAuthorId NOTIFY authorIdChanged)
    Q_PROPERTY(QString baseUrl READ baseUrl WRITE setBaseUrl NOTIFY baseUrlChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)
    // "loading", "author", "error" or "none": which block the page shows.
    Q_PROPERTY(QString mainBlock READ mainBlock NOTIFY mainBlockChanged)
    Q_PROPERTY(bool hasAuthor READ hasAuthor NOTIFY authorChanged)
    Q_PROPERTY(QString username READ username NOTIFY authorChanged)
    Q_PROPERTY(QString initial READ initial NOTIFY authorChanged)
    Q_PROPERTY(QString role READ role NOTIFY authorChanged)
    Q_PROPERTY(QString bio READ bio NOTIFY authorChanged)
    Q_PROPERTY(bool showBio READ showBio NOTIFY authorChanged)
    Q_PROPERTY(int articleCount READ articleCount NOTIFY authorChanged)
    Q_PROPERTY(QString articlesHeading READ articlesHeading NOTIFY authorChanged)
    Q_PROPERTY(papelo::ArticleListModel *articles READ articleModel CONSTANT)
public:
    explicit AuthorDetailScreen(QObject *parent = nullptr);
    ~AuthorDetailScreen() override;

    qint64 authorId() const { return m_authorId; }
    void setAuthorId(qint64 id);
    QString baseUrl() const { return m_baseUrl; }
    void setBaseUrl(const QString &url);

    bool isLoading() const { return m_load.isLoading(); }
    QString errorMessage() const { return m_load.errorMessage().value_or(QString()); }
    bool hasError() const { return m_load.errorMessage().has_value(); }
    QString mainBlock() const { return m_mainBlock; }

    const std::optional<AuthorDetailResponse> &authorDetail() const { return m_detail; }
    bool hasAuthor() const { return m_detail.has_value(); }
    QString username() const { return m_detail ? m_detail->author.username : QString(); }
    QString initial() const;
    QString role() const { return m_detail ? m_detail->author.role : QString(); }
    QString bio() const { return m_detail ? m_detail->author.bio.value_or(QString()) : QString(); }
    // Absent and empty bios take no line; a bio of spaces is still a bio.
    bool showBio() const { return m_detail && m_detail->author.bio && !m_detail->author.bio->isEmpty(); }
    int articleCount() const { return m_detail ? int(m_detail->articles.size()) : 0; }
    QString articlesHeading() const;
    // The author's articles as cards; counts follow ArticleCountsStore.
    ArticleListModel *articleModel() const { return m_articles; }

    Q_INVOKABLE void appear();
    Q_INVOKABLE void disappear();
    Q_INVOKABLE void retry();

    QCoro::Task<> loadData(bool boundToVisibility = false);

signals:
    void authorIdChanged();
    void baseUrlChanged();
    void isLoadingChanged();
    void errorMessageChanged();
    void mainBlockChanged();
    void authorChanged();

private:
    void updateMainBlock();

    qint64 m_authorId = 0;
    QString m_baseUrl;
    std::optional<AuthorDetailResponse> m_detail;
    ArticleListModel *m_articles = nullptr;
    QString m_mainBlock;
    LoadLifecycle m_load{true};
};

} // namespace papelo
