#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace papelo {

// The three menu commands as process-wide notifications. The menu only posts;
// whoever cares connects to the signal (home: refresh; shell: the other two).
// Delivery is synchronous on the UI thread.
class AppCommands : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Use App.commands")
public:
    using QObject::QObject;

    static inline const QString refreshName = QStringLiteral("papeloRefreshArticles");
    static inline const QString clearCacheName = QStringLiteral("papeloClearImageCache");
    static inline const QString showAboutName = QStringLiteral("papeloShowAbout");

    // Posts by notification name; false for an unknown name.
    Q_INVOKABLE bool post(const QString &name);
    Q_INVOKABLE void postRefreshArticles() { emit refreshArticles(); }
    Q_INVOKABLE void postClearImageCache() { emit clearImageCache(); }
    Q_INVOKABLE void postShowAbout() { emit showAbout(); }

signals:
    void refreshArticles();
    void clearImageCache();
    void showAbout();
};

} // namespace papelo
