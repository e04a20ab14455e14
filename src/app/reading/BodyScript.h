#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class QQuickWebEngineProfile;

namespace papelo {

// Owner of the one script through which the reader changes what an article
// body shows (BodyScript.js, a resource beside this file). It is installed
// once on the body profile, so every document and subframe of every body
// view gets it at creation, in the isolated application world. The calls
// the reader makes into it (run in that world) are written here. UI thread only.
class BodyScript : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    using QObject::QObject;

    static QString source();
    static void install(QQuickWebEngineProfile *profile);
    // Documents created from now on start at this text size (percent):
    // a second script in the same world, after the first, tells it.
    static void setTextSize(QQuickWebEngineProfile *profile, int percent);

    // Sets the text size; answers {top, height}: where the body's position
    // `y` is now, and the body's new height.
    Q_INVOKABLE static QString textScaleScript(int percent, qreal y);
    // The place ({block, offset}) at position `y`, and the position of a place.
    Q_INVOKABLE static QString placeScript(qreal y);
    Q_INVOKABLE static QString positionScript(int block, qreal offset);
    // Find: the number of matches of `query`; match `index` made current
    // ({top, height}, or null); the marks gone.
    Q_INVOKABLE static QString findScript(const QString &query);
    Q_INVOKABLE static QString findShowScript(int index);
    Q_INVOKABLE static QString findClearScript() { return QStringLiteral("papelo.findClear()"); }
};

} // namespace papelo
