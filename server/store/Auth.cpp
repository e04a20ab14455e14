#include "store/Auth.h"

#include <QCryptographicHash>
#include <QtConcurrent>
#include <QDateTime>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <openssl/evp.h>

namespace {
QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), count / 4);
    return bytes;
}

// About seven times faster than QPasswordDigestor at the same count, which
// is what makes the full count affordable per sign-in.
QByteArray derive(const QString &password, const QByteArray &salt, int iterations)
{
    const QByteArray utf8 = password.toUtf8();
    QByteArray key(32, Qt::Uninitialized);
    const bool ok = PKCS5_PBKDF2_HMAC(utf8.constData(), int(utf8.size()), reinterpret_cast<const unsigned char *>(salt.constData()),
                                      int(salt.size()), iterations, EVP_sha256(), int(key.size()),
                                      reinterpret_cast<unsigned char *>(key.data()))
        == 1;
    return ok ? key : QByteArray();
}

// Compares without an early exit so timing does not reveal how much matched.
bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

QByteArray tokenHash(const QByteArray &token)
{
    return QCryptographicHash::hash(token, QCryptographicHash::Sha256);
}

// What the rounds a check lacks are spent on.
const QByteArray dummySalt = QByteArrayLiteral("papelo-no-such-user");

QString isoUtc(const QDateTime &time) { return time.toUTC().toString(Qt::ISODate); }
} // namespace

Auth::Auth(const Database &db, Options options) : m_db(db), m_options(options)
{
    m_pool.setMaxThreadCount(qMax(1, options.hashThreads));
}

template <typename T> QFuture<T> Auth::onPool(std::function<T()> work)
{
    ++m_inFlight;
    return QtConcurrent::run(&m_pool, std::move(work)).then(&m_mainThread, [this](T result) {
        --m_inFlight;
        return result;
    });
}

QFuture<Auth::Hashed> Auth::hashLater(const QString &password)
{
    const int iterations = m_options.iterations;
    return onPool<Hashed>([password, iterations] { return hashWith(password, iterations); });
}

QFuture<Auth::Check> Auth::verifyLater(const QString &password, const QByteArray &salt, const QByteArray &hash, int iterations)
{
    const bool known = !salt.isEmpty() && !hash.isEmpty() && iterations > 0;
    const int full = m_options.iterations;
    return onPool<Check>([=] {
        Check check;
        const auto rounds = [&](const QByteArray &withSalt, int count) {
            check.iterations += count;
            return derive(password, withSalt, count);
        };
        check.ok = known && sameBytes(rounds(salt, iterations), hash);
        // A weaker stored hash, or none, is made up to the full count on a dummy.
        if (check.iterations < full)
            rounds(dummySalt, full - check.iterations);
        if (check.ok && iterations < full)
            check.upgraded = hashWith(password, full);
        return check;
    });
}

Auth::Hashed Auth::hashPassword(const QString &password) const { return hashWith(password, m_options.iterations); }

Auth::Hashed Auth::hashWith(const QString &password, int iterations)
{
    Hashed h;
    h.salt = randomBytes(16);
    h.iterations = iterations;
    h.hash = derive(password, h.salt, iterations);
    return h;
}

QString Auth::issueToken(qint64 userId) const
{
    const QByteArray token = randomBytes(32).toHex();
    const bool ok = m_db.exec(QStringLiteral("INSERT INTO tokens (token_hash, user_id, created_at) VALUES (?, ?, ?)"),
                              {tokenHash(token), userId, isoUtc(QDateTime::currentDateTimeUtc())});
    return ok ? QString::fromLatin1(token) : QString();
}

std::optional<qint64> Auth::userForToken(const QByteArray &token) const
{
    if (token.isEmpty() || token.size() > 256)
        return std::nullopt;
    const QVariant id = m_db.scalar(QStringLiteral("SELECT user_id FROM tokens WHERE token_hash = ? AND created_at >= ?"),
                                    {tokenHash(token), tokenCutoff()});
    if (!id.isValid())
        return std::nullopt;
    return id.toLongLong();
}

bool Auth::revokeToken(const QByteArray &token) const
{
    return userForToken(token) && m_db.exec(QStringLiteral("DELETE FROM tokens WHERE token_hash = ?"), {tokenHash(token)});
}

bool Auth::pruneTokens() const
{
    return m_db.exec(QStringLiteral("DELETE FROM tokens WHERE created_at < ?"), {tokenCutoff()});
}

// Tokens issued before this instant have expired. Stored times are ISO 8601
// UTC of one fixed width, so they compare as text.
QString Auth::tokenCutoff() const { return isoUtc(QDateTime::currentDateTimeUtc().addDays(-m_options.tokenDays)); }

QString Auth::checkUsername(const QString &username)
{
    // Letters, digits, underscore and CJK ideographs; counted in characters, not bytes.
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9_\\x{4E00}-\\x{9FFF}\\x{3400}-\\x{4DBF}]+$"));
    const qsizetype length = username.toUcs4().size();
    if (length < 3 || length > 32)
        return QStringLiteral("用户名长度需为 3 到 32 个字符");
    if (!allowed.match(username).hasMatch())
        return QStringLiteral("用户名只能包含字母、数字、下划线和汉字");
    return {};
}

QString Auth::checkEmail(const QString &email)
{
    static const QRegularExpression form(QStringLiteral("^[^@\\s]+@[^@\\s]+\\.[^@\\s]+$"));
    if (email.size() > 254 || !form.match(email).hasMatch())
        return QStringLiteral("邮箱格式不正确");
    return {};
}

QString Auth::checkPassword(const QString &password)
{
    if (password.size() < 6)
        return QStringLiteral("密码至少需要 6 个字符");
    if (password.size() > 256)
        return QStringLiteral("密码过长");
    return {};
}
