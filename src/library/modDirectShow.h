#pragma once

#include <QString>

class QMediaPlayer;

// Preview playback of one file at a time. Every failure is silent: the procedures return
// false and nothing is shown or logged. Interface thread only.
namespace modDirectShow {

// Stops the file that plays and releases the player. True when nothing is left playing.
bool TerminateEngine();

// Stops and releases whatever played, then prepares the file at path from its start, at full
// volume, centred, at normal speed. The player opens the file in the background: false here
// means it cannot be played at all (empty path, no such file, a folder, not readable, or the
// player refused it at once); content that turns out not to be audio is found a moment later,
// and the player then stays stopped with its media status InvalidMedia, playing nothing.
bool LoadMP3(const QString &path);

// Plays what LoadMP3 prepared. False when nothing is loaded or the player already knows it
// cannot play it.
bool PlayMP3();

// The player of the last load, or null after a release or a load refused at once. For tests.
const QMediaPlayer *currentPlayer();

} // namespace modDirectShow
