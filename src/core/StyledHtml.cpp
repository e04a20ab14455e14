#include "core/StyledHtml.h"

#include "core/ServerConfig.h"

namespace papelo {

namespace {
const char kStyle[] = R"(    <style>
        body {
            font-family: -apple-system, system-ui; padding: 16px; margin: 0;
            word-break: break-word; font-size: 17px; line-height: 1.7;
            background: #F9F8F6; color: #1F1D1A;
        }
        p { margin: 12px 0; }
        h1, h2, h3, h4 { line-height: 1.3; margin: 20px 0 10px; }
        a { color: #0F7B6C; text-decoration: none; }
        img {
            max-width: 100%; height: auto; display: block; margin: 8px auto;
            border-radius: 8px; opacity: 0; animation: fadeIn 0.4s ease forwards;
        }
        figure { margin: 12px 0; }
        figcaption { font-size: 12px; color: #787570; text-align: center; margin-top: 4px; }
        blockquote {
            margin: 12px 0; padding: 10px 14px; border-left: 3px solid #0F7B6C;
            background: rgba(15,123,108,.08); border-radius: 6px;
        }
        code {
            background: rgba(15,123,108,.12); color: #0C6358; padding: 2px 5px;
            border-radius: 4px; font-size: .9em;
        }
        pre {
            white-space: pre-wrap; overflow-x: auto; background: #1F1D1A; color: #F0EFEC;
            padding: 12px; border-radius: 8px;
        }
        table { border-collapse: collapse; width: 100%; margin: 12px 0; }
        th, td { border: 1px solid #ECEBE8; padding: 6px 10px; }
        @keyframes fadeIn { from { opacity: 0; } to { opacity: 1; } }
        @media (prefers-color-scheme: dark) {
            body { background: #111210; color: #E6E4E0; }
            a { color: #57B8A8; }
            figcaption { color: #9B968F; }
            blockquote { border-left-color: #57B8A8; background: rgba(87,184,168,.10); }
            code { color: #57B8A8; background: rgba(87,184,168,.14); }
            th, td { border-color: #2A2B28; }
        }
    </style>
)";
} // namespace

QString styledHTML(const QString &body, const QString &webOrigin)
{
    QString rewritten = body;
    // Plain, case-sensitive, left-to-right, non-overlapping: QString::replace.
    // Without an origin there is nothing to rewrite; "http://" alone would
    // otherwise send every plain link to https.
    if (!webOrigin.isEmpty())
        rewritten.replace(QStringLiteral("http://") + webOrigin, QStringLiteral("https://") + webOrigin);

    QString doc;
    doc.reserve(rewritten.size() + 2400);
    doc += QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n");
    doc += QStringLiteral("    <meta name=\"viewport\" content=\"width=device-width, initial-scale=1.0, "
                          "maximum-scale=1.0\">\n");
    doc += QStringLiteral("    <base href=\"https://%1/\">\n").arg(webOrigin);
    doc += QString::fromUtf8(kStyle);
    doc += QStringLiteral("</head>\n<body>\n    ");
    doc += rewritten;
    doc += QStringLiteral("\n</body>\n</html>");
    return doc;
}

QString styledHTML(const QString &body) { return styledHTML(body, ServerConfig::webOrigin()); }

} // namespace papelo
