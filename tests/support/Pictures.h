#pragma once

#include <QImage>
#include <QString>
#include <cstdlib>

// Pictures drawn by the program against the ones it stores: the same size, and every channel
// of every pixel within `tolerance` steps. Premultiplied-alpha round trips and the processor's
// vector code round half-transparent pixels differently from one machine to the next, so an
// exact comparison fails where nothing the user could see changed.
inline QString pictureDifference(const QImage &actual, const QImage &expected, int tolerance = 2)
{
    if (actual.size() != expected.size())
        return QStringLiteral("size %1x%2 instead of %3x%4")
            .arg(actual.width()).arg(actual.height()).arg(expected.width()).arg(expected.height());
    // Compared premultiplied: there a rounding moves a channel by one step, whereas an
    // unpremultiplied colour of a nearly transparent pixel can swing by dozens.
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage e = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = e.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance
                || std::abs(qBlue(p) - qBlue(q)) > tolerance
                || std::abs(qAlpha(p) - qAlpha(q)) > tolerance)
                return QStringLiteral("pixel (%1, %2) is %3 instead of %4")
                    .arg(x).arg(y).arg(p, 8, 16, QLatin1Char('0')).arg(q, 8, 16, QLatin1Char('0'));
        }
    }
    return {};
}

#define COMPARE_PICTURES(actual, expected)                                                         \
    do {                                                                                           \
        const QString difference_ = pictureDifference((actual), (expected));                       \
        QVERIFY2(difference_.isEmpty(), qPrintable(difference_));                                  \
    } while (false)
