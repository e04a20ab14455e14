#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// What ServerProcess and NginxProcess share: a child process that dies with
// the test (also one that aborts and never runs a destructor), is stopped by
// a signal with a kill as the last resort, and keeps everything it printed.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool isRunning() const { return m_process && m_process->state() != QProcess::NotRunning; }
    qint64 processId() const { return m_process ? m_process->processId() : 0; }
    // Waits for the process to end by itself (e.g. after a signal sent by the
    // test); true when it exited normally with status 0.
    bool waitForExit(int timeoutMs = 10000);
    QString errorString() const { return m_error; }
    QByteArray standardOutput() const { return m_stdout; }  // everything printed so far
    QByteArray standardError() const { return m_stderr; }

protected:
    ~ChildProcess() = default;
    // Starts the program and polls ready() as output arrives, at least every
    // 50 ms; false, with errorString() and the process killed, when it ends or
    // timeoutMs pass first.
    bool launch(const QString &program, const QStringList &arguments, const std::function<bool()> &ready, int timeoutMs);
    // Sends the signal, waits timeoutMs for the exit, then kills. True when
    // the process exited by itself with status 0 (or none was running).
    bool halt(int signal, int timeoutMs);

    QString m_error;

private:
    void collectOutput();
    bool finish();  // after the exit: whether it was clean; drops the process

    std::unique_ptr<QProcess> m_process;
    QByteArray m_stdout;
    QByteArray m_stderr;
};
