#pragma once

// Case tables kept as files under tests/data, so a table of inputs and
// expectations reads as data rather than as code. A table file is text: the
// first line names the columns (row name first), then one row per line;
// fields are separated by tabs; "\t", "\n" and "\\" escape inside a field;
// blank lines and lines starting with "#" are skipped.

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <utility>

namespace data {

// The whole of tests/data/<relative>; a missing file fails the running test.
QByteArray bytes(const QString &relative);
QJsonValue json(const QString &relative);
// The header and the rows of a table file, fields unescaped.
QList<QStringList> rows(const QString &relative);

// Fails the running test over a table file that does not read.
void failTable(const QString &message);

// A field as a column's type: bool is "yes" or "no", numbers are decimal,
// lists are comma-separated (empty field: empty list). Anything else fails
// the table, so a mistyped row cannot pass as "no" or 0.
template <class T> T field(const QString &text)
{
    bool ok = true;
    T value{};
    if constexpr (std::is_same_v<T, bool>) {
        value = text == QLatin1String("yes");
        ok = value || text == QLatin1String("no");
    }
    else if constexpr (std::is_same_v<T, int>)
        value = text.toInt(&ok);
    else if constexpr (std::is_same_v<T, qint64>)
        value = text.toLongLong(&ok);
    else if constexpr (std::is_same_v<T, double>)
        value = text.toDouble(&ok);
    else if constexpr (std::is_same_v<T, QByteArray>)
        value = text.toUtf8();
    else if constexpr (std::is_same_v<T, QStringList>)
        value = text.isEmpty() ? QStringList() : text.split(QLatin1Char(','));
    else
        value = T(text);
    if (!ok)
        failTable(QStringLiteral("table field \"%1\" does not read as its column's type (yes/no, a number)").arg(text));
    return value;
}

// A column name that lives as long as the test: QtTest keeps the pointer, not the text.
const char *columnName(const QString &name);

// Declares the columns of the running _data() function from the file's
// header, typed Ts in order, and adds every row.
template <class... Ts> void table(const QString &relative)
{
    const QList<QStringList> all = rows(relative);
    if (all.isEmpty())
        return;
    constexpr qsizetype columns = 1 + qsizetype(sizeof...(Ts));
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (QTest::addColumn<Ts>(columnName(all.first().value(I + 1))), ...);
        for (qsizetype r = 1; r < all.size(); ++r) {
            const QStringList &row = all.at(r);
            if (row.size() != columns || all.first().size() != columns)
                return failTable(QStringLiteral("%1: row \"%2\" has %3 fields, the table %4")
                                     .arg(relative, row.value(0))
                                     .arg(row.size())
                                     .arg(columns));
            (QTest::newRow(qPrintable(row.first())) << ... << field<Ts>(row.at(I + 1)));
        }
    }(std::index_sequence_for<Ts...>());
}

} // namespace data
