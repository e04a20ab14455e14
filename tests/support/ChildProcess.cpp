#include "ChildProcess.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>

bool ChildProcess::launch(const QString &program, const QStringList &arguments, const std::function<bool()> &ready, int timeoutMs)
{
    m_stdout.clear();
    m_stderr.clear();
    m_process = std::make_unique<QProcess>();
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process->start(program, arguments);
    const QDeadlineTimer deadline(timeoutMs);
    const bool started = m_process->waitForStarted(timeoutMs);
    while (started && !deadline.hasExpired() && isRunning()) {
        collectOutput();
        if (ready()) {
            m_error.clear();
            return true;
        }
        m_process->waitForReadyRead(int(std::clamp<qint64>(deadline.remainingTime(), 1, 50)));
    }
    collectOutput();
    m_error = QStringLiteral("%1 did not get ready (%2, exit code %3); stderr: %4")
                  .arg(program, started ? QStringLiteral("started") : m_process->errorString())
                  .arg(m_process->exitCode())
                  .arg(QString::fromLocal8Bit(m_stderr));
    halt(SIGKILL, 5000);
    return false;
}

bool ChildProcess::halt(int signal, int timeoutMs)
{
    if (!m_process)
        return true;
    if (isRunning() && m_process->processId() > 0) {
        ::kill(pid_t(m_process->processId()), signal);
        if (!m_process->waitForFinished(timeoutMs)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    return finish();
}

bool ChildProcess::waitForExit(int timeoutMs)
{
    if (!m_process || (!m_process->waitForFinished(timeoutMs) && isRunning()))
        return false;
    return finish();
}

void ChildProcess::collectOutput()
{
    m_stdout += m_process->readAllStandardOutput();
    m_stderr += m_process->readAllStandardError();
}

bool ChildProcess::finish()
{
    const bool clean = m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0;
    collectOutput();
    m_process.reset();
    return clean;
}
