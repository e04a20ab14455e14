#pragma once

#include "articles/ArticleListModel.h"
#include "common/LoadLifecycle.h"
#include "core/APIClient.h"

#include <QCoroTask>
#include <QObject>
#include <QtQml/qqmlregistration.h>

#include <memory>

namespace papelo {

// State of the discover tab: three sections of up to six articles, reloaded
// on every appearance (skeleton first) and cancelled when the screen is
// hidden. A failed load leaves the previous sections and only writes the
// console line "发现页加载失败：". UI thread only.
class DiscoverScreen : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(papelo::ArticleListModel *hotArticles READ hotArticles CONSTANT)
    Q_PROPERTY(papelo::ArticleListModel *latestArticles READ latestArticles CONSTANT)
    Q_PROPERTY(papelo::ArticleListModel *randomArticles READ randomArticles CONSTANT)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(bool showSkeleton READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QString baseUrl READ baseUrl WRITE setBaseUrl NOTIFY baseUrlChanged)
public:
    static constexpr qint64 kSectionLimit = 6;

    explicit DiscoverScreen(QObject *parent = nullptr);

    ArticleListModel *hotArticles() { return &m_hot; }
    ArticleListModel *latestArticles() { return &m_latest; }
    ArticleListModel *randomArticles() { return &m_random; }
    bool isLoading() const { return m_load.isLoading(); }

    QString baseUrl() const { return m_baseUrl; }
    void setBaseUrl(const QString &baseUrl);
    void setClientLimits(ClientLimits limits) { m_limits = limits; }

    // The screen came on screen / went off screen.
    Q_INVOKABLE void appear();
    Q_INVOKABLE void disappear();

    QCoro::Task<> loadData();

signals:
    void isLoadingChanged();
    void baseUrlChanged();

private:

    ArticleListModel m_hot;
    ArticleListModel m_latest;
    ArticleListModel m_random;

    QString m_baseUrl;
    ClientLimits m_limits;
    LoadLifecycle m_load{true}; // the first thing shown is the skeleton
};

} // namespace papelo
