#include "core/AppSettings.h"
#include "core/ReadingPositions.h"
#include "core/AuthManager.h"
#include "ConsoleCapture.h"
#include "DataTable.h"
#include "Fixtures.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;

namespace {
Author user(std::optional<QString> bio = {})
{
    return {.id = std::numeric_limits<qint64>::max(), .username = QStringLiteral("林 小"), .role = QStringLiteral("author"), .bio = bio};
}

QByteArray fileText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QVariant stored(const QString &path, const QString &key) { return QSettings(path, QSettings::IniFormat).value(key); }

// Writes a key the way a previous run, or a damaged file, left it.
void writeRaw(const QString &path, const QString &key, const QVariant &value) { QSettings(path, QSettings::IniFormat).setValue(key, value); }

// Owner, group and other bits; Qt's "user" bits only repeat the owner's.
QFileDevice::Permissions modeOf(const QString &path) { return QFile::permissions(path) & QFileDevice::Permissions::fromInt(0x7077); }
const QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
} // namespace

// Sign-in and appearance survive a restart: every "restart" is a fresh object
// over the same settings file. The token lives in that file here; the
// keychain has its own test.
class PersistenceTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_path;
    int m_case = 0;

    std::unique_ptr<AuthManager> restarted(const QString &server = {})
    {
        auto auth = std::make_unique<AuthManager>(m_path);
        if (!server.isEmpty())
            auth->setServer(server);
        QCoro::waitFor(auth->loadFromStorage());
        return auth;
    }

