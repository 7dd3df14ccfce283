#include "ProgramSetup.h"

#include <csignal>

#include "PreparedImage.h"
#include "RememberedTitles.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QStringDecoder>
#include <QTranslator>
#include <QWidget>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <filesystem>
#include <system_error>
#endif

void ProgramSetup::beforeApplication()
{
#ifdef Q_OS_LINUX
    // Qt's ffmpeg back end crashes where there is no audio device; GStreamer falls back to
    // a silent sink.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
#endif
    // Playback fails silently: its back end must not talk on the terminal either.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.multimedia*=false"));
#ifdef SIGXFSZ
    // A file-size limit (ulimit -f, a FAT disk) would kill the program in the middle of a
    // WAV file without a word: ignored, the write fails and is reported like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

QString ProgramSetup::programFolder(QString *problem)
{
#ifdef Q_OS_LINUX
    // Qt reads file names as UTF-8: a folder named in another encoding (a Latin-1 "été",
    // as old archives leave) comes back from it empty or as another name.
    std::error_code error;
    const std::string native = std::filesystem::read_symlink("/proc/self/exe", error).native();
    if (!error) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString shown = utf8.decode(QByteArrayView(native.data(), static_cast<qsizetype>(native.size())));
        if (utf8.hasError()) {
            *problem = QStringLiteral("Le chemin du programme « %1 » contient un nom qui n'est pas écrit en UTF-8 : "
                                      "le dossier musiques ne peut pas être placé à côté du programme. Renommez ce "
                                      "dossier, ou déplacez le programme dans un dossier au nom lisible.")
                           .arg(shown);
            return {};
        }
    }
#endif
    const QString folder = QCoreApplication::applicationDirPath();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        *problem = QStringLiteral("Le dossier du programme est introuvable : le dossier musiques ne peut pas être "
                                  "placé à côté du programme.");
        return {};
    }
    return folder;
}

void ProgramSetup::sweepLeftovers()
{
    PreparedImage::sweepLeftovers();
    titles::RememberedTitles().sweepLeftovers();
}

void ProgramSetup::installFrenchTranslation()
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral("qtbase_fr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

#ifdef Q_OS_UNIX
namespace {
int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}
} // namespace
#endif

std::unique_ptr<SignalGuard> ProgramSetup::closeOnTerminationSignals(QObject &context,
                                                                    std::function<void()> terminate)
{
#ifdef Q_OS_UNIX
    // Only a write to a socket is safe in a signal handler; the window closes from the
    // event loop.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return nullptr;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &context);
    QObject::connect(notifier, &QSocketNotifier::activated, &context, [terminate = std::move(terminate)] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(signalPipe[0], &byte, 1);
        terminate();
    });
    return std::make_unique<SignalGuard>(onTerminationSignal);
#else
    Q_UNUSED(context);
    Q_UNUSED(terminate);
    return nullptr;
#endif
}

void ProgramSetup::applyFonts()
{
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                QStringLiteral("DejaVu Sans")});
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    QApplication::setFont(font);
}
