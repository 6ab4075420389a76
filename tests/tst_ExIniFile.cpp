// The settings component: quote fencing, where the file lives, when it is
// saved, failures, and the structured values built on the plain ones.

// ExIniFile.h alone must bring in the errors its operations raise, so this
// file deliberately does not include Exceptions.h itself.
#include "ExIniFile.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"
#include <QWidget>

#include <climits>
#include <functional>
#include <memory>

// One change made to a component, for the table of changes that save.
using Op = std::function<void(TExIniFile&)>;

Q_DECLARE_METATYPE(TFence)
Q_DECLARE_METATYPE(TBaseDir)
Q_DECLARE_METATYPE(Op)

namespace {

using testfiles::ReadBytes;
using testfiles::WriteBytes;

QString AppDir()
{
    return QCoreApplication::applicationDirPath() + u'/';
}

// Restores an environment variable when the test row ends.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {}
    ~EnvGuard()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

class tst_ExIniFile : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString Path(const QString& name = QStringLiteral("t.ini")) const { return m_dir->filePath(name); }

    // A component bound to Path(), with the file's text given first.
    std::unique_ptr<TExIniFile> Open(const QByteArray& content = QByteArray(), TFence fence = fcNone)
    {
        if (!content.isNull())
            WriteBytes(Path(), content);
        auto ini = std::make_unique<TExIniFile>();
        ini->SetFileName(Path());
        ini->SetFence(fence);
        return ini;
    }

    // The lines of section [S] in the saved file.
    QStringList SavedLines() const
    {
        QStringList lines = QString::fromLatin1(ReadBytes(Path())).split("\r\n");
        const qsizetype start = lines.indexOf("[S]");
        if (start < 0)
            return {};
        lines = lines.mid(start + 1);
        return lines.mid(0, lines.indexOf(QString()));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void construction()
    {
        TExIniFile ini;
        QCOMPARE(ini.BaseDir(), bdApplication);
        QCOMPARE(ini.FileName(), QString());
        QCOMPARE(ini.Fence(), fcNone);
        QCOMPARE(ini.CaseSensitive(), false);
        QCOMPARE(ini.AutoUpdate(), true);
        QCOMPARE(ini.FullPath(), AppDir());
        QCOMPARE(ini.ReadString("S", "k", "d"), QString("d"));
        static_assert(sizeof(TBaseDir) == 1 && sizeof(TFence) == 1);
        static_assert(bdWindows == 0 && bdApplication == 1 && bdAppData == 2 && bdNone == 3);
        static_assert(fcNone == 0 && fcDoubleQuote == 1 && fcSingleQuote == 2);
    }

    void fencedRead_data()
    {
        QTest::addColumn<TFence>("fence");
        QTest::addColumn<QByteArray>("stored"); // "<absent>": no such key
        QTest::addColumn<QString>("def");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none keeps quotes") << fcNone << QByteArray("\"a b\"") << "" << "\"a b\"";
        QTest::newRow("double removes double") << fcDoubleQuote << QByteArray("\"a b\"") << "" << "a b";
        QTest::newRow("single keeps double") << fcSingleQuote << QByteArray("\"x\"") << "" << "\"x\"";
        QTest::newRow("single removes single") << fcSingleQuote << QByteArray("'x'") << "" << "x";
        QTest::newRow("double keeps single") << fcDoubleQuote << QByteArray("'x'") << "" << "'x'";
        QTest::newRow("lone mark") << fcDoubleQuote << QByteArray("\"") << "" << "\"";
        QTest::newRow("pair of marks") << fcDoubleQuote << QByteArray("\"\"") << "" << "";
        QTest::newRow("only one outer pair goes") << fcSingleQuote << QByteArray("''x''") << "" << "'x'";
        QTest::newRow("inner mark kept") << fcDoubleQuote << QByteArray("\"a\"b\"") << "" << "a\"b";
        QTest::newRow("opening mark only") << fcDoubleQuote << QByteArray("\"abc") << "" << "\"abc";
        QTest::newRow("missing, plain default") << fcDoubleQuote << QByteArray("<absent>") << "dflt" << "dflt";
        QTest::newRow("missing, quoted default") << fcDoubleQuote << QByteArray("<absent>") << "\"q\"" << "\"q\"";
        QTest::newRow("missing, single") << fcSingleQuote << QByteArray("<absent>") << "'q'" << "'q'";
        QTest::newRow("missing, none") << fcNone << QByteArray("<absent>") << "\"q\"" << "\"q\"";
    }
    void fencedRead()
    {
        QFETCH(TFence, fence);
        QFETCH(QByteArray, stored);
        QFETCH(QString, def);
        QFETCH(QString, expected);
        const QByteArray line = stored == "<absent>" ? QByteArray("other=1") : "k=" + stored;
        auto ini = Open("[S]\r\n" + line + "\r\n", fence);
        QCOMPARE(ini->ReadString("S", "k", def), expected);
        QCOMPARE(ini->ReadStr("S", "k", def), expected);
    }

