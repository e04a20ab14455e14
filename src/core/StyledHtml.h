#pragma once

#include <QString>

namespace papelo {

// Wraps an article body fragment into the complete reading document: fixed
// head with the style sheet (light rules, dark media block), the body with
// every "http://<webOrigin>" rewritten to https, and the fixed tail.
// Deterministic: the web view host compares documents to skip reloads.
QString styledHTML(const QString &body, const QString &webOrigin);
QString styledHTML(const QString &body); // configured web origin

} // namespace papelo
