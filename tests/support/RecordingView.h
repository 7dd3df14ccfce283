#pragma once

#include "RipView.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

// A RipView that records, in order, everything the core asks of the window, with a track
// list to script and a hook that runs at a chosen yield (to press "cancel" or close the
// window at chunk k, deterministically). With several jobs the batch reads the track list
// on one thread while it reports on another, so every record is taken under a lock.
class RecordingView : public RipView
{
public:
    struct Message
    {
        QString text;
        MessageIcon icon = MessageIcon::None;
        QString title;
    };
    struct Item
    {
        bool checked = false;
        QString text;
    };

    // Script
    QList<Item> items;
    QString album = QStringLiteral("titre");
    QString artist;
    // Runs at every yield, with the yield's index from 0.
    std::function<void(int index)> onYield;
    // Runs after a message has been recorded, as when the user closes the box.
    std::function<void(const Message &message)> onMessage;

    // Sets flag at the yield of index k (for LbStop or closing).
    void raiseAtYield(std::atomic<bool> &flag, int k);
    // Adds an item.
    void addItem(const QString &text, bool checked);

    // Record
    QStringList events; // "max N", "value N", "status T", "message T", "yield", "refresh", ...
    QList<std::int32_t> values;
    QStringList statuses;
    QList<Message> messages;
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
    void yieldToUi() override;
    std::int32_t trackCount() override;
    bool trackChecked(std::int32_t position) override;
    QString trackText(std::int32_t position) override;
    QString albumText() override;
    QString artistText() override;
    void refreshFileList() override;

private:
    void record(const QString &event);
    std::mutex m_recording;
};
