#include "PrgBar.h"

#include <QPainter>
#include <QStyleOptionFrame>
#include <algorithm>
#include <cmath>

PrgBar::PrgBar(QWidget *parent)
    : QWidget(parent)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSizeF(9.75);
    f.setBold(true);
    setFont(f);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x40)); // dark blue
    setPalette(p);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PrgBar::setMax(std::int32_t max)
{
    if (m_max == max)
        return;
    m_max = max;
    update();
}

void PrgBar::setValue(std::int32_t value)
{
    if (m_value == value)
        return;
    m_value = value;
    update();
}

double PrgBar::shownFraction() const
{
    if (m_max <= 0)
        return 0.0;
    return std::clamp(static_cast<double>(m_value) / static_cast<double>(m_max), 0.0, 1.0);
}

QSize PrgBar::sizeHint() const
{
    return QSize(343, 21);
}

void PrgBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect outer = rect();
    painter.fillRect(outer, Qt::white);
    // Sunken border, like the other controls of the window.
    painter.setPen(QColor(128, 128, 128));
    painter.drawLine(outer.topLeft(), outer.topRight());
    painter.drawLine(outer.topLeft(), outer.bottomLeft());
    painter.setPen(QColor(255, 255, 255));
    painter.drawLine(outer.bottomLeft(), outer.bottomRight());
    painter.drawLine(outer.topRight(), outer.bottomRight());
    painter.setPen(QColor(160, 160, 160));
    painter.drawRect(outer.adjusted(1, 1, -2, -2));

    const QRect inner = outer.adjusted(2, 2, -2, -2);
    const double fraction = shownFraction();
    const QColor fore = palette().color(QPalette::WindowText);
    const int filled = static_cast<int>(std::lround(fraction * inner.width()));
    const QRect bar(inner.left(), inner.top(), filled, inner.height());
    painter.fillRect(bar, fore);

    if (m_value == 0 && fraction == 0.0)
        return;
    // The percentage, in the bar's colour on white and in white on the bar.
    const QString text = QStringLiteral("%1 %").arg(std::lround(fraction * 100.0));
    painter.setFont(font());
    painter.setPen(fore);
    painter.drawText(inner, Qt::AlignCenter, text);
    painter.setClipRect(bar);
    painter.setPen(Qt::white);
    painter.drawText(inner, Qt::AlignCenter, text);
}
