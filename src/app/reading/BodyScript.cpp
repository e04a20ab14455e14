#include "reading/BodyScript.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QVariant>
#include <QQuickWebEngineProfile>
#include <QWebEngineScript>

#include <algorithm>
#include <cmath>

namespace papelo {

QString BodyScript::source()
{
    QFile file(QStringLiteral(":/Papelo/BodyScript.js"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

namespace {
QString jsNumber(qreal value) { return QString::number(std::isfinite(value) ? value : 0, 'f', 2); }

QObject *scriptsOf(QQuickWebEngineProfile *profile)
{
    // The collection's class is not public API; its insert() and remove() are invokable.
    return profile ? profile->property("userScripts").value<QObject *>() : nullptr;
}
} // namespace

void BodyScript::setTextSize(QQuickWebEngineProfile *profile, int percent)
{
    static QQuickWebEngineProfile *sizedProfile = nullptr;
    static int current = 100;
    static QWebEngineScript sizeScript;
    if (profile == sizedProfile && percent == current)
        return;
    QObject *scripts = scriptsOf(profile);
    if (!scripts)
        return;
    if (sizedProfile == profile && current != 100)
        QMetaObject::invokeMethod(scripts, "remove", Q_ARG(QWebEngineScript, sizeScript));
    sizedProfile = profile;
    current = percent;
    if (percent == 100)
        return;  // the document's own sizes
    sizeScript = QWebEngineScript();
    sizeScript.setName(QStringLiteral("papelo-body-size"));
    sizeScript.setSourceCode(QStringLiteral("papelo.textScale(%1, 0)").arg(percent));
    sizeScript.setInjectionPoint(QWebEngineScript::DocumentCreation);
    sizeScript.setWorldId(QWebEngineScript::ApplicationWorld);
    sizeScript.setRunsOnSubFrames(false);
    QMetaObject::invokeMethod(scripts, "insert", Q_ARG(QWebEngineScript, sizeScript));
}

void BodyScript::install(QQuickWebEngineProfile *profile)
{
    const QString code = source();
    // Without it frames the body must not have would render: no body is shown.
    if (code.isEmpty())
        qFatal("papelo: the article body script is missing from the resources");
    QWebEngineScript script;
    script.setName(QStringLiteral("papelo-body"));
    script.setSourceCode(code);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(true);
    QObject *scripts = scriptsOf(profile);
    if (!scripts || !QMetaObject::invokeMethod(scripts, "insert", Q_ARG(QWebEngineScript, script)))
        qFatal("papelo: the article body script could not be installed");
}

QString BodyScript::textScaleScript(int percent, qreal y)
{
    return QStringLiteral("papelo.textScale(%1, %2)").arg(std::clamp(percent, 80, 200)).arg(jsNumber(y));
}

QString BodyScript::placeScript(qreal y) { return QStringLiteral("papelo.placeAt(%1)").arg(jsNumber(y)); }

QString BodyScript::positionScript(int block, qreal offset)
{
    return QStringLiteral("papelo.positionOf(%1, %2)").arg(std::max(0, block)).arg(jsNumber(std::clamp<qreal>(offset, 0, 1)));
}

QString BodyScript::findScript(const QString &query)
{
    // As a JSON string: quotes, backslashes and line breaks stay text.
    const QByteArray quoted = QJsonDocument(QJsonArray{query}).toJson(QJsonDocument::Compact);
    return QStringLiteral("papelo.find(%1)").arg(QString::fromUtf8(quoted.mid(1, quoted.size() - 2)));
}

QString BodyScript::findShowScript(int index) { return QStringLiteral("papelo.findShow(%1)").arg(std::max(-1, index)); }

} // namespace papelo
