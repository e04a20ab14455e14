#include "ServerProcess.h"

#include <QFile>
#include <QSaveFile>
#include <QRegularExpression>

#include <csignal>

#ifndef PAPELO_SERVER_BINARY
#define PAPELO_SERVER_BINARY ""
#endif

ServerProcess::ServerProcess() : ServerProcess(Options()) {}

ServerProcess::ServerProcess(Options options) : m_options(std::move(options)) {}

ServerProcess::~ServerProcess() { stop(); }

QString ServerProcess::binaryPath()
{
    const QString fromEnv = qEnvironmentVariable("PAPELO_SERVER_BINARY");
    return fromEnv.isEmpty() ? QStringLiteral(PAPELO_SERVER_BINARY) : fromEnv;
}

QString ServerProcess::dataDir() const { return m_dataDir.path(); }

QString ServerProcess::clockPath() const { return m_dataDir.filePath(QStringLiteral("clock")); }

bool ServerProcess::setClock(qint64 ms) const
{
    QSaveFile file(clockPath());
    return file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(ms)) > 0 && file.commit();
}

QString ServerProcess::baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

bool ServerProcess::start(int timeoutMs)
{
    if (isRunning() || !m_dataDir.isValid()) {
        m_error = isRunning() ? QStringLiteral("already running") : QStringLiteral("no temporary data directory");
        return false;
    }
    QStringList args{"--host", "127.0.0.1", "--port", "0", "--data", m_dataDir.path()};
    if (m_options.articles > 0)
        args << "--articles" << QString::number(m_options.articles);
    else if (m_options.demo)
        args << "--demo";
    if (m_options.latencyMs > 0)
        args << "--latency" << QString::number(m_options.latencyMs);
    if (!m_options.throttle)
        args << "--no-throttle";
    if (m_options.clock && (QFile::exists(clockPath()) || setClock(0)))
        args << "--clock-file" << clockPath();
    args << m_options.extraArguments;

    static const QRegularExpression line(QStringLiteral("papelo-server listening on http://[^\\s:]+:(\\d+)\\n"));
    m_port = 0;
    return launch(binaryPath(), args, [this] {
        const QRegularExpressionMatch m = line.match(QString::fromUtf8(standardOutput()));
        m_port = quint16(m.captured(1).toUInt());
        return m.hasMatch();
    }, timeoutMs);
}

bool ServerProcess::stop(int timeoutMs)
{
    const bool clean = halt(SIGTERM, timeoutMs);  // the server closes its store and exits 0
    if (!clean)
        m_error = QStringLiteral("server did not exit cleanly; stderr: %1").arg(QString::fromUtf8(standardError()));
    return clean;
}
