#include "FullDisk.h"
#include "Parametres.h"
#include "SettingsStore.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "TestPlatform.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtTest>
#include <memory>

// The settings as a user meets them: first run, values edited by hand, values that do
// not convert.
class TstSettings : public QObject
{
    Q_OBJECT

private:
    int m_case = 0;
    QString freshName() { return QStringLiteral("settings-case-%1").arg(++m_case); }

    static std::unique_ptr<QSettings> rawStore(const SettingsStore &store)
    {
        return TestPlatform::rawSettings(store.location());
    }

    static void storeRaw(const QString &app, const QString &key, const QString &text)
    {
        SettingsStore store(app);
        QVERIFY(store.write(key, text));
    }

private slots:
    void firstRunGivesDefaultsAndWritesEveryKey()
    {
        const QString app = freshName();
        SettingsStore store(app);
        FormFields form;
        QVERIFY(ChargerParametres(form, store).isEmpty());
        QCOMPARE(form.settings.LlMode, 0);
        QCOMPARE(form.settings.LlBitrate, 160);
        QCOMPARE(form.settings.LbHauteQualite, false);
        QCOMPARE(form.settings.LlTypeEncodage, 0);
        QCOMPARE(form.settings.LlNomFichier, 3);
        QCOMPARE(form.settings.LsServeur, QStringLiteral("gnudb.gnudb.org"));
        QCOMPARE(form.settings.LsCgi, QStringLiteral("/~cddb/cddb.cgi"));
        QCOMPARE(form.settings.LlLecteur, 0);
        QCOMPARE(form.settings.equalLoudness, false);
        QCOMPARE(form.settings.cutLeadingSilence, false);

        QVERIFY(SauverParametres(form, store));
        const auto raw = rawStore(store);
        raw->beginGroup(QStringLiteral("Parametres"));
        // The eight keys and the two options; no e-mail address was typed.
        QCOMPARE(raw->childKeys().size(), 10);
        QCOMPARE(raw->value(QStringLiteral("VolumeEgal")).toString(), QStringLiteral("0"));
        QCOMPARE(raw->value(QStringLiteral("CouperSilence")).toString(), QStringLiteral("0"));
        QCOMPARE(raw->value(QStringLiteral("Bitrate")).toString(), QStringLiteral("160"));
        QCOMPARE(raw->value(QStringLiteral("HauteQualite")).toString(), QStringLiteral("0"));
        QCOMPARE(raw->value(QStringLiteral("NomFichier")).toString(), QStringLiteral("3"));
    }

    // Texts edited by hand come back as they were typed, and survive a save.
    void handEditedTextsStayUnchanged_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("text");
        QTest::newRow("comma") << "Serveur=a, b" << "a, b";
        QTest::newRow("semicolon") << "Serveur=/x;y" << "/x;y";
        QTest::newRow("quotes inside") << "Serveur=a \"b\" c" << "a \"b\" c";
        QTest::newRow("accents") << "Serveur=serveur-é.fr" << "serveur-é.fr";
    }

    void handEditedTextsStayUnchanged()
    {
        QFETCH(QString, line);
        QFETCH(QString, text);
        const QString app = freshName();
        SettingsStore store(app);
#ifdef Q_OS_WIN
        // Values typed in the registry editor: strings as they are.
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const auto raw = rawStore(store);
        raw->setValue(QStringLiteral("Parametres/") + line.left(equals), line.mid(equals + 1));
        raw->setValue(QStringLiteral("Parametres/Cgi"), QStringLiteral("/x;y,z"));
        raw->sync();
#else
        QDir().mkpath(QFileInfo(store.location()).path());
        QFile file(store.location());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write((QStringLiteral("[Parametres]\n") + line + QStringLiteral("\nCgi=/x;y,z\n")).toUtf8());
        file.close();
#endif

        FormFields form;
        ChargerParametres(form, store);
        QCOMPARE(form.settings.LsServeur, text);
        QCOMPARE(form.settings.LsCgi, QStringLiteral("/x;y,z"));
        QVERIFY(SauverParametres(form, store));
        FormFields again;
        ChargerParametres(again, SettingsStore(app));
        QCOMPARE(again.settings.LsServeur, text);
        QCOMPARE(again.settings.LsCgi, QStringLiteral("/x;y,z"));
    }

    void storeLivesInTheUsersConfigurationFolder()
    {
        const QString location = SettingsStore(QStringLiteral("sonalbury-cdmp3")).location();
#ifdef Q_OS_WIN
        // The registry key the README names, per user.
        QCOMPARE(location, QStringLiteral("\\HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\sonalbury-cdmp3"));
#else
        QVERIFY2(location.startsWith(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))),
                 qPrintable(location));
        QVERIFY(location.endsWith(QStringLiteral("sonalbury-cdmp3.ini")));
