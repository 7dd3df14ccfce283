#pragma once

#include "RipView.h"
#include "TrackList.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

// A RipView that records, in order, everything the core shows, with a hook that runs at a
// chosen yield (to press "cancel" or close the window at chunk k, deterministically). With
// several jobs the batch reads the track list on one thread while it reports on another,
// so every record is taken under a lock.
class RecordingView : public RipView
{
public:
    struct Message
    {
        QString text;
        MessageIcon icon = MessageIcon::None;
        QString title;
    };
    // Script
    // Runs at every yield, with the yield's index from 0.
    std::function<void(int index)> onYield;
    // Runs after a message has been recorded, as when the user closes the box.
    std::function<void(const Message &message)> onMessage;

    // What the user answers when asked to replace a file (keep, by default).
    ReplaceAnswer replaceAnswer;

    // Sets flag at the yield of index k (for LbStop or closing).
    void raiseAtYield(std::atomic<bool> &flag, int k);

    // Record
    QStringList events; // "max N", "value N", "status T", "message T", "yield", "refresh", ...
    QList<std::int32_t> values;
    QStringList statuses;
    QList<Message> messages;
    QStringList questions;
    int yields = 0;
    int refreshes = 0;
    std::int32_t max = 0;
    std::int32_t value = 0;

    // The texts of the messages, in order.
    QStringList messageTexts() const;

    void setProgressMax(std::int32_t newMax) override;
    void setProgressValue(std::int32_t newValue) override;
    std::int32_t progressValue() const override;
    void setStatusText(const QString &text) override;
    void showMessage(const QString &text, MessageIcon icon, const QString &title) override;
    ReplaceAnswer askReplace(const QString &question) override;
    void yieldToUi() override;
    void refreshFileList() override;

    // Adds event to the record.
    void record(const QString &event);

private:
    std::mutex m_recording;
};

// A real track list to script, whose reads by the batch are recorded into a view's events
// ("count", "checked N", "tags N"), in order with what the batch shows.
class RecordingTracks : public TrackSource
{
public:
    explicit RecordingTracks(RecordingView &log) : m_log(log) {}

    TrackList list;
    // Adds a track at the end of the list.
    void addItem(const QString &text, bool checked);

    std::int32_t trackCount() const override;
    bool trackChecked(std::int32_t position) const override;
    TrackTags trackTags(std::int32_t position) const override;

private:
    RecordingView &m_log;
};
