// The in-memory INI store: what survives a load and a save, name matching,
// encodings, typed values and the guarantees of a failed or atomic save.

#include "AnsiCodec.h"
#include "Exceptions.h"
#include "MemIniFile.h"
#include "NumberFormat.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "ExactDouble.h"
#include "TestFiles.h"

#include <climits>
#include <memory>
#include <csignal>
#include <sys/resource.h>

namespace {

using testfiles::ReadBytes;
using testfiles::WriteBytes;

// UTF-16 code units spelled out byte by byte, independent of Qt's encoders.
QByteArray Utf16(const QString& text, bool littleEndian)
{
    QByteArray out = littleEndian ? QByteArray("\xFF\xFE", 2) : QByteArray("\xFE\xFF", 2);
    for (QChar c : text) {
        const char lo = char(c.unicode() & 0xFF);
        const char hi = char(c.unicode() >> 8);
        out.append(littleEndian ? lo : hi);
        out.append(littleEndian ? hi : lo);
    }
    return out;
}

} // namespace

class tst_MemIniFile : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir; // a fresh one for every test row
    QString Path(const QString& name = QStringLiteral("t.ini")) const { return m_dir->filePath(name); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() { NumberFormat::SetCurrent(NumberFormat{u'.', u','}); }

    void loadAndSaveText_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("saved");
        QTest::newRow("comments, blank lines and lines before the first section vanish")
            << QByteArray("orphan=1\r\n; note\r\n\r\n[A]\r\n;k=v\r\nk=v\r\n\r\n") << "[A]\r\nk=v\r\n\r\n";
        QTest::newRow("blanks around names and values are stripped")
            << QByteArray("  [  Sec  ]  \r\n \t key \t=  value with inner blanks \t\r\n")
            << "[Sec]\r\nkey=value with inner blanks\r\n\r\n";
        QTest::newRow("a repeated section continues the earlier one, whatever its case")
            << QByteArray("[A]\na=1\n[B]\nb=2\n[a]\nc=3\n") << "[A]\r\na=1\r\nc=3\r\n\r\n[B]\r\nb=2\r\n\r\n";
        QTest::newRow("an entry without = is kept as it is") << QByteArray("[A]\rlonely line\rk=v\r")
                                                           << "[A]\r\nlonely line\r\nk=v\r\n\r\n";
        QTest::newRow("only the first = splits") << QByteArray("[A]\nk = a = b\n") << "[A]\r\nk=a = b\r\n\r\n";
        QTest::newRow("empty section keeps its empty line") << QByteArray("[E]\n[F]\nx=\n")
                                                            << "[E]\r\n\r\n[F]\r\nx=\r\n\r\n";
        QTest::newRow("an unclosed bracket is an ordinary line") << QByteArray("[A]\n[B\n")
                                                               << "[A]\r\n[B\r\n\r\n";
        QTest::newRow("empty file") << QByteArray() << "";
    }
    void loadAndSaveText()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, saved);
        WriteBytes(Path(), input);
        TMemIniFile ini(Path());
        QCOMPARE(ini.Text(), saved);
        ini.UpdateFile();
        QCOMPARE(ReadBytes(Path()), saved.toLatin1());
    }

    void lookupsAndOrder()
    {
        WriteBytes(Path(), "[Main]\nWidth=10\nWidth=20\nflag\n[Other]\nx=1\n");
        TMemIniFile ini(Path());
        QCOMPARE(ini.ReadString("MAIN", "width", "d"), QString("10")); // the first of two equal keys
        QCOMPARE(ini.ReadString("Main", "flag", "d"), QString("d"));   // no "=": absent
        QVERIFY(!ini.ValueExists("Main", "flag"));
        QVERIFY(ini.ValueExists("main", "WIDTH"));
        QVERIFY(!ini.ValueExists("Nope", "x"));

        ini.WriteString("main", "WIDTH", "30"); // replaced in place, stored case kept
        ini.WriteString("Main", "New", "n");    // appended to its section
        ini.WriteString("Third", "t", "3");     // new section at the end
        QCOMPARE(ini.Text(), QString("[Main]\r\nWidth=30\r\nWidth=20\r\nflag\r\nNew=n\r\n\r\n"
                                     "[Other]\r\nx=1\r\n\r\n[Third]\r\nt=3\r\n\r\n"));

        QStringList list{"stale"};
        ini.ReadSection("MAIN", list);
        QCOMPARE(list, QStringList({"Width", "Width", "New"}));
        ini.ReadSectionValues("Main", list);
        QCOMPARE(list, QStringList({"Width=30", "Width=20", "New=n"}));
        ini.ReadSections(list);
        QCOMPARE(list, QStringList({"Main", "Other", "Third"}));

        ini.DeleteKey("main", "width"); // the first one goes, the second becomes visible
        QCOMPARE(ini.ReadString("Main", "Width", "d"), QString("20"));
        ini.DeleteKey("Main", "absent");
        ini.EraseSection("OTHER");
        ini.EraseSection("absent");
        QVERIFY(!ini.SectionExists("Other"));
        ini.WriteString("Empty", "k", "v");
        ini.DeleteKey("Empty", "k");
        QVERIFY(ini.SectionExists("empty")); // a section without keys still exists
        QCOMPARE(ini.Text(), QString("[Main]\r\nWidth=20\r\nflag\r\nNew=n\r\n\r\n[Third]\r\nt=3\r\n\r\n[Empty]\r\n\r\n"));
    }

    void caseBlindBeyondAscii_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("asked");
        QTest::newRow("latin accents") << QString::fromUtf8("café") << QString::fromUtf8("CAFÉ");
        QTest::newRow("full-width letters") << QString::fromUtf8("ｉｎｉ") << QString::fromUtf8("ＩＮＩ");
        QTest::newRow("greek") << QString::fromUtf8("λόγος") << QString::fromUtf8("ΛΌΓΟΣ");
    }
    void caseBlindBeyondAscii()
    {
        QFETCH(QString, stored);
        QFETCH(QString, asked);
        TMemIniFile ini(Path());
        ini.WriteString(stored, stored, "v");
        QCOMPARE(ini.ReadString(asked, asked, "d"), QString("v"));
        ini.SetCaseSensitive(true);
        QCOMPARE(ini.ReadString(asked, asked, "d"), QString("d"));
        QCOMPARE(ini.ReadString(stored, stored, "d"), QString("v"));
    }

    void caseSensitiveSwitch()
    {
        TMemIniFile ini(Path());
        ini.SetCaseSensitive(true);
        ini.WriteString("S", "k", "lower");
        ini.WriteString("S", "K", "upper");
        ini.WriteString("s", "k", "other section");
        QCOMPARE(ini.ReadString("S", "K", "d"), QString("upper"));
        ini.SetCaseSensitive(false); // now the first of the equal names wins
        QCOMPARE(ini.ReadString("S", "K", "d"), QString("lower"));
        QCOMPARE(ini.ReadString("s", "k", "d"), QString("lower"));

        // Loading with case-sensitive names keeps differently cased sections apart.
        WriteBytes(Path("cs.ini"), "[A]\nk=1\n[a]\nk=2\n");
        TMemIniFile cs(Path("cs.ini"), true);
        QStringList sections;
        cs.ReadSections(sections);
        QCOMPARE(sections, QStringList({"A", "a"}));
    }

    void encodings_data()
    {
        const QString nihon = QString::fromUtf8("日本");
        const QString loaded = "[S]\r\nk=" + nihon + "\r\n";
        const QString addedJa = QString::fromUtf8("テスト");
        QTest::addColumn<QByteArray>("input"); // "<none>": no file yet
        QTest::addColumn<QString>("added");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<int>("encoding");
        QTest::newRow("UTF-8 with mark") << "\xEF\xBB\xBF" + loaded.toUtf8() << QString::fromUtf8("é")
                                         << "\xEF\xBB\xBF" + (loaded + QString::fromUtf8("n=é\r\n\r\n")).toUtf8()
                                         << int(TMemIniFile::TEncoding::Utf8);
        QTest::newRow("UTF-16 LE") << Utf16(loaded, true) << QString::fromUtf8("😀")
                                   << Utf16(loaded + QString::fromUtf8("n=😀\r\n\r\n"), true)
                                   << int(TMemIniFile::TEncoding::Utf16LE);
        QTest::newRow("UTF-16 BE") << Utf16(loaded, false) << QString::fromUtf8("é")
                                   << Utf16(loaded + QString::fromUtf8("n=é\r\n\r\n"), false)
                                   << int(TMemIniFile::TEncoding::Utf16BE);
        // 日本 = 93 FA 96 7B, テスト = 83 65 83 58 83 67 in CP932.
        QTest::newRow("CP932 stays CP932 while everything fits")
            << QByteArray("[S]\r\nk=\x93\xFA\x96\x7B\r\n") << addedJa
            << QByteArray("[S]\r\nk=\x93\xFA\x96\x7B\r\nn=\x83\x65\x83\x58\x83\x67\r\n\r\n")
            << int(TMemIniFile::TEncoding::Ansi);
        QTest::newRow("CP932 becomes UTF-8 for a character it lacks")
            << QByteArray("[S]\r\nk=\x93\xFA\x96\x7B\r\n") << QString::fromUtf8("é")
            << "\xEF\xBB\xBF" + (loaded + QString::fromUtf8("n=é\r\n\r\n")).toUtf8()
            << int(TMemIniFile::TEncoding::Utf8);
        QTest::newRow("a wave dash would come back as a full-width tilde")
            << QByteArray("<none>") << QString(QChar(0x301C))
            << "\xEF\xBB\xBF" + QString("[S]\r\nn=" + QString(QChar(0x301C)) + "\r\n\r\n").toUtf8()
            << int(TMemIniFile::TEncoding::Utf8);
        QTest::newRow("a yen sign would come back as a backslash")
            << QByteArray("<none>") << QString::fromUtf8("¥")
            << "\xEF\xBB\xBF" + QString::fromUtf8("[S]\r\nn=¥\r\n\r\n").toUtf8()
            << int(TMemIniFile::TEncoding::Utf8);
        QTest::newRow("a new file with Japanese text is CP932")
            << QByteArray("<none>") << addedJa << QByteArray("[S]\r\nn=\x83\x65\x83\x58\x83\x67\r\n\r\n")
            << int(TMemIniFile::TEncoding::Ansi);
    }
    void encodings()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, added);
        QFETCH(QByteArray, output);
        QFETCH(int, encoding);
        if (input != "<none>") {
            WriteBytes(Path(), input);
            TMemIniFile probe(Path());
            QCOMPARE(probe.ReadString("S", "k", "d"), QString::fromUtf8("日本"));
        }
        TMemIniFile ini(Path());
        ini.WriteString("S", "n", added);
        ini.UpdateFile();
        QCOMPARE(ReadBytes(Path()), output);
        QCOMPARE(int(ini.Encoding()), encoding);
        TMemIniFile reread(Path());
        QCOMPARE(reread.ReadString("S", "n", "d"), added);
        QCOMPARE(int(reread.Encoding()), encoding);
    }

    void cp932Details()
    {
        // Backslash and tilde keep their ASCII meaning; a broken byte is
        // replaced instead of stopping the load.
        WriteBytes(Path(), "[S]\r\npath=C:\\dir\\~x\r\nbad=\x81\r\n");
        TMemIniFile ini(Path());
        QCOMPARE(ini.ReadString("S", "path", ""), QString("C:\\dir\\~x"));
        QCOMPARE(ini.ReadString("S", "bad", ""), QString(QChar(0xFFFD)));
    }

    // A file without a mark that is not CP932 but is UTF-8 (as a Linux
    // editor writes it) is read as UTF-8 and saved as UTF-8, with a mark. A
    // file that is valid CP932 stays CP932, even when it is UTF-8 as well;
    // its bytes come back unchanged.
    void unmarkedUtf8_data()
    {
        QTest::addColumn<QString>("value"); // stored in the file as UTF-8
        QTest::addColumn<QString>("reads");
        QTest::addColumn<bool>("marked"); // saved with a UTF-8 mark
        QTest::newRow("Japanese") << QString::fromUtf8("日本語") << QString::fromUtf8("日本語") << true;
        QTest::newRow("beyond the BMP") << QString::fromUtf8("😀") << QString::fromUtf8("😀") << true;
        // C3 A9 is two half-width katakana in CP932.
        QTest::newRow("also valid CP932") << QString::fromUtf8("café") << QString::fromUtf8("cafﾃｩ") << false;
    }
    void unmarkedUtf8()
    {
        QFETCH(QString, value);
        QFETCH(QString, reads);
        QFETCH(bool, marked);
        const QByteArray original = "[S]\r\nName=" + value.toUtf8() + "\r\n";
        QCOMPARE(!AnsiCodec::DecodeStrict(original), marked);
        WriteBytes(Path(), original);
        TMemIniFile ini(Path());
        QCOMPARE(ini.ReadString("S", "Name", "d"), reads);
        ini.WriteString("S", "n", QStringLiteral("1"));
        ini.UpdateFile();
        QCOMPARE(ReadBytes(Path()), (marked ? "\xEF\xBB\xBF" : "") + original + "n=1\r\n\r\n");
        TMemIniFile reread(Path());
        QCOMPARE(reread.ReadString("S", "Name", "d"), reads);
    }

    // Bytes that decode to no character (0x80 and 0xFF are no CP932 code,
    // nor is 0x81 before a line break; in a file that is neither CP932 nor
    // UTF-8, or a broken marked UTF-8 file) go back to the file as they
    // were: the replacement characters they read as are never written,
    // unless the program's own write replaces the value.
    void undecodableBytesSurviveASave_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("a broken value") << QByteArray("[S]\r\nbad=\x81\r\n") << "S" << "n" << "1"
                                        << QByteArray("[S]\r\nbad=\x81\r\nn=1\r\n\r\n");
        QTest::newRow("a broken key") << QByteArray("[S]\r\n\x80k=v\r\n") << "S" << "n" << "1"
                                      << QByteArray("[S]\r\n\x80k=v\r\nn=1\r\n\r\n");
        QTest::newRow("a broken section name") << QByteArray("[\x80S]\r\nk=v\r\n") << "T" << "n" << "1"
                                               << QByteArray("[\x80S]\r\nk=v\r\n\r\n[T]\r\nn=1\r\n\r\n");
        QTest::newRow("a broken line without =") << QByteArray("[S]\r\n\xFF\xFF\r\n") << "S" << "n" << "1"
                                                 << QByteArray("[S]\r\n\xFF\xFF\r\nn=1\r\n\r\n");
        QTest::newRow("blanks go as for any line") << QByteArray("[S]\r\n  bad \t= \x81  \r\n") << "S" << "n" << "1"
                                                   << QByteArray("[S]\r\nbad=\x81\r\nn=1\r\n\r\n");
        QTest::newRow("valid Japanese beside it stays CP932")
            << QByteArray("[S]\r\nbad=\x81\r\nk=\x93\xFA\x96\x7B\r\n") << "S" << "n" << "1"
            << QByteArray("[S]\r\nbad=\x81\r\nk=\x93\xFA\x96\x7B\r\nn=1\r\n\r\n");
        QTest::newRow("the program's own write replaces it") << QByteArray("[S]\r\nbad=\x81\r\n") << "S" << "bad" << "ok"
                                                             << QByteArray("[S]\r\nbad=ok\r\n\r\n");
        QTest::newRow("a replaced value keeps its broken key") << QByteArray("[S]\r\n\x80k=\x81\r\n") << "S"
                                                               << QString::fromUtf8("\uFFFDk") << "ok"
                                                               << QByteArray("[S]\r\n\x80k=ok\r\n\r\n");
        QTest::newRow("kept inside a file that turns UTF-8") << QByteArray("[S]\r\nbad=\x81\r\n") << "S" << "n"
                                                             << QString::fromUtf8("é")
                                                             << QByteArray("\xEF\xBB\xBF[S]\r\nbad=\x81\r\nn=\xC3\xA9\r\n\r\n");
        QTest::newRow("a marked UTF-8 file") << QByteArray("\xEF\xBB\xBF[S]\r\nk=a\xFF" "b\r\n") << "S" << "n" << "1"
                                             << QByteArray("\xEF\xBB\xBF[S]\r\nk=a\xFF" "b\r\nn=1\r\n\r\n");
        QTest::newRow("a line starting with U+FEFF beside a broken one")
            << QByteArray("\xEF\xBB\xBF[S]\r\nbad=\xFF\r\n\xEF\xBB\xBFk=v\r\n") << "S" << "n" << "1"
            << QByteArray("\xEF\xBB\xBF[S]\r\nbad=\xFF\r\n\xEF\xBB\xBFk=v\r\nn=1\r\n\r\n");
    }
    void undecodableBytesSurviveASave()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, output);
        WriteBytes(Path(), input);
        {
            TMemIniFile ini(Path());
            ini.WriteString(section, key, value);
            ini.UpdateFile();
        }
        QCOMPARE(ReadBytes(Path()), output);
        // And again after a second load and save.
        {
            TMemIniFile ini(Path());
            ini.WriteString(section, key, value);
            ini.UpdateFile();
        }
        QCOMPARE(ReadBytes(Path()), output);
    }

    // A saved file reads back exactly as the store held it, also where the
    // bytes kept for undecodable text would read as other characters: the
    // lines a save drops were all that kept the file from UTF-8, a write
    // replaced them, or a character CP932 lacks turns the file to UTF-8.
    void savedFileReadsBackAsHeld_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("writtenKey"); // in section "s"; empty: none
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("section");    // the first section's name as read
        QTest::addColumn<QString>("a");          // the value of "a" in it as read
        QTest::newRow("stray byte above a section named in UTF-8 reads as UTF-8")
            << QByteArray("\xFF\r\n[\xC3\x80]\r\na=v\r\n") << QString() << QString() << QString::fromUtf8("À") << "v";
        QTest::newRow("a write replaces the only bytes that were no UTF-8")
            << QByteArray("[s]\r\na=\xC2\x80\r\nb=\xFF\r\n") << "b" << "x" << "s" << QString::fromUtf8("ﾂ\uFFFD");
        QTest::newRow("a character CP932 lacks turns the file to UTF-8")
            << QByteArray("[s]\r\na=\xC3\x80\xFF\r\n") << "n" << QString::fromUtf8("é") << "s" << QString::fromUtf8("ﾃ\uFFFD\uFFFD");
    }
    void savedFileReadsBackAsHeld()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, writtenKey);
        QFETCH(QString, written);
        QFETCH(QString, section);
        QFETCH(QString, a);
        WriteBytes(Path(), input);
        TMemIniFile ini(Path());
        if (!writtenKey.isEmpty())
            ini.WriteString("s", writtenKey, written);
        QStringList sections;
        ini.ReadSections(sections);
        QCOMPARE(sections.value(0), section);
        QCOMPARE(ini.ReadString(section, "a", "d"), a);
        ini.UpdateFile();
        const QByteArray saved = ReadBytes(Path());
        TMemIniFile reread(Path());
        QCOMPARE(reread.Text(), ini.Text());
        QCOMPARE(reread.ReadString(section, "a", "d"), a);
        reread.UpdateFile();
        QCOMPARE(ReadBytes(Path()), saved);
    }

    // CP932 codes that share a character with another code (NEC and IBM
    // extensions) keep the code the file used.
    void duplicateCp932CodesKeepTheirBytes()
    {
        // 0x879A and 0x81E6 are both U+2235 (because); 0xED40 and 0xFA5C
        // both U+7E8A.
        const QByteArray original("[S]\r\na=\x87\x9A\r\nb=\xED\x40\r\n");
        WriteBytes(Path(), original);
        TMemIniFile ini(Path());
        QCOMPARE(ini.ReadString("S", "a", "d"), QString(QChar(0x2235)));
        ini.WriteString("S", "n", QStringLiteral("1"));
        ini.UpdateFile();
        QCOMPARE(ReadBytes(Path()), original + "n=1\r\n\r\n");
    }

    void integers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // default is 7
        QTest::newRow("decimal") << "123" << 123;
        QTest::newRow("negative") << "-45" << -45;
        QTest::newRow("plus sign") << "+8" << 8;
        QTest::newRow("0x lower digits") << "0x1f" << 31;
        QTest::newRow("0X") << "0X1F" << 31;
        QTest::newRow("dollar") << "$ff" << 255;
        QTest::newRow("hex top bit") << "$FFFFFFFF" << -1;
        QTest::newRow("hex minimum") << "0x80000000" << INT_MIN;
        QTest::newRow("leading zeros are not significant") << "0x000000001" << 1;
        QTest::newRow("nine hex digits") << "0x123456789" << 7;
        QTest::newRow("maximum") << "2147483647" << INT_MAX;
        QTest::newRow("minimum") << "-2147483648" << INT_MIN;
        QTest::newRow("overflow") << "2147483648" << 7;
        QTest::newRow("trailing garbage") << "12a" << 7;
        QTest::newRow("fraction") << "1.5" << 7;
        QTest::newRow("empty") << "" << 7;
        QTest::newRow("prefix only") << "0x" << 7;
        QTest::newRow("dollar only") << "$" << 7;
        QTest::newRow("inner blank") << "1 2" << 7;
    }
    void integers()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        TMemIniFile ini(Path());
        ini.WriteString("S", "k", text);
        QCOMPARE(ini.ReadInteger("S", "k", 7), expected);
        QCOMPARE(ini.ReadBool("S", "k", true), expected == 7 ? true : expected != 0);
        QCOMPARE(ini.ReadBool("S", "k", false), expected == 7 ? false : expected != 0);
    }

    void typedWrites()
    {
        TMemIniFile ini(Path());
        ini.WriteInteger("S", "i", -2147483647 - 1);
        ini.WriteBool("S", "t", true);
        ini.WriteBool("S", "f", false);
        ini.WriteDate("S", "d", QDate(2024, 3, 5));
        ini.WriteTime("S", "t1", QTime(9, 7, 5));
        ini.WriteTime("S", "t2", QTime(23, 59, 58, 42));
        ini.WriteDateTime("S", "dt", QDateTime(QDate(1999, 12, 31), QTime(0, 0)));
        QCOMPARE(ini.Text(), QString("[S]\r\ni=-2147483648\r\nt=1\r\nf=0\r\nd=2024/03/05\r\nt1=09:07:05\r\n"
                                     "t2=23:59:58.042\r\ndt=1999/12/31 00:00:00\r\n\r\n"));
        QCOMPARE(ini.ReadTime("S", "t2", QTime()), QTime(23, 59, 58, 42));
        QCOMPARE(ini.ReadDateTime("S", "dt", QDateTime()), QDateTime(QDate(1999, 12, 31), QTime(0, 0)));
    }

    void floats_data()
    {
        QTest::addColumn<QChar>("decimal");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("tenth") << QChar('.') << 0.1 << "0.1";
        QTest::newRow("comma locale") << QChar(',') << -1.5 << "-1,5";
        QTest::newRow("integer") << QChar('.') << 42.0 << "42";
        QTest::newRow("large") << QChar('.') << 1e20 << "1E20";
        QTest::newRow("small") << QChar(',') << 1.5e-7 << "1,5E-7";
        QTest::newRow("fifteen digits stay plain") << QChar('.') << 123456789012345.0 << "123456789012345";
        QTest::newRow("shortest exact text") << QChar('.') << 0.1 + 0.2 << "0.30000000000000004";
        QTest::newRow("one third") << QChar(',') << 1.0 / 3 << "0,3333333333333333";
        QTest::newRow("smallest subnormal") << QChar('.') << 5e-324 << "5E-324";
        QTest::newRow("largest") << QChar('.') << 1.7976931348623157e308 << "1.7976931348623157E308";
    }
    void floats()
    {
        QFETCH(QChar, decimal);
        QFETCH(double, value);
        QFETCH(QString, text);
        NumberFormat::SetCurrent(NumberFormat{decimal, decimal == u',' ? u'.' : u','});
        TMemIniFile ini(Path());
        ini.WriteFloat("S", "f", value);
        QCOMPARE(ini.ReadString("S", "f", ""), text);
        QCOMPARE_EXACT(ini.ReadFloat("S", "f", -99), value); // bit for bit, not approximately
    }

    void unparsableTypedValuesGiveDefaults_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("words") << "yesterday";
        QTest::newRow("empty") << "";
        QTest::newRow("wrong decimal separator") << "1.5";
        QTest::newRow("thousands separator") << "1.234,5";
        QTest::newRow("float out of range") << "1E999";
        QTest::newRow("no such day") << "2023/02/29";
        QTest::newRow("no such hour") << "24:00:00";
        QTest::newRow("date-time with a bad time") << "2024/01/01 10:61:00";
    }
    void unparsableTypedValuesGiveDefaults()
    {
        QFETCH(QString, text);
        NumberFormat::SetCurrent(NumberFormat{u',', u'.'});
        TMemIniFile ini(Path());
        ini.WriteString("S", "v", text);
        const QDate dd(2000, 1, 2);
        const QTime dt(3, 4, 5);
        const QDateTime ddt(dd, dt);
        QCOMPARE(ini.ReadFloat("S", "v", 2.5), 2.5);
        QCOMPARE(ini.ReadDate("S", "v", dd), dd);
        QCOMPARE(ini.ReadTime("S", "v", dt), dt);
        QCOMPARE(ini.ReadDateTime("S", "v", ddt), ddt);
    }

    void binaryStreams_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("pairs") << "00FF10" << QByteArray("\x00\xFF\x10", 3);
        QTest::newRow("lower case digits") << "abcd" << QByteArray("\xAB\xCD");
        QTest::newRow("a bad pair ends decoding, the rest are zero") << "0AZZ11" << QByteArray("\x0A\x00\x00", 3);
        QTest::newRow("odd length drops the last digit") << "ABC" << QByteArray("\xAB");
    }
    void binaryStreams()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        TMemIniFile ini(Path());
        ini.WriteString("S", "b", text);
        QBuffer out;
        out.open(QIODevice::ReadWrite);
        out.write("xy");
        QCOMPARE(ini.ReadBinaryStream("S", "b", out), int(bytes.size()));
        QCOMPARE(out.data(), "xy" + bytes); // written at the current position
    }

    void binaryStreamEdges()
    {
        TMemIniFile ini(Path());
        QBuffer in;
        in.setData(QByteArray("skip\x00\x7F\xFF", 7));
        in.open(QIODevice::ReadOnly);
        in.seek(4); // only from the current position on
        ini.WriteBinaryStream("S", "b", in);
        QCOMPARE(ini.ReadString("S", "b", ""), QString("007FFF"));

        QBuffer empty;
        empty.open(QIODevice::ReadOnly);
        ini.WriteBinaryStream("S", "e", empty);
        QCOMPARE(ini.ReadString("S", "e", "d"), QString());

        QBuffer out;
        out.open(QIODevice::ReadWrite);
        out.write("keep");
        QCOMPARE(ini.ReadBinaryStream("S", "e", out), 0);
        QCOMPARE(ini.ReadBinaryStream("S", "absent", out), 0);
        QCOMPARE(out.data(), QByteArray("keep"));
        QCOMPARE(out.pos(), 4);
    }

    void saveFailures_data()
    {
        QTest::addColumn<QString>("pattern"); // %1: the test's folder
        QTest::newRow("folder that does not exist") << "%1/missing/sub/t.ini";
        QTest::newRow("a folder as the file") << "%1";
        QTest::newRow("a folder with a trailing delimiter") << "%1/";
        QTest::newRow("empty path") << "";
    }
    void saveFailures()
    {
        QFETCH(QString, pattern);
        const QString path = pattern.isEmpty() ? QString() : pattern.arg(m_dir->path());
        TMemIniFile ini(path);
        ini.WriteString("S", "k", "v");
        try {
            ini.UpdateFile();
            QFAIL("the save should have failed");
        } catch (const EFCreateError& e) {
            const QString prefix = QStringLiteral("ファイル \"%1\" を作成できません。").arg(path);
            QVERIFY2(e.Message().startsWith(prefix), qPrintable(e.Message()));
            QVERIFY2(e.Message().size() > prefix.size(), "the system's description is missing");
        }
        QCOMPARE(ini.ReadString("S", "k", "d"), QString("v"));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList()); // no stray temporary files
    }

    void saveReplacesTheFileAsAWhole()
    {
        WriteBytes(Path(), "[Old]\r\nk=v\r\n");
        QFile reader(Path());
        QVERIFY(reader.open(QIODevice::ReadOnly));
        TMemIniFile ini(Path());
        ini.EraseSection("Old");
        ini.WriteString("New", "n", "1");
        ini.UpdateFile();
        // A reader of the old file still sees all of it: the new version was
        // written elsewhere and renamed over the old one, not written into it.
        QCOMPARE(reader.readAll(), QByteArray("[Old]\r\nk=v\r\n"));
        QCOMPARE(ReadBytes(Path()), QByteArray("[New]\r\nn=1\r\n\r\n"));
    }

    void fullDiskKeepsTheOldFile()
    {
        const QByteArray old = "[S]\r\nk=old\r\n\r\n";
        WriteBytes(Path(), old);
        TMemIniFile ini(Path());
        ini.WriteString("S", "k", QString(200000, u'x'));

        // A file size limit makes writes fail as a full disk would.
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tight = saved;
        tight.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        bool raised = false;
        try {
            ini.UpdateFile();
        } catch (const EFCreateError&) {
            raised = true;
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(raised);
        QCOMPARE(ReadBytes(Path()), old);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList({"t.ini"}));
        ini.UpdateFile(); // the change is still in memory and saved now
        QCOMPARE(TMemIniFile(Path()).ReadString("S", "k", "").size(), 200000);
    }

    void oversizedFileIsRefused()
    {
        QFile f(Path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(qint64(65) * 1024 * 1024)); // sparse: costs no disk space
        f.close();
        QVERIFY_THROWS_EXCEPTION(EReadError, TMemIniFile{Path()});
    }
};

QTEST_GUILESS_MAIN(tst_MemIniFile)
#include "tst_MemIniFile.moc"
