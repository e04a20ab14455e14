#pragma once

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QPromise>
#include <QThreadPool>
#include <QtConcurrent>

#include <functional>
#include <memory>
#include <vector>

// Slow work done on threads of its own, once per key at a time: whoever asks
// for a key while its work runs waits for that run. Results arrive on the
// main thread, where ask() is called.
template <typename Key, typename T> class SharedWork {
public:
    explicit SharedWork(int threads)
    {
        m_pool.setMaxThreadCount(threads);
        m_pool.setExpiryTimeout(-1);  // threads (and what they hold) stay
    }

    QFuture<T> ask(const Key &key, std::function<T()> work)
    {
        auto promise = std::make_shared<QPromise<T>>();
        promise->start();
        const bool running = m_waiting.contains(key);
        m_waiting[key].push_back(promise);
        if (!running) {
            QtConcurrent::run(&m_pool, std::move(work)).then(&m_mainThread, [this, key](const T &result) {
                for (const auto &waiting : m_waiting.take(key)) {
                    waiting->addResult(result);
                    waiting->finish();
                }
            });
        }
        return promise->future();
    }
    QThreadPool &pool() { return m_pool; }

private:
    QObject m_mainThread;
    QHash<Key, std::vector<std::shared_ptr<QPromise<T>>>> m_waiting;
    QThreadPool m_pool;  // last: destroying it waits for work still running
};
