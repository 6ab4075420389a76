// The window settings kept between runs, through the real main window:
// each test is a program in a folder of its own that is started, used,
// closed and started again.

#include "ComboBox.h"
#include "Controls.h"
#include "ErrorReporting.h"
#include "ExIniFile.h"
#include "FakeServices.h"
#include "StyleManager.h"
#include "TestFiles.h"
#include "Unit1.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using testfiles::ReadBytes;
using testfiles::WriteBytes;

namespace {

// Sets an environment variable (unset for a null value) for as long as it
// lives.
class EnvGuard {
public:
    EnvGuard(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
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

// One installed copy of the program: its folder, its settings file beside
// it, and the messages its windows showed.
class Program {
public:
    explicit Program(const QString& folder = QString())
    {
        m_folder = folder.isEmpty() ? m_dir.path() : folder;
        TExIniFile::SetApplicationPath(m_folder + QStringLiteral("/plotmere"));
    }
    ~Program() { TExIniFile::SetApplicationPath(QString()); }

    // Starts the program: creates the main window and shows it.
    std::unique_ptr<TForm1> Start(bool show = true)
    {
        auto w = std::make_unique<TForm1>(FormServices{dialogs, messages, clipboard});
        if (show) {
            w->show();
            if (!QTest::qWaitForWindowExposed(w.get()))
                return nullptr;
        }
        return w;
    }

    QString Scratch() const { return m_dir.path(); }
    QString IniPath() const { return m_folder + QStringLiteral("/plotmere.ini"); }
    QStringList IniLines() const
    {
        QString text = QString::fromUtf8(ReadBytes(IniPath()));
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text.split(QStringLiteral("\r\n"));
    }
    QStringList Texts() const
    {
        QStringList out;
        for (const ShownMessage& m : messages->shown)
            out << m.text;
        return out;
    }

    std::shared_ptr<FakeDialogs> dialogs = std::make_shared<FakeDialogs>();
    std::shared_ptr<FakeMessages> messages = std::make_shared<FakeMessages>();
    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();

private:
    QTemporaryDir m_dir;
    QString m_folder;
};

TComboBox* List(QComboBox* box)
{
    return static_cast<TComboBox*>(box);
}

// Picks an entry from the opened list, as the user does.
void PickFromList(QComboBox* box, int index)
{
    box->showPopup();
    QAbstractItemView* view = box->view();
    QTRY_VERIFY(view->isVisible());
    view->setCurrentIndex(view->model()->index(index, 0));
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_VERIFY(!view->isVisible());
}

QString NotFound(const QString& name)
{
    return QStringLiteral("スタイル '%1' が見つかりません").arg(name);
}

// A window manager's frame, known once the window is shown.
void UseWindowManagerFrame(const QMargins& frame)
{
    TExIniFile::SetWindowFrameSource([frame](const QWidget& w) -> std::optional<QMargins> {
        if (!w.isVisible())
            return std::nullopt;
        return frame;
    });
}

} // namespace

class tst_WindowSettings : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        TExIniFile::SetWindowFrameSource({});
        QVERIFY(TStyleManager::TrySetStyle(TStyleManager::SystemStyleName(), false));
    }

    void firstStartWithoutAFile()
    {
        Program p;
        auto w = p.Start();
        QVERIFY(w);
        QVERIFY(!QFile::exists(p.IniPath()));
        QCOMPARE(w->pos(), QPoint(0, 0));
        QCOMPARE(w->size(), QSize(936, 593));
        QCOMPARE(TStyleManager::ActiveStyle().Name(), QStringLiteral("Windows"));
        QCOMPARE(w->StyleSelecter->currentText(), QStringLiteral("Windows"));
        QCOMPARE(List(w->ScaleComboBox)->ItemIndex(), 0);
        QCOMPARE(w->ScaleComboBox->currentText(), QStringLiteral("100%"));
        QCOMPARE(w->PixelsPerInch(), 96);
        QCOMPARE(w->PageControl1->TabIndex(), 0);
        QVERIFY(w->acceptDrops());
        QVERIFY(p.messages->shown.isEmpty());

        // Closing writes the file from scratch: the window's section first,
        // its keys in order, then the style's.
        const QRect outer = w->frameGeometry();
        QVERIFY(w->close());
        QCOMPARE(p.IniLines(), QStringList({"[FORM]", "POSITION.X=0", "POSITION.Y=0",
                                            QStringLiteral("SIZE.XSize=%1").arg(outer.width()),
                                            QStringLiteral("SIZE.YSize=%1").arg(outer.height()), "scale=0", "",
                                            "[Style]", "Name=Windows", "", ""}));
        QVERIFY(p.messages->shown.isEmpty());
    }

