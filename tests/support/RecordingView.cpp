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

void RecordingView::setProgressMax(std::int32_t newMax)
{
    events << QStringLiteral("max %1").arg(newMax);
    max = newMax;
}

void RecordingView::setProgressValue(std::int32_t newValue)
{
    events << QStringLiteral("value %1").arg(newValue);
    values << newValue;
    value = newValue;
}

std::int32_t RecordingView::progressValue() const
{
    return value;
}

void RecordingView::setStatusText(const QString &text)
{
    events << QStringLiteral("status ") + text;
    statuses << text;
}

void RecordingView::showMessage(const QString &text, MessageIcon icon, const QString &title)
{
    events << QStringLiteral("message ") + text;
    messages.append(Message{text, icon, title});
    if (onMessage)
        onMessage(messages.last());
}

void RecordingView::yieldToUi()
{
    events << QStringLiteral("yield");
    const int index = yields++;
    if (onYield)
        onYield(index);
}

std::int32_t RecordingView::trackCount()
{
    events << QStringLiteral("count");
    return static_cast<std::int32_t>(items.size());
}

bool RecordingView::trackChecked(std::int32_t position)
{
    events << QStringLiteral("checked %1").arg(position);
    return items.value(position - 1).checked;
}

QString RecordingView::trackText(std::int32_t position)
{
    events << QStringLiteral("text %1").arg(position);
    return items.value(position - 1).text;
}

QString RecordingView::albumText()
{
    events << QStringLiteral("album");
    return album;
}

QString RecordingView::artistText()
{
    events << QStringLiteral("artist");
    return artist;
}

void RecordingView::refreshFileList()
{
    events << QStringLiteral("refresh");
    ++refreshes;
}
