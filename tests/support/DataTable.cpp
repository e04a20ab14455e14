#include "DataTable.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <deque>

namespace data {

QByteArray bytes(const QString &relative)
{
    QFile file(QStringLiteral(PAPELO_SOURCE_DIR "/tests/data/") + relative);
    if (!file.open(QIODevice::ReadOnly)) {
        QTest::qFail(qPrintable(QStringLiteral("no data file %1").arg(file.fileName())), __FILE__, __LINE__);
        return {};
    }
    return file.readAll();
}

QJsonValue json(const QString &relative)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes(relative), &error);
    if (error.error != QJsonParseError::NoError)
        QTest::qFail(qPrintable(relative + QLatin1String(": ") + error.errorString()), __FILE__, __LINE__);
    return doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
}

static QString unescape(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text.at(++i);
        out += next == QLatin1Char('t') ? QChar(u'\t') : next == QLatin1Char('n') ? QChar(u'\n') : next;
    }
    return out;
}

QList<QStringList> rows(const QString &relative)
{
    QList<QStringList> out;
    for (const QString &line : QString::fromUtf8(bytes(relative)).split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QStringList fields = line.split(QLatin1Char('\t'));
        for (QString &f : fields)
            f = unescape(f);
        out.append(fields);
    }
    return out;
}

void failTable(const QString &message) { QTest::qFail(qPrintable(message), __FILE__, __LINE__); }

const char *columnName(const QString &name)
{
    static std::deque<QByteArray> names;  // a deque never moves what it holds
    return names.emplace_back(name.toUtf8()).constData();
}

} // namespace data
