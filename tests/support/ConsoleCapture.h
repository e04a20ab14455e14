#pragma once

// The reader's console (standard output) lines, captured by redirecting file
// descriptor 1 into a temporary file while the capture is held. QtTest prints
// to the same descriptor, so hold it around the action only and compare after
// release(): a failure message written meanwhile would land in the file.

#include <QFile>
#include <QStringList>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

class ConsoleCapture {
public:
    ConsoleCapture()
    {
        std::fflush(stdout);
        if (m_file.open())
            dup2(m_file.handle(), fileno(stdout));
    }
    ~ConsoleCapture() { release(); }
    ConsoleCapture(const ConsoleCapture &) = delete;
    ConsoleCapture &operator=(const ConsoleCapture &) = delete;

    // Everything written so far, exactly; still readable after release().
    QString text()
    {
        std::fflush(stdout);
        QFile in(m_file.fileName());
        return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
    }
    QStringList lines() { return text().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

    // Gives standard output back; returns the captured lines.
    QStringList release()
    {
        if (m_saved >= 0) {
            std::fflush(stdout);
            dup2(m_saved, fileno(stdout));
            close(m_saved);
            m_saved = -1;
        }
        return lines();
    }

private:
    QTemporaryFile m_file;
    int m_saved = dup(fileno(stdout));
};
