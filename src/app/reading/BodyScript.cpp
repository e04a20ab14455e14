#include "reading/BodyScript.h"

#include <QFile>
#include <QVariant>
#include <QQuickWebEngineProfile>
#include <QWebEngineScript>

namespace papelo {

QString BodyScript::source()
{
    QFile file(QStringLiteral(":/Papelo/BodyScript.js"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
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
    // The collection's class is not public API; its insert() is invokable.
    QObject *scripts = profile->property("userScripts").value<QObject *>();
    if (!scripts || !QMetaObject::invokeMethod(scripts, "insert", Q_ARG(QWebEngineScript, script)))
        qFatal("papelo: the article body script could not be installed");
}

} // namespace papelo
