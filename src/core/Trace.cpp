#include "core/Trace.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QSaveFile>
#include <QSet>

#include <ctime>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace papelo::trace {

namespace {

struct Event {
    QString name;
    const char *category = nullptr;  // null: an instant
    qint64 startUs = 0;
    qint64 durationUs = 0;
    int tid = 0;
    QJsonObject args;
};

struct Recorder {
    QMutex mutex;
    QString path;
    std::vector<Event> events;
    QJsonArray threadNames;  // "M" events, one per thread seen
    QSet<int> namedThreads;
    std::vector<const char *> nextFrame;
};

Recorder &recorder()
{
    static Recorder r;
    return r;
}

qint64 bootClockUs()
{
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return qint64(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

// Field 22 of /proc/self/stat: clock ticks after boot when the process began.
// The command name (field 2) may hold spaces and parentheses, so fields are
// counted from the last ')'.
qint64 processStartUs()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return bootClockUs();
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    bool ok = false;
    const qint64 ticks = fields.value(22 - 3).toLongLong(&ok);
    const long hz = sysconf(_SC_CLK_TCK);
    if (!ok || hz <= 0)
        return bootClockUs();
    return ticks * 1'000'000 / hz;
}

int threadId()
{
    thread_local const int tid = int(syscall(SYS_gettid));
    return tid;
}

QString threadName(int tid)
{
    QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(tid));
    if (!comm.open(QIODevice::ReadOnly))
        return QStringLiteral("thread %1").arg(tid);
    return QString::fromUtf8(comm.readAll().trimmed());
}

// Stores the event; the first event of a thread also names the thread.
void record(Event event)
{
    Recorder &r = recorder();
    bool known = false;
    {
        const QMutexLocker lock(&r.mutex);
        known = r.namedThreads.contains(event.tid);
    }
    const QString name = known ? QString() : threadName(event.tid);
    const QMutexLocker lock(&r.mutex);
    if (!known && !r.namedThreads.contains(event.tid)) {
        r.namedThreads.insert(event.tid);
        r.threadNames.append(QJsonObject{{QStringLiteral("name"), QStringLiteral("thread_name")},
                                         {QStringLiteral("ph"), QStringLiteral("M")},
                                         {QStringLiteral("pid"), qint64(getpid())},
                                         {QStringLiteral("tid"), event.tid},
                                         {QStringLiteral("args"), QJsonObject{{QStringLiteral("name"), name}}}});
    }
    r.events.push_back(std::move(event));
}

QJsonObject toJson(const Event &e, qint64 pid)
{
    QJsonObject o{{QStringLiteral("name"), e.name},
                  {QStringLiteral("ts"), e.startUs},
                  {QStringLiteral("pid"), pid},
                  {QStringLiteral("tid"), e.tid}};
    if (e.category) {
        o.insert(QStringLiteral("ph"), QStringLiteral("X"));
        o.insert(QStringLiteral("cat"), QLatin1String(e.category));
        o.insert(QStringLiteral("dur"), e.durationUs);
    } else {
        o.insert(QStringLiteral("ph"), QStringLiteral("i"));
        o.insert(QStringLiteral("s"), QStringLiteral("g"));
    }
    if (!e.args.isEmpty())
        o.insert(QStringLiteral("args"), e.args);
    return o;
}

} // namespace

qint64 nowUs()
{
    static const qint64 startUs = processStartUs();
    return bootClockUs() - startUs;
}

void start(const QString &path)
{
    nowUs();  // fixes the origin before the first event
    Recorder &r = recorder();
    {
        const QMutexLocker lock(&r.mutex);
        r.path = path;
    }
    detail::recording.store(true, std::memory_order_relaxed);
}

void reset()
{
    detail::recording.store(false, std::memory_order_relaxed);
    Recorder &r = recorder();
    const QMutexLocker lock(&r.mutex);
    r.path.clear();
    r.events.clear();
    r.threadNames = QJsonArray();
    r.namedThreads.clear();
    r.nextFrame.clear();
}

void instant(const char *name)
{
    if (!enabled())
        return;
    Event e;
    e.name = QString::fromUtf8(name);
    e.startUs = nowUs();
    e.tid = threadId();
    record(std::move(e));
}

void instantAtNextFrame(const char *name)
{
    if (!enabled())
        return;
    Recorder &r = recorder();
    const QMutexLocker lock(&r.mutex);
    r.nextFrame.push_back(name);
}

std::vector<const char *> takeNextFrameInstants()
{
    Recorder &r = recorder();
    const QMutexLocker lock(&r.mutex);
    return std::exchange(r.nextFrame, {});
}

void complete(const char *category, const QString &name, qint64 startUs, qint64 endUs, const QJsonObject &args)
{
    if (!enabled())
        return;
    Event e;
    e.name = name;
    e.category = category;
    e.startUs = startUs;
    e.durationUs = std::max<qint64>(0, endUs - startUs);
    e.tid = threadId();
    e.args = args;
    record(std::move(e));
}

bool flush(QString *error)
{
    if (!enabled())
        return true;
    Recorder &r = recorder();
    QJsonArray events;
    QString path;
    {
        const QMutexLocker lock(&r.mutex);
        path = r.path;
        events = r.threadNames;
        const qint64 pid = getpid();
        for (const Event &e : r.events)
            events.append(toJson(e, pid));
    }
    QSaveFile file(path);
    const QByteArray bytes =
        QJsonDocument(QJsonObject{{QStringLiteral("traceEvents"), events},
                                  {QStringLiteral("displayTimeUnit"), QStringLiteral("ms")}})
            .toJson(QJsonDocument::Compact);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

void Span::begin(const char *category, const QString &name)
{
    m_category = category;
    m_name = name;
    m_startUs = nowUs();
}

void Span::end() { complete(m_category, m_name, m_startUs, nowUs(), m_args); }

} // namespace papelo::trace
