// The table's line list: the line rule, deleting lines, removing empty
// lines in one pass, appending, and the two-thread index of a large text.

#include "Exceptions.h"
#include "LineList.h"
#include "LineListLines.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <memory>

class TestLineList : public QObject {
    Q_OBJECT

private slots:
    void lineRule_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty text") << QByteArray() << QStringList{};
        QTest::newRow("one line") << QByteArray("a") << QStringList{"a"};
        QTest::newRow("final LF adds no line") << QByteArray("a\n") << QStringList{"a"};
        QTest::newRow("final CR LF adds no line") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
        QTest::newRow("lone CR") << QByteArray("a\rb") << QStringList{"a", "b"};
        QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << QStringList{"a", "", "b"};
        QTest::newRow("mixed") << QByteArray("1\r\n2\r3\n4") << QStringList{"1", "2", "3", "4"};
        QTest::newRow("only breaks") << QByteArray("\n\r\n\r") << QStringList{"", "", ""};
        QTest::newRow("blank line is not empty") << QByteArray(" \n\n") << QStringList{" ", ""};
        QTest::newRow("utf-8") << QByteArray("時間,電圧\n1,2") << QStringList{"時間,電圧", "1,2"};
        // Text, not a byte-order mark, wherever it stands in the list's text.
        QTest::newRow("U+FEFF starting lines") << QByteArray("\xEF\xBB\xBF" "a\n\xEF\xBB\xBF\n")
                                               << QStringList{QStringLiteral("\uFEFFa"), QStringLiteral("\uFEFF")};
    }
    void lineRule()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, lines);
        const LineList l = LineList::FromUtf8(text);
        QCOMPARE(AllLines(l), lines);
        // The same text as Unicode (the clipboard's path) and appended to an
        // empty list give the same lines.
        const QString unicode = TextOfUtf8(std::string_view(text.constData(), std::size_t(text.size())));
        QCOMPARE(AllLines(LineList::FromText(unicode)), lines);
        LineList appended;
        appended.AppendText(unicode);
        QCOMPARE(AllLines(appended), lines);
    }

    void byteOrderMarkIsSkipped()
    {
        const LineList l = LineList::FromUtf8(QByteArray("\xEF\xBB\xBFx,y\n1,2"), {}, 3);
        QCOMPARE(AllLines(l), (QStringList{"x,y", "1,2"}));
        QCOMPARE(l.SourceLineNumber(1), 2);
    }

    void appendStartsANewLine()
    {
        LineList l = LineList::FromUtf8(QByteArray("a\r"));
        l.AppendText(u"\nb");
        QCOMPARE(AllLines(l), (QStringList{"a", "", "b"}));
        l.AppendUtf8("c");
        QCOMPARE(AllLines(l), (QStringList{"a", "", "b", "c"}));
        QCOMPARE(l.EmptyLineCount(), 1);
    }

    // Removing empty lines in one pass is observably the same as deleting
    // them one by one from the last to the first, after any deletions.
    void removeEmptyLinesMatchesOneByOne()
    {
        QRandomGenerator rng(7);
        for (int round = 0; round < 200; ++round) {
            QByteArray text;
            const int n = int(rng.bounded(40));
            for (int i = 0; i < n; ++i) {
                const int kind = int(rng.bounded(5));
                text += kind == 0 ? QByteArray() : QByteArray::number(i);
                text += kind == 1 ? "\r\n" : kind == 2 ? "\r" : "\n";
            }
            LineList fast = LineList::FromUtf8(text);
            if (fast.Count() > 3 && rng.bounded(2)) {
                fast.Delete(0);
                fast.Delete(fast.Count() / 2);
            }
            LineList slow = fast;
            QStringList expected = AllLines(slow);
            for (qsizetype i = slow.Count() - 1; i >= 0; --i)
                if (slow.Line(i).isEmpty()) {
                    slow.Delete(i);
                    expected.removeAt(i);
                }
            fast.RemoveEmptyLines();
            QCOMPARE(AllLines(fast), expected);
            QCOMPARE(AllLines(slow), expected);
            QCOMPARE(fast.EmptyLineCount(), 0);
        }
    }

    void deleteKeepsOthers()
    {
        LineList l = LineList::FromUtf8(QByteArray("h\n\n1\n2"));
        QCOMPARE(l.EmptyLineCount(), 1);
        l.Delete(1);
        QCOMPARE(l.EmptyLineCount(), 0);
        l.Delete(0);
        QCOMPARE(AllLines(l), (QStringList{"1", "2"}));
        QCOMPARE(l.SourceLineNumber(0), 3);
        QVERIFY_THROWS_EXCEPTION(Exception, l.Delete(2));
        l.Clear();
        QCOMPARE(l.Count(), 0);
    }

    // A text large enough for two indexing threads, with the split landing
    // on every kind of line break, gives the same lines as one thread.
    void largeTextIndex_data()
    {
        QTest::addColumn<QByteArray>("lineBreak");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("CR LF") << QByteArray("\r\n");
        QTest::newRow("CR") << QByteArray("\r");
    }
    void largeTextIndex()
    {
        QFETCH(QByteArray, lineBreak);
        QByteArray text;
        int expected = 0;
        int empty = 0;
        while (text.size() < (9 << 20)) {
            if (expected % 1000 == 7) {
                ++empty;
            } else {
                text += QByteArray::number(expected);
                text += ",0.5";
            }
            text += lineBreak;
            ++expected;
        }
        const LineList l = LineList::FromUtf8(text);
        QCOMPARE(l.Count(), expected);
        QCOMPARE(l.EmptyLineCount(), empty);
        int wrong = -1;
        for (int i = 0; i < expected && wrong < 0; ++i) {
            const std::string_view got = l.RawLine(i);
            if (i % 1000 == 7 ? !got.empty() : got != std::to_string(i) + ",0.5")
                wrong = i;
        }
        QCOMPARE(wrong, -1);
        QCOMPARE(l.SourceLineNumber(expected - 1), expected);
    }

    // The list keeps one line start per stretch of text instead of one per
    // line. Driven through random edits on texts of many stretches, with
    // every kind of break, empty runs and lines longer than a stretch, it
    // answers as a plain list of the lines does.
    void sparseListMatchesModel()
    {
        QRandomGenerator rng(11);
        const char* breaks[] = {"\n", "\r\n", "\r"};
        auto linesOf = [](const QByteArray& text) {
            QList<QByteArray> out;
            qsizetype s = 0;
            const qsizetype n = text.size();
            while (s < n) {
                qsizetype e = s;
                while (e < n && text[e] != '\n' && text[e] != '\r')
                    ++e;
                out << text.mid(s, e - s);
                s = e + ((e + 1 < n && text[e] == '\r' && text[e + 1] == '\n') ? 2 : 1);
            }
            return out;
        };
        for (int round = 0; round < 24; ++round) {
            QByteArray text;
            const qsizetype size = qsizetype(rng.bounded(int(3 * LineList::kMarkBytes))) + 1000;
            while (text.size() < size) {
                const int kind = int(rng.bounded(20));
                if (kind == 0)
                    text += QByteArray(int(LineList::kMarkBytes) + int(rng.bounded(5000)), 'w'); // a long line
                else if (kind < 4)
                    text += QByteArray(); // an empty line
                else
                    text += QByteArray::number(rng.bounded(100000)) + ",時" + QByteArray::number(text.size());
                text += breaks[rng.bounded(3)];
                if (kind == 5)
                    text.chop(1); // sometimes glue the next line on, or split a CR LF
            }
            LineList l = LineList::FromUtf8(text);
            QList<QByteArray> lines = linesOf(text);
            QList<qsizetype> source;
            for (qsizetype i = 0; i < lines.size(); ++i)
                source << i + 1;
            qsizetype rawCount = lines.size();
            auto check = [&](const char* what) {
                QVERIFY2(l.Count() == lines.size(), what);
                qsizetype empty = 0;
                for (const QByteArray& line : lines)
                    empty += line.isEmpty();
                QVERIFY2(l.EmptyLineCount() == empty, what);
                // In order through the walker, then at random places.
                LineList::Walker w = l.Walk(0, l.Count());
                for (qsizetype i = 0; i < lines.size(); ++i) {
                    const std::string_view got = l.RawLine(i);
                    QVERIFY2(!w.Done() && w.Start() == got.data(), what);
                    w.Next(got.data() + got.size());
                }
                QVERIFY2(w.Done(), what);
                for (int k = 0; k < 40 && !lines.isEmpty(); ++k) {
                    const qsizetype i = qsizetype(rng.bounded(int(lines.size())));
                    const std::string_view got = l.RawLine(i);
                    QVERIFY2(QByteArray(got.data(), qsizetype(got.size())) == lines[i], what);
                    QVERIFY2(l.SourceLineNumber(i) == source[i], what);
                    const qsizetype from = qsizetype(rng.bounded(int(lines.size())));
                    const qsizetype count = std::min<qsizetype>(lines.size() - from, 50);
                    LineList::Walker part = l.Walk(from, count);
                    for (qsizetype j = from; j < from + count; ++j) {
                        QVERIFY2(!part.Done() && part.Start() == l.LineStart(j), what);
                        part.Next(l.RawLine(j).data() + l.RawLine(j).size());
                    }
                    QVERIFY2(part.Done(), what);
                }
            };
            check("built");
            for (int step = 0; step < 6 && !lines.isEmpty(); ++step) {
                switch (rng.bounded(5)) {
                case 0:
                case 1:
                    l.Delete(0);
                    lines.removeFirst();
                    source.removeFirst();
                    check("first line deleted");
                    break;
                case 2:
                    l.RemoveEmptyLines();
                    for (qsizetype i = lines.size() - 1; i >= 0; --i)
                        if (lines[i].isEmpty()) {
                            lines.removeAt(i);
                            source.removeAt(i);
                        }
                    check("empty lines removed");
                    break;
                case 3: {
                    const qsizetype i = lines.size() > 1 ? 1 + qsizetype(rng.bounded(int(lines.size() - 1))) : 0;
                    l.Delete(i);
                    lines.removeAt(i);
                    source.removeAt(i);
                    QVERIFY(i == 0 || l.IsIndexed());
                    check("a line deleted");
                    break;
                }
                case 4: {
                    const QByteArray more = "7,8\n\n9";
                    l.AppendUtf8(std::string_view(more.constData(), size_t(more.size())));
                    for (const QByteArray& line : linesOf(more)) {
                        lines << line;
                        source << ++rawCount;
                    }
                    check("appended");
                    break;
                }
                }
            }
        }
    }

    // A text that is a view of someone else's memory is never read past its
    // end, whatever its last line ends with (the sanitizer build checks the
    // reads: the bytes sit in a heap block of exactly their size).
    void rawTextIsNeverReadPastItsEnd_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("no final break") << QByteArray("a,1\n\nb,2");
        QTest::newRow("final LF") << QByteArray("a,1\n\nb,2\n");
        QTest::newRow("final CR") << QByteArray("a,1\r\rb,2\r");
        QTest::newRow("final CR LF") << QByteArray("a,1\r\n\r\nb,2\r\n");
        QTest::newRow("only breaks") << QByteArray("\n\r\n\r");
    }
    void rawTextIsNeverReadPastItsEnd()
    {
        QFETCH(QByteArray, text);
        for (int removeEmpty = 0; removeEmpty < 2; ++removeEmpty) {
            const auto block = std::make_unique<char[]>(size_t(text.size()));
            std::memcpy(block.get(), text.constData(), size_t(text.size()));
            LineList l = LineList::FromUtf8(QByteArray::fromRawData(block.get(), text.size()));
            const QStringList all = AllLines(LineList::FromUtf8(text));
            QCOMPARE(AllLines(l), all);
            if (removeEmpty)
                l.RemoveEmptyLines();
            qsizetype left = l.Count();
            while (!l.IsEmpty()) {
                QCOMPARE(l.SourceLineNumber(l.Count() - 1) >= 1, true);
                LineList::Walker w = l.Walk(0, l.Count());
                while (!w.Done())
                    w.Next(linelist_detail::FindLineEnd(w.Start(), l.TextEnd()));
                l.Delete(0);
                QCOMPARE(l.Count(), --left);
            }
        }
    }

    // What a scan noted about the lines is forgotten by every change to
    // them, and only by a change.
    void splitNoteIsForgottenOnChange_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("kept");
        QTest::newRow("first line deleted") << QStringLiteral("delete0") << false;
        QTest::newRow("a later line deleted") << QStringLiteral("delete1") << false;
        QTest::newRow("empty lines removed") << QStringLiteral("removeEmpty") << false;
        QTest::newRow("no empty line to remove") << QStringLiteral("removeNone") << true;
        QTest::newRow("appended") << QStringLiteral("append") << false;
        QTest::newRow("cleared") << QStringLiteral("clear") << false;
        QTest::newRow("copied") << QStringLiteral("copy") << true;
    }
    void splitNoteIsForgottenOnChange()
    {
        QFETCH(QString, change);
        QFETCH(bool, kept);
        LineList l = LineList::FromUtf8(change == u"removeNone" ? QByteArray("1,2\n3,4\n") : QByteArray("1,2\n\n3,4\n"));
        l.NoteEveryLineSplits(',');
        QVERIFY(l.EveryLineSplits(','));
        QVERIFY(!l.EveryLineSplits('\t'));
        if (change == u"delete0")
            l.Delete(0);
        else if (change == u"delete1")
            l.Delete(1);
        else if (change.startsWith(u"remove"))
            l.RemoveEmptyLines();
        else if (change == u"append")
            l.AppendUtf8("5,6");
        else if (change == u"clear")
            l.Clear();
        else
            l = LineList(l);
        QCOMPARE(l.EveryLineSplits(','), kept);
    }

    // Checked bytes give the same lines as unchecked ones, and one bad piece
    // anywhere, either thread's half included, refuses the whole text.
    void checkedTextIsCheckedEverywhere()
    {
        QByteArray text;
        for (int i = 0; text.size() < (6 << 20); ++i)
            text += QByteArray::number(i) + ",5\n";
        auto noBang = [](const char* b, const char* e) noexcept { return std::find(b, e, '!') == e; };
        const std::optional<LineList> good = LineList::FromCheckedUtf8(text, noBang);
        QVERIFY(good);
        QCOMPARE(good->Count(), LineList::FromUtf8(text).Count());
        QCOMPARE(good->Line(good->Count() - 1), LineList::FromUtf8(text).Line(good->Count() - 1));
        for (const qsizetype at : {qsizetype(0), text.size() / 2 - 1, text.size() / 2 + 1, text.size() - 1}) {
            QByteArray bad = text;
            bad[at] = '!';
            QVERIFY2(!LineList::FromCheckedUtf8(bad, noBang), qPrintable(QString::number(at)));
        }
    }
};

QTEST_GUILESS_MAIN(TestLineList)
#include "tst_LineList.moc"
