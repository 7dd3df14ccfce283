#include "CheckHeader.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionHeader>
#include <QStyleOptionViewItem>
#include <utility>

CheckHeader::CheckHeader(QWidget *parent, std::function<void()> clicked)
    : QHeaderView(Qt::Horizontal, parent), m_clicked(std::move(clicked))
{
    // Captions on the left, above the rows' texts, as a tree's own header has them.
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void CheckHeader::setCheckState(Qt::CheckState state)
{
    if (state == m_state)
        return;
    m_state = state;
    viewport()->update();
}

QRect CheckHeader::boxRect() const
{
    if (count() == 0)
        return {};
    return boxIn(QRect(sectionViewportPosition(0), 0, sectionSize(0), height()));
}

void CheckHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    if (logicalIndex != 0) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    QStyleOptionHeader option;
    initStyleOptionForIndex(&option, logicalIndex);
    option.rect = rect;
    style()->drawControl(QStyle::CE_HeaderSection, &option, painter, this);

    const QRect box = boxIn(rect);
    QStyleOptionButton check;
    check.initFrom(this);
    check.rect = box;
    check.state |= m_state == Qt::Checked            ? QStyle::State_On
                   : m_state == Qt::PartiallyChecked ? QStyle::State_NoChange
                                                     : QStyle::State_Off;
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &check, painter, this);

    // The caption after the box, as the rows' titles are.
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, &option, this);
    option.rect = rect.adjusted(box.right() + 1 + margin - rect.left(), 0, -margin, 0);
    style()->drawControl(QStyle::CE_HeaderLabel, &option, painter, this);
}

QSize CheckHeader::sectionSizeFromContents(int logicalIndex) const
{
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    if (logicalIndex == 0)
        size.rwidth() += boxIn(QRect(QPoint(0, 0), size)).right() + 1
                         + style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
    return size;
}

void CheckHeader::mousePressEvent(QMouseEvent *event)
{
    m_pressedOnBox = event->button() == Qt::LeftButton && boxRect().contains(event->position().toPoint());
    if (!m_pressedOnBox)
        QHeaderView::mousePressEvent(event);
}

void CheckHeader::mouseReleaseEvent(QMouseEvent *event)
{
    // A box ticks on release over it, as any check box does.
    if (!std::exchange(m_pressedOnBox, false)) {
        QHeaderView::mouseReleaseEvent(event);
        return;
    }
    if (boxRect().contains(event->position().toPoint()))
        m_clicked();
}

QRect CheckHeader::boxIn(const QRect &section) const
{
    QStyleOptionViewItem item;
    item.initFrom(this);
    item.rect = section;
    item.features = QStyleOptionViewItem::HasCheckIndicator;
    return style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &item, parentWidget());
}
