#pragma once

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

// The server's one SQLite file. Single-threaded: the HTTP server, the seeder
// and every route run on the main thread, so one connection serves all.
class Database {
public:
    static constexpr int schemaVersion = 2;

    Database() = default;
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens (creating if needed) DIR/papelo.sqlite, WAL mode, schema at schemaVersion.
    bool open(const QString &dir);
    void close();
    QString errorString() const { return m_error; }
    QString filePath() const { return m_path; }
    bool hasFullTextSearch() const { return m_fts; }

    QSqlDatabase handle() const;
    // A prepared query on this connection; the caller binds and executes.
    QSqlQuery prepare(const QString &sql) const;
    // The same, kept for the next caller of this text: preparing costs more
    // than running most statements here. Bind with bindValue(index, value)
    // and finish() it once read.
    QSqlQuery &reused(const QString &sql) const;
    // Runs a statement with positional values; false on failure.
    bool exec(const QString &sql, const QVariantList &values = {}) const;
    // First column of the first row, or an invalid QVariant.
    QVariant scalar(const QString &sql, const QVariantList &values = {}) const;

private:
    bool createSchema();
    bool upgradeTo2();
    bool migrate();

    QString m_connection;
    mutable QHash<QString, QSqlQuery> m_reused;
    QString m_path;
    mutable QString m_error;  // last failure, for the start-up message
    bool m_fts = false;
};

// Everything between construction and commit() is stored or nothing is:
// rolls back when it goes out of scope uncommitted.
class Transaction {
public:
    explicit Transaction(const Database &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    bool isActive() const { return m_active; }
    bool commit();

private:
    QSqlDatabase m_db;
    bool m_active = false;
};
