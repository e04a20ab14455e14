#include "store/Auth.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace {
QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), count / 4);
    return bytes;
}

QByteArray derive(const QString &password, const QByteArray &salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations, 32);
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
} // namespace

Auth::Hashed Auth::hashPassword(const QString &password) const
{
    Hashed h;
    h.salt = randomBytes(16);
    h.iterations = m_iterations;
    h.hash = derive(password, h.salt, m_iterations);
    return h;
}

bool Auth::verifyPassword(const QString &password, const QByteArray &salt, const QByteArray &hash, int iterations)
{
    if (salt.isEmpty() || hash.isEmpty() || iterations <= 0)
        return false;
    return sameBytes(derive(password, salt, iterations), hash);
}

QString Auth::issueToken(qint64 userId) const
{
    const QByteArray token = randomBytes(32).toHex();
    const bool ok = m_db.exec(QStringLiteral("INSERT INTO tokens (token_hash, user_id, created_at) VALUES (?, ?, ?)"),
                              {tokenHash(token), userId, QDateTime::currentDateTimeUtc().toString(Qt::ISODate)});
    return ok ? QString::fromLatin1(token) : QString();
}

std::optional<qint64> Auth::userForToken(const QByteArray &token) const
{
    if (token.isEmpty() || token.size() > 256)
        return std::nullopt;
    const QVariant id = m_db.scalar(QStringLiteral("SELECT user_id FROM tokens WHERE token_hash = ?"), {tokenHash(token)});
    if (!id.isValid())
        return std::nullopt;
    return id.toLongLong();
}

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
