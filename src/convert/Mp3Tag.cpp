#include "Mp3Tag.h"

#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>

namespace {

bool fitsLatin1(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

TagLib::String::Type encodingFor(const QString &text)
{
    // ID3v2.3 knows Latin-1 and UTF-16 only; Latin-1 keeps the tag readable by old players.
    return fitsLatin1(text) ? TagLib::String::Latin1 : TagLib::String::UTF16;
}

TagLib::String toTagLib(const QString &text)
{
    return TagLib::String(text.toUtf8().toStdString(), TagLib::String::UTF8);
}

void addTextFrame(TagLib::ID3v2::Tag &tag, const char *id, const QString &text)
{
    if (text.isEmpty())
        return;
    auto *frame =
        new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id), encodingFor(text));
    frame->setText(toTagLib(text));
    tag.addFrame(frame); // the tag owns its frames
}

void addComment(TagLib::ID3v2::Tag &tag, const QString &text)
{
    if (text.isEmpty())
        return;
    auto *frame = new TagLib::ID3v2::CommentsFrame(encodingFor(text));
    frame->setLanguage(TagLib::ByteVector("fra"));
    frame->setText(toTagLib(text));
    tag.addFrame(frame);
}

} // namespace

QByteArray Mp3Tag::render() const
{
    TagLib::ID3v2::Tag tag;
    addTextFrame(tag, "TIT2", title);
    addTextFrame(tag, "TPE1", artist);
    addTextFrame(tag, "TALB", album);
    addComment(tag, comment);
    if (tag.frameList().isEmpty())
        return {};
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v3);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
