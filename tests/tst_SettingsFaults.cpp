// The settings file on a failing disk: a save that fails at any step, on a
// full disk, under a file-size limit or on a read-only file leaves the
// previous file exactly as it was, leaves no temporary file behind, keeps
// the change for the next save, and the closing window tells the user once.
//
// The real disks are small tmpfs mounts in a mount namespace of this test
// alone (so nothing outlives the test); where it may not mount, those
// tests are skipped with the reason.

#include "Exceptions.h"
#include "FakeServices.h"
#include "MemIniFile.h"
#include "TestFiles.h"
#include "Unit1.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

using meminifile_detail::SaveStep;
using testfiles::ReadBytes;
using testfiles::WriteBytes;

Q_DECLARE_METATYPE(SaveStep)

namespace {

const QByteArray kOldFile = "[FORM]\r\nPOSITION.X=70\r\nPOSITION.Y=60\r\nscale=3\r\n\r\n[Style]\r\nName=Glow\r\n\r\n";

// Makes saves fail at one step for as long as it lives.
class SaveFaultGuard {
public:
    SaveFaultGuard(SaveStep at, int err)
    {
        meminifile_detail::SetSaveFault([at, err](SaveStep step) -> std::optional<int> {
            if (step == at)
                return err;
            return std::nullopt;
        });
    }
    ~SaveFaultGuard() { meminifile_detail::SetSaveFault({}); }
    SaveFaultGuard(const SaveFaultGuard&) = delete;
    SaveFaultGuard& operator=(const SaveFaultGuard&) = delete;
};

// The names in a folder (temporary files of a failed save would show here).
QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Expects `save` to raise EFCreateError naming `path`, and returns its message.
template <class F>
QString CreateErrorOf(F save, const QString& path)
{
    try {
        save();
    } catch (const EFCreateError& e) {
        if (!e.Message().contains(path))
            return QStringLiteral("<message without the path: ") + e.Message() + u'>';
        return e.Message();
    } catch (const std::exception& e) {
        return QStringLiteral("<another error: %1>").arg(QString::fromLocal8Bit(e.what()));
    }
    return QStringLiteral("<no error>");
}

// A store bound to `path` holding the old file's values and one new value.
TMemIniFile ChangedStore(const QString& path, const QByteArray& value = "Turquoise Gray")
{
    TMemIniFile ini(path);
    ini.WriteString(QStringLiteral("Style"), QStringLiteral("Name"), QString::fromLatin1(value));
    return ini;
}

// A tmpfs of `kilobytes` at `folder`, removed when the test's namespace
// goes; the reason it cannot be made otherwise.
QString MountTmpfs(const QString& folder, int kilobytes)
{
    const QByteArray opts = "size=" + QByteArray::number(kilobytes) + "k,mode=0755";
    if (mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, opts.constData()) != 0)
        return QStringLiteral("cannot mount a tmpfs: ") + QString::fromLocal8Bit(std::strerror(errno));
    return QString();
}

void Unmount(const QString& folder)
{
    umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
}

