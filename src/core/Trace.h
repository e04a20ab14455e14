#pragma once

#include <QJsonObject>
#include <QString>

#include <atomic>
#include <vector>

namespace papelo::trace {

// Chrome trace-event recording (`--trace FILE`), readable by Perfetto and
// chrome://tracing. Timestamps are microseconds since the kernel started the
// process, so loading the libraries before main() shows as time spent.
//
// Off unless start() was called; then every trace point costs one relaxed
// load and a branch, and allocates nothing. Any thread may record.

namespace detail {
inline std::atomic<bool> recording{false};
}

inline bool enabled() { return detail::recording.load(std::memory_order_relaxed); }

// Starts recording for a file written by flush().
void start(const QString &path);
// Stops recording and forgets every event (tests).
void reset();
// Microseconds since the process started (boot-time clock against
// /proc/self/stat's start time, which has the kernel's tick resolution).
qint64 nowUs();

// A point in time ("ph": "i"), e.g. the first frame with a card on it.
void instant(const char *name);
// A point at the next frame the window puts on screen: the shell's frame
// watcher takes these before each frame and records them once it is shown.
// Never written when no watcher runs (no window).
void instantAtNextFrame(const char *name);
std::vector<const char *> takeNextFrameInstants();

// A finished span ("ph": "X") that ran from startUs to endUs on this thread.
void complete(const char *category, const QString &name, qint64 startUs, qint64 endUs,
              const QJsonObject &args = {});

// Writes {"traceEvents": [...]} with every event so far; recording goes on,
// so a later flush rewrites the file with more. False (with the reason) when
// the file cannot be written; true without writing when not recording.
bool flush(QString *error = nullptr);

// Records the span from construction (or begin()) to destruction. Costs
// nothing but the flag check while tracing is off: the name is copied only
// when recording. A name that costs work to build goes through begin():
//     trace::Span span;
//     if (trace::enabled())
//         span.begin("http", url.path());
class Span {
public:
    Span() = default;
    Span(const char *category, const QString &name)
    {
        if (enabled())
            begin(category, name);
    }
    ~Span()
    {
        if (m_startUs >= 0)
            end();
    }
    Span(const Span &) = delete;
    Span &operator=(const Span &) = delete;

    void begin(const char *category, const QString &name);
    bool active() const { return m_startUs >= 0; }
    // Shown with the event; ignored while not recording.
    void setArg(const char *key, qint64 value)
    {
        if (active())
            m_args.insert(QLatin1String(key), value);
    }

private:
    void end();

    const char *m_category = nullptr;
    QString m_name;
    QJsonObject m_args;
    qint64 m_startUs = -1;
};

} // namespace papelo::trace
