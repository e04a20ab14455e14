#pragma once

#include "core/AppSettings.h"
#include "core/AuthManager.h"
#include "core/ReadingPositions.h"

#include <QtQml/qqml.h>

// Makes the shared core objects known to QML so property access on App.auth
// and App.settings is typed.
namespace papelo {

struct AuthManagerForeign {
    Q_GADGET
    QML_FOREIGN(papelo::AuthManager)
    QML_NAMED_ELEMENT(AuthManager)
    QML_UNCREATABLE("Use App.auth")
};

struct AppSettingsForeign {
    Q_GADGET
    QML_FOREIGN(papelo::AppSettings)
    QML_NAMED_ELEMENT(AppSettings)
    QML_UNCREATABLE("Use App.settings")
};

struct ReadingPositionsForeign {
    Q_GADGET
    QML_FOREIGN(papelo::ReadingPositions)
    QML_NAMED_ELEMENT(ReadingPositions)
    QML_UNCREATABLE("Use App.readingPositions")
};

} // namespace papelo
