#pragma once

#include <QRandomGenerator>
#include <QString>
#include <QStringList>

// Deterministic Chinese demo text: the same generator state always yields
// the same titles and bodies, so a seeded site looks the same on every machine.
namespace DemoContent {

struct Body {
    QString html;  // fragment; "{{origin}}" stands for the server's address
    QString text;  // the same words without markup, for search
};

QString title(QRandomGenerator &rng);
// paragraphs: rough length; rich adds figures, tables, code and quotes
Body body(QRandomGenerator &rng, qint64 articleId, int paragraphs, bool rich);
QString commentText(QRandomGenerator &rng);

const QStringList &authorNames();
const QStringList &tagNames();
const QStringList &guestNames();

} // namespace DemoContent