#endif
    }

    void storedTextLoadsAndIsWrittenBack_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("written");

        QTest::newRow("bitrate with blanks") << "Bitrate" << "  192 " << "192";
        QTest::newRow("quality True") << "HauteQualite" << "True" << "-1";
        QTest::newRow("quality true any case") << "HauteQualite" << "tRUE" << "-1";
        QTest::newRow("quality -1") << "HauteQualite" << "-1" << "-1";
        QTest::newRow("quality 1") << "HauteQualite" << "1" << "-1";
        QTest::newRow("quality 0") << "HauteQualite" << "0" << "0";
        QTest::newRow("quality False") << "HauteQualite" << "False" << "0";
        QTest::newRow("mode 2.6 rounds") << "Mode" << "2.6" << "3";
        QTest::newRow("2.5 to even") << "NomFichier" << "2.5" << "2";
        QTest::newRow("3.5 to even") << "NomFichier" << "3.5" << "4";
        QTest::newRow("-2.5 to even") << "NomFichier" << "-2.5" << "-2";
        QTest::newRow("negative") << "TypeEncodage" << "-5" << "-5";
        QTest::newRow("largest long") << "TypeEncodage" << "2147483647" << "2147483647";
        QTest::newRow("smallest long") << "TypeEncodage" << "-2147483648" << "-2147483648";
        QTest::newRow("nomfichier as loaded") << "NomFichier" << "007" << "7";
        QTest::newRow("serveur unchanged") << "Serveur" << "  cddb.example, port 8880 " << "  cddb.example, port 8880 ";
        QTest::newRow("cgi unchanged") << "Cgi" << "/cgi-bin/cddb.cgi?a=1" << "/cgi-bin/cddb.cgi?a=1";
        QTest::newRow("cgi non-ASCII") << "Cgi" << "/~cddb/été.cgi" << "/~cddb/été.cgi";
        QTest::newRow("lecteur beyond the list") << "Lecteur" << "12" << "12";
        QTest::newRow("courriel unchanged") << "Courriel" << "inès@example.org" << "inès@example.org";
        QTest::newRow("courriel erased is removed") << "Courriel" << "" << "absent";
        QTest::newRow("equal loudness True") << "VolumeEgal" << "True" << "-1";
        QTest::newRow("leading silence 1") << "CouperSilence" << "1" << "-1";
    }

    void storedTextLoadsAndIsWrittenBack()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(QString, written);
        const QString app = freshName();
        storeRaw(app, key, stored);

        SettingsStore store(app);
        FormFields form;
        QVERIFY(ChargerParametres(form, store).isEmpty());
        QVERIFY(SauverParametres(form, store));
        QCOMPARE(store.read(key, QStringLiteral("absent")), written);
    }

    // A value that does not convert no longer stops every start: its key takes the
    // default, the keys after it are still read, and the default is written back.
    void corruptValueTakesItsDefault_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("writtenBack");

        QTest::newRow("letters in bitrate") << "Bitrate" << "abc" << "160";
        QTest::newRow("bitrate beyond 32 bits") << "Bitrate" << "2147483648" << "160";
        QTest::newRow("empty mode") << "Mode" << "" << "0";
        QTest::newRow("quality word") << "HauteQualite" << "oui" << "0";
        QTest::newRow("equal loudness word") << "VolumeEgal" << "oui" << "0";
        QTest::newRow("lecteur huge") << "Lecteur" << "1e12" << "0";
        QTest::newRow("type with unit") << "TypeEncodage" << "1 mp3" << "0";
        // Readable, but every track would fail at the encoder after being read in full.
        QTest::newRow("bitrate the encoder lacks") << "Bitrate" << "8" << "160";
        QTest::newRow("bitrate negative") << "Bitrate" << "-5" << "160";
        QTest::newRow("mode the encoder lacks") << "Mode" << "2" << "0";
        QTest::newRow("mode 2.5 to even is 2") << "Mode" << "2.5" << "0";
    }

    void corruptValueTakesItsDefault()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(QString, writtenBack);
        const QString app = freshName();
        storeRaw(app, key, stored);
        storeRaw(app, QStringLiteral("Lecteur"), key == QStringLiteral("Lecteur") ? stored : QStringLiteral("2"));

        SettingsStore store(app);
        FormFields form;
        const QStringList corrupt = ChargerParametres(form, store);
        QCOMPARE(corrupt, QStringList{key});
        if (key != QStringLiteral("Lecteur"))
            QCOMPARE(form.settings.LlLecteur, 2); // keys after the faulty one are still read
        QVERIFY(SauverParametres(form, store));
        QCOMPARE(store.read(key, QStringLiteral("absent")), writtenBack);
    }

    void numbersFollowTheUsersLocale()
    {
        const QLocale french(QLocale::French, QLocale::France);
        QCOMPARE(SettingsStore::toLong(QStringLiteral("2,5"), french), std::optional<std::int32_t>(2));
        QCOMPARE(SettingsStore::toLong(QStringLiteral(" 3,5 "), french), std::optional<std::int32_t>(4));
        // A file written under another locale still loads.
        QCOMPARE(SettingsStore::toLong(QStringLiteral("3.5"), french), std::optional<std::int32_t>(4));
        QCOMPARE(SettingsStore::toLong(QStringLiteral("1,5"), QLocale::c()), std::nullopt);
    }

    void unwritableStoreIsReported()
    {
#ifdef Q_OS_WIN
        QSKIP("a test cannot take the write access to the user's own registry away");
#endif
        const QString app = freshName();
        SettingsStore store(app);
        FormFields form;
        QVERIFY(SauverParametres(form, store));
        // A folder where the file should be: not writable, whoever runs the test.
        QVERIFY(QFile::remove(store.location()));
        QVERIFY(QDir().mkpath(store.location()));
        form.settings.LlBitrate = 320;
        QVERIFY(!SauverParametres(form, store));
    }

    // A full disk: the save says so with the system's reason, and the settings saved
    // before are still there, whole.
    void fullDiskIsReportedAndKeepsTheSettings_data()
    {
        QTest::addColumn<qint64>("bytesLeft");
        QTest::newRow("no room at all") << qint64(0);
        // QSettings' own lock file fits, the settings do not.
        QTest::newRow("room for a small file") << qint64(200);
    }
    void fullDiskIsReportedAndKeepsTheSettings()
    {
        QFETCH(qint64, bytesLeft);
        const QString app = freshName();
        SettingsStore store(app);
        FullDisk disk(QFileInfo(store.location()).path());
        if (!disk.unavailable().isEmpty())
            QSKIP(qPrintable(disk.unavailable()));
        FormFields form;
        form.settings.LlBitrate = 192;
        QVERIFY(SauverParametres(form, store));
        const QByteArray before = readAll(store.location());
        QVERIFY(before.contains("Bitrate=\"192\""));
        disk.fill(bytesLeft);
        form.settings.LlBitrate = 320;
        form.settings.LsServeur = QString(4096, QLatin1Char('s'));
        QVERIFY2(!SauverParametres(form, store), qPrintable(disk.how()));
        // Under a file-size limit the disk itself has room: with no room for QSettings'
        // lock file, no reason can be told then.
        if (bytesLeft > 0 || disk.how() == QStringLiteral("tmpfs"))
            QVERIFY2(!store.failure().isEmpty(), qPrintable(disk.how()));
        QCOMPARE(readAll(store.location()), before);
    }
};

SONALBURY_TEST_MAIN_CORE(TstSettings)
#include "tst_settings.moc"
