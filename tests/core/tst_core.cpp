#include "SafeFileName.h"
#include "TestEnvironment.h"

#include <QtTest>

using namespace Qt::StringLiterals;

// The base names of the files a conversion writes.
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
};

SONALBURY_TEST_MAIN_CORE(TstCore)
#include "tst_core.moc"