    void fencedWriteRoundTrip_data()
    {
        QTest::addColumn<TFence>("fence");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("reread");
        QTest::newRow("inner blank, double") << fcDoubleQuote << "a b" << "k=\"a b\"" << "a b";
        QTest::newRow("outer blanks, double") << fcDoubleQuote << "  both  " << "k=\"  both  \"" << "  both  ";
        QTest::newRow("outer blanks, single") << fcSingleQuote << " x " << "k=' x '" << " x ";
        QTest::newRow("outer blanks, none") << fcNone << "  both  " << "k=  both  " << "both";
        QTest::newRow("inner mark, double") << fcDoubleQuote << "say \"hi\"" << "k=\"say \"hi\"\"" << "say \"hi\"";
        QTest::newRow("empty, double") << fcDoubleQuote << "" << "k=\"\"" << "";
    }
    void fencedWriteRoundTrip()
    {
        QFETCH(TFence, fence);
        QFETCH(QString, value);
        QFETCH(QString, line);
        QFETCH(QString, reread);
        Open(QByteArray(), fence)->WriteString("S", "k", value);
        QCOMPARE(SavedLines(), QStringList{line});
        QCOMPARE(Open(QByteArray(), fence)->ReadString("S", "k", "d"), reread);
    }

    void structuredReadsUnquoteByTheProperty()
    {
        // The structured values read with no fence of their own, yet the
        // component's mode still takes matching outer quotes off.
        auto ini = Open("[S]\r\nH=\"0x1F\"\r\nL.Count=1\r\nL.0=\"x y\"\r\n", fcDoubleQuote);
        QCOMPARE(ini->ReadHex("S", "H", 0), 31);
        QStringList list;
        ini->ReadList("S", "L", list);
        QCOMPARE(list, QStringList{"x y"});
        ini->SetFence(fcNone);
        ini->ReadList("S", "L", list);
        QCOMPARE(list, QStringList{"\"x y\""});
        QVERIFY_THROWS_EXCEPTION(EConvertError, ini->ReadHex("S", "H", 0)); // "$x1F\""
    }

    void fileNameResolution_data()
    {
        QTest::addColumn<TBaseDir>("base");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("xdg"); // "<unset>" or a value for XDG_CONFIG_HOME
        QTest::addColumn<QString>("expected");
        const QString home = QDir::homePath() + "/.config/";
        QTest::newRow("application") << bdApplication << "a.ini" << "<unset>" << AppDir() + "a.ini";
        QTest::newRow("application, empty name") << bdApplication << "" << "<unset>" << AppDir();
        QTest::newRow("windows") << bdWindows << "a.ini" << "<unset>" << "/etc/a.ini";
        QTest::newRow("none") << bdNone << "a.ini" << "<unset>" << "a.ini";
        QTest::newRow("app data from XDG") << bdAppData << "a.ini" << "/xdg/cfg" << "/xdg/cfg/a.ini";
        QTest::newRow("app data, XDG with delimiter") << bdAppData << "a.ini" << "/xdg/" << "/xdg/a.ini";
        QTest::newRow("app data without XDG") << bdAppData << "a.ini" << "<unset>" << home + "a.ini";
        QTest::newRow("app data, empty XDG") << bdAppData << "a.ini" << "" << home + "a.ini";
        QTest::newRow("app data, relative XDG ignored") << bdAppData << "a.ini" << "rel" << home + "a.ini";
        QTest::newRow("relative with folder") << bdApplication << "sub/a.ini" << "<unset>" << "sub/a.ini";
        QTest::newRow("absolute") << bdWindows << "/x/a.ini" << "<unset>" << "/x/a.ini";
        QTest::newRow("drive") << bdAppData << "C:a.ini" << "<unset>" << "C:a.ini";
    }
    void fileNameResolution()
    {
        QFETCH(TBaseDir, base);
        QFETCH(QString, name);
        QFETCH(QString, xdg);
        QFETCH(QString, expected);
        EnvGuard guard("XDG_CONFIG_HOME");
        if (xdg == "<unset>")
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", xdg.toLocal8Bit());
        // Either order of assignment ends in the same place.
        TExIniFile a;
        a.SetBaseDir(base);
        a.SetFileName(name);
        QCOMPARE(a.FullPath(), expected);
        QCOMPARE(a.FileName(), name);
        TExIniFile b;
        b.SetFileName(name);
        b.SetBaseDir(base);
        QCOMPARE(b.FullPath(), expected);
    }