    // What the user leaves behind at closing is what the next start shows.
    void restartShowsWhatTheUserLeft_data()
    {
        QTest::addColumn<std::function<void(TForm1&)>>("use");
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QString>("style");
        using Use = std::function<void(TForm1&)>;
        QTest::newRow("moved") << Use([](TForm1& w) { w.move(120, 80); }) << 0 << "Windows";
        QTest::newRow("moved off every screen") << Use([](TForm1& w) { w.move(5000, 9000); }) << 0 << "Windows";
        QTest::newRow("resized") << Use([](TForm1& w) { w.resize(1000, 700); }) << 0 << "Windows";
        QTest::newRow("zoom 150%") << Use([](TForm1& w) { PickFromList(w.ScaleComboBox, 2); }) << 2 << "Windows";
        QTest::newRow("zoom 200%, then resized") << Use([](TForm1& w) {
            PickFromList(w.ScaleComboBox, 4);
            w.resize(1500, 1000);
        }) << 4 << "Windows";
        QTest::newRow("style Glow") << Use([](TForm1& w) { PickFromList(w.StyleSelecter, 1); }) << 0 << "Glow";
        QTest::newRow("everything") << Use([](TForm1& w) {
            w.move(40, 30);
            w.resize(1200, 800);
            PickFromList(w.ScaleComboBox, 1);
            PickFromList(w.StyleSelecter, 2);
        }) << 1 << "Turquoise Gray";
    }
    void restartShowsWhatTheUserLeft()
    {
        QFETCH(std::function<void(TForm1&)>, use);
        QFETCH(int, zoom);
        QFETCH(QString, style);
        Program p;
        QRect outer;
        QSize client;
        {
            auto w = p.Start();
            QVERIFY(w);
            use(*w);
            QTRY_VERIFY(w->frameGeometry().isValid());
            QTest::qWait(10);
            outer = w->frameGeometry();
            client = w->size();
            QVERIFY(w->close());
        }
        QVERIFY(p.messages->shown.isEmpty());
        auto w = p.Start();
        QVERIFY(w);
        QTRY_COMPARE(w->frameGeometry(), outer);
        QCOMPARE(w->size(), client);
        QCOMPARE(List(w->ScaleComboBox)->ItemIndex(), zoom);
        QCOMPARE(w->PixelsPerInch(), 96 + 24 * zoom);
        // The zoom is in force again, the restored size kept.
        QCOMPARE(w->ToolBar1->height(), int(std::lround(47 * (96 + 24 * zoom) / 96.0)));
        QCOMPARE(TStyleManager::ActiveStyle().Name(), style);
        QCOMPARE(w->StyleSelecter->currentText(), style);
        QVERIFY(p.messages->shown.isEmpty());
    }

    // Closing a maximized window keeps its bounds, not the state.
    void closedMaximized()
    {
        Program p;
        QRect bounds;
        {
            auto w = p.Start();
            QVERIFY(w);
            w->showMaximized();
            QTRY_VERIFY(w->isMaximized());
            QTest::qWait(10);
            bounds = w->frameGeometry();
            QVERIFY(w->close());
        }
        auto w = p.Start();
        QVERIFY(w);
        QVERIFY(!w->isMaximized());
        QTRY_COMPARE(w->frameGeometry(), bounds);
    }

