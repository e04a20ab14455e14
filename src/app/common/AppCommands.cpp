#include "common/AppCommands.h"

namespace papelo {

bool AppCommands::post(const QString &name)
{
    if (name == refreshName)
        emit refreshArticles();
    else if (name == clearCacheName)
        emit clearImageCache();
    else if (name == showAboutName)
        emit showAbout();
    else
        return false;
    return true;
}

} // namespace papelo
