#pragma once

#include <QWidget>
#include <cstdint>

// The progress bar of the main window: a full-scale value Max (low end 0) and a Value that
// reads back exactly as last written, even outside 0..Max (the drawing clamps, the value
// does not).
class PrgBar : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int Max READ Max WRITE setMax)
    Q_PROPERTY(int Value READ Value WRITE setValue)

public:
    explicit PrgBar(QWidget *parent = nullptr);

    std::int32_t Max() const { return m_max; }
    std::int32_t Value() const { return m_value; }
    void setMax(std::int32_t max);
    void setValue(std::int32_t value);

    // Fraction of the bar shown, 0..1.
    double shownFraction() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::int32_t m_max = 100;
    std::int32_t m_value = 0;
};
