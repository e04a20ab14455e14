#include "core/SettingsFile.h"

#include "core/Console.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace papelo {

std::unique_ptr<QSettings> openSettings(const QString &explicitPath)
{
    if (explicitPath.isEmpty())
        return std::make_unique<QSettings>();
    return std::make_unique<QSettings>(explicitPath, QSettings::IniFormat);
}

bool syncPrivately(QSettings &settings)
{
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    // QSettings replaces the file atomically and keeps the permissions of an
    // existing one, but creates a new one world-readable. Creating it empty
    // and owner-only first means the token is never readable by others, not
    // even between the write and the chmod below.
    const QString path = settings.fileName();
    if (!QFileInfo::exists(path)) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.setPermissions(ownerOnly);
    }
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        consoleLine(QStringLiteral("设置保存失败："), QStringLiteral("无法写入 %1，本次运行中的更改不会保留").arg(path));
        return false;
    }
    QFile::setPermissions(path, ownerOnly);
    return true;
}

} // namespace papelo
