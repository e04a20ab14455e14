#include "shell/ShellCommands.h"

#include "common/App.h"
#include "images/ImageCache.h"

namespace papelo {

void connectShellCommands(App *app)
{
    // Images already on screen stay; later loads go to the server again.
    QObject::connect(app->commands(), &AppCommands::clearImageCache, app, [] { ImageCache::shared()->clear(); });
}

} // namespace papelo
