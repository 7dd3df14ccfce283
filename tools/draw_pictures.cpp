// Draws the program's pictures into resources/: the program icon at 16, 32, 48 and 256
// pixels, the 16 x 16 track icon and the 50 x 75 About picture.
// Not part of the build; run it again only to change the pictures:
//   g++ -std=c++20 -fPIC tools/draw_pictures.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw_pictures
//   QT_QPA_PLATFORM=offscreen /tmp/draw_pictures resources

#include <QColor>
#include <QConicalGradient>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <cstdio>

namespace {

const QColor NoteBlue(0x1b, 0x3f, 0x9c);
const QColor NoteBlueLight(0x3d, 0x6c, 0xe0);

QImage blank(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// A compact disc centred at c with outer radius r: silver face with a rainbow sheen, a clear
// hub ring and the centre hole left transparent.
void paintDisc(QPainter &p, QPointF c, qreal r, bool detailed)
{
    p.save();
    QPainterPath disc;
    disc.addEllipse(c, r, r);
    QPainterPath hole;
    hole.addEllipse(c, r * 0.16, r * 0.16);
    const QPainterPath face = disc.subtracted(hole);

    QConicalGradient sheen(c, 30);
    sheen.setColorAt(0.00, QColor(0xe8, 0xe8, 0xee));
    sheen.setColorAt(0.10, QColor(0xff, 0xd8, 0xf0));
    sheen.setColorAt(0.18, QColor(0xc8, 0xe8, 0xff));
    sheen.setColorAt(0.27, QColor(0xf4, 0xf4, 0xf8));
    sheen.setColorAt(0.45, QColor(0xb4, 0xb8, 0xc4));
    sheen.setColorAt(0.55, QColor(0xf0, 0xfa, 0xd8));
    sheen.setColorAt(0.62, QColor(0xff, 0xe8, 0xc8));
    sheen.setColorAt(0.72, QColor(0xec, 0xec, 0xf2));
    sheen.setColorAt(0.90, QColor(0xa8, 0xac, 0xb8));
    sheen.setColorAt(1.00, QColor(0xe8, 0xe8, 0xee));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawPath(face);

    // Hub: the clear plastic ring around the hole.
    QPainterPath hub;
    hub.addEllipse(c, r * 0.36, r * 0.36);
    p.setBrush(QColor(0xf6, 0xf7, 0xfa, 230));
    p.drawPath(hub.subtracted(hole));

    const qreal line = qMax<qreal>(1.0, r / 22.0);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x6a, 0x70, 0x80), line));
    p.drawEllipse(c, r - line / 2, r - line / 2);
    p.setPen(QPen(QColor(0x8a, 0x90, 0xa0), line));
    p.drawEllipse(c, r * 0.16, r * 0.16);
    if (detailed) {
        p.setPen(QPen(QColor(0xa0, 0xa6, 0xb4), line * 0.6));
        p.drawEllipse(c, r * 0.36, r * 0.36);
        // A glint across the face.
        QRadialGradient glint(c + QPointF(-r * 0.45, -r * 0.45), r * 0.5);
        glint.setColorAt(0, QColor(255, 255, 255, 190));
        glint.setColorAt(1, QColor(255, 255, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glint);
        p.drawPath(face);
    }
    p.restore();
}

