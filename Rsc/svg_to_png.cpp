// Build-time tool: renders one SVG picture of the UI into the PNG files embedded as
// resources, at its display size and at twice it.
//
//   svg_to_png IN.svg WIDTH HEIGHT OUT.png OUT@2x.png
//
// The picture's view box is scaled onto WIDTH x HEIGHT (and 2 WIDTH x 2 HEIGHT)
// transparent pixels. Fails (exit code 1, message on stderr) when the SVG does not
// parse, when its view box has another shape than the display size (the picture would
// be stretched), when it draws nothing, or when a PNG cannot be written. Run with
// QT_QPA_PLATFORM=offscreen: no display is needed.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>
#include <cstdio>

namespace {

int fail(const QString& text) {
    std::fprintf(stderr, "svg_to_png: %s\n", qPrintable(text));
    return 1;
}

bool drawsSomething(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6) return fail(QStringLiteral("usage: svg_to_png IN.svg WIDTH HEIGHT OUT.png OUT@2x.png"));
    const QString input = args[1];
    bool widthOk = false, heightOk = false;
    const int width = args[2].toInt(&widthOk);
    const int height = args[3].toInt(&heightOk);
    if (!widthOk || !heightOk || width <= 0 || height <= 0 || width > 8192 || height > 8192)
        return fail(QStringLiteral("bad size %1 x %2 for %3").arg(args[2], args[3], input));

    QSvgRenderer renderer(input);
    if (!renderer.isValid()) return fail(QStringLiteral("cannot read %1").arg(input));
    const QRectF box = renderer.viewBoxF();
    if (box.width() <= 0 || box.height() <= 0) return fail(QStringLiteral("%1 has an empty view box").arg(input));
    const double boxRatio = box.width() / box.height();
    const double sizeRatio = double(width) / double(height);
    if (std::abs(boxRatio / sizeRatio - 1.0) > 0.01)
        return fail(QStringLiteral("%1: view box %2 x %3 does not have the shape of %4 x %5")
                        .arg(input)
                        .arg(box.width())
                        .arg(box.height())
                        .arg(width)
                        .arg(height));

    for (int scale = 1; scale <= 2; ++scale) {
        const QString output = args[3 + scale];
        QImage image(width * scale, height * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            renderer.render(&painter, QRectF(0, 0, image.width(), image.height()));
        }
        if (!drawsSomething(image)) return fail(QStringLiteral("%1 draws nothing").arg(input));
        if (!image.convertToFormat(QImage::Format_ARGB32).save(output, "PNG"))
            return fail(QStringLiteral("cannot write %1").arg(output));
    }
    return 0;
}