    // Starting and closing again and again without touching the window
    // leaves the window where it was and the file as it was, with the
    // window manager's frame learnt only once the window is shown.
    void tenRestartsKeepTheGeometry_data()
    {
        QTest::addColumn<bool>("fake");
        QTest::addColumn<QMargins>("frame");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("platform frame, first start") << false << QMargins() << QByteArray();
        QTest::newRow("window manager frame, first start") << true << QMargins(8, 31, 8, 8) << QByteArray();
        QTest::newRow("window manager frame, saved at 150%")
            << true << QMargins(4, 28, 4, 4)
            << QByteArray("[FORM]\r\nPOSITION.X=33\r\nPOSITION.Y=44\r\nSIZE.XSize=1300\r\nSIZE.YSize=900\r\nscale=2\r\n"
                          "[Style]\r\nName=Auric\r\n");
    }
    void tenRestartsKeepTheGeometry()
    {
        QFETCH(bool, fake);
        QFETCH(QMargins, frame);
        QFETCH(QByteArray, file);
        if (fake)
            UseWindowManagerFrame(frame);
        Program p;
        if (!file.isEmpty())
            WriteBytes(p.IniPath(), file);
        QByteArray saved;
        QRect geometry;
        for (int run = 0; run < 10; ++run) {
            auto w = p.Start();
            QVERIFY(w);
            QTest::qWait(5);
            if (run > 0)
                QCOMPARE(w->geometry(), geometry);
            geometry = w->geometry();
            QVERIFY(w->close());
            if (run > 0)
                QCOMPARE(ReadBytes(p.IniPath()), saved);
            saved = ReadBytes(p.IniPath());
        }
        if (!file.isEmpty()) {
            const QStringList lines = p.IniLines();
            QVERIFY(lines.contains("SIZE.XSize=1300"));
            QVERIFY(lines.contains("SIZE.YSize=900"));
            QCOMPARE(geometry.size(), QSize(1300, 900).shrunkBy(frame));
        }
        QVERIFY(p.messages->shown.isEmpty());
    }

