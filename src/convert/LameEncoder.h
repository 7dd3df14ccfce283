#pragma once

#include "TrackLevelling.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>

// Raised when the encoder refuses a property value or cannot complete an encoding.
// what() is a French sentence for the user that names what failed and why.
class EncoderError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Raised by Encode() when the cancel flag was set: the partial output file is already removed.
class EncodeCancelled : public EncoderError
{
public:
    EncodeCancelled();
};

// MP3 encoder: reads a 16-bit PCM WAV file, writes a CBR MPEG-1 layer III file with a
// LAME info frame (exact length, gapless playback) and an ID3v2.3 tag. At 44.1 kHz the info
// frame needs 64 kbit/s in stereo (56 in mono): below that the file has none and plays with
// LAME's usual short delay at the start.
class LameEncoder
{
public:
    // Called during Encode() with the percentage done, rising from 0 to 100, at least at
    // every whole percent. The callback must not throw.
    using ProgressHandler = std::function<void(std::int32_t percent)>;

    // Channel modes (EncodingMode).
    static constexpr std::int32_t ModeStereo = 0;
    static constexpr std::int32_t ModeJointStereo = 1;
    static constexpr std::int32_t ModeMono = 3;

    LameEncoder();
    ~LameEncoder();
    LameEncoder(const LameEncoder &) = delete;
    LameEncoder &operator=(const LameEncoder &) = delete;

    // The values the setters below accept.
    static bool supportsEncodingMode(std::int32_t mode);
    static bool supportsEncodingBitrate(std::int32_t kbps);

    // Each setter throws EncoderError for a value the encoder does not support.
    void setEncodingMode(std::int32_t mode);
    void setEncodingBitrate(std::int32_t kbps);
    void setSampleRate(double kHz);
    void setLowQuality(bool low);
    void setInputFile(const QString &path);
    void setOutputFile(const QString &path);
    void setAlbumTag(const QString &text);
    void setArtistTag(const QString &text);
    void setTitleTag(const QString &text);
    void setCommentTag(const QString &text);

    std::int32_t encodingMode() const { return m_mode; }
    std::int32_t encodingBitrate() const { return m_bitrate; }
    double sampleRate() const { return m_sampleRateKHz; }
    bool lowQuality() const { return m_lowQuality; }
    QString inputFile() const { return m_inputFile; }
    QString outputFile() const { return m_outputFile; }

    // Equal loudness and the cut of the leading silence, decided by a first pass over the
    // input and applied while LAME encodes (one lossy pass). Both off by default: the file
    // is then exactly what it is without them.
    void setLevelOptions(const LevelOptions &options) { m_levelOptions = options; }
    LevelOptions levelOptions() const { return m_levelOptions; }
    // What the last Encode() did to the sound: nothing, when the options were off.
    const LevelPlan &levelPlan() const { return m_levelPlan; }

    void setProgressHandler(ProgressHandler handler) { m_progress = std::move(handler); }

    // Flag read during Encode() (after each block and each progress event); when it is true,
    // Encode() stops, removes the partial output and throws EncodeCancelled. The flag must
    // outlive the encodings; nullptr (the default) means no cancel.
    void setCancelFlag(const std::atomic<bool> *flag) { m_cancel = flag; }

    // Encodes InputFile into OutputFile and tags it. Returns when the file is complete.
    // Throws EncoderError on failure; a partly written output file is removed first.
    // The properties are read once at the start: setters called from the progress handler
    // apply to the next encoding.
    void Encode();

private:
    std::int32_t m_mode = ModeStereo;
    std::int32_t m_bitrate = 128;
    double m_sampleRateKHz = 44.1;
    bool m_lowQuality = false;
    QString m_inputFile;
    QString m_outputFile;
    QString m_album;
    QString m_artist;
    QString m_title;
    QString m_comment;
    LevelOptions m_levelOptions;
    LevelPlan m_levelPlan;
    ProgressHandler m_progress;
    const std::atomic<bool> *m_cancel = nullptr;
    bool m_encoding = false; // guards against Encode() re-entered from the progress handler
};
