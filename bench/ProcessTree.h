#pragma once

// Memory of a process tree as the benches count it: the summed PSS
// (/proc/PID/smaps_rollup) of a process and every descendant, so shared
// libraries count once across the tree and a browser's helper processes count
// with it. PeakPss samples it every 50 ms on a thread of its own.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QList>

#include <atomic>
#include <chrono>
#include <thread>

namespace bench {

inline QByteArray readProc(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QList<qint64> processTree(qint64 root)
{
    QHash<qint64, QList<qint64>> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok)
            continue;
        const QByteArray stat = readProc(QStringLiteral("/proc/%1/stat").arg(pid));
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            children[fields.at(1).toLongLong()].append(pid);  // field 4: the parent
    }
    QList<qint64> tree{root};
    for (qsizetype i = 0; i < tree.size(); ++i)
        tree += children.value(tree.at(i));
    return tree;
}

inline qint64 pssKiB(qint64 pid)
{
    for (const QByteArray &line : readProc(QStringLiteral("/proc/%1/smaps_rollup").arg(pid)).split('\n')) {
        if (line.startsWith("Pss:"))
            return line.mid(4).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

inline qint64 treePssKiB(qint64 root)
{
    qint64 sum = 0;
    for (qint64 pid : processTree(root))
        sum += pssKiB(pid);
    return sum;
}

inline double mib(qint64 kib) { return double(kib) / 1024.0; }

class PeakPss {
public:
    explicit PeakPss(qint64 root)
        : m_thread([this, root] {
              while (!m_stop.load()) {
                  m_peak.store(std::max(m_peak.load(), treePssKiB(root)));
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
              }
          })
    {
    }
    ~PeakPss() { stop(); }
    qint64 stop()
    {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
        return m_peak.load();
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_peak{0};
    std::thread m_thread;
};

} // namespace bench