    void filesAreFoundWhereResolved()
    {
        EnvGuard guard("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", m_dir->path().toLocal8Bit());
        WriteBytes(Path("app.ini"), "[S]\r\nk=from app data\r\n");
        TExIniFile ini;
        ini.SetFileName("app.ini");
        QCOMPARE(ini.ReadString("S", "k", "d"), QString("d")); // not beside the executable
        ini.SetBaseDir(bdAppData);
        QCOMPARE(ini.ReadString("S", "k", "d"), QString("from app data"));

        const QString oldCurrent = QDir::currentPath();
        const auto restoreCurrent = qScopeGuard([&] { QDir::setCurrent(oldCurrent); });
        QVERIFY(QDir::setCurrent(m_dir->path()));
        ini.SetBaseDir(bdNone);
        QCOMPARE(ini.ReadString("S", "k", "d"), QString("from app data"));
    }

    void loadedChoosesTheExecutableName()
    {
        const QString expected = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + ".ini";
        QCOMPARE(expected, QString("tst_ExIniFile.ini"));
        const QString beside = AppDir() + expected;
        WriteBytes(beside, "[S]\r\nk=beside the executable\r\n");
        const auto removeLater = qScopeGuard([&] { QFile::remove(beside); });

        TExIniFile ini;
        ini.Loaded();
        QCOMPARE(ini.FileName(), expected);
        QCOMPARE(ini.FullPath(), beside);
        QCOMPARE(ini.ReadString("S", "k", "d"), QString("beside the executable"));

        TExIniFile named;
        named.SetFileName(Path());
        named.Loaded(); // a stored name is kept
        QCOMPARE(named.FileName(), Path());

        TExIniFile designing;
        designing.SetDesigning(true);
        designing.Loaded();
        QCOMPARE(designing.FileName(), QString());
    }

    // A program placed elsewhere (as the main window's tests do) gets its
    // settings file there, named after it.
    void applicationPathNamesFolderAndFile()
    {
        const auto restore = qScopeGuard([] { TExIniFile::SetApplicationPath(QString()); });
        TExIniFile::SetApplicationPath(m_dir->filePath("bin/prog.exe"));
        QCOMPARE(TExIniFile::ApplicationPath(), m_dir->filePath("bin/prog.exe"));
        TExIniFile ini;
        ini.Loaded();
        QCOMPARE(ini.FileName(), QString("prog.ini"));
        QCOMPARE(ini.FullPath(), m_dir->filePath("bin/prog.ini"));
        TExIniFile::SetApplicationPath(QString());
        QCOMPARE(TExIniFile::ApplicationPath(), QCoreApplication::applicationFilePath());
    }

    void reassigningReloadsAndDropsUnsavedChanges()
    {
        auto ini = Open("[S]\r\nk=disk\r\n");
        ini->SetAutoUpdate(false);
        ini->WriteString("S", "k", "memory");
        ini->SetCaseSensitive(true);
        ini->SetBaseDir(bdNone); // same absolute path, store replaced
        QCOMPARE(ini->ReadString("S", "k", "d"), QString("disk"));
        QCOMPARE(ini->CaseSensitive(), true); // the case mode carries over
        ini->WriteString("S", "k", "memory");
        ini->SetFileName(Path());
        QCOMPARE(ini->ReadString("S", "k", "d"), QString("disk"));
        ini->WriteString("S", "k", "memory");
        ini.reset(); // destroyed without saving
        QCOMPARE(ReadBytes(Path()), QByteArray("[S]\r\nk=disk\r\n"));
    }

