#pragma once

#include "ChildProcess.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs the built papelo-server binary for a test: its own temporary data
// directory, --port 0, and the port parsed from the start-up line. The data
// directory outlives stop()/start(), so a restart sees the same store.
// Tests that use it must add_dependencies(<test> papelo-server).
class ServerProcess : public ChildProcess {
public:
    struct Options {
        bool demo = true;            // seed the demo site into an empty store
        int articles = 0;            // > 0: seed this many articles instead
        int latencyMs = 0;           // --latency
        QStringList extraArguments;  // passed through unchanged
        // Off (--no-throttle) unless a test is about the limits, so that no
        // test or bench trips a sign-in back-off or a per-minute limit by accident.
        bool throttle = false;
        // The limits read their clock from a file (--clock-file) that setClock() writes; it starts at 0.
        bool clock = false;
    };

    ServerProcess();
    explicit ServerProcess(Options options);
    ~ServerProcess();  // stops the server if it still runs

    // Starts and waits (up to timeoutMs) for "papelo-server listening on
    // http://HOST:PORT". False with errorString() on any failure.
    bool start(int timeoutMs = 30000);
    // SIGTERM, then waits for a clean exit; kills after timeoutMs.
    // Returns true when the server exited on its own with status 0.
    bool stop(int timeoutMs = 10000);
    // Takes effect at the next start(); the data directory stays.
    void setOptions(Options options) { m_options = std::move(options); }

    // The limits' time in milliseconds, for a server started with `clock`.
    bool setClock(qint64 ms) const;

    quint16 port() const { return m_port; }
    QString baseUrl() const;            // "http://127.0.0.1:<port>", no trailing slash
    QString dataDir() const;            // stays the same across restarts

    // PAPELO_SERVER_BINARY from the environment, else the path CMake compiled in.
    static QString binaryPath();

private:
    QString clockPath() const;

    Options m_options;
    QTemporaryDir m_dataDir;
    quint16 m_port = 0;
};
