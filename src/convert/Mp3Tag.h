#pragma once

#include <QByteArray>
#include <QString>

// The ID3v2.3 tag of an MP3 file, made with TagLib: title, artist, album and comment, each
// as Latin-1 when it fits and as UTF-16 otherwise. An empty field gets no frame.
class Mp3Tag
{
public:
    QString title;
    QString artist;
    QString album;
    QString comment;

    // The complete tag (header, frames, padding) to put at the start of the file; empty
    // when every field is empty.
    QByteArray render() const;
};
