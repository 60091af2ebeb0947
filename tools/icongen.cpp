// Draws the file-type icons and the window emblem into a folder:
//   veltra-icongen RESOURCES_FOLDER
// writes icons/*.png (16 x 16, opaque RGBA) and veltra.ico (63 x 64).

#include <QDir>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cmath>
#include <functional>

namespace {
const QColor slate(79, 79, 87);
const QColor tile(222, 222, 222);

QImage drawIcon(const std::function<void(QPainter &)> &glyph)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(slate);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
    p.setPen(QPen(slate, 1));
    p.setBrush(Qt::NoBrush);
    glyph(p);
    return image;
}

void text(QPainter &p)
{
    p.drawRect(QRectF(4.5, 3.5, 7, 9));
    for (int y : { 6, 8, 10 })
        p.drawLine(QPointF(6, y + 0.5), QPointF(10, y + 0.5));
}

void picture(QPainter &p)
{
    p.drawRect(QRectF(3.5, 4.5, 9, 7));
    p.setBrush(slate);
    p.drawPolygon(QPolygonF({ QPointF(4, 11), QPointF(7, 7), QPointF(9, 9.5), QPointF(10.5, 8), QPointF(12, 11) }));
    p.drawEllipse(QPointF(10.5, 6.5), 0.8, 0.8);
}

void music(QPainter &p)
{
    p.setBrush(slate);
    p.drawEllipse(QPointF(6, 11), 1.8, 1.4);
    p.drawLine(QPointF(7.5, 11), QPointF(7.5, 4));
    p.drawLine(QPointF(7.5, 4), QPointF(10.5, 6));
}

void engine(QPainter &p)
{
    p.setBrush(slate);
    const QPointF centre(8, 8);
    for (int tooth = 0; tooth < 8; ++tooth) {
        const double angle = tooth * M_PI / 4;
        p.drawEllipse(centre + QPointF(4.2 * std::cos(angle), 4.2 * std::sin(angle)), 1.1, 1.1);
    }
    p.drawEllipse(centre, 3.6, 3.6);
    p.setBrush(tile);
    p.drawEllipse(centre, 1.4, 1.4);
}

void world(QPainter &p)
{
    const QPointF centre(8, 8);
    p.drawEllipse(centre, 5, 5);
    p.drawEllipse(centre, 2.2, 5);
    p.drawLine(QPointF(3, 8), QPointF(13, 8));
}

void wifi(QPainter &p)
{
    p.setPen(QPen(slate, 1.3, Qt::SolidLine, Qt::RoundCap));
    for (double radius : { 3.0, 6.0, 9.0 })
        p.drawArc(QRectF(8 - radius, 12.5 - radius, 2 * radius, 2 * radius), 45 * 16, 90 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(slate);
    p.drawEllipse(QPointF(8, 12), 1.2, 1.2);
}

void unknown(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(slate);
    p.drawRoundedRect(QRectF(3.5, 3.5, 9, 9), 3, 3);
    p.setBrush(tile);
    p.drawEllipse(QPointF(6.5, 7.5), 1, 1);
    p.drawEllipse(QPointF(9.5, 7.5), 1, 1);
}

QImage drawEmblem()
{
    QImage image(63, 64, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 128, 128));
    p.drawEllipse(QRectF(1, 1.5, 61, 61));
    p.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({ QPointF(19, 19), QPointF(31.5, 46), QPointF(44, 19) }));
    return image;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: veltra-icongen RESOURCES_FOLDER\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath("icons");
    const struct { const char *name; void (*glyph)(QPainter &); } icons[] = {
        { "text", text }, { "picture", picture }, { "music", music }, { "engine", engine },
        { "world", world }, { "wifi", wifi }, { "unknown", unknown },
    };
    for (const auto &icon : icons) {
        const QString path = out.filePath(QString("icons/%1.png").arg(icon.name));
        if (!drawIcon(icon.glyph).save(path, "PNG")) {
            err << "can't write " << path << "\n";
            return 1;
        }
    }
    if (!drawEmblem().save(out.filePath("veltra.ico"), "ICO")) {
        err << "can't write veltra.ico\n";
        return 1;
    }
    return 0;
}
