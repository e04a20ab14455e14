#include "ConsoleCapture.h"
#include "Fixtures.h"
#include "core/AuthManager.h"
#include "core/KeychainCall.h"

#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace papelo;

// Runs under ctest inside a private session bus with an unlocked, throwaway
// gnome-keyring (see CMakeLists.txt); a "restart" is a new AuthManager over
// the same settings file.
namespace {
// The keychain entry of a settings file's sign-in for an origin (none: the
// entry of older versions), read with libsecret's own tool.
QString keychainEntry(const QString &settingsPath, const QString &origin = "http://127.0.0.1:4000")
{
    QProcess tool;
    tool.start("secret-tool", {"lookup", "server", "papelo", "user", origin.isEmpty() ? settingsPath : settingsPath + " " + origin});
    tool.waitForFinished(5000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

QVariant inFile(const QString &path, const QString &key) { return QSettings(path, QSettings::IniFormat).value(key); }

} // namespace

class KeychainTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void init()
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") && QTest::currentTestFunction() != QByteArray("withoutABusTheTokenStaysInThePrivateFile"))
            QSKIP("needs the private bus and keyring of the ctest entry");
    }

    // A token left in the file by older versions moves into the keychain; a
    // sign-in goes there too and leaves the file once the keychain has it.
    void tokenRoundTripsThroughTheKeychain()
    {
        const QString file = m_dir.filePath("roundtrip.ini");
        QSettings(file, QSettings::IniFormat).setValue("authToken", "old-token");
        QSettings(file, QSettings::IniFormat).setValue("authUser", fixtures::bytes(fixtures::author().toJson()));
        {
            AuthManager auth(file);
            QCoro::waitFor(auth.loadFromStorage());
            QCOMPARE(auth.token(), std::optional<QString>("old-token"));
            QTRY_VERIFY(!inFile(file, "authToken").isValid());
            QCOMPARE(keychainEntry(file), QString("old-token"));
            auth.login("tok 令牌", fixtures::author());
        }
        QTRY_VERIFY(!inFile(file, "authToken").isValid() && keychainEntry(file) == QString("tok 令牌"));
        QVERIFY(inFile(file, "authUser").isValid());

        AuthManager restarted(file);
        auto restore = restarted.loadFromStorage();
        QVERIFY(!restarted.isLoggedIn()); // signed out until the keychain answers
        QCoro::waitFor(std::move(restore));
        QVERIFY(restarted.isLoggedIn());
        QCOMPARE(restarted.token(), std::optional<QString>("tok 令牌"));
        QCOMPARE(restarted.user()->username, fixtures::author().username);

        // Signing in on another server replaces the stored sign-in and its entry.
        restarted.setServer("http://other.test:4000");
        restarted.login("tok-b", fixtures::author());
        QTRY_COMPARE(keychainEntry(file, "http://other.test:4000"), QString("tok-b"));
        QTRY_COMPARE(keychainEntry(file), QString());

        restarted.logout();
        QTRY_COMPARE(keychainEntry(file, "http://other.test:4000"), QString());
        QVERIFY(!inFile(file, "authToken").isValid() && !inFile(file, "authUser").isValid());  // nothing left to restore
    }

    // An entry named by the settings file alone (older versions) belongs to
    // the first server that restores it and moves under its origin.
    void olderEntryMovesUnderTheOrigin()
    {
        const QString file = m_dir.filePath("older.ini");
        KeychainCall write(KeychainCall::Op::Write, file, "older-token");
        QVERIFY(QSignalSpy(&write, &KeychainCall::done).wait(5000) && !write.failed());
        QSettings(file, QSettings::IniFormat).setValue("authUser", fixtures::bytes(fixtures::author().toJson()));
        AuthManager auth(file);
        QCoro::waitFor(auth.loadFromStorage());
        QVERIFY(auth.token() == QString("older-token") && inFile(file, "authOrigin") == QString("http://127.0.0.1:4000"));
        QTRY_VERIFY(keychainEntry(file) == QString("older-token") && keychainEntry(file, "").isEmpty());
    }

    void withoutABusTheTokenStaysInThePrivateFile()
    {
        const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("XDG_RUNTIME_DIR", m_dir.path().toUtf8()); // no "bus" socket here either
        const QString file = m_dir.filePath("fallback.ini");
        ConsoleCapture capture;
        {
            AuthManager auth(file);
            auth.login("first", fixtures::author());
            auth.logout();
            auth.login("file-token", fixtures::author());
        }
        const QStringList lines = capture.release();
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
        qputenv("XDG_RUNTIME_DIR", runtime);

        QCOMPARE(lines.size(), 1); // said once
        QVERIFY2(lines.constFirst().startsWith("钥匙串不可用："), qPrintable(lines.constFirst()));
        QCOMPARE(inFile(file, "authToken").toString(), QString("file-token"));  // owner-only as every settings write
        if (!bus.isEmpty())  // the keychain was there all along and got nothing
            QCOMPARE(keychainEntry(file), QString());
    }

    // A keychain that refuses the write (a locked collection nobody can be
    // prompted to unlock) leaves the token in the file for the next start.
    // Last: a failure switches the keychain off for the rest of the run.
    void aRefusedWriteKeepsTheTokenInTheFile()
    {
        QCOMPARE(QProcess::execute("dbus-send", {"--session", "--print-reply", "--reply-timeout=5000", "--dest=org.freedesktop.secrets",
                                                 "/org/freedesktop/secrets", "org.freedesktop.Secret.Service.Lock",
                                                 "array:objpath:/org/freedesktop/secrets/collection/login"}), 0);
        const QString file = m_dir.filePath("refused.ini");
        // Stored for this server already: no older entry to remove, so the
        // write is the only call, and the keychain is off once it has failed.
        QSettings(file, QSettings::IniFormat).setValue("authOrigin", "http://127.0.0.1:4000");
        AuthManager(file).login("kept", fixtures::author());
        QTRY_COMPARE(KeychainCall::availability(), KeychainCall::Availability::Unavailable);
        QCOMPARE(inFile(file, "authToken").toString(), QString("kept"));
    }
};

QTEST_GUILESS_MAIN(KeychainTest)
#include "tst_keychain.moc"
