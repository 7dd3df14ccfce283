#include "SafeFileName.h"
#include "TrackList.h"
#include "TestEnvironment.h"

#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;

// The base names of the files a conversion writes; the track list the front ends share.
class TstCore : public QObject
{
    Q_OBJECT

private slots:
    void safeFileName_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("fileName");

        QTest::newRow("plain title unchanged") << u"Intro"_s << u"Intro"_s;
        QTest::newRow("accents and blanks inside kept") << u"Été  à Paris"_s << u"Été  à Paris"_s;
        QTest::newRow("slash") << u"AC/DC"_s << u"AC_DC"_s;
        QTest::newRow("backslash") << u"A\\B"_s << u"A_B"_s;
        QTest::newRow("every forbidden character") << u"a\\/:*?\"<>|b"_s << u"a_________b"_s;
        QTest::newRow("control characters") << u"a\tb\nc\x7f"_s << u"a_b_c_"_s;
        QTest::newRow("trailing dots and blanks") << u"Fin. . ."_s << u"Fin"_s;
        QTest::newRow("leading blank kept") << u" Intro"_s << u" Intro"_s;
        QTest::newRow("parent folder") << u".."_s << u"Piste 4"_s;
        QTest::newRow("current folder") << u"."_s << u"Piste 4"_s;
        QTest::newRow("climbing path") << u"../../etc/passwd"_s << u"_._.._etc_passwd"_s;
        QTest::newRow("leading dot would hide the file") << u".cache"_s << u"_cache"_s;
        QTest::newRow("empty") << QString() << u"Piste 4"_s;
        QTest::newRow("only blanks") << u"   "_s << u"Piste 4"_s;
        QTest::newRow("device name") << u"CON"_s << u"_CON"_s;
        QTest::newRow("device name, any case") << u"nul"_s << u"_nul"_s;
        QTest::newRow("device name with an extension") << u"aux.txt"_s << u"_aux.txt"_s;
        QTest::newRow("device name with blanks before the dot") << u"PRN .x"_s << u"_PRN .x"_s;
        QTest::newRow("numbered port") << u"COM1"_s << u"_COM1"_s;
        QTest::newRow("printer port") << u"lpt9"_s << u"_lpt9"_s;
        QTest::newRow("not a device: longer") << u"CONCERT"_s << u"CONCERT"_s;
        QTest::newRow("not a device: COM without digit") << u"COMA"_s << u"COMA"_s;
        QTest::newRow("characters outside the BMP kept") << u"Ode 🎵"_s << u"Ode 🎵"_s;
        QTest::newRow("lone surrogate") << QString(QChar(char16_t(0xD800))) + u"x"_s << u"_x"_s;
        QTest::newRow("long title cut to 250 bytes") << QString(300, u'é') << QString(125, u'é');
        QTest::newRow("cut does not leave a trailing dot") << QString(249, u'a') + u".b"_s
                                                          << QString(249, u'a');
    }

    void safeFileName()
    {
        QFETCH(QString, title);
        QFETCH(QString, fileName);
        QCOMPARE(::safeFileName(title, 4), fileName);
    }

    // The tags a track is encoded with: its text, the album, and its own artist on a
    // compilation, else the disc's.
    void trackTags_data()
    {
        QTest::addColumn<QString>("ownArtist");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("artist");

        QTest::newRow("the disc's artist") << QString() << 1 << u"Un"_s << u"Disque"_s;
        QTest::newRow("a compilation's own artist") << u"Invitée"_s << 1 << u"Un"_s << u"Invitée"_s;
        QTest::newRow("out of the list") << u"Invitée"_s << 3 << QString() << u"Disque"_s;
    }

    void trackTags()
    {
        QFETCH(QString, ownArtist);
        QFETCH(int, position);
        QFETCH(QString, title);
        QFETCH(QString, artist);
        TrackList list;
        list.setTracks({{1, u"00:10"_s, u"Un"_s, true, QString()}, {2, u"00:20"_s, u"Deux"_s, false, QString()}});
        list.setArtist(u"Disque"_s);
        list.setAlbum(u"Album"_s);
        list.setTrackArtist(1, ownArtist);

        const TrackTags tags = list.trackTags(position);
        QCOMPARE(tags.title, title);
        QCOMPARE(tags.album, u"Album"_s);
        QCOMPARE(tags.artist, artist);
    }

    // A viewer that writes back what it shows (the window's tree) hears of real changes
    // only, or it would loop; a new disc starts with the tags the window opens with.
    void viewersHearOnlyChanges()
    {
        TrackList list;
        list.setTracks({{1, u"00:10"_s, u"Un"_s, false, QString()}});
        QSignalSpy track(&list, &TrackList::trackChanged);
        QSignalSpy tags(&list, &TrackList::discTagsChanged);

        list.setText(1, u"Un"_s);
        list.setChecked(1, false);
        list.setAlbum(list.album());
        QCOMPARE(track.count(), 0);
        QCOMPARE(tags.count(), 0);

        list.setChecked(1, true);
        list.setText(2, u"Hors liste"_s);
        QCOMPARE(track.count(), 1);
        QCOMPARE(track.first().first().toInt(), 1);
        QVERIFY(list.trackChecked(1));

        list.setArtist(u"Quelqu'un"_s);
        list.clear();
        QCOMPARE(list.trackCount(), 0);
        QCOMPARE(list.album(), u"titre"_s);
        QCOMPARE(list.artist(), QString());
    }
};

SONALBURY_TEST_MAIN_CORE(TstCore)
#include "tst_core.moc"
