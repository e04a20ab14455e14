#pragma once

#include <QFile>
#include <QString>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

// Redirects file descriptor 1 into a temporary file for the life of the
// object, so tests can read the exact console lines the reader writes.
class StdoutCapture {
public:
    StdoutCapture()
    {
        std::fflush(stdout);
        m_file.open();
        m_saved = dup(1);
        dup2(m_file.handle(), 1);
    }
    ~StdoutCapture()
    {
        std::fflush(stdout);
        dup2(m_saved, 1);
        close(m_saved);
    }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    QString text()
    {
        std::fflush(stdout);
        QFile f(m_file.fileName());
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll());
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};
