// The table's line list: the line rule, deleting lines, removing empty
// lines in one pass, appending, and the two-thread index of a large text.

#include "Exceptions.h"
#include "LineList.h"
#include "LineListLines.h"

#include <QRandomGenerator>
#include <QTest>

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
    }
    void lineRule()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, lines);
        const LineList l = LineList::FromUtf8(text);
        QCOMPARE(AllLines(l), lines);
        // The same text as Unicode (the clipboard's path) and appended to an
        // empty list give the same lines.
        QCOMPARE(AllLines(LineList::FromText(QString::fromUtf8(text))), lines);
        LineList appended;
        appended.AppendText(QString::fromUtf8(text));
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
};

QTEST_GUILESS_MAIN(TestLineList)
#include "tst_LineList.moc"
