#include "ServerProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSaveFile>
#include <QRegularExpression>

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>

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

void ServerProcess::dieWithParent() { ::prctl(PR_SET_PDEATHSIG, SIGTERM); }

QString ServerProcess::dataDir() const { return m_dataDir.path(); }

QString ServerProcess::clockPath() const { return m_dataDir.filePath(QStringLiteral("clock")); }

bool ServerProcess::setClock(qint64 ms) const
{
    QSaveFile file(clockPath());
    return file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(ms)) > 0 && file.commit();
}

QString ServerProcess::baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

bool ServerProcess::isRunning() const { return m_process && m_process->state() != QProcess::NotRunning; }

void ServerProcess::collectOutput()
{
    if (m_process) {
        m_stdout += m_process->readAllStandardOutput();
        m_stderr += m_process->readAllStandardError();
    }
}

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

    m_stdout.clear();
    m_stderr.clear();
    m_port = 0;
    m_process = std::make_unique<QProcess>();
    // A test that aborts never runs the destructor; the kernel then stops the
    // server with it instead of leaving it listening.
    m_process->setChildProcessModifier(&ServerProcess::dieWithParent);
    m_process->start(binaryPath(), args);
    if (!m_process->waitForStarted(timeoutMs)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(binaryPath(), m_process->errorString());
        m_process.reset();
        return false;
    }
    static const QRegularExpression line(QStringLiteral("papelo-server listening on http://[^\\s:]+:(\\d+)\\n"));
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && m_process->state() != QProcess::NotRunning) {
        collectOutput();
        if (const QRegularExpressionMatch m = line.match(QString::fromUtf8(m_stdout)); m.hasMatch()) {
            m_port = quint16(m.captured(1).toUInt());
            m_error.clear();
            return true;
        }
        m_process->waitForReadyRead(int(std::clamp<qint64>(deadline.remainingTime(), 1, 200)));
    }
    collectOutput();
    m_error = QStringLiteral("no listening line (exit code %1); stderr: %2")
                  .arg(m_process->exitCode())
                  .arg(QString::fromUtf8(m_stderr));
    m_process->kill();
    m_process->waitForFinished(5000);
    m_process.reset();
    return false;
}

bool ServerProcess::stop(int timeoutMs)
{
    if (!m_process)
        return true;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate(); // SIGTERM: the server closes its store and exits 0
        if (!m_process->waitForFinished(timeoutMs)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    const bool clean = finish();
    if (!clean)
        m_error = QStringLiteral("server did not exit cleanly; stderr: %1").arg(QString::fromUtf8(m_stderr));
    return clean;
}

bool ServerProcess::waitForExit(int timeoutMs)
{
    if (!m_process || (!m_process->waitForFinished(timeoutMs) && m_process->state() != QProcess::NotRunning))
        return false;
    return finish();
}

bool ServerProcess::finish()
{
    const bool clean = m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
    collectOutput();
    m_process.reset();
    m_port = 0;
    return clean;
}
