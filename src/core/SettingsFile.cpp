#include "SettingsFile.h"

#include <QFile>

namespace papelo {

std::unique_ptr<QSettings> openSettings(const QString &explicitPath)
{
    if (explicitPath.isEmpty())
        return std::make_unique<QSettings>();
    return std::make_unique<QSettings>(explicitPath, QSettings::IniFormat);
}

void syncPrivately(QSettings &settings)
{
    settings.sync();
    QFile::setPermissions(settings.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace papelo