// Fills the file system under `folder` up to its last byte.
void FillUp(const QString& folder)
{
    const int fd = open(QFile::encodeName(folder + QStringLiteral("/filler")).constData(), O_WRONLY | O_CREAT, 0644);
    QVERIFY(fd >= 0);
    const QByteArray block(4096, 'f');
    while (write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    char one = 'f';
    while (write(fd, &one, 1) > 0) {
    }
    close(fd);
}

// The window of a program whose settings file is `folder`/plotmere.ini.
struct Program {
    explicit Program(const QString& folder) { TExIniFile::SetApplicationPath(folder + QStringLiteral("/plotmere")); }
    ~Program() { TExIniFile::SetApplicationPath(QString()); }
    std::unique_ptr<TForm1> Start() { return std::make_unique<TForm1>(FormServices{dialogs, messages, clipboard}); }
    std::shared_ptr<FakeDialogs> dialogs = std::make_shared<FakeDialogs>();
    std::shared_ptr<FakeMessages> messages = std::make_shared<FakeMessages>();
    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();
};

// Closes the window and expects one warning that names the file and gives
// `reason`.
void ExpectOneWarning(Program& p, TForm1& w, const QString& path, const QString& reason)
{
    p.messages->shown.clear();
    QVERIFY(w.close());
    QCOMPARE(p.messages->shown.size(), 1);
    const ShownMessage& m = p.messages->shown.first();
    QCOMPARE(m.icon, MessageIcon::Warning);
    QVERIFY2(m.text.contains(QStringLiteral("保存できませんでした")), qPrintable(m.text));
    QVERIFY2(m.text.contains(path), qPrintable(m.text));
    QVERIFY2(m.text.contains(reason, Qt::CaseInsensitive), qPrintable(m.text + QStringLiteral(" / ") + reason));
}

QString Reason(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

class TestSettingsFaults : public QObject {
    Q_OBJECT

    QString m_noMounts; // why this machine cannot mount, if it cannot

private slots:
    void initTestCase()
    {
        // Mounts made from here on are this test's own and end with it.
        if (unshare(CLONE_NEWNS) != 0)
            m_noMounts = QStringLiteral("no mount namespace of our own: ") + Reason(errno);
        else if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            m_noMounts = QStringLiteral("cannot make the mounts private: ") + Reason(errno);
    }

    void saveFailsAtEachStep_data()
    {
        QTest::addColumn<SaveStep>("step");
        QTest::addColumn<int>("err");
        QTest::newRow("open") << SaveStep::Open << EACCES;
        QTest::newRow("write") << SaveStep::Write << ENOSPC;
        QTest::newRow("flush") << SaveStep::Flush << EIO;
        QTest::newRow("commit") << SaveStep::Commit << EXDEV;
    }
    void saveFailsAtEachStep()
    {
        QFETCH(SaveStep, step);
        QFETCH(int, err);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plotmere.ini"));
        WriteBytes(path, kOldFile);
        TMemIniFile ini = ChangedStore(path);
        {
            const SaveFaultGuard fault(step, err);
            const QString message = CreateErrorOf([&] { ini.UpdateFile(); }, path);
            QVERIFY2(message.endsWith(Reason(err)), qPrintable(message));
        }
        QCOMPARE(ReadBytes(path), kOldFile);
        QCOMPARE(Entries(dir.path()), QStringList{QStringLiteral("plotmere.ini")});
        // The change stayed in memory and goes out with the next save.
        ini.UpdateFile();
        QVERIFY(ReadBytes(path).contains("Name=Turquoise Gray\r\n"));
        QCOMPARE(Entries(dir.path()), QStringList{QStringLiteral("plotmere.ini")});
    }

    // Every save of the closing window fails alike; the user hears of it
    // once, and the file keeps what the previous run saved.
    void closingWindowWarnsOnce_data() { saveFailsAtEachStep_data(); }
    void closingWindowWarnsOnce()
    {
        QFETCH(SaveStep, step);
        QFETCH(int, err);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plotmere.ini"));
        WriteBytes(path, kOldFile);
        Program p(dir.path());
        auto w = p.Start();
        QCOMPARE(w->IniFile->FullPath(), path);
        const SaveFaultGuard fault(step, err);
        ExpectOneWarning(p, *w, path, Reason(err));
        QCOMPARE(ReadBytes(path), kOldFile);
        QCOMPARE(Entries(dir.path()), QStringList{QStringLiteral("plotmere.ini")});
    }

    // A file-size limit stops the write part way: the save must see that,
    // not rename a truncated file over the old one.
    void fileSizeLimit()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plotmere.ini"));
        WriteBytes(path, kOldFile);
        TMemIniFile ini = ChangedStore(path, QByteArray(20000, 'x'));
        rlimit old{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 8192;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        QString message;
        {
            const auto restore = qScopeGuard([&] {
                setrlimit(RLIMIT_FSIZE, &old);
                std::signal(SIGXFSZ, previousHandler);
            });
            message = CreateErrorOf([&] { ini.UpdateFile(); }, path);
        }
        QVERIFY2(message.endsWith(Reason(EFBIG)), qPrintable(message));
        QCOMPARE(ReadBytes(path), kOldFile);
        QCOMPARE(Entries(dir.path()), QStringList{QStringLiteral("plotmere.ini")});
    }

    // A real full disk, for the store and for the closing window.
    void fullDisk()
    {
        if (!m_noMounts.isEmpty())
            QSKIP(qPrintable(m_noMounts));
        QTemporaryDir dir;
        const QString why = MountTmpfs(dir.path(), 64);
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        const auto unmount = qScopeGuard([&] { Unmount(dir.path()); });
        const QString path = dir.filePath(QStringLiteral("plotmere.ini"));
        WriteBytes(path, kOldFile);
        FillUp(dir.path());
        const QStringList before = Entries(dir.path());

        TMemIniFile ini = ChangedStore(path, QByteArray(8000, 'x'));
        const QString message = CreateErrorOf([&] { ini.UpdateFile(); }, path);
        QVERIFY2(message.endsWith(Reason(ENOSPC)), qPrintable(message));
        QCOMPARE(ReadBytes(path), kOldFile);
        QCOMPARE(Entries(dir.path()), before);

        {
            Program p(dir.path());
            auto w = p.Start();
            w->move(300, 200); // something new to save
            ExpectOneWarning(p, *w, path, Reason(ENOSPC));
        }
        QCOMPARE(ReadBytes(path), kOldFile);
        QCOMPARE(Entries(dir.path()), before);

        // Room again: the change kept in memory is saved.
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("filler"))));
        ini.UpdateFile();
        QVERIFY(ReadBytes(path).contains("Name=" + QByteArray(8000, 'x') + "\r\n"));
    }

    // A folder on a file system mounted read-only.
    void readOnlyFileSystem()
    {
        if (!m_noMounts.isEmpty())
            QSKIP(qPrintable(m_noMounts));
        QTemporaryDir dir;
        const QString why = MountTmpfs(dir.path(), 64);
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        const auto unmount = qScopeGuard([&] { Unmount(dir.path()); });
        const QString path = dir.filePath(QStringLiteral("plotmere.ini"));
        WriteBytes(path, kOldFile);
        QVERIFY2(mount(nullptr, QFile::encodeName(dir.path()).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0,
                 std::strerror(errno));
        TMemIniFile ini = ChangedStore(path);
        const QString message = CreateErrorOf([&] { ini.UpdateFile(); }, path);
        QVERIFY2(!message.startsWith(u'<'), qPrintable(message));
        QCOMPARE(ReadBytes(path), kOldFile);
        QCOMPARE(Entries(dir.path()), QStringList{QStringLiteral("plotmere.ini")});
    }

    // The settings file itself read-only (a read-only bind mount of it) in
    // a writable folder: the new file cannot replace it.
    void readOnlyFile()
    {
        if (!m_noMounts.isEmpty())
            QSKIP(qPrintable(m_noMounts));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plotmere.ini"));
        WriteBytes(path, kOldFile);
        const QByteArray name = QFile::encodeName(path);
        if (mount(name.constData(), name.constData(), nullptr, MS_BIND, nullptr) != 0)
            QSKIP(qPrintable(QStringLiteral("cannot bind-mount a file: ") + Reason(errno)));
        const auto unmount = qScopeGuard([&] { Unmount(path); });
        QVERIFY2(mount(nullptr, name.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0,
                 std::strerror(errno));
        QCOMPARE(open(name.constData(), O_WRONLY), -1); // really read-only, even to root
        QCOMPARE(errno, EROFS);

        TMemIniFile ini = ChangedStore(path);
        const QString message = CreateErrorOf([&] { ini.UpdateFile(); }, path);
        QVERIFY2(!message.startsWith(u'<'), qPrintable(message));
        QCOMPARE(ReadBytes(path), kOldFile);
        QCOMPARE(Entries(dir.path()), QStringList{QStringLiteral("plotmere.ini")});

        Program p(dir.path());
        auto w = p.Start();
        QCOMPARE(w->IniFile->FullPath(), path);
        w->move(300, 200);
        ExpectOneWarning(p, *w, path, QString());
        QCOMPARE(ReadBytes(path), kOldFile);
        QCOMPARE(Entries(dir.path()), QStringList{QStringLiteral("plotmere.ini")});
    }
};

QTEST_MAIN(TestSettingsFaults)
#include "tst_SettingsFaults.moc"
