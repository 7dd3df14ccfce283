#include "TrackListControls.h"

#include "CheckHeader.h"

#include <QEvent>
#include <QKeyEvent>
#include <QTreeWidget>
#include <algorithm>

TrackListControls::TrackListControls(QTreeWidget &list, int titleWidth, int durationWidth)
    : QObject(&list),
      m_list(list),
      m_header(new CheckHeader(&list, [this] { toggleAll(); })),
      m_titleWidth(titleWidth),
      m_durationWidth(durationWidth)
{
    m_header->setSectionsMovable(false);
    m_header->setStretchLastSection(false);
    m_header->setSectionResizeMode(QHeaderView::Fixed);
    m_list.setHeader(m_header);
    m_list.setColumnWidth(0, titleWidth);
    m_list.setColumnWidth(1, durationWidth);
    // The duration always in sight: the list never scrolls sideways, a long title is
    // shortened in its middle, where its beginning and its end stay readable.
    m_list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list.setTextElideMode(Qt::ElideMiddle);
    m_list.setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list.installEventFilter(this);
    // A vertical scroll bar that comes or goes changes the room of the titles.
    m_list.viewport()->installEventFilter(this);
}

void TrackListControls::refresh()
{
    fitColumns();
    int ticked = 0;
    const int count = m_list.topLevelItemCount();
    for (int i = 0; i < count; ++i)
        ticked += m_list.topLevelItem(i)->checkState(0) == Qt::Checked ? 1 : 0;
    m_header->setCheckState(count > 0 && ticked == count ? Qt::Checked
                            : ticked > 0                 ? Qt::PartiallyChecked
                                                         : Qt::Unchecked);
}

void TrackListControls::fitColumns()
{
    // What the rows need: public as the item view's, protected as the tree's.
    const QAbstractItemView &view = m_list;
    // A font wider than the one the list was drawn for still shows every duration whole;
    // the header never makes a section narrower than its minimum, which grows with the font.
    const int duration =
        std::max({m_durationWidth, view.sizeHintForColumn(1), m_header->minimumSectionSize()});
    const int room = m_list.viewport()->width() - duration;
    const int wanted = std::max(m_titleWidth, view.sizeHintForColumn(0));
    m_list.setColumnWidth(0, std::max(m_titleWidth, std::min(wanted, room)));
    m_list.setColumnWidth(1, duration);
}

void TrackListControls::toggleAll()
{
    const int count = m_list.topLevelItemCount();
    bool allTicked = count > 0;
    for (int i = 0; i < count && allTicked; ++i)
        allTicked = m_list.topLevelItem(i)->checkState(0) == Qt::Checked;
    // Through the items, as a click on each would: the window writes each tick back.
    for (int i = 0; i < count; ++i)
        m_list.topLevelItem(i)->setCheckState(0, allTicked ? Qt::Unchecked : Qt::Checked);
}

void TrackListControls::tickSelected()
{
    const QList<QTreeWidgetItem *> selected = m_list.selectedItems();
    const bool allTicked = std::all_of(selected.cbegin(), selected.cend(),
                                       [](const QTreeWidgetItem *item) { return item->checkState(0) == Qt::Checked; });
    for (QTreeWidgetItem *item : selected)
        item->setCheckState(0, allTicked ? Qt::Unchecked : Qt::Checked);
}

bool TrackListControls::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list.viewport() && event->type() == QEvent::Resize) {
        fitColumns();
    } else if (watched == &m_list && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Space on a title being edited is the editor's, which has the focus then.
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier && !m_list.selectedItems().isEmpty()) {
            tickSelected();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
