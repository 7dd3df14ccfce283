#pragma once

#include <QObject>

class QTreeWidget;
class CheckHeader;

// What the track list does beyond a plain tree. Its title column is as wide as the titles
// need, from the width it opens with up to all the room the duration column leaves (a
// title still longer is elided in the middle; its tooltip gives it whole): the title is
// the answer of the quiz, the user must be able to read it. And every track can be ticked
// or unticked at once: with the check box in the header, or with Space on the tracks
// selected (Ctrl+A selects them all), as list views do.
class TrackListControls : public QObject
{
public:
    // titleWidth and durationWidth: the columns' widths as the list opens.
    TrackListControls(QTreeWidget &list, int titleWidth, int durationWidth);

    // After the tracks, a title or a tick changed: the columns' widths and the header's
    // check box follow.
    void refresh();

    // Ticks every track, or unticks them all when all are ticked: the header's check box.
    void toggleAll();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fitColumns();
    void tickSelected();

    QTreeWidget &m_list;
    CheckHeader *m_header;
    int m_titleWidth;
    int m_durationWidth;
};
