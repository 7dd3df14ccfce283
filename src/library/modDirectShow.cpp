#include "modDirectShow.h"

#include <QAudioOutput>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QPointer>
#include <QUrl>

namespace modDirectShow {

namespace {

// The one player and its output, owned by the application object so that they go with it;
// the guarded pointers clear themselves when that happens.
QPointer<QMediaPlayer> objMediaControl;
QPointer<QAudioOutput> objBasicAudio;

bool knownUnplayable(const QMediaPlayer &player)
{
    return player.error() != QMediaPlayer::NoError
           || player.mediaStatus() == QMediaPlayer::InvalidMedia;
}

// Releases the player while the application is still whole, when its event loop ends.
void releaseAtQuit(QCoreApplication *application)
{
    static QPointer<QCoreApplication> connectedTo;
    if (connectedTo == application)
        return;
    connectedTo = application;
    QObject::connect(application, &QCoreApplication::aboutToQuit, application,
                     [] { TerminateEngine(); });
}

} // namespace

bool TerminateEngine()
{
    if (objMediaControl)
        objMediaControl->stop();
    // The player goes first: it tears its pipeline down while its output still exists.
    delete objMediaControl.data();
    delete objBasicAudio.data();
    return true;
}

bool LoadMP3(const QString &path)
{
    if (!TerminateEngine())
        return false;
    QCoreApplication *application = QCoreApplication::instance();
    if (!application || path.isEmpty())
        return false;
    // Checked here because the player would report them only later, and noisily.
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable())
        return false;
    releaseAtQuit(application);

    objBasicAudio = new QAudioOutput(application);
    objBasicAudio->setMuted(false);
    objBasicAudio->setVolume(1.0f);
    // Qt has no balance: the output keeps the file's own stereo image, centred.
    QMediaPlayer *player = new QMediaPlayer(application);
    objMediaControl = player;
    // A file found unplayable in the background leaves the player stopped, not waiting to play.
    QObject::connect(player, &QMediaPlayer::mediaStatusChanged, player,
                     [player](QMediaPlayer::MediaStatus status) {
                         if (status == QMediaPlayer::InvalidMedia)
                             player->stop();
                     });
    player->setAudioOutput(objBasicAudio);
    objMediaControl->setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
    objMediaControl->setPlaybackRate(1.0);
    objMediaControl->setPosition(0);
    return !knownUnplayable(*objMediaControl);
}

bool PlayMP3()
{
    if (!objMediaControl || knownUnplayable(*objMediaControl))
        return false;
    objMediaControl->play();
    return !knownUnplayable(*objMediaControl);
}

const QMediaPlayer *currentPlayer()
{
    return objMediaControl.data();
}

} // namespace modDirectShow