    void everyChangeSaves_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<bool>("autoUpdate");
        const QList<QPair<const char*, Op>> ops = {
            {"WriteString", [](TExIniFile& i) { i.WriteString("S", "k", "v"); }},
            {"WriteStr", [](TExIniFile& i) { i.WriteStr("S", "k", "v"); }},
            {"WriteInteger", [](TExIniFile& i) { i.WriteInteger("S", "k", 1); }},
            {"WriteInt", [](TExIniFile& i) { i.WriteInt("S", "k", 1); }},
            {"WriteBool", [](TExIniFile& i) { i.WriteBool("S", "k", true); }},
            {"WriteFloat", [](TExIniFile& i) { i.WriteFloat("S", "k", 1.5); }},
            {"WriteDate", [](TExIniFile& i) { i.WriteDate("S", "k", QDate(2020, 1, 1)); }},
            {"WriteDateTime", [](TExIniFile& i) { i.WriteDateTime("S", "k", QDateTime::currentDateTime()); }},
            {"WriteTime", [](TExIniFile& i) { i.WriteTime("S", "k", QTime(1, 2)); }},
            {"WriteBinaryStream", [](TExIniFile& i) {
                 QBuffer b;
                 b.setData("ab");
                 b.open(QIODevice::ReadOnly);
                 i.WriteBinaryStream("S", "k", b);
             }},
            {"WriteHex", [](TExIniFile& i) { i.WriteHex("S", "k", 1); }},
            {"WriteColor", [](TExIniFile& i) { i.WriteColor("S", "k", clBlue); }},
            {"WriteList", [](TExIniFile& i) { i.WriteList("S", "k", {"a"}); }},
            {"WriteFont", [](TExIniFile& i) { i.WriteFont("S", "k", QFont()); }},
            {"WriteFormPos", [](TExIniFile& i) { i.WriteFormPos("S", "k", QWidget()); }},
            {"WriteFormSize", [](TExIniFile& i) { i.WriteFormSize("S", "k", QWidget()); }},
            {"WriteForm", [](TExIniFile& i) { i.WriteForm("S", "k", QWidget()); }},
            {"EraseSection of nothing", [](TExIniFile& i) { i.EraseSection("absent"); }},
            {"DeleteKey of nothing", [](TExIniFile& i) { i.DeleteKey("S", "absent"); }},
        };
        for (const auto& [name, op] : ops) {
            QTest::addRow("%s, auto", name) << op << true;
            QTest::addRow("%s, manual", name) << op << false;
        }
    }
    void everyChangeSaves()
    {
        QFETCH(Op, op);
        QFETCH(bool, autoUpdate);
        const QByteArray original = "; hand-written comment\r\n[S]\r\nold=1\r\n";
        auto ini = Open(original);
        ini->SetAutoUpdate(autoUpdate);
        op(*ini);
        // A rewrite drops the comment, so it shows whether a save happened.
        QCOMPARE(ReadBytes(Path()) == original, !autoUpdate);
        ini->UpdateFile(); // saves whatever AutoUpdate says
        QVERIFY(ReadBytes(Path()).startsWith("[S]\r\nold=1\r\n"));
    }

    void saveFailures_data()
    {
        QTest::addColumn<TBaseDir>("base");
        QTest::addColumn<QString>("name"); // %1: the test's folder
        QTest::addColumn<QString>("path");
        QTest::newRow("no file name, beside the executable") << bdApplication << "" << AppDir();
        QTest::newRow("no file name, no base") << bdNone << "" << "";
        QTest::newRow("folder that does not exist") << bdNone << "%1/missing/t.ini" << "%1/missing/t.ini";
        QTest::newRow("a folder as the file") << bdNone << "%1" << "%1";
    }
    void saveFailures()
    {
        QFETCH(TBaseDir, base);
        QFETCH(QString, name);
        QFETCH(QString, path);
        if (name.contains("%1")) {
            name = name.arg(m_dir->path());
            path = path.arg(m_dir->path());
        }
        TExIniFile ini;
        ini.SetBaseDir(base);
        ini.SetFileName(name);
        try {
            ini.WriteString("S", "k", "v");
            QFAIL("the save should have failed");
        } catch (const EFCreateError& e) {
            const QString prefix = QStringLiteral("ファイル \"%1\" を作成できません。").arg(path);
            QVERIFY2(e.Message().startsWith(prefix) && e.Message().size() > prefix.size(), qPrintable(e.Message()));
        }
        QCOMPARE(ini.ReadString("S", "k", "d"), QString("v")); // kept in memory
    }

    void failedSaveIsMadeUpByTheNextOne()
    {
        const QString folder = m_dir->filePath("later");
        TExIniFile ini;
        ini.SetFileName(folder + "/t.ini");
        // One save per key: the count is stored in memory, its save fails,
        // and the entries are never written.
        QVERIFY_THROWS_EXCEPTION(EFCreateError, ini.WriteList("S", "L", {"a", "b"}));
        QCOMPARE(ini.ReadInteger("S", "L.Count", -1), 2);
        QVERIFY(!ini.ValueExists("S", "L.0"));
        QVERIFY(QDir().mkpath(folder));
        ini.WriteInteger("S", "n", 1);
        QCOMPARE(ReadBytes(folder + "/t.ini"), QByteArray("[S]\r\nL.Count=2\r\nn=1\r\n\r\n"));
    }

    void failedLoadLeavesAUsableEmptyStore()
    {
        auto ini = Open("[S]\r\nk=v\r\n");
        QFile big(Path("big.ini"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(qint64(65) * 1024 * 1024)); // sparse, but too large to load
        big.close();
        QVERIFY_THROWS_EXCEPTION(EReadError, ini->SetFileName(Path("big.ini")));
        QCOMPARE(ini->FileName(), Path("big.ini"));
        QCOMPARE(ini->FullPath(), Path("big.ini"));
        QCOMPARE(ini->ReadString("S", "k", "d"), QString("d"));
        ini->SetAutoUpdate(false);
        ini->WriteString("S", "k", "new");
        QCOMPARE(ini->ReadString("S", "k", "d"), QString("new"));
        ini.reset();
    }

    void hexValues_data()
    {
        QTest::addColumn<QByteArray>("stored"); // "<absent>": no such key
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("error"); // the message, when it raises
        QTest::newRow("lower case digits") << QByteArray("0x1f") << 31 << "";
        QTest::newRow("all bits") << QByteArray("0xFFFFFFFF") << -1 << "";
        QTest::newRow("nine digits, eight used") << QByteArray("0x123456789") << 0x12345678 << "";
        QTest::newRow("decimal loses two characters") << QByteArray("123") << 3 << "";
        QTest::newRow("any prefix") << QByteArray("##7f") << 127 << "";
        QTest::newRow("missing") << QByteArray("<absent>") << 77 << "";
        QTest::newRow("two characters") << QByteArray("0x") << 0 << "'$' は整数ではありません";
        QTest::newRow("empty") << QByteArray("") << 0 << "'$' は整数ではありません";
        QTest::newRow("not hexadecimal") << QByteArray("0xZZ") << 0 << "'$ZZ' は整数ではありません";
        QTest::newRow("inner blank") << QByteArray("0x1 2") << 0 << "'$1 2' は整数ではありません";
    }
    void hexValues()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, expected);
        QFETCH(QString, error);
        auto ini = Open(stored == "<absent>" ? QByteArray("[S]\r\n") : "[S]\r\nh=" + stored + "\r\n");
        for (int colour = 0; colour < 2; ++colour) {
            try {
                const int v = colour ? ini->ReadColor("S", "h", 77) : ini->ReadHex("S", "h", 77);
                QVERIFY2(error.isEmpty(), "should have raised");
                QCOMPARE(v, expected);
            } catch (const EConvertError& e) {
                QCOMPARE(e.Message(), error);
            }
        }
    }

    void hexWrites()
    {
        auto ini = Open();
        ini->SetFence(fcDoubleQuote); // hexadecimal values are never fenced
        ini->WriteHex("S", "a", 255);
        ini->WriteHex("S", "b", -1);
        ini->WriteHex("S", "c", INT_MIN);
        ini->WriteColor("S", "d", clWindowText);
        ini->WriteColor("S", "e", RGBColor(0x12, 0x34, 0x56));
        QCOMPARE(SavedLines(), QStringList({"a=0x000000FF", "b=0xFFFFFFFF", "c=0x80000000", "d=0xFF000008",
                                            "e=0x00563412"}));
        QCOMPARE(ini->ReadHex("S", "b", 0), -1);
        QCOMPARE(ini->ReadColor("S", "d", 0), clWindowText);
    }

    void lists_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("nothing stored keeps the list") << QByteArray() << QStringList{"x", "y"} << QStringList{"x", "y"};
        QTest::newRow("missing entries are empty") << QByteArray("R.Count=3\r\nR.0=a\r\n") << QStringList()
                                                   << QStringList{"a", "", ""};
        QTest::newRow("missing entries keep the list's")
            << QByteArray("R.Count=3\r\nR.1=b\r\n") << QStringList{"x"} << QStringList{"x", "b", ""};
        QTest::newRow("negative count empties") << QByteArray("R.Count=-1\r\nR.0=a\r\n") << QStringList{"x"}
                                                << QStringList();
        QTest::newRow("entries beyond the count are ignored")
            << QByteArray("R.Count=1\r\nR.0=a\r\nR.1=b\r\n") << QStringList{"x", "y"} << QStringList{"a"};
        QTest::newRow("unreadable count uses the list's")
            << QByteArray("R.Count=many\r\nR.1=b\r\n") << QStringList{"x", "y"} << QStringList{"x", "b"};
        QTest::newRow("absurd count is unreadable too")
            << QByteArray("R.Count=2000000000\r\nR.0=a\r\n") << QStringList{"x"} << QStringList{"a"};
        // The guard against absurd counts must not cut a long list short.
        const QStringList longList(qsizetype(1 << 20) + 2, QStringLiteral("x"));
        QTest::newRow("nothing stored keeps a very long list") << QByteArray() << longList << longList;
        QTest::newRow("blanks around entries do not survive the file")
            << QByteArray("R.Count=1\r\nR.0=  a b  \r\n") << QStringList() << QStringList{"a b"};
    }
    void lists()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        auto ini = Open("[S]\r\n" + stored);
        QStringList list = before;
        ini->ReadList("S", "R", list);
        QCOMPARE(list, after);
    }

    void listWrites()
    {
        auto ini = Open();
        ini->SetFence(fcSingleQuote); // entries are never fenced
        ini->WriteList("S", "Recent", {"a", "b", "c"});
        ini->WriteList("S", "Recent", {"z"});
        QCOMPARE(SavedLines(), QStringList({"Recent.Count=1", "Recent.0=z", "Recent.1=b", "Recent.2=c"}));
        QStringList list;
        ini->ReadList("S", "Recent", list);
        QCOMPARE(list, QStringList{"z"});
    }

    void fonts()
    {
        auto ini = Open();
        QFont font("Noto Sans");
        font.setPointSize(9);
        font.setBold(true);
        font.setItalic(true);
        ini->WriteFont("S", "F", font, RGBColor(1, 2, 3));
        QCOMPARE(SavedLines(), QStringList({"F.Name=Noto Sans", "F.Size=9", "F.Style=3", "F.Color=0x00030201"}));
        ini->WriteFont("S", "G", font); // without a colour: the window text colour
        QCOMPARE(SavedLines().last(), QString("G.Color=0xFF000008"));

        QFont read("Other");
        read.setPointSize(30);
        TColor colour = clBlack;
        ini->ReadFont("S", "F", read, colour);
        QCOMPARE(read.family(), QString("Noto Sans"));
        QCOMPARE(read.pointSize(), 9);
        QVERIFY(read.bold() && read.italic() && !read.underline() && !read.strikeOut());
        QCOMPARE(colour, RGBColor(1, 2, 3));

        QFont pixels("Noto Sans");
        pixels.setPixelSize(16); // 12 points at 96 dots per inch
        ini->WriteFont("S", "P", pixels);
        QCOMPARE(ini->ReadInteger("S", "P.Size", 0), 12);
    }

    void fontReadEdges()
    {
        auto ini = Open("[S]\r\nF.Name=Noto Serif\r\nF.Style=0x10C\r\nB.Name=Broken\r\nB.Color=0xQQ\r\n");
        QFont font("Noto Sans");
        font.setPointSize(11);
        font.setCapitalization(QFont::SmallCaps); // not stored: a new font's value comes back
        ini->ReadFont("S", "F", font);
        QCOMPARE(font.family(), QString("Noto Serif"));
        QCOMPARE(font.pointSize(), 11);
        QVERIFY(!font.bold() && !font.italic() && font.underline() && font.strikeOut()); // low 8 bits only
        QCOMPARE(font.capitalization(), QFont::MixedCase);

        const QFont before = font;
        TColor colour = clBlue;
        QVERIFY_THROWS_EXCEPTION(EConvertError, ini->ReadFont("S", "B", font, colour));
        QCOMPARE(font, before);
        QCOMPARE(colour, clBlue);
    }

    void formPositionAndSize()
    {
        auto ini = Open();
        QWidget form;
        form.setMinimumSize(100, 80);
        form.setGeometry(120, 80, 800, 600);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.move(120, 80);
        const QSize frame = form.frameGeometry().size() - form.size();
        ini->WriteFormPos("S", "POSITION", form);
        ini->WriteFormSize("S", "SIZE", form);
        QCOMPARE(SavedLines(), QStringList({"POSITION.X=120", "POSITION.Y=80",
                                            QString("SIZE.XSize=%1").arg(800 + frame.width()),
                                            QString("SIZE.YSize=%1").arg(600 + frame.height())}));

        QWidget other;
        other.setMinimumSize(100, 80);
        other.setGeometry(5, 6, 300, 200);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        ini->ReadFormSize("S", "SIZE", other);
        QCOMPARE(other.size(), QSize(800, 600)); // outer size restored, frame included
        ini->ReadFormPos("S", "POSITION", other);
        QCOMPARE(other.pos(), QPoint(120, 80));

        ini->WriteInteger("S", "FAR.X", -30000); // no check against the screens
        ini->WriteInteger("S", "FAR.Y", 50000);
        ini->WriteInteger("S", "TINY.XSize", 1);
        ini->ReadFormPos("S", "FAR", other);
        QCOMPARE(other.pos(), QPoint(-30000, 50000));
        ini->ReadFormSize("S", "TINY", other);
        QCOMPARE(other.size(), QSize(100, 600)); // the form's own minimum holds
        ini->ReadFormPos("S", "NONE", other);
        ini->ReadFormSize("S", "NONE", other);
        QCOMPARE(other.pos(), QPoint(-30000, 50000));
        QCOMPARE(other.size(), QSize(100, 600));
    }

    // On a desktop the window manager's frame is known only once a window is
    // shown, while the settings are read before that. The stored outer size
    // must still come back as the outer size, restart after restart.
    void outerSizeWithWindowManagerFrame_data()
    {
        QTest::addColumn<bool>("fake");
        QTest::addColumn<QMargins>("frame");
        QTest::newRow("title bar and borders") << true << QMargins(8, 31, 8, 8);
        QTest::newRow("thin borders") << true << QMargins(1, 24, 1, 1);
        QTest::newRow("frameless") << true << QMargins();
        QTest::newRow("the platform's own frame") << false << QMargins(2, 2, 2, 2);
    }
    void outerSizeWithWindowManagerFrame()
    {
        QFETCH(bool, fake);
        QFETCH(QMargins, frame);
        if (fake) {
            TExIniFile::SetWindowFrameSource([frame](const QWidget& w) -> std::optional<QMargins> {
                if (!w.isVisible())
                    return std::nullopt;
                return frame;
            });
        } else {
            QWidget probe;
            probe.show();
            QVERIFY(QTest::qWaitForWindowExposed(&probe));
            if (probe.frameGeometry().size() != probe.size().grownBy(frame))
                QSKIP("this platform's frame differs from the offscreen platform's");
        }
        const auto restore = qScopeGuard([] { TExIniFile::SetWindowFrameSource({}); });
        const QSize outer(800, 600);
        const QSize inner = outer.shrunkBy(frame);
        auto ini = Open("[S]\r\nSIZE.XSize=800\r\nSIZE.YSize=600\r\n");
        for (int run = 0; run < 10; ++run) {
            QWidget form;
            ini->ReadFormSize("S", "SIZE", form); // hidden: its frame is not known yet
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QTRY_COMPARE(form.size(), inner);
            ini->WriteFormSize("S", "SIZE", form);
            QCOMPARE(SavedLines(), QStringList({"SIZE.XSize=800", "SIZE.YSize=600"}));
        }

        // A window never shown writes back what it was given.
        QWidget hidden;
        ini->ReadFormSize("S", "SIZE", hidden);
        ini->WriteFormSize("S", "SIZE", hidden);
        QCOMPARE(SavedLines(), QStringList({"SIZE.XSize=800", "SIZE.YSize=600"}));

        // Only the stored dimension is corrected once the frame is known.
        ini->DeleteKey("S", "SIZE.YSize");
        QWidget half;
        half.resize(300, 200);
        ini->ReadFormSize("S", "SIZE", half);
        half.show();
        QVERIFY(QTest::qWaitForWindowExposed(&half));
        QTRY_COMPARE(half.width(), inner.width());
        QCOMPARE(half.height(), 200);

        // Nor is an unreadable one: the window's own size stands.
        ini->WriteString("S", "SIZE.XSize", "wide");
        QWidget unreadable;
        unreadable.resize(300, 200);
        ini->ReadFormSize("S", "SIZE", unreadable);
        unreadable.show();
        QVERIFY(QTest::qWaitForWindowExposed(&unreadable));
        QTest::qWait(20);
        QCOMPARE(unreadable.size(), QSize(300, 200));

        // A resize by anyone else before the frame is known wins.
        QWidget early;
        ini->ReadFormSize("S", "SIZE", early);
        early.resize(500, 400);
        early.show();
        QVERIFY(QTest::qWaitForWindowExposed(&early));
        QTest::qWait(20);
        QCOMPARE(early.size(), QSize(500, 400));
    }

    void windowPlacementRoundTrip()
    {
        auto ini = Open();
        QWidget form;
        form.setGeometry(100, 120, 300, 200);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.showMaximized();
        QTRY_VERIFY(form.isMaximized());
        ini->WriteForm("S", "W", form);
        const QStringList lines = SavedLines();
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines.mid(0, 2), QStringList({"W.Flags=0", "W.Show=3"}));
        QCOMPARE(lines.mid(4), QStringList({"W.X=100", "W.Y=120", "W.XSize=400", "W.YSize=320"}));

        QWidget restored;
        restored.setGeometry(10, 10, 50, 50);
        restored.show();
        QVERIFY(QTest::qWaitForWindowExposed(&restored));
        ini->ReadForm("S", "W", restored);
        QTRY_VERIFY(restored.isMaximized());
        restored.showNormal();
        QTRY_COMPARE(restored.geometry(), QRect(100, 120, 300, 200));

        // The same item read as a size takes the right edge for a width.
        ini->ReadFormSize("S", "W", restored);
        QCOMPARE(restored.frameGeometry().width(), 400);

        // A minimized window that restores maximized, and a normal one.
        ini->WriteInteger("S", "M.Flags", 2);
        ini->WriteInteger("S", "M.Show", 2);
        ini->ReadForm("S", "M", restored);
        QTRY_COMPARE(restored.windowState(), Qt::WindowMinimized | Qt::WindowMaximized);
        ini->WriteInteger("S", "N.Show", 1);
        ini->WriteInteger("S", "N.X", 7);
        ini->WriteInteger("S", "N.Y", 8);
        ini->WriteInteger("S", "N.XSize", 207);
        ini->WriteInteger("S", "N.YSize", 108);
        ini->ReadForm("S", "N", restored);
        QTRY_COMPARE(restored.windowState(), Qt::WindowNoState);
        QTRY_COMPARE(restored.geometry(), QRect(7, 8, 200, 100));
    }

    void damagedPlacementIsHarmless()
    {
        auto ini = Open("[S]\r\nW.X=2147483647\r\nW.XSize=-2147483648\r\nW.Y=-2147483648\r\nW.YSize=2147483647\r\n"
                        "P.X=2147483647\r\nP.Y=-2147483648\r\nZ.XSize=-5\r\nZ.YSize=2147483647\r\n");
        QWidget form;
        ini->ReadForm("S", "W", form);
        ini->ReadFormPos("S", "P", form);
        ini->ReadFormSize("S", "Z", form);
        QCOMPARE(form.width(), 0);
        QVERIFY(form.height() > 0);
    }
};

QTEST_MAIN(tst_ExIniFile)
#include "tst_ExIniFile.moc"
