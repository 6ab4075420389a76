#pragma once
// Small file helpers shared by the tests that write and read real files.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

namespace testfiles {

// Writes `bytes` to `path`, replacing the file; a failure fails the test.
inline void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// The file's bytes, or "<missing>" when it cannot be opened.
inline QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

} // namespace testfiles
