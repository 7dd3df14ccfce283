#pragma once

#include <QString>
#include <cstdint>

// Icons of the program's message boxes.
enum class MessageIcon
{
    None,
    Critical,
    Exclamation,
    Information,
};

inline const QString &programTitle()
{
    static const QString title = QStringLiteral("Sonalbury CD-MP3");
    return title;
}

// What the extraction and conversion procedures need from the window: the progress bar,
// the status line, message boxes, the track list, the file-list refresh and a chance to
// let the interface breathe. The main window, the terminal front end and the tests
// implement it.
class RipView
{
public:
    virtual ~RipView() = default;

    // Progress bar: the value read back is the last value written, even outside 0..max.
    virtual void setProgressMax(std::int32_t max) = 0;
    virtual void setProgressValue(std::int32_t value) = 0;
    virtual std::int32_t progressValue() const = 0;

    // Panel 1 of the status bar.
    virtual void setStatusText(const QString &text) = 0;

    // A modal message box with one OK button; returns when the user closed it.
    virtual void showMessage(const QString &text, MessageIcon icon,
                             const QString &title = programTitle()) = 0;

    // Called after each chunk of an extraction and at each progress event of the encoder.
    virtual void yieldToUi() = 0;

    // Track list, positions counted from 1, read when the batch reaches the item. With
    // several jobs these reads (and the tag boxes' below) come from the reading thread while
    // a status text or a message may be shown from an encoder thread: they must only read.
    virtual std::int32_t trackCount() = 0;
    virtual bool trackChecked(std::int32_t position) = 0;
    virtual QString trackText(std::int32_t position) = 0;

    // The two hidden text boxes that give the album and artist tags.
    virtual QString albumText() = 0;
    virtual QString artistText() = 0;
    // The artist tag of one track: its own credit on a compilation, else the artist box.
    virtual QString trackArtist(std::int32_t position)
    {
        (void)position;
        return artistText();
    }

    // Re-reads the music folder into the file list.
    virtual void refreshFileList() = 0;
};
