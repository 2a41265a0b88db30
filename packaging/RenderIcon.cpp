// Renders the program's SVG icon to the PNG sizes of the icon theme, at build time.
//   corvane_render_icon ICON.svg OUTPUT_FOLDER SIZE...   writes OUTPUT_FOLDER/<SIZE>x<SIZE>/corvane.png
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 4) {
        QTextStream(stderr) << "usage: corvane_render_icon ICON.svg OUTPUT_FOLDER SIZE...\n";
        return 2;
    }
    QSvgRenderer renderer(arguments.at(1));
    if (!renderer.isValid()) {
        QTextStream(stderr) << "cannot read " << arguments.at(1) << '\n';
        return 1;
    }
    for (const QString &text : arguments.mid(3)) {
        const int size = text.toInt();
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        const QString folder = arguments.at(2) + QStringLiteral("/%1x%1").arg(size);
        if (!QDir().mkpath(folder) || !image.save(folder + QStringLiteral("/corvane.png"))) {
            QTextStream(stderr) << "cannot write the " << size << " px icon\n";
            return 1;
        }
    }
    return 0;
}
