// Reading table files: strict UTF-8 first, then the byte-order marks and the
// legacy code page; errors that name the file and the cause; mapped files
// that stay as they were read when somebody rewrites them.

#include "Exceptions.h"
#include "LineList.h"
#include "LineListLines.h"
#include "TableFile.h"
#include "TableFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const QString kHeader = QString::fromUtf8("時間,電圧");

QByteArray Utf16(const QString& s, bool bigEndian)
{
    QByteArray out(bigEndian ? "\xFE\xFF" : "\xFF\xFE", 2);
    for (QChar c : s) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

// Whether this process may take a read lease on the file at `path`, which
// tells it whether anybody has the file open for writing.
bool LeaseAvailable(const QString& path)
{
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    const bool ok = fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
    if (ok)
        fcntl(fd, F_SETLEASE, F_UNLCK);
    close(fd);
    return ok;
}

// Runs ReadTableFile(path) in a child process, as the user "nobody" when
// this process runs as root (to whom file permissions do not apply), and
// returns the message of the EFOpenError it raised, or a note of what
// happened instead.
QString OpenErrorInChild(const QString& path)
{
    int fds[2];
    if (pipe(fds) != 0)
        return QStringLiteral("<no pipe>");
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        QByteArray out;
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
            out = "<cannot drop privileges>";
        } else {
            try {
                ReadTableFile(path);
                out = "<no error>";
            } catch (const EFOpenError& e) {
                out = e.Message().toUtf8();
            } catch (...) {
                out = "<another error>";
            }
        }
        const ssize_t written = write(fds[1], out.constData(), size_t(out.size()));
        _exit(written == out.size() ? 0 : 1);
    }
    close(fds[1]);
    QByteArray got;
    char buf[512];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        got.append(buf, n);
    }
    close(fds[0]);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("<child failed>");
    return QString::fromUtf8(got);
}

} // namespace

