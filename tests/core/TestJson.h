#pragma once

// JSON fixtures shared by the core tests. Plain functions: QJsonObject brace
// initialisers must stay out of coroutine bodies on GCC 12.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>

namespace testjson {

inline QJsonObject author(qint64 id = 7, const QString &name = QStringLiteral("林"))
{
    return QJsonObject{{"id", id}, {"username", name}, {"role", "author"}};
}

// The required keys of a listed article; counts left out unless given.
inline QJsonObject article(qint64 id)
{
    return QJsonObject{{"id", id},
                       {"title", QStringLiteral("标题 %1").arg(id)},
                       {"date", "2024-05-01 08:00:00"},
                       {"views", 3},
                       {"url", QStringLiteral("/a/%1").arg(id)}};
}

inline QJsonObject detail(qint64 id, qint64 likes, qint64 comments)
{
    return QJsonObject{{"id", id},         {"title", "正文"},       {"filename", "a.md"},
                       {"views", 10},      {"likes", likes},        {"comments", comments},
                       {"date", "2024-05-01"}, {"body", "<p>hi</p>"}, {"author", author()}};
}

inline QJsonObject comment(qint64 id)
{
    return QJsonObject{{"id", id}, {"name", "访客"}, {"content", "好文"}, {"likes", 0}, {"time", "2024-05-02 10:00"}};
}

inline QByteArray bytes(const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }
inline QByteArray bytes(const QJsonArray &a) { return QJsonDocument(a).toJson(QJsonDocument::Compact); }

// Error texts are shown to the reader as they are; they must be Chinese.
inline bool isChinese(const QString &text)
{
    static const QRegularExpression han(QStringLiteral("[\\x{4e00}-\\x{9fff}]"));
    return han.match(text).hasMatch();
}

} // namespace testjson
