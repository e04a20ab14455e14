// Renders the reader's SVG icon as the PNG sizes of the hicolor theme:
// render_icon SVG OUTDIR SIZE... writes OUTDIR/<SIZE>x<SIZE>/papelo.png.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: render_icon SVG OUTDIR SIZE...\n");
        return 2;
    }
    for (const QString &sizeText : args.mid(3)) {
        const int size = sizeText.toInt();
        QImageReader reader(args.at(1));
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read();
        const QString dir = QStringLiteral("%1/%2x%2").arg(args.at(2)).arg(size);
        if (image.isNull() || !QDir().mkpath(dir) || !image.save(dir + QStringLiteral("/papelo.png"))) {
            std::fprintf(stderr, "render_icon: %s at %d: %s\n", qPrintable(args.at(1)), size,
                         qPrintable(reader.errorString()));
            return 1;
        }
    }
    return 0;
}
