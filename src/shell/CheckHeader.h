#pragma once

#include <QHeaderView>
#include <functional>

// A list's header whose first section carries a check box, drawn where the rows have
// theirs: ticked when every row is, partly when some are. A click on it calls clicked;
// the owner decides what the rows become and sets the state back.
class CheckHeader : public QHeaderView
{
public:
    CheckHeader(QWidget *parent, std::function<void()> clicked);

    void setCheckState(Qt::CheckState state);
    Qt::CheckState checkState() const { return m_state; }
    // The box, in the header's viewport.
    QRect boxRect() const;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QRect boxIn(const QRect &section) const;

    std::function<void()> m_clicked;
    Qt::CheckState m_state = Qt::Unchecked;
    bool m_pressedOnBox = false;
};