class TestDecoding : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void cleanup() { tablefile_detail::SetMapThreshold(std::size_t(1) << 20); }

    void validUtf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        struct Row {
            const char* name;
            const char* bytes;
            int len;
            bool valid;
        };
        const Row rows[] = {
            {"empty", "", 0, true},
            {"two-byte", "\xC3\xA9", 2, true},
            {"three-byte", "\xE2\x82\xAC", 3, true},
            {"four-byte", "\xF0\x9F\x98\x80", 4, true},
            {"nul is valid", "\0", 1, true},
            {"highest", "\xF4\x8F\xBF\xBF", 4, true},
            {"overlong two-byte", "\xC0\x80", 2, false},
            {"overlong three-byte", "\xE0\x80\x80", 3, false},
            {"overlong four-byte", "\xF0\x80\x80\x80", 4, false},
            {"surrogate", "\xED\xA0\x80", 3, false},
            {"above U+10FFFF", "\xF4\x90\x80\x80", 4, false},
            {"F5 lead", "\xF5\x80\x80\x80", 4, false},
            {"lone continuation", "\x80", 1, false},
            {"truncated two-byte", "\xC3", 1, false},
            {"truncated three-byte", "\xE2\x82", 2, false},
            {"bad continuation", "\xE2\x28\xA1", 3, false},
            {"FF", "\xFF", 1, false},
            {"cp932 text", "\x8E\x9E\x8A\xD4", 4, false},
        };
        // Each sequence alone, after a long ASCII run (the 16-byte path) and
        // followed by ASCII.
        for (const Row& r : rows) {
            const QByteArray b(r.bytes, r.len);
            QTest::newRow(r.name) << b << r.valid;
            QTest::newRow(qPrintable(QString::fromLatin1(r.name) + QStringLiteral(" after ASCII")))
                << QByteArray(37, 'a') + b + QByteArray(20, 'z') << r.valid;
        }
    }
    void validUtf8()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        QCOMPARE(IsValidUtf8(bytes.constData(), std::size_t(bytes.size())), valid);
    }

    // Large buffers are checked in two halves; a fault in either, or one
    // that straddles the split, is found.
    void validUtf8Large()
    {
        QByteArray big(10 << 20, 'x');
        big.replace(big.size() / 2 - 1, 3, "\xE2\x82\xAC"); // straddles the middle
        QVERIFY(IsValidUtf8(big.constData(), std::size_t(big.size())));
        big[big.size() - 2] = char(0xC3);
        QVERIFY(!IsValidUtf8(big.constData(), std::size_t(big.size())));
        big[big.size() - 2] = 'x';
        big[big.size() / 2] = 'x'; // leaves E2 .. AC: invalid in the middle
        QVERIFY(!IsValidUtf8(big.constData(), std::size_t(big.size())));
    }

    // The same Japanese header in every accepted encoding gives the same
    // axis names, read from a file (small and mapped) and from memory.
    void encodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QString table = kHeader + QStringLiteral("\r\n1,2\r\n");
        QTest::newRow("UTF-8") << table.toUtf8();
        QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBF") + table.toUtf8();
        QTest::newRow("CP932") << QByteArray("\x8E\x9E\x8A\xD4,\x93\x64\x88\xB3\r\n1,2\r\n");
        QTest::newRow("UTF-16 LE") << Utf16(table, false);
        QTest::newRow("UTF-16 BE") << Utf16(table, true);
    }
    void encodings()
    {
        QFETCH(QByteArray, bytes);
        const QString path = Write(QStringLiteral("enc.csv"), bytes);
        for (std::size_t threshold : {std::size_t(1) << 20, std::size_t(1)}) {
            tablefile_detail::SetMapThreshold(threshold);
            for (const LineList& l : {ReadTableFile(path), DecodeTable(bytes)}) {
                QCOMPARE(AllLines(l), (QStringList{kHeader, "1,2"}));
                const std::optional<ColumnNames> h = HeaderRow(l, ',', NumberFormat{});
                QVERIFY(h);
                QCOMPARE(h->first, QString::fromUtf8("時間"));
                QCOMPARE(h->second, QString::fromUtf8("電圧"));
            }
        }
    }

    // What the second attempt makes of bytes it cannot decode.
    void replacements_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("marked UTF-8, bad byte") << QByteArray("\xEF\xBB\xBF" "a\xFF" "b") << QStringLiteral("a\uFFFDb");
        QTest::newRow("marked UTF-8, cut sequence")
            << QByteArray("\xEF\xBB\xBF" "a\xE2\x82" "b") << QStringLiteral("a\uFFFDb");
        QTest::newRow("UTF-16, lone surrogate") << QByteArray("\xFF\xFE" "a\0\x00\xD8" "b\0", 8)
                                               << QStringLiteral("a\uFFFDb");
        QTest::newRow("UTF-16, pair") << QByteArray("\xFF\xFE\x3D\xD8\x00\xDE", 6) << QStringLiteral("\U0001F600");
        QTest::newRow("UTF-16, odd length") << QByteArray("\xFE\xFF\0a\0", 5) << QStringLiteral("a\uFFFD");
        QTest::newRow("CP932, half-width kana") << QByteArray("\xB1\x32") << QStringLiteral("\uFF712");
        QTest::newRow("CP932, undefined byte") << QByteArray("1\x80" "2") << QStringLiteral("1\uFFFD2");
        QTest::newRow("CP932, cut at end") << QByteArray("1\x93") << QStringLiteral("1\uFFFD");
    }
    void replacements()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QByteArray utf8 = DecodeWithDetection(bytes.constData(), std::size_t(bytes.size()));
        QCOMPARE(QString::fromUtf8(utf8), text);
        QVERIFY(IsValidUtf8(utf8.constData(), std::size_t(utf8.size())));
    }

    void openErrors_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("err");
        QTest::newRow("missing") << "missing.csv" << ENOENT;
        QTest::newRow("folder") << "folder" << EISDIR;
        QTest::newRow("no permission") << "secret.csv" << EACCES;
    }
    void openErrors()
    {
        QFETCH(QString, name);
        QFETCH(int, err);
        const QString path = m_dir.filePath(name);
        if (err == EISDIR)
            QVERIFY(QDir(m_dir.path()).mkpath(name));
        QString message;
        if (err == EACCES) {
            // Read by another user, since root may open anything.
            Write(name, "1,2\n3,4\n");
            QVERIFY(chmod(QFile::encodeName(path).constData(), 0) == 0);
            message = OpenErrorInChild(path);
        } else {
            try {
                ReadTableFile(path);
                QFAIL("no error");
            } catch (const EFOpenError& e) {
                message = e.Message();
            }
        }
        QVERIFY2(message.contains(u'"' + path + u'"'), qPrintable(message));
        QVERIFY2(message.endsWith(QString::fromLocal8Bit(std::strerror(err))), qPrintable(message));
    }

    // A mapped file that is truncated and rewritten after reading: the lines
    // stay as read (and reading them does not fault). The file is large
    // enough for the passes to drop pages behind them and use two threads.
    void mappedFileSurvivesRewrite()
    {
        constexpr int kRows = 1200000;
        QByteArray original;
        original.reserve(kRows * 12);
        for (int i = 0; i < kRows; ++i)
            original += QByteArray::number(i) + ",1.5\n";
        const QString path = Write(QStringLiteral("live.csv"), original);
        tablefile_detail::SetMapThreshold(1);
        const LineList l = ReadTableFile(path);
        if (!tablefile_detail::LastReadWasMapped())
            QSKIP("file leases are not available here");
        QCOMPARE(l.Count(), kRows);
        const TableScan before = ScanTable(l, ',', false, NumberFormat{});
        QCOMPARE(before.xs.size(), kRows);
        {
            const int fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC);
            QVERIFY(fd >= 0);
            QCOMPARE(write(fd, "9,9\n", 4), ssize_t(4));
            close(fd);
        }
        QCOMPARE(l.Count(), kRows);
        QCOMPARE(l.Line(0), QStringLiteral("0,1.5"));
        QCOMPARE(l.Line(kRows - 1), QString::number(kRows - 1) + QStringLiteral(",1.5"));
        const TableScan s = ScanTable(l, ',', false, NumberFormat{});
        QCOMPARE(s.xs, before.xs);
        QCOMPARE(s.ys, before.ys);
        QCOMPARE(s.xs.last(), double(kRows - 1));
        // The next read sees the new contents.
        QCOMPARE(AllLines(ReadTableFile(path)), QStringList{"9,9"});
    }

    // A lease signal that the kernel did not send for a break (here one
    // queued by hand naming the mapped file's descriptor) leaves the
    // mapping on the file: no private copy of the whole text is taken.
    void strayLeaseSignalKeepsMapping()
    {
        QByteArray rows;
        for (int i = 0; i < 20000; ++i)
            rows += QByteArray::number(i) + ",2\n";
        const QString path = Write(QStringLiteral("stray.csv"), rows);
        tablefile_detail::SetMapThreshold(1);
        const LineList l = ReadTableFile(path);
        if (!tablefile_detail::LastReadWasMapped())
            QSKIP("file leases are not available here");
        const QByteArray target = QFile::encodeName(QFileInfo(path).canonicalFilePath());
        int fd = -1;
        for (int k = 3; k < 1024 && fd < 0; ++k) {
            char link[4096];
            const ssize_t n = readlink(qPrintable(QStringLiteral("/proc/self/fd/%1").arg(k)), link, sizeof link);
            if (n > 0 && QByteArray(link, n) == target)
                fd = k;
        }
        QVERIFY2(fd >= 0, target.constData());
        auto backedByFile = [&] {
            QFile maps(QStringLiteral("/proc/self/maps"));
            if (!maps.open(QIODevice::ReadOnly))
                return false;
            const auto at = quintptr(l.LineStart(0));
            for (const QByteArray& line : maps.readAll().split('\n')) {
                const QList<QByteArray> range = line.left(line.indexOf(' ')).split('-');
                if (range.size() == 2 && range[0].toULongLong(nullptr, 16) <= at && at < range[1].toULongLong(nullptr, 16))
                    return line.endsWith(target);
            }
            return false;
        };
        QVERIFY(backedByFile());
        QCOMPARE(sigqueue(getpid(), SIGRTMIN + 6, sigval{fd}), 0);
        QVERIFY(backedByFile());
        QCOMPARE(l.Line(19999), QStringLiteral("19999,2"));
    }

    // A file that another program holds open for writing may be half
    // written: it is refused with the file-open error, whether it would be
    // mapped or read, and read as usual once the writer has closed it.
    void fileOpenForWritingIsRefused_data()
    {
        QTest::addColumn<bool>("mapped");
        QTest::addColumn<int>("mode");
        QTest::newRow("read, appending writer") << false << int(O_WRONLY | O_APPEND);
        QTest::newRow("read, reading and writing") << false << int(O_RDWR | O_APPEND);
        QTest::newRow("mapped, appending writer") << true << int(O_WRONLY | O_APPEND);
        QTest::newRow("mapped, reading and writing") << true << int(O_RDWR | O_APPEND);
    }
    void fileOpenForWritingIsRefused()
    {
        QFETCH(bool, mapped);
        QFETCH(int, mode);
        const QString path = Write(QStringLiteral("busy.csv"), "a,b\n1,2\n");
        if (!LeaseAvailable(path))
            QSKIP("file leases are not available here");
        if (mapped)
            tablefile_detail::SetMapThreshold(1);
        const int fd = open(QFile::encodeName(path).constData(), mode);
        QVERIFY(fd >= 0);
        QString message;
        try {
            ReadTableFile(path);
        } catch (const EFOpenError& e) {
            message = e.Message();
        }
        QCOMPARE(write(fd, "3,4\n", 4), ssize_t(4));
        close(fd);
        QVERIFY2(message.contains(u'"' + path + u'"'), qPrintable(message));
        QVERIFY2(message.contains(QString::fromUtf8("書き込み")), qPrintable(message));
        QCOMPARE(AllLines(ReadTableFile(path)), (QStringList{"a,b", "1,2", "3,4"}));
    }

    // Where the kernel cannot tell whether somebody writes (a reader who
    // neither owns the file nor may take leases), the file is read.
    void writerUnknownToTheReaderIsRead()
    {
        if (geteuid() != 0)
            QSKIP("needs root, to read as another user");
        QTemporaryDir shared;
        QVERIFY(chmod(QFile::encodeName(shared.path()).constData(), 0755) == 0);
        const QString path = shared.filePath(QStringLiteral("open.csv"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("1,2\n3,4\n");
        }
        QVERIFY(chmod(QFile::encodeName(path).constData(), 0644) == 0);
        const int fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND);
        QVERIFY(fd >= 0);
        const QString result = OpenErrorInChild(path);
        close(fd);
        QCOMPARE(result, QStringLiteral("<no error>"));
    }

    // Files beyond what a table can hold are refused from their size and
    // their first bytes, without reading them into memory first: the
    // address space is capped far below their size, so reading them would
    // end in an out-of-memory error instead of this one. Only UTF-16 may
    // be larger than the text limit, as it shrinks when it becomes UTF-8.
    void oversizedFilesRefusedUnread_data()
    {
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<qint64>("size");
        const qint64 text = qint64(LineList::kMaxTextBytes);
        QTest::newRow("UTF-8 one byte over") << QByteArray("x,y\n1,2\n") << text + 1;
        QTest::newRow("UTF-8 with a mark") << QByteArray("\xEF\xBB\xBFx,y\n") << text + 4096;
        QTest::newRow("legacy code page") << QByteArray("\x8E\x9E,y\n") << text + 1;
        QTest::newRow("UTF-16 over twice the limit") << QByteArray("\xFF\xFEx\0") << 2 * text + 1;
    }
    void oversizedFilesRefusedUnread()
    {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        QSKIP("the sanitizers need more address space than the cap leaves");
#endif
        QFETCH(QByteArray, start);
        QFETCH(qint64, size);
        const QString path = Write(QStringLiteral("huge.csv"), start);
        QVERIFY(truncate(QFile::encodeName(path).constData(), off_t(size)) == 0); // sparse
        rlimit saved {};
        QVERIFY(getrlimit(RLIMIT_AS, &saved) == 0);
        rlimit capped = saved;
        capped.rlim_cur = rlim_t(1) << 31;
        if (saved.rlim_cur != RLIM_INFINITY && saved.rlim_cur < capped.rlim_cur)
            capped.rlim_cur = saved.rlim_cur;
        QVERIFY(setrlimit(RLIMIT_AS, &capped) == 0);
        QString message;
        try {
            ReadTableFile(path);
        } catch (const EReadError& e) {
            message = e.Message();
        }
        setrlimit(RLIMIT_AS, &saved);
        QFile::remove(path);
        QVERIFY2(message.contains(QString::fromUtf8("大きすぎます")), qPrintable(message));
    }

    void emptyFile()
    {
        const QString path = Write(QStringLiteral("empty.csv"), QByteArray());
        QCOMPARE(ReadTableFile(path).Count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDecoding)
#include "tst_Decoding.moc"