private slots:
    void initTestCase() { qputenv("PAPELO_TOKEN_STORE", "file"); }
    void init() { m_path = m_dir.filePath(QStringLiteral("settings-%1.ini").arg(++m_case)); }

    void signInSurvivesRestarts()
    {
        {
            AuthManager auth(m_path);
            QSignalSpy changed(&auth, &AuthManager::changed);
            auth.login(QStringLiteral(" tok=en/中 "), user());
            QCOMPARE(changed.count(), 3); // token, user, flag
        }
        // No "bio" key at all, not even null, when there is none.
        QCOMPARE(QJsonDocument::fromJson(stored(m_path, "authUser").toByteArray()).object().keys(),
                 (QStringList{"id", "role", "username"}));
        QVERIFY(!AuthManager(m_path).isLoggedIn()); // construction reads nothing
        auto auth = restarted();
        QVERIFY(auth->isLoggedIn());
        QCOMPARE(auth->token(), std::optional<QString>(QStringLiteral(" tok=en/中 ")));
        QCOMPARE(fixtures::bytes(auth->user()->toJson()), fixtures::bytes(user().toJson()));  // 64-bit id exact, no signature

        // An edited signature is stored only when persisted; empty stays present.
        for (const QString &bio : {QString(""), QStringLiteral("签名\n第二行")}) {
            auth->setUser(user(QStringLiteral("不存")));
            auth = restarted();
            QVERIFY(auth->user()->bio != QStringLiteral("不存"));
            auth->setUser(user(bio));
            auth->persistUser();
            auth = restarted();
            QCOMPARE(auth->user()->bio, std::optional(bio));
            QCOMPARE(auth->token(), std::optional<QString>(QStringLiteral(" tok=en/中 ")));
        }

        auth->logout();
        QVERIFY(!auth->isLoggedIn() && !auth->token() && !auth->user());
        QVERIFY(!fileText(m_path).contains("authToken") && !fileText(m_path).contains("authUser"));
        // Without a stored sign-in there is nothing for persistUser() to update.
        auth->setToken(QStringLiteral("t"));
        auth->setUser(user());
        auth->persistUser();
        QVERIFY(!stored(m_path, "authUser").isValid());
    }

    // Nothing stored, half a sign-in, or a user record that no longer decodes:
    // loading changes nothing, neither the signed-in state in memory nor the file.
    void unusableSignInChangesNothing_data() { data::table<QString, QByteArray>("core/unusable-sign-ins.tsv"); }
    void unusableSignInChangesNothing()
    {
        QFETCH(QString, token);
        QFETCH(QByteArray, user);
        if (token != "-")
            writeRaw(m_path, "authToken", token);
        if (user != "-")
            writeRaw(m_path, "authUser", QByteArray::fromPercentEncoding(user));
        const QByteArray before = fileText(m_path);
        AuthManager auth(m_path);
        auth.setToken(QStringLiteral("mem")); // in memory only
        auth.setLoggedIn(true);
        QSignalSpy changed(&auth, &AuthManager::changed);
        QCoro::waitFor(auth.loadFromStorage());
        QVERIFY(auth.isLoggedIn() && auth.token() == QStringLiteral("mem") && !auth.user());
        QCOMPARE(changed.count(), 0);
        QCOMPARE(fileText(m_path), before);
    }

    // A token stays with the server that issued it: a run against another
    // origin is signed out and leaves it stored; going back restores it; a
    // sign-in there replaces it (one stored sign-in). One stored before
    // origins were kept belongs to the first server that reads it.
    void signInBelongsToItsServer()
    {
        const QString a = QStringLiteral("http://127.0.0.1:4101"), b = QStringLiteral("http://[::1]:4101");
        writeRaw(m_path, "authToken", QStringLiteral("tok-a"));
        writeRaw(m_path, "authUser", fixtures::bytes(user().toJson()));
        QVERIFY(restarted(a)->isLoggedIn());
        QCOMPARE(stored(m_path, "authOrigin").toString(), a);
        const QByteArray before = fileText(m_path);
        auto auth = restarted(QStringLiteral("http://127.0.0.1:4102"));
        QVERIFY(!auth->isLoggedIn() && !auth->token() && auth->issuingOrigin().isEmpty());
        auth->setServer(a + QStringLiteral("/")); // the same origin, written otherwise: restored at once
        QVERIFY(auth->token() == QStringLiteral("tok-a") && auth->issuingOrigin() == a);
        auth->setServer(b); // signed out in memory only
        QVERIFY(!auth->isLoggedIn() && !auth->token() && fileText(m_path) == before);
        auth->login(QStringLiteral("tok-b"), user());
        QVERIFY(!restarted(a)->isLoggedIn());
        QCOMPARE(restarted(b)->token(), std::optional<QString>(QStringLiteral("tok-b")));
    }

    // The file holds the token: only its owner may read it, from the first
    // write on (folders made on the way) and after every rewrite.
    void settingsFileIsOwnerOnly()
    {
        AuthManager auth(m_path);
        auth.login(QStringLiteral("secret"), user());
        QCOMPARE(modeOf(m_path), kOwnerOnly);
        AppSettings(m_path).setThemeMode(ThemeMode::Dark);
        QCOMPARE(modeOf(m_path), kOwnerOnly);
        auth.login(QStringLiteral("secret2"), user());
        QCOMPARE(modeOf(m_path), kOwnerOnly);
        QVERIFY(fileText(m_path).contains("secret2"));
        const QString nested = m_dir.filePath(QStringLiteral("fresh/config/papelo.ini"));
        AuthManager(nested).login(QStringLiteral("secret3"), user());
        QCOMPARE(modeOf(nested), kOwnerOnly);
    }

    void unwritableSettingsAreToldAndKeptInMemory()
    {
        QFile blocker(m_dir.filePath(QStringLiteral("plain-file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where a folder should be: unwritable, even for root
        AppSettings settings(blocker.fileName() + QStringLiteral("/papelo.ini"));
        ConsoleCapture capture;
        settings.setThemeMode(ThemeMode::Dark);
        const QStringList lines = capture.release();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.constFirst().startsWith("设置保存失败：") && fixtures::isChinese(lines.constFirst()), qPrintable(lines.constFirst()));
        QCOMPARE(settings.themeMode(), ThemeMode::Dark);
    }

    // What is stored reads as a segment of the picker, anything unknown or
    // nothing as "system", without writing; a pick stores its raw value.
    void themeChoiceSurvivesRestart_data()
    {
        data::table<QString, int>("core/theme-choices.tsv");
        QTest::newRow("empty") << QString("") << 0;
    }
    void themeChoiceSurvivesRestart()
    {
        QFETCH(QString, raw);
        QFETCH(int, index);
        const QStringList raws{"system", "light", "dark"}, labels{"跟随系统", "浅色", "深色"};
        const std::optional<ColorScheme> schemes[] = {std::nullopt, ColorScheme::Light, ColorScheme::Dark};
        if (!raw.isNull())
            writeRaw(m_path, "themeModeRaw", raw);
        const QByteArray before = fileText(m_path);
        AppSettings settings(m_path);
        QVERIFY(settings.themeModeIndex() == index && settings.colorScheme() == schemes[index]);
        QCOMPARE(papelo::label(settings.themeMode()), labels[index]);
        QCOMPARE(settings.themeModeRaw(), raw.isNull() ? QStringLiteral("system") : raw);
        settings.setThemeModeIndex(7);  // out of range: ignored
        settings.setThemeModeIndex(-1);
        QVERIFY(fileText(m_path) == before && QFile::exists(m_path) == !raw.isNull());
        const int next = (index + 1) % 3;
        QSignalSpy changed(&settings, &AppSettings::changed);
        settings.setThemeModeIndex(next);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(stored(m_path, "themeModeRaw").toString(), raws[next]);
        QCOMPARE(AppSettings(m_path).themeModeIndex(), next);
    }

    // The text size: the steps within 80..200 and back to 100; what is
    // stored survives a restart, anything else stored reads as 100.
    void textSizeStepsAndSurvivesRestart_data() { data::table<QString, QStringList, QStringList>("core/text-size-steps.tsv"); }
    void textSizeStepsAndSurvivesRestart()
    {
        QFETCH(QString, stored);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, sizes);
        if (stored != "-")
            writeRaw(m_path, "textSizePercent", stored);
        const int start = stored.toInt() && AppSettings::isTextSize(stored.toInt()) ? stored.toInt() : 100;
        QCOMPARE(AppSettings(m_path).textSizePercent(), start);
        for (qsizetype i = 0; i < steps.size(); ++i) {
            AppSettings settings(m_path);
            settings.stepTextSize(steps.at(i).toInt());
            QCOMPARE(settings.textSizePercent(), sizes.at(i).toInt());
            QCOMPARE(AppSettings(m_path).textSizePercent(), sizes.at(i).toInt());
        }
        AppSettings run(m_path); // the screenshot mode's size is this run's only
        run.setTextSizeForRun(80);
        QVERIFY(run.textSizePercent() == 80 && AppSettings(m_path).textSizePercent() == sizes.last().toInt());
    }

    // Reading positions: per origin and id, most recent first, at most 200,
    // through a restart; flushed on demand; damaged stored entries are dropped
    // one by one, the sound ones kept.
    void readingPositionsSurviveRestartWithinTheirBound()
    {
        {
            ReadingPositions positions(m_path);
            for (qint64 id = 1; id <= ReadingPositions::kLimit + 5; ++id)
                positions.remember(QStringLiteral("https://a.example"), id, {int(id), 0.25, 0.5});
            positions.remember(QStringLiteral("https://b.example"), 1, {7, 2.0, qQNaN()});  // kept within 0..1
            positions.remember(QStringLiteral("https://a.example"), 100, {3, 0.5, 0.75});  // the most recent again
            positions.forget(QStringLiteral("https://a.example"), 101);
            positions.flush();
            QVERIFY(!stored(m_path, "readingPositions").isNull());
        }
        ReadingPositions again(m_path);
        QCOMPARE(again.size(), ReadingPositions::kLimit - 1);
        QVERIFY(!again.place(QStringLiteral("https://a.example"), 6));  // the oldest went first
        QVERIFY(again.place(QStringLiteral("https://a.example"), 7));
        QVERIFY(!again.place(QStringLiteral("https://a.example"), 101));
        QVERIFY((again.place(QStringLiteral("https://b.example"), 1) == ReadingPlace{7, 1.0, 0.0}));
        QVERIFY((again.place(QStringLiteral("https://a.example"), 100) == ReadingPlace{3, 0.5, 0.75}));
        QCOMPARE(again.progress(QStringLiteral("https://b.example"), 100), 0.0);  // another server's article

        writeRaw(m_path, "readingPositions", data::bytes("core/reading-positions-damaged.json"));
        ReadingPositions damaged(m_path);
        QCOMPARE(damaged.size(), 1);
        QVERIFY((damaged.place(QStringLiteral("o"), 5) == ReadingPlace{2, 0.5, 0.5}));
    }
};

QTEST_GUILESS_MAIN(PersistenceTest)
#include "tst_persistence.moc"
