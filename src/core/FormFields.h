#pragma once

#include <QString>
#include <atomic>
#include <cstdint>

class CdReader;

enum class ExistingFiles
{
    Ask,     // the view asks the user
    Keep,    // the file stays and the track is not converted
    Replace, // the track's files replace it
};

// The main window's state that the extraction and conversion share. The window owns one;
// the batch reads it from its worker thread, so the fields the interface thread may write
// during a batch are atomic.
struct FormFields
{
    // The values kept between runs (read at start-up, written at shut-down).
    struct Settings
    {
        std::int32_t LlMode = 0;         // encoding mode setting
        std::int32_t LlBitrate = 0;      // bit rate setting, kbit/s
        bool LbHauteQualite = false;     // high-quality setting
        std::int32_t LlTypeEncodage = 0; // 0 MP3 only, 1 WAV only, other: both
        std::int32_t LlNomFichier = 0;   // carried between runs only
        QString LsServeur;               // carried between runs only
        QString LsCgi;                   // carried between runs only
        std::int32_t LlLecteur = 0;      // index of the chosen drive
        QString LsCourriel;              // e-mail address CDDB servers ask for; empty = none
        // The menu "Options", which the user may change during a batch: a batch is given
        // them when it starts, on the thread that starts it, and keeps them to its end.
        bool equalLoudness = false;      // every track brought to one loudness
        bool cutLeadingSilence = false;  // the silence a track opens with is cut
    };

    Settings settings;
    std::atomic<bool> LbStop{false};         // a stop of the running extraction is requested
    QString lsDossier;                       // destination folder, ends with a separator
    CdReader *LoRipper = nullptr;            // the reader; owned by the window
    std::atomic<std::int32_t> LlHandleCD{0}; // handle of the open drive, 0 = none

    // What a track does when the music folder already holds a file of its name that this
    // batch did not write (the user's own, another disc's track of the same title): the
    // window asks, the terminal keeps it unless told to replace it.
    ExistingFiles existingFiles = ExistingFiles::Ask;

    // The window is closing (or the terminal was interrupted): stop at once, including an
    // encoding under way, and remove the unfinished files of the interrupted track.
    std::atomic<bool> closing{false};
};
