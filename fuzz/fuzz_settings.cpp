// Fuzz target for the settings file: any bytes are loaded as a settings
// file, every value is read through every typed and structured reader,
// the store is saved and loaded again.
//
// Checked beyond "does not crash" (MemIniFile.h):
// - a saved store reads back with the same sections, keys and values, in
//   the same order (what UpdateFile writes is Text(), encoded);
// - saving the reloaded store writes the very same file again (bytes that
//   decode to no character are written back as they were read, where they
//   read back so);
// - after values are replaced, the saved store still reads back the same.

#include "FuzzWidgetApp.h"

#include "ExIniFile.h"
#include "Exceptions.h"
#include "MemIniFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QSet>
#include <QTemporaryDir>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace {

QTemporaryDir* g_dir = nullptr;

[[noreturn]] void Finding(const char* what)
{
    std::fprintf(stderr, "fuzz_settings: %s\n", what);
    __builtin_trap();
}

// A text with its control characters and non-ASCII ones escaped.
void PrintText(const char* name, const QString& text)
{
    QByteArray out;
    for (QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F)
            out += char(c.unicode());
        else
            out += "\\u" + QByteArray::number(c.unicode(), 16);
    }
    std::fprintf(stderr, "  %s: %s\n", name, out.constData());
}

QByteArray ReadBack(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        Finding("cannot read the saved file");
    return f.readAll();
}

// Every section with its entries as ReadSectionValues lists them.
QList<QStringList> Contents(const TMemIniFile& ini)
{
    QList<QStringList> out;
    QStringList sections;
    ini.ReadSections(sections);
    for (const QString& s : sections) {
        QStringList values;
        ini.ReadSectionValues(s, values);
        values.prepend(s);
        out << values;
    }
    return out;
}

// Each key through each typed reader of the store.
void ReadEveryValue(const TMemIniFile& ini)
{
    QStringList sections;
    ini.ReadSections(sections);
    for (const QString& s : sections) {
        if (!ini.SectionExists(s))
            Finding("a listed section does not exist");
        QStringList keys;
        ini.ReadSection(s, keys);
        for (const QString& k : keys) {
            (void)ini.ValueExists(s, k);
            (void)ini.ReadString(s, k, QString());
            (void)ini.ReadInteger(s, k, 0);
            (void)ini.ReadBool(s, k, false);
            (void)ini.ReadFloat(s, k, 0.0);
            (void)ini.ReadDate(s, k, QDate());
            (void)ini.ReadTime(s, k, QTime());
            (void)ini.ReadDateTime(s, k, QDateTime());
            QBuffer buffer;
            buffer.open(QIODevice::ReadWrite);
            (void)ini.ReadBinaryStream(s, k, buffer);
        }
    }
}

// The structured values of the component, for every item a key could be
// part of ("POSITION.X" belongs to the item "POSITION").
void ReadEveryStructure(TExIniFile& ini)
{
    QStringList sections;
    ini.ReadSections(sections);
    for (const QString& s : sections) {
        QStringList keys;
        ini.ReadSection(s, keys);
        QSet<QString> items;
        for (const QString& k : keys) {
            items.insert(k);
            const qsizetype dot = k.lastIndexOf(u'.');
            if (dot >= 0)
                items.insert(k.left(dot));
        }
        for (const QString& item : items) {
            for (TFence fence : {fcNone, fcDoubleQuote, fcSingleQuote}) {
                ini.SetFence(fence);
                (void)ini.ReadString(s, item, QStringLiteral("default"));
            }
            ini.SetFence(fcNone);
            try {
                (void)ini.ReadColor(s, item, 0);
            } catch (const EConvertError&) {
            }
            try {
                (void)ini.ReadHex(s, item, 0);
            } catch (const EConvertError&) {
            }
            QStringList list{QStringLiteral("a"), QStringLiteral("b")};
            ini.ReadList(s, item, list);
            QFont font;
            TColor color = 0;
            try {
                ini.ReadFont(s, item, font, color);
            } catch (const EConvertError&) {
            }
            QWidget window;
            window.setGeometry(10, 20, 300, 200);
            ini.ReadFormPos(s, item, window);
            ini.ReadFormSize(s, item, window);
            ini.ReadForm(s, item, window);
        }
    }
}

// A saved store reads back with the same sections, keys and values.
void CheckSameStore(const TMemIniFile& saved, const TMemIniFile& reloaded)
{
    if (Contents(reloaded) != Contents(saved))
        Finding("the saved store reads back with other sections, keys or values");
    if (reloaded.Text() != saved.Text()) {
        PrintText("saved", saved.Text());
        PrintText("reloaded", reloaded.Text());
        Finding("the saved store reads back to another text");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::StartWidgetApp(argc, argv);
    g_dir = new QTemporaryDir(QDir(QStringLiteral("/dev/shm")).exists()
                                  ? QStringLiteral("/dev/shm/plotmere-fuzz-XXXXXX")
                                  : QDir::tempPath() + QStringLiteral("/plotmere-fuzz-XXXXXX"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = g_dir->filePath(QStringLiteral("settings.ini"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || f.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            Finding("cannot write the scratch file");
    }

    TMemIniFile first(path);
    ReadEveryValue(first);
    {
        TExIniFile component;
        component.SetAutoUpdate(false);
        component.SetBaseDir(bdNone);
        component.SetFileName(path);
        ReadEveryStructure(component);
    }

    first.UpdateFile();
    const QByteArray saved = ReadBack(path);
    TMemIniFile second(path);
    CheckSameStore(first, second);
    ReadEveryValue(second);
    second.UpdateFile();
    if (ReadBack(path) != saved)
        Finding("saving the reloaded store writes another file");

    // The last value of every section replaced by a write (bytes kept for it
    // go): the saved store still reads back as it is held.
    QStringList sections;
    second.ReadSections(sections);
    for (const QString& s : sections) {
        QStringList keys;
        second.ReadSection(s, keys);
        if (!keys.isEmpty())
            second.WriteString(s, keys.constLast(), QStringLiteral("x"));
    }
    second.UpdateFile();
    CheckSameStore(second, TMemIniFile(path));
    return 0;
}
