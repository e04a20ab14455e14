#include "core/AppSettings.h"
#include "core/AuthManager.h"
#include "core/Envelopes.h"

#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;

namespace {
Author makeUser(std::optional<QString> bio)
{
    Author a;
    a.id = 42;
    a.username = QStringLiteral("林 小");
    a.role = QStringLiteral("author");
    a.bio = std::move(bio);
    return a;
}

QByteArray fileText(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// Writes keys the way a previous run (or a damaged file) left them.
void writeRaw(const QString &path, const QString &key, const QVariant &value)
{
    QSettings s(path, QSettings::IniFormat);
    s.setValue(key, value);
    s.sync();
}
} // namespace

// Sign-in and appearance survive a restart: every "restart" is a fresh
// object over the same settings file in a temporary directory.
class PersistenceTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_path;
    int m_case = 0;

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("settings-%1.ini").arg(++m_case));
    }

    // ---- AuthManager ---------------------------------------------------------
    void loginSurvivesRestart()
    {
        {
            AuthManager auth(m_path);
            QSignalSpy changed(&auth, &AuthManager::changed);
            auth.login(QStringLiteral(" tok=en/中 "), makeUser(QStringLiteral("旧签名")));
            QVERIFY(auth.isLoggedIn());
            QCOMPARE(changed.count(), 3); // token, user, flag
        }
        AuthManager restarted(m_path);
        // Construction reads nothing: signed out until the account screen loads.
        QVERIFY(!restarted.isLoggedIn());
        QVERIFY(!restarted.token());
        QVERIFY(!restarted.user());
        restarted.loadFromStorage();
        QVERIFY(restarted.isLoggedIn());
        QCOMPARE(*restarted.token(), QStringLiteral(" tok=en/中 "));
        QCOMPARE(restarted.user()->id, 42);
        QCOMPARE(restarted.user()->username, QStringLiteral("林 小"));
        QCOMPARE(*restarted.user()->bio, QStringLiteral("旧签名"));
    }

    void storedUserJsonShape()
    {
        AuthManager auth(m_path);
        auth.login(QStringLiteral("t"), makeUser(std::nullopt));
        const QByteArray stored = QSettings(m_path, QSettings::IniFormat).value("authUser").toByteArray();
        const QJsonObject o = QJsonDocument::fromJson(stored).object();
        QStringList keys = o.keys();
        QCOMPARE(keys, (QStringList{"id", "role", "username"})); // no "bio", not even null
        AuthManager restarted(m_path);
        restarted.loadFromStorage();
        QVERIFY(restarted.isLoggedIn());
        QVERIFY(!restarted.user()->bio.has_value());
    }

    void tokenWithoutUserIsNotRestored()
    {
        writeRaw(m_path, "authToken", QStringLiteral("orphan"));
        AuthManager auth(m_path);
        QSignalSpy changed(&auth, &AuthManager::changed);
        auth.loadFromStorage();
        QVERIFY(!auth.isLoggedIn());
        QVERIFY(!auth.token());
        QCOMPARE(changed.count(), 0);
    }

    void userWithoutTokenIsNotRestored()
    {
        writeRaw(m_path, "authUser", QJsonDocument(makeUser(std::nullopt).toJson()).toJson());
        AuthManager auth(m_path);
        auth.loadFromStorage();
        QVERIFY(!auth.isLoggedIn());
        QVERIFY(!auth.user());
    }

    void corruptUserIsIgnored_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("not json") << QVariant(QByteArray("{not json"));
        QTest::newRow("missing role") << QVariant(QByteArray(R"({"id":1,"username":"u"})"));
        QTest::newRow("id as string") << QVariant(QByteArray(R"({"id":"1","username":"u","role":"r"})"));
        QTest::newRow("array") << QVariant(QByteArray("[]"));
        QTest::newRow("empty") << QVariant(QByteArray());
        QTest::newRow("binary") << QVariant(QByteArray("\x00\xff\xfe", 3));
    }
    void corruptUserIsIgnored()
    {
        QFETCH(QVariant, stored);
        writeRaw(m_path, "authToken", QStringLiteral("t"));
        writeRaw(m_path, "authUser", stored);
        AuthManager auth(m_path);
        auth.loadFromStorage();
        QVERIFY(!auth.isLoggedIn());
        QVERIFY(!auth.token());
        QVERIFY(!auth.user());
        // The stored data is left for what it is; nothing is rewritten.
        QCOMPARE(QSettings(m_path, QSettings::IniFormat).value("authToken").toString(), QStringLiteral("t"));
    }

    void loadNeverClears()
    {
        AuthManager auth(m_path);
        auth.setToken(QStringLiteral("mem"));
        auth.setUser(makeUser(std::nullopt));
        auth.setLoggedIn(true);
        auth.loadFromStorage(); // nothing stored
        QVERIFY(auth.isLoggedIn());
        QCOMPARE(*auth.token(), QStringLiteral("mem"));
        QVERIFY(!QFile::exists(m_path) || !QSettings(m_path, QSettings::IniFormat).contains("authToken"));
    }

    void logoutThenRestartFindsNothing()
    {
        {
            AuthManager auth(m_path);
            auth.login(QStringLiteral("t"), makeUser(QStringLiteral("b")));
            auth.logout();
            QVERIFY(!auth.isLoggedIn());
            QVERIFY(!auth.token());
            QVERIFY(!auth.user());
        }
        QSettings raw(m_path, QSettings::IniFormat);
        QVERIFY(!raw.contains("authToken"));
        QVERIFY(!raw.contains("authUser"));
        QVERIFY(!fileText(m_path).contains("authToken"));
        AuthManager restarted(m_path);
        restarted.loadFromStorage();
        QVERIFY(!restarted.isLoggedIn());
    }

    void bioAssignmentIsInMemoryUntilPersisted()
    {
        {
            AuthManager auth(m_path);
            auth.login(QStringLiteral("t"), makeUser(QStringLiteral("第一版")));
            Author edited = *auth.user();
            edited.bio = QStringLiteral("第二版");
            auth.setUser(edited);
            QCOMPARE(auth.userBio(), QStringLiteral("第二版"));
        }
        {
            AuthManager restarted(m_path);
            restarted.loadFromStorage();
            QCOMPARE(*restarted.user()->bio, QStringLiteral("第一版"));
            Author edited = *restarted.user();
            edited.bio = QStringLiteral("第三版");
            restarted.setUser(edited);
            restarted.persistUser();
        }
        AuthManager again(m_path);
        again.loadFromStorage();
        QCOMPARE(*again.user()->bio, QStringLiteral("第三版"));
        QCOMPARE(*again.token(), QStringLiteral("t"));

        // Without a stored sign-in there is nothing to update.
        again.logout();
        again.setUser(makeUser(QStringLiteral("x")));
        again.persistUser();
        QVERIFY(!QSettings(m_path, QSettings::IniFormat).contains("authUser"));
    }

    void settingsFileIsPrivate()
    {
        const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        const QFileDevice::Permissions mask = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                              | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                                              | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        AuthManager auth(m_path);
        auth.login(QStringLiteral("secret"), makeUser(std::nullopt));
        QCOMPARE(QFile::permissions(m_path) & mask, ownerOnly);
        AppSettings settings(m_path);
        settings.setThemeMode(ThemeMode::Dark); // rewriting the file keeps it private
        QCOMPARE(QFile::permissions(m_path) & mask, ownerOnly);
        auth.login(QStringLiteral("secret2"), makeUser(std::nullopt));
        QCOMPARE(QFile::permissions(m_path) & mask, ownerOnly);
        QVERIFY(fileText(m_path).contains("secret2"));

        // First write into a directory that does not exist yet.
        const QString nested = m_dir.filePath(QStringLiteral("fresh/config/papelo.ini"));
        {
            AuthManager first(nested);
            first.login(QStringLiteral("secret3"), makeUser(std::nullopt));
            QCOMPARE(QFile::permissions(nested) & mask, ownerOnly);
        }
        AuthManager restarted(nested);
        restarted.loadFromStorage();
        QVERIFY(restarted.isLoggedIn());
        QCOMPARE(*restarted.token(), QStringLiteral("secret3"));
    }

    // ---- AppSettings ---------------------------------------------------------
    void themeFirstStart()
    {
        AppSettings settings(m_path);
        QCOMPARE(settings.themeModeRaw(), QStringLiteral("system"));
        QCOMPARE(settings.themeMode(), ThemeMode::System);
        QVERIFY(!settings.colorScheme().has_value());
        QCOMPARE(settings.themeModeIndex(), 0);
        QVERIFY(!QFile::exists(m_path)); // reading writes nothing
    }

    void themeChoiceSurvivesRestart()
    {
        {
            AppSettings settings(m_path);
            QSignalSpy changed(&settings, &AppSettings::changed);
            settings.setThemeModeIndex(2); // the picker's "深色" segment
            QCOMPARE(changed.count(), 1);
            QCOMPARE(settings.themeMode(), ThemeMode::Dark);
        }
        QCOMPARE(QSettings(m_path, QSettings::IniFormat).value("themeModeRaw").toString(), QStringLiteral("dark"));
        AppSettings restarted(m_path);
        QCOMPARE(restarted.themeMode(), ThemeMode::Dark);
        QCOMPARE(*restarted.colorScheme(), ColorScheme::Dark);
        restarted.setThemeMode(ThemeMode::Light);
        QCOMPARE(*AppSettings(m_path).colorScheme(), ColorScheme::Light);
        restarted.setThemeModeIndex(7); // out of range: ignored
        restarted.setThemeModeIndex(-1);
        QCOMPARE(AppSettings(m_path).themeMode(), ThemeMode::Light);
    }

    void unknownStoredValueReadsAsSystemAndStays_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("case differs") << QStringLiteral("Dark");
        QTest::newRow("padded") << QStringLiteral(" dark");
        QTest::newRow("other") << QStringLiteral("sepia");
        QTest::newRow("empty") << QString("");
    }
    void unknownStoredValueReadsAsSystemAndStays()
    {
        QFETCH(QString, stored);
        writeRaw(m_path, "themeModeRaw", stored);
        const QByteArray before = fileText(m_path);
        AppSettings settings(m_path);
        QCOMPARE(settings.themeMode(), ThemeMode::System);
        QVERIFY(!settings.colorScheme().has_value());
        QCOMPARE(settings.themeModeRaw(), stored);
        QCOMPARE(fileText(m_path), before); // no migration
        settings.setThemeMode(ThemeMode::System); // replaced only by a pick
        QCOMPARE(QSettings(m_path, QSettings::IniFormat).value("themeModeRaw").toString(), QStringLiteral("system"));
    }

    void themeModeTable()
    {
        QCOMPARE(allThemeModes(), (QList<ThemeMode>{ThemeMode::System, ThemeMode::Light, ThemeMode::Dark}));
        const QStringList raws{"system", "light", "dark"};
        const QStringList labels{"跟随系统", "浅色", "深色"};
        for (int i = 0; i < 3; ++i) {
            const ThemeMode mode = allThemeModes().at(i);
            QCOMPARE(rawValue(mode), raws.at(i));
            QCOMPARE(label(mode), labels.at(i));
            QCOMPARE(themeModeFromRaw(raws.at(i)), std::optional<ThemeMode>(mode));
            QVERIFY(!themeModeFromRaw(raws.at(i).toUpper()).has_value());
        }
        QVERIFY(!themeModeFromRaw(QString()).has_value());
    }
};

QTEST_GUILESS_MAIN(PersistenceTest)
#include "tst_persistence.moc"
