#include "RecordingView.h"

void RecordingView::raiseAtYield(std::atomic<bool> &flag, int k)
{
    onYield = [&flag, k](int index) {
        if (index == k)
            flag.store(true);
    };
}

void RecordingView::addItem(const QString &text, bool checked)
{
    items.append(Item{checked, text});
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

std::int32_t RecordingView::trackCount()
{
    record(QStringLiteral("count"));
    return static_cast<std::int32_t>(items.size());
}

bool RecordingView::trackChecked(std::int32_t position)
{
    record(QStringLiteral("checked %1").arg(position));
    return items.value(position - 1).checked;
}

QString RecordingView::trackText(std::int32_t position)
{
    record(QStringLiteral("text %1").arg(position));
    return items.value(position - 1).text;
}

QString RecordingView::albumText()
{
    record(QStringLiteral("album"));
    return album;
}

QString RecordingView::artistText()
{
    record(QStringLiteral("artist"));
    return artist;
}

void RecordingView::refreshFileList()
{
    record(QStringLiteral("refresh"));
    ++refreshes;
}
