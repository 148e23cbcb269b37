// Draws one of our SVG pictures at the size a screen shows it, once at 1x and
// once at 2x, and writes the pixels as C++ arrays, so the program shows them
// without an image reader, the SVG plugin or the fonts the drawing needs.
//   render-picture IN.svg OUT.cpp NAME WIDTH HEIGHT
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>

#include <cstdio>

namespace {

QImage Draw(QSvgRenderer& svg, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    svg.render(&painter, QRectF(0, 0, width, height)); // stretched to the shown size, as the label does
    painter.end();
    return image;
}

bool Opaque(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(row[x]) != 255) return false;
    }
    return true;
}

QByteArray Array(const QByteArray& symbol, const QImage& image)
{
    QByteArray out = "static const quint32 " + symbol + "[] = {";
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x, ++n) {
            if (n % 12 == 0) out += "\n   ";
            out += " 0x" + QByteArray::number(row[x], 16).rightJustified(8, '0') + "u,";
        }
    }
    return out + "\n};\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: render-picture IN.svg OUT.cpp NAME WIDTH HEIGHT\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QByteArray name = argv[3];
    const int width = QByteArray(argv[4]).toInt();
    const int height = QByteArray(argv[5]).toInt();
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid() || width < 1 || height < 1 || width > 2048 || height > 2048) {
        std::fprintf(stderr, "render-picture: cannot draw %s at %sx%s\n", argv[1], argv[4], argv[5]);
        return 1;
    }
    QByteArray out = "// Drawn from " + QByteArray(argv[1]).split('/').last() +
                     " by render-picture at build time; not to be edited.\n"
                     "#include \"PictureData.h\"\n\nnamespace pictures::data {\n\n";
    QByteArray table = "extern const Raster " + name + "[2] = {\n";
    for (int scale : {1, 2}) {
        const QImage image = Draw(svg, width * scale, height * scale);
        const QByteArray symbol = name + "_" + QByteArray::number(scale) + "x";
        out += Array(symbol, image) + "\n";
        table += "    {" + symbol + ", " + QByteArray::number(image.width()) + ", " +
                 QByteArray::number(image.height()) + ", " + (Opaque(image) ? "true" : "false") + "},\n";
    }
    out += table + "};\n\n} // namespace pictures::data\n";
    QSaveFile file(QString::fromLocal8Bit(argv[2]));
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit()) {
        std::fprintf(stderr, "render-picture: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
