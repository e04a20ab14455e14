#pragma once

#include "store/Auth.h"
#include "store/Database.h"

// Fills an empty store. Each seeding runs in one transaction: a store is
// either fully seeded or left empty, and batching keeps 100,000 rows fast.
class Seeder {
public:
    static constexpr const char *demoUser = "demo";
    static constexpr const char *demoPassword = "demo1234";

    Seeder(const Database &db, const Auth &auth) : m_db(db), m_auth(auth) {}

    bool isEmpty() const;
    // The demo site: ~120 published articles by 8 authors, 12 tags,
    // comments, likes, a few pending articles and the demo account.
    bool seedDemo();
    // count published articles with short bodies, for performance work.
    bool seedArticles(int count);
    QString errorString() const { return m_error; }

private:
    struct Prepared;
    bool seed(int articleCount, bool demo);

    const Database &m_db;
    const Auth &m_auth;
    QString m_error;
};
