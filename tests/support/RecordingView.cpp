#include "RecordingView.h"

void RecordingView::raiseAtYield(std::atomic<bool> &flag, int k)
{
    onYield = [&flag, k](int index) {
        if (index == k)
            flag.store(true);
    };
}

void RecordingTracks::addItem(const QString &text, bool checked)
{
    std::vector<ListedTrack> tracks = list.tracks();
    tracks.push_back({static_cast<std::int32_t>(tracks.size()) + 1, QString(), text, checked, QString()});
    list.setTracks(std::move(tracks));
}

std::int32_t RecordingTracks::trackCount() const
{
    m_log.record(QStringLiteral("count"));
    return list.trackCount();
}

bool RecordingTracks::trackChecked(std::int32_t position) const
{
    m_log.record(QStringLiteral("checked %1").arg(position));
    return list.trackChecked(position);
}

TrackTags RecordingTracks::trackTags(std::int32_t position) const
{
    m_log.record(QStringLiteral("tags %1").arg(position));
    return list.trackTags(position);
}

QStringList RecordingView::messageTexts() const
{
    QStringList texts;
    for (const Message &m : messages)
        texts << m.text;
    return texts;
}

void RecordingView::record(const QString &event)
{
    const std::lock_guard lock(m_recording);
    events << event;
}

void RecordingView::setProgressMax(std::int32_t newMax)
{
    record(QStringLiteral("max %1").arg(newMax));
    max = newMax;
}

void RecordingView::setProgressValue(std::int32_t newValue)
{
    record(QStringLiteral("value %1").arg(newValue));
    values << newValue;
    value = newValue;
}

std::int32_t RecordingView::progressValue() const
{
    return value;
}

void RecordingView::setStatusText(const QString &text)
{
    record(QStringLiteral("status ") + text);
    statuses << text;
}

void RecordingView::showMessage(const QString &text, MessageIcon icon, const QString &title)
{
    record(QStringLiteral("message ") + text);
    messages.append(Message{text, icon, title});
    if (onMessage)
        onMessage(messages.last());
}

void RecordingView::yieldToUi()
{
    record(QStringLiteral("yield"));
    const int index = yields++;
    if (onYield)
        onYield(index);
}

void RecordingView::refreshFileList()
{
    record(QStringLiteral("refresh"));
    ++refreshes;
}

RipView::ReplaceAnswer RecordingView::askReplace(const QString &question)
{
    record(QStringLiteral("question ") + question);
    {
        const std::lock_guard lock(m_recording);
        questions << question;
    }
    return replaceAnswer;
}
