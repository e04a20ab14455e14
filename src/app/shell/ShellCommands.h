#pragma once

namespace papelo {

class App;

// Menu commands the shell itself answers (the image cache belongs to no one
// screen); the home screen answers refresh and App shows the about box.
void connectShellCommands(App *app);

} // namespace papelo