    // Files as people leave them: edited by hand, written by other versions,
    // damaged.
    void handEditedFiles_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QPoint>("pos");
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QString>("style");
        QTest::addColumn<QStringList>("messages");
        const QSize laidOut(940, 597); // 936 x 593 and the platform's 2-pixel frame
        QTest::newRow("scale above the list") << QByteArray("[FORM]\r\nscale=5\r\n") << QPoint(0, 0) << laidOut << -1
                                              << "Windows" << QStringList();
        QTest::newRow("scale below the list") << QByteArray("[FORM]\r\nscale=-7\r\n") << QPoint(0, 0) << laidOut << -1
                                              << "Windows" << QStringList();
        QTest::newRow("no entry saved") << QByteArray("[FORM]\r\nscale=-1\r\n") << QPoint(0, 0) << laidOut << -1
                                        << "Windows" << QStringList();
        QTest::newRow("scale not a number") << QByteArray("[FORM]\r\nscale=1.5\r\n") << QPoint(0, 0) << laidOut << 0
                                            << "Windows" << QStringList();
        QTest::newRow("style name in other case") << QByteArray("[Style]\r\nName=tURQUOISE gRAY\r\n") << QPoint(0, 0)
                                                  << laidOut << 0 << "Turquoise Gray" << QStringList();
        QTest::newRow("unknown style") << QByteArray("[Style]\r\nName=Carbon\r\n") << QPoint(0, 0) << laidOut << 0
                                       << "Windows" << QStringList{NotFound("Carbon")};
        QTest::newRow("empty style name") << QByteArray("[Style]\r\nName=\r\n") << QPoint(0, 0) << laidOut << 0
                                          << "Windows" << QStringList{NotFound("")};
        QTest::newRow("bad numbers") << QByteArray("[FORM]\r\nPOSITION.X=abc\r\nPOSITION.Y=12px\r\nSIZE.XSize=\r\n"
                                                   "SIZE.YSize=1e3\r\nscale=two\r\n")
                                     << QPoint(0, 0) << laidOut << 0 << "Windows" << QStringList();
        QTest::newRow("names in other case") << QByteArray("[form]\r\nposition.x=25\r\nPosition.Y=35\r\nsize.xsize=800\r\n"
                                                           "SIZE.YSIZE=500\r\nSCALE=1\r\n[STYLE]\r\nname=glow\r\n")
                                             << QPoint(25, 35) << QSize(800, 500) << 1 << "Glow" << QStringList();
        QTest::newRow("hexadecimal and padded") << QByteArray("[FORM]\r\nPOSITION.X=0x10\r\nPOSITION.Y=  7  \r\n")
                                                << QPoint(16, 7) << laidOut << 0 << "Windows" << QStringList();
        QTest::newRow("not an ini file at all") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << QPoint(0, 0)
                                                << laidOut << 0 << "Windows" << QStringList();
    }
    void handEditedFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(QPoint, pos);
        QFETCH(QSize, outer);
        QFETCH(int, zoom);
        QFETCH(QString, style);
        QFETCH(QStringList, messages);
        Program p;
        WriteBytes(p.IniPath(), file);
        auto w = p.Start();
        QVERIFY(w);
        QCOMPARE(p.Texts(), messages); // shown during start-up, which went on
        QCOMPARE(w->pos(), pos);
        QTRY_COMPARE(w->frameGeometry().size(), outer);
        QCOMPARE(List(w->ScaleComboBox)->ItemIndex(), zoom);
        QCOMPARE(TStyleManager::ActiveStyle().Name(), style);
        QCOMPARE(w->StyleSelecter->currentText(), style);
        QVERIFY(w->acceptDrops());
        QCOMPARE(w->PageControl1->TabIndex(), 0);
        QVERIFY(w->close());
        QVERIFY(p.IniLines().contains(QStringLiteral("Name=") + style)
                || p.IniLines().contains(QStringLiteral("name=") + style));
        QCOMPARE(p.Texts(), messages); // nothing more at closing
    }

    // Sections and keys the program does not know about survive its saving.
    void otherSectionsAndKeysAreKept()
    {
        Program p;
        WriteBytes(p.IniPath(), "[Recent]\r\nFile.0=/data/a.csv\r\n\r\n[FORM]\r\nPOSITION.X=50\r\nComment=mine\r\n"
                                "\r\n[Style]\r\nName=Glow\r\nAccent=gold\r\n");
        auto w = p.Start();
        QVERIFY(w);
        QCOMPARE(w->pos().x(), 50);
        QVERIFY(w->close());
        const QStringList lines = p.IniLines();
        QCOMPARE(lines.mid(0, 3), QStringList({"[Recent]", "File.0=/data/a.csv", ""}));
        QCOMPARE(lines.mid(3, 3), QStringList({"[FORM]", "POSITION.X=50", "Comment=mine"}));
        QVERIFY(lines.contains("Accent=gold"));
        QVERIFY(lines.contains("Name=Glow"));
        QVERIFY(lines.contains("scale=0"));
    }

    void closingAlwaysWrites()
    {
        Program p;
        auto w = p.Start();
        QVERIFY(w);
        QVERIFY(w->close());
        QVERIFY(QFile::remove(p.IniPath()));
        auto again = p.Start();
        QVERIFY(again);
        QVERIFY(again->close()); // nothing changed, and still written
        QVERIFY(p.IniLines().contains("[FORM]"));
    }

    // An installed copy keeps its settings in the user's configuration
    // folder, read from there too: one that cannot write beside its
    // executable, and one laid out by the install rules even where it could.
    void installedCopyUsesTheConfigurationFolder_data()
    {
        QTest::addColumn<bool>("xdg");
        QTest::addColumn<bool>("writable");
        QTest::newRow("unwritable folder, XDG_CONFIG_HOME") << true << false;
        QTest::newRow("unwritable folder, ~/.config") << false << false;
        QTest::newRow("writable, beside its desktop entry") << true << true;
    }
    void installedCopyUsesTheConfigurationFolder()
    {
        QFETCH(bool, xdg);
        QFETCH(bool, writable);
        QTemporaryDir scratch;
        if (writable) {
            // What an install into a prefix the user owns lays down.
            QVERIFY(QDir(scratch.path()).mkpath("usr/bin"));
            QVERIFY(QDir(scratch.path()).mkpath("usr/share/applications"));
            WriteBytes(scratch.filePath("usr/share/applications/org.plotmere.Plotmere.desktop"), "[Desktop Entry]\n");
        } else {
            // A folder no one can write to, whoever runs the test: one under
            // a regular file.
            WriteBytes(scratch.filePath("usr"), "not a folder");
        }
        const QString installed = scratch.filePath("usr/bin");
        const EnvGuard home("HOME", QFile::encodeName(scratch.filePath("home")));
        const EnvGuard config("XDG_CONFIG_HOME", xdg ? QFile::encodeName(scratch.filePath("cfg")) : QByteArray());
        const QString expected = xdg ? scratch.filePath("cfg/plotmere.ini") : scratch.filePath("home/.config/plotmere.ini");
        Program p(installed);
        {
            auto w = p.Start();
            QVERIFY(w);
            QCOMPARE(w->IniFile->FullPath(), expected);
            w->move(70, 60);
            PickFromList(w->StyleSelecter, 0);
            QVERIFY(w->close());
        }
        QVERIFY(p.messages->shown.isEmpty());
        QVERIFY(ReadBytes(expected).contains("POSITION.X=70"));
        QVERIFY(!QFile::exists(installed + "/plotmere.ini"));
        auto w = p.Start();
        QVERIFY(w);
        QCOMPARE(w->pos(), QPoint(70, 60));
        QCOMPARE(TStyleManager::ActiveStyle().Name(), QStringLiteral("Auric"));
    }

    // A copy in the machine's own program folders never puts its settings
    // there, even for root, who may write into them. (The window is not
    // closed, so nothing is written should the rule break.)
    void systemCopyKeepsNothingBesideItself_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("/usr/bin") << "/usr/bin";
        QTest::newRow("/usr/local/bin") << "/usr/local/bin";
        QTest::newRow("/bin") << "/bin";
    }
    void systemCopyKeepsNothingBesideItself()
    {
        QFETCH(QString, folder);
        QTemporaryDir scratch;
        const EnvGuard config("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath("cfg")));
        Program p(folder);
        auto w = p.Start(false);
        QCOMPARE(w->IniFile->FullPath(), scratch.filePath("cfg/plotmere.ini"));
    }

    // When the file cannot be written anywhere the window still closes, and
    // the user is told once which file and why.
    void unwritableFileIsReportedOnce()
    {
        QTemporaryDir scratch;
        WriteBytes(scratch.filePath("usr"), "not a folder");
        WriteBytes(scratch.filePath("cfg"), "not a folder either");
        const EnvGuard config("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath("cfg/sub")));
        Program p(scratch.filePath("usr/bin"));
        auto w = p.Start();
        QVERIFY(w);
        const QString path = w->IniFile->FullPath();
        QCOMPARE(path, scratch.filePath("cfg/sub/plotmere.ini"));
        w->close();
        QVERIFY(!w->isVisible());
        QCOMPARE(p.messages->shown.size(), 1);
        const ShownMessage& m = p.messages->shown.first();
        QCOMPARE(m.caption, ApplicationTitle());
        QCOMPARE(m.icon, MessageIcon::Warning);
        QVERIFY2(m.text.contains(path), qPrintable(m.text));
        QVERIFY2(m.text.contains(QStringLiteral("保存できませんでした")), qPrintable(m.text));
        QVERIFY2(m.text.contains(QStringLiteral("Not a directory"), Qt::CaseInsensitive), qPrintable(m.text));
    }
};

QTEST_MAIN(tst_WindowSettings)
#include "tst_WindowSettings.moc"