// An eighth note whose head is centred at head, for a box of height h: head, stem and flag.
void paintNote(QPainter &p, QPointF head, qreal h, bool outlined)
{
    const qreal headRx = h * 0.2;
    const qreal headRy = h * 0.145;
    const qreal stemWidth = qMax<qreal>(1.0, h * 0.075);
    const qreal stemX = head.x() + headRx - stemWidth * 0.6;
    const qreal top = head.y() - h * 0.82;

    QPainterPath note;
    QPainterPath oval;
    oval.addEllipse(QPointF(0, 0), headRx, headRy);
    QTransform tilt;
    tilt.translate(head.x(), head.y());
    tilt.rotate(-22);
    note.addPath(tilt.map(oval));
    note.addRect(QRectF(stemX, top, stemWidth, head.y() - top));
    QPainterPath flag;
    flag.moveTo(stemX + stemWidth * 0.5, top);
    flag.cubicTo(stemX + h * 0.05, top + h * 0.18, stemX + h * 0.42, top + h * 0.22,
                 stemX + h * 0.28, top + h * 0.52);
    flag.cubicTo(stemX + h * 0.32, top + h * 0.32, stemX + h * 0.12, top + h * 0.3,
                 stemX + stemWidth * 0.5, top + h * 0.3);
    flag.closeSubpath();
    note.addPath(flag);
    note.setFillRule(Qt::WindingFill);

    p.save();
    if (outlined) {
        p.setPen(QPen(QColor(255, 255, 255, 235), qMax<qreal>(1.0, h * 0.07), Qt::SolidLine,
                      Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(note);
    }
    QLinearGradient fill(head + QPointF(0, -h), head + QPointF(0, h * 0.2));
    fill.setColorAt(0, NoteBlueLight);
    fill.setColorAt(1, NoteBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(note.simplified());
    p.restore();
}

QImage programIcon(int size)
{
    QImage image = blank(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    if (size < 32) {
        // Small sizes: fewer details and a bolder note, so both stay readable.
        paintDisc(p, QPointF(s * 0.40, s * 0.40), s * 0.39, false);
        paintNote(p, QPointF(s * 0.62, s * 0.82), s * 0.70, true);
        return image;
    }
    paintDisc(p, QPointF(s * 0.42, s * 0.42), s * 0.40, true);
    paintNote(p, QPointF(s * 0.66, s * 0.81), s * 0.58, true);
    return image;
}

QImage trackIcon()
{
    QImage image = blank(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    paintNote(p, QPointF(6.2, 12.6), 13.5, false);
    return image;
}

// The About picture: a disc above a downward arrow that ends on a music file.
QImage aboutPicture()
{
    QImage image = blank(50, 75);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    paintDisc(p, QPointF(25, 20), 19, true);

    QPainterPath arrow;
    arrow.moveTo(22, 40);
    arrow.lineTo(28, 40);
    arrow.lineTo(28, 45);
    arrow.lineTo(32, 45);
    arrow.lineTo(25, 51);
    arrow.lineTo(18, 45);
    arrow.lineTo(22, 45);
    arrow.closeSubpath();
    QLinearGradient green(QPointF(0, 40), QPointF(0, 51));
    green.setColorAt(0, QColor(0x5c, 0xc8, 0x4a));
    green.setColorAt(1, QColor(0x2a, 0x8a, 0x2e));
    p.setPen(QPen(QColor(0x1f, 0x66, 0x22), 0.8));
    p.setBrush(green);
    p.drawPath(arrow);

    // A sheet with a folded corner, holding a note.
    QPainterPath sheet;
    sheet.moveTo(13.5, 53.5);
    sheet.lineTo(31.5, 53.5);
    sheet.lineTo(36.5, 58.5);
    sheet.lineTo(36.5, 73.5);
    sheet.lineTo(13.5, 73.5);
    sheet.closeSubpath();
    QLinearGradient paper(QPointF(0, 53), QPointF(0, 74));
    paper.setColorAt(0, QColor(0xff, 0xff, 0xff));
    paper.setColorAt(1, QColor(0xe4, 0xe8, 0xf0));
    p.setPen(QPen(QColor(0x70, 0x78, 0x88), 1.0));
    p.setBrush(paper);
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(31.5, 53.5);
    fold.lineTo(31.5, 58.5);
    fold.lineTo(36.5, 58.5);
    p.setBrush(QColor(0xd0, 0xd6, 0xe2));
    p.drawPath(fold);
    paintNote(p, QPointF(22.5, 69), 13, false);
    return image;
}

bool save(const QImage &image, const QDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("resources"));
    bool ok = true;
    for (const int size : {16, 32, 48}) {
        ok = save(programIcon(size), dir, QStringLiteral("sonalbury-%1.png").arg(size)) && ok;
    }
    ok = save(programIcon(256), dir, QStringLiteral("sonalbury.png")) && ok;
    ok = save(trackIcon(), dir, QStringLiteral("piste.png")) && ok;
    ok = save(aboutPicture(), dir, QStringLiteral("apropos.png")) && ok;
    return ok ? 0 : 1;
}
