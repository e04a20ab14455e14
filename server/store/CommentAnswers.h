#pragma once

#include "http/SharedWork.h"

#include <QByteArray>
#include <QFuture>
#include <QPair>
#include <QString>

// Builds an article's comments answer (a compact JSON array) on a thread of
// its own with a read-only connection of its own, so the longest answer never
// holds the event loop. Whoever asks for the same article and store version
// while it is being built waits for that build. The result arrives on the
// main thread; answer() is called there only.
class CommentAnswers {
public:
    explicit CommentAnswers(QString storePath);
    ~CommentAnswers();
    CommentAnswers(const CommentAnswers &) = delete;
    CommentAnswers &operator=(const CommentAnswers &) = delete;

    QFuture<QByteArray> answer(qint64 articleId, quint64 version);
    // Waits for a build still running and closes the connection, so the
    // store's own connection is the last and tidies up when it closes.
    void close();

private:
    QString m_path;
    QString m_connection;  // the pool's one thread keeps it open
    SharedWork<QPair<qint64, quint64>, QByteArray> m_builds{1};
};
