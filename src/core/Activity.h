#pragma once

#include <QObject>

namespace papelo {

// Counts work in flight across the process (server requests, image loads,
// web page loads) so the screenshot mode can wait until the window settles.
// UI thread only.
class Activity : public QObject {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    static Activity &shared();
    int count() const { return m_count; }
    void begin();
    void end();

    // RAII: begin() now, end() when destroyed.
    class Scope {
    public:
        Scope() { Activity::shared().begin(); }
        ~Scope() { Activity::shared().end(); }
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;
    };

signals:
    void countChanged(int count);

private:
    Activity() = default;
    int m_count = 0;
};

} // namespace papelo
