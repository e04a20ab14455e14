#pragma once

#include <QString>

class QQuickWebEngineProfile;

namespace papelo {

// Owner of the one script through which the reader changes what an article
// body shows (BodyScript.js, a resource beside this file). It is installed
// once on the body profile, so every document and subframe of every body
// view gets it at creation, in the isolated application world. UI thread only.
class BodyScript {
public:
    static QString source();
    static void install(QQuickWebEngineProfile *profile);
};

} // namespace papelo
