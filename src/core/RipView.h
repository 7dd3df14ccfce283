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

// Where the extraction and the conversion report: the progress bar, the status line,
// message boxes, the file-list refresh and a chance to let the interface breathe. Output
// only: what they read of the track list comes from a TrackSource. The main window, the
// terminal front end and the tests implement it.
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

    // The user's answer to "replace this file?": and whether it holds for the rest of
    // the batch. A view that cannot ask keeps the file.
    struct ReplaceAnswer
    {
        bool replace = false;
        bool forTheRest = false;
    };
    virtual ReplaceAnswer askReplace(const QString &question)
    {
        (void)question;
        return {};
    }

    // Called after each chunk of an extraction and at each progress event of the encoder.
    virtual void yieldToUi() = 0;

    // Re-reads the music folder into the file list.
    virtual void refreshFileList() = 0;
};
