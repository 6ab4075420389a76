#include "MemIniFile.h"

#include "AnsiCodec.h"
#include "Exceptions.h"
#include "NumberFormat.h"
#include "SafeWrite.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

// A settings file larger than this is refused rather than read into memory.
constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

const QString kLineEnd = QStringLiteral("\r\n");

QString SystemMessage(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

bool IsBlank(QChar c)
{
    return c.unicode() <= 0x20;
}

// The text without characters up to U+0020 at either end.
QStringView Strip(QStringView s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.sliced(b, e - b);
}

QStringView StripRight(QStringView s)
{
    qsizetype e = s.size();
    while (e > 0 && IsBlank(s[e - 1]))
        --e;
    return s.first(e);
}

QStringView StripLeft(QStringView s)
{
    qsizetype b = 0;
    while (b < s.size() && IsBlank(s[b]))
        ++b;
    return s.sliced(b);
}

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Decimal with an optional sign, or a 32-bit hexadecimal pattern after
// "0x", "0X" or "$" (at most eight significant digits; the top bit makes it
// negative). Nothing else, not even blanks, is accepted.
bool ParseInteger(QStringView s, int& out)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) {
        negative = s[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < s.size() && s[i] == u'$') {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size())
        return false;

    if (hex) {
        quint32 v = 0;
        int significant = 0;
        for (; i < s.size(); ++i) {
            const int d = HexDigit(s[i]);
            if (d < 0)
                return false;
            if (significant > 0 || d != 0)
                ++significant;
            if (significant > 8)
                return false;
            v = (v << 4) | quint32(d);
        }
        if (negative)
            v = 0u - v;
        out = int(v);
        return true;
    }

    qint64 v = 0;
    for (; i < s.size(); ++i) {
        const char16_t u = s[i].unicode();
        if (u < '0' || u > '9')
            return false;
        v = v * 10 + (u - '0');
        if (v > qint64(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    if (negative)
        v = -v;
    if (v > std::numeric_limits<int>::max())
        return false;
    out = int(v);
    return true;
}

// The shortest text that reads back to the same double: plain notation for
// exponents from -5 to 14, otherwise "mantissa E exponent".
QString FormatFloat(double v, QChar decimal)
{
    if (std::isnan(v))
        return QStringLiteral("NAN");
    if (std::isinf(v))
        return v < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");

    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    const std::string sci(buf, r.ptr);
    const size_t ePos = sci.find('e');
    std::string mant = sci.substr(0, ePos);
    const int exp = std::stoi(sci.substr(ePos + 1));
    bool negative = false;
    if (!mant.empty() && mant[0] == '-') {
        negative = true;
        mant.erase(0, 1);
    }
    std::string digits;
    for (char c : mant) {
        if (c != '.')
            digits += c;
    }

    std::string out;
    if (exp >= -5 && exp < 15) {
        if (exp < 0) {
            out = "0.";
            out.append(size_t(-exp - 1), '0');
            out += digits;
        } else if (size_t(exp) + 1 >= digits.size()) {
            out = digits + std::string(size_t(exp) + 1 - digits.size(), '0');
        } else {
            out = digits.substr(0, size_t(exp) + 1);
            out += '.';
            out.append(digits, size_t(exp) + 1);
        }
    } else {
        out = digits.substr(0, 1);
        if (digits.size() > 1) {
            out += '.';
            out.append(digits, 1);
        }
        out += 'E';
        out += std::to_string(exp);
    }
    if (negative)
        out.insert(0, 1, '-');

    QString text = QString::fromLatin1(out.data(), qsizetype(out.size()));
    if (decimal != u'.')
        text.replace(u'.', decimal);
    return text;
}

// A decimal number with the given separator and an optional exponent;
// blanks around it are allowed, thousands separators are not.
bool ParseFloat(QStringView text, QChar decimal, double& out)
{
    const QStringView s = Strip(text);
    if (s.compare(u"INF", Qt::CaseInsensitive) == 0 || s.compare(u"+INF", Qt::CaseInsensitive) == 0) {
        out = std::numeric_limits<double>::infinity();
        return true;
    }
    if (s.compare(u"-INF", Qt::CaseInsensitive) == 0) {
        out = -std::numeric_limits<double>::infinity();
        return true;
    }
    if (s.compare(u"NAN", Qt::CaseInsensitive) == 0) {
        out = std::numeric_limits<double>::quiet_NaN();
        return true;
    }

    std::string ascii;
    ascii.reserve(size_t(s.size()));
    qsizetype i = 0;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        if (s[i] == u'-')
            ascii += '-';
        ++i;
    }
    int mantissaDigits = 0;
    bool seenDecimal = false;
    for (; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c >= u'0' && c <= u'9') {
            ascii += char(c.unicode());
            ++mantissaDigits;
        } else if (c == decimal && !seenDecimal) {
            ascii += '.';
            seenDecimal = true;
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        return false;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        ascii += 'e';
        ++i;
        if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
            ascii += char(s[i].unicode());
            ++i;
        }
        int expDigits = 0;
        for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
            ascii += char(s[i].unicode());
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    if (i != s.size())
        return false;

    double v = 0;
    const auto r = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v);
    if (r.ec != std::errc() || r.ptr != ascii.data() + ascii.size())
        return false;
    out = v;
    return true;
}

const QString kDateFormat = QStringLiteral("yyyy/MM/dd");

QString FormatTime(const QTime& t)
{
    if (!t.isValid())
        return QString();
    return t.toString(t.msec() != 0 ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
}

QString FormatDate(const QDate& d)
{
    return d.isValid() ? d.toString(kDateFormat) : QString();
}

// "y/M/d" (also with "-" or "." between the parts).
bool ParseDate(QStringView s, QDate& out)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{1,4})([/.-])(\\d{1,2})\\2(\\d{1,2})$"));
    const auto m = re.match(s);
    if (!m.hasMatch())
        return false;
    const QDate d(m.capturedView(1).toInt(), m.capturedView(3).toInt(), m.capturedView(4).toInt());
    if (!d.isValid())
        return false;
    out = d;
    return true;
}

// "H:mm", "H:mm:ss" or "H:mm:ss.zzz".
bool ParseTime(QStringView s, QTime& out)
{
    static const QRegularExpression re(
        QStringLiteral("^(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2})(?:[.,](\\d{1,3}))?)?$"));
    const auto m = re.match(s);
    if (!m.hasMatch())
        return false;
    int msec = 0;
    if (m.capturedLength(4) > 0) {
        QString ms = m.captured(4);
        while (ms.size() < 3)
            ms += u'0';
        msec = ms.toInt();
    }
    const int sec = m.capturedLength(3) > 0 ? m.capturedView(3).toInt() : 0;
    const QTime t(m.capturedView(1).toInt(), m.capturedView(2).toInt(), sec, msec);
    if (!t.isValid())
        return false;
    out = t;
    return true;
}

// A date, optionally followed by a blank (or "T") and a time.
bool ParseDateTime(QStringView text, QDateTime& out)
{
    const QStringView s = Strip(text);
    qsizetype split = s.indexOf(u' ');
    if (split < 0)
        split = s.indexOf(u'T');
    QDate d;
    QTime t(0, 0);
    if (split < 0) {
        if (!ParseDate(s, d))
            return false;
    } else {
        if (!ParseDate(s.first(split), d) || !ParseTime(Strip(s.sliced(split + 1)), t))
            return false;
    }
    const QDateTime dt(d, t);
    if (!dt.isValid())
        return false;
    out = dt;
    return true;
}

// The bytes without bytes up to 0x20 at either end. Such bytes are
// characters of their own in CP932 and UTF-8 (never part of a longer
// sequence), so this strips exactly what Strip strips from the decoded line.
QByteArrayView StripBytes(QByteArrayView b)
{
    qsizetype begin = 0;
    qsizetype end = b.size();
    while (begin < end && static_cast<unsigned char>(b[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(b[end - 1]) <= 0x20)
        --end;
    return b.sliced(begin, end - begin);
}

bool IsAsciiBytes(QByteArrayView b)
{
    for (char c : b)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

enum class ByteCodec { Cp932, Utf8 };

// Decodes `bytes` line by line (lines end as the parser ends them). A line
// whose text cannot give its bytes back (some sequence was undecodable and
// became U+FFFD, or CP932 would write one of its characters under another
// code) keeps its bytes in `raw` under its line number, so that a save
// writes those bytes instead of the text.
QString DecodeLines(QByteArrayView bytes, ByteCodec codec, QHash<qsizetype, QByteArray>& raw)
{
    QString text;
    text.reserve(bytes.size());
    qsizetype pos = 0;
    qsizetype line = 0;
    while (pos < bytes.size()) {
        qsizetype end = pos;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        const QByteArrayView l = bytes.sliced(pos, end - pos);
        pos = end;
        if (pos < bytes.size())
            pos += bytes[pos] == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n' ? 2 : 1;
        bool keep = false;
        if (IsAsciiBytes(l)) {
            text += QLatin1StringView(l.data(), l.size());
        } else if (codec == ByteCodec::Utf8) {
            // Qt's decoder drops a U+FEFF at the start of what it is given.
            // Only the file's start may hold a mark (a doubled one is dropped,
            // as when the whole text decodes at once); a line that begins
            // with U+FEFF keeps it.
            const QStringConverter::Flags flags = line == 0 ? QStringConverter::Flag::Stateless
                                                            : QStringConverter::Flag::Stateless
                                                                  | QStringConverter::Flag::ConvertInitialBom;
            QStringDecoder dec(QStringConverter::Utf8, flags);
            text += dec.decode(l);
            keep = dec.hasError();
        } else {
            const QByteArray lb = l.toByteArray();
            bool replaced = false;
            const QString t = AnsiCodec::Decode(lb, &replaced);
            const std::optional<QByteArray> back = AnsiCodec::EncodeExact(t);
            keep = replaced || !back || *back != lb;
            text += t;
        }
        if (keep)
            raw.insert(line, l.toByteArray());
        text += u'\n';
        ++line;
    }
    return text;
}

// The file's bytes, at most `limit` of them. The size the file reports is
// only a first guess (the file may grow or shrink while it is read), so
// the buffer starts at that size and grows as bytes keep coming, rather
// than asking for the limit on every load.
QByteArray ReadUpTo(QFile& file, qint64 limit)
{
    constexpr qint64 kChunk = 64 * 1024;
    QByteArray bytes;
    qint64 want = std::clamp<qint64>(file.size() + 1, 1, limit);
    while (bytes.size() < limit) {
        const qsizetype have = bytes.size();
        want = std::min<qint64>(want, limit - have);
        bytes.resize(have + qsizetype(want));
        const qint64 n = file.read(bytes.data() + have, want);
        bytes.resize(have + qsizetype(std::max<qint64>(n, 0)));
        if (n <= 0)
            break;
        want = std::max(kChunk, qint64(bytes.size()));
    }
    return bytes;
}

} // namespace

TMemIniFile::TMemIniFile(NoLoad, const QString& fileName, bool caseSensitive)
    : m_fileName(fileName), m_caseSensitive(caseSensitive)
{
}

TMemIniFile::TMemIniFile(const QString& fileName, bool caseSensitive)
    : TMemIniFile(NoLoad{}, fileName, caseSensitive)
{
    Load();
}

TMemIniFile TMemIniFile::Empty(const QString& fileName, bool caseSensitive)
{
    return TMemIniFile(NoLoad{}, fileName, caseSensitive);
}

void TMemIniFile::Load()
{
    const QFileInfo info(m_fileName);
    if (m_fileName.isEmpty() || !info.isFile())
        return;

    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(QStringLiteral("ファイル \"%1\" を開けません。%2").arg(m_fileName, file.errorString()));
    if (file.size() > kMaxFileSize)
        throw EReadError(QStringLiteral("ファイル \"%1\" を読み込めません。%2").arg(m_fileName, SystemMessage(EFBIG)));
    const QByteArray bytes = ReadUpTo(file, kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw EReadError(QStringLiteral("ファイル \"%1\" を読み込めません。%2").arg(m_fileName, file.errorString()));
    if (bytes.size() > kMaxFileSize)
        throw EReadError(QStringLiteral("ファイル \"%1\" を読み込めません。%2").arg(m_fileName, SystemMessage(EFBIG)));

    TEncoding encoding = TEncoding::Ansi;
    QString text;
    QHash<qsizetype, QByteArray> raw; // lines whose bytes the text cannot give back
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        encoding = TEncoding::Utf8;
        const QByteArrayView body = QByteArrayView(bytes).sliced(3);
        QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = dec.decode(body);
        if (dec.hasError())
            text = DecodeLines(body, ByteCodec::Utf8, raw);
    } else if (bytes.startsWith("\xFF\xFE")) {
        encoding = TEncoding::Utf16LE;
        QStringDecoder dec(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
        text = dec.decode(QByteArrayView(bytes).sliced(2));
    } else if (bytes.startsWith("\xFE\xFF")) {
        encoding = TEncoding::Utf16BE;
        QStringDecoder dec(QStringDecoder::Utf16BE, QStringDecoder::Flag::Stateless);
        text = dec.decode(QByteArrayView(bytes).sliced(2));
    } else if (std::optional<QString> cp932 = AnsiCodec::DecodeStrict(bytes)) {
        // Valid CP932. Codes that share a character with another code (the
        // NEC and IBM extensions) would come back as the other code.
        text = std::move(*cp932);
        if (AnsiCodec::EncodeExact(text) != bytes)
            text = DecodeLines(bytes, ByteCodec::Cp932, raw);
    } else if (QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
               (text = dec.decode(bytes), !dec.hasError())) {
        // Not CP932 but UTF-8, as editors write it without a mark; saved as
        // UTF-8 from now on, with the mark that makes the choice certain.
        encoding = TEncoding::Utf8;
    } else {
        text = DecodeLines(bytes, ByteCodec::Cp932, raw);
    }

    Parse(text, raw);
    m_encoding = encoding;
}

void TMemIniFile::Parse(const QString& text, const QHash<qsizetype, QByteArray>& raw)
{
    std::vector<Section> parsed;
    QHash<QString, qsizetype> byName;
    Section* current = nullptr;

    const QStringView all(text);
    qsizetype pos = 0;
    qsizetype lineNumber = -1;
    while (pos < all.size()) {
        ++lineNumber;
        qsizetype end = pos;
        while (end < all.size() && all[end] != u'\r' && all[end] != u'\n')
            ++end;
        const QStringView line = Strip(all.sliced(pos, end - pos));
        pos = end;
        if (pos < all.size()) {
            if (all[pos] == u'\r' && pos + 1 < all.size() && all[pos + 1] == u'\n')
                pos += 2;
            else
                ++pos;
        }

        if (line.isEmpty() || line.front() == u';')
            continue;
        const auto rawIt = raw.constFind(lineNumber);
        const QByteArrayView rawLine = rawIt != raw.constEnd() ? StripBytes(*rawIt) : QByteArrayView();
        const bool isRaw = rawIt != raw.constEnd();
        if (line.front() == u'[' && line.back() == u']' && line.size() >= 2) {
            const QString name = Strip(line.sliced(1, line.size() - 2)).toString();
            const QString folded = Fold(name);
            const auto it = byName.constFind(folded);
            if (it != byName.constEnd()) {
                current = &parsed[size_t(*it)];
            } else {
                byName.insert(folded, qsizetype(parsed.size()));
                parsed.push_back(Section{name, {}, {}, false, {}});
                if (isRaw)
                    parsed.back().rawHeader = rawLine.toByteArray();
                current = &parsed.back();
            }
            continue;
        }
        if (!current)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        Entry e = eq < 0 ? Entry{line.toString(), QString(), false, {}, {}}
                         : Entry{StripRight(line.first(eq)).toString(), StripLeft(line.sliced(eq + 1)).toString(), true, {}, {}};
        if (isRaw) {
            // "=" is a character of its own in CP932 and UTF-8 and no
            // undecodable sequence swallows it, so the bytes split where
            // the text does.
            const qsizetype eqByte = rawLine.indexOf('=');
            if (eq < 0) {
                e.rawKey = rawLine.toByteArray();
            } else if (eqByte >= 0) {
                e.rawKey = StripBytes(rawLine.first(eqByte)).toByteArray();
                e.rawValue = StripBytes(rawLine.sliced(eqByte + 1)).toByteArray();
            }
        }
        current->entries.push_back(std::move(e));
    }

    m_sections = std::move(parsed);
    m_sectionIndex = std::move(byName);
    m_sectionsIndexed = true;
}

QString TMemIniFile::Fold(const QString& name) const
{
    return m_caseSensitive ? name : m_locale.toUpper(name);
}

void TMemIniFile::SetCaseSensitive(bool value)
{
    if (value == m_caseSensitive)
        return;
    m_caseSensitive = value;
    m_sectionsIndexed = false;
    for (const Section& s : m_sections)
        s.indexed = false;
}

void TMemIniFile::BuildIndex(const Section& s) const
{
    s.index.clear();
    for (qsizetype i = 0; i < qsizetype(s.entries.size()); ++i) {
        const Entry& e = s.entries[size_t(i)];
        if (!e.hasValue)
            continue;
        const QString k = Fold(e.key);
        if (!s.index.contains(k))
            s.index.insert(k, i);
    }
    s.indexed = true;
}

const TMemIniFile::Section* TMemIniFile::FindSection(const QString& name) const
{
    if (!m_sectionsIndexed) {
        m_sectionIndex.clear();
        for (qsizetype i = 0; i < qsizetype(m_sections.size()); ++i) {
            const QString k = Fold(m_sections[size_t(i)].name);
            if (!m_sectionIndex.contains(k))
                m_sectionIndex.insert(k, i);
        }
        m_sectionsIndexed = true;
    }
    const auto it = m_sectionIndex.constFind(Fold(name));
    return it == m_sectionIndex.constEnd() ? nullptr : &m_sections[size_t(*it)];
}

TMemIniFile::Section* TMemIniFile::FindSection(const QString& name)
{
    return const_cast<Section*>(std::as_const(*this).FindSection(name));
}

TMemIniFile::Section& TMemIniFile::AddSection(const QString& name)
{
    // Called only after FindSection, so the section index is current.
    m_sectionIndex.insert(Fold(name), qsizetype(m_sections.size()));
    m_sections.push_back(Section{name, {}, {}, true, {}});
    return m_sections.back();
}

qsizetype TMemIniFile::FindKey(const Section& s, const QString& ident) const
{
    if (!s.indexed)
        BuildIndex(s);
    const auto it = s.index.constFind(Fold(ident));
    return it == s.index.constEnd() ? -1 : *it;
}

void TMemIniFile::AppendEntry(Section& s, Entry e)
{
    if (s.indexed && e.hasValue) {
        const QString k = Fold(e.key);
        if (!s.index.contains(k))
            s.index.insert(k, qsizetype(s.entries.size()));
    }
    s.entries.push_back(std::move(e));
}

const QString* TMemIniFile::FindValue(const QString& section, const QString& ident) const
{
    const Section* s = FindSection(section);
    if (!s)
        return nullptr;
    const qsizetype i = FindKey(*s, ident);
    return i < 0 ? nullptr : &s->entries[size_t(i)].value;
}

QString TMemIniFile::ReadString(const QString& Section, const QString& Ident, const QString& Default) const
{
    const QString* v = FindValue(Section, Ident);
    return v ? *v : Default;
}

void TMemIniFile::WriteString(const QString& Section, const QString& Ident, const QString& Value)
{
    TMemIniFile::Section* s = FindSection(Section);
    if (!s)
        s = &AddSection(Section);
    const qsizetype i = FindKey(*s, Ident);
    if (i >= 0) {
        Entry& e = s->entries[size_t(i)];
        e.value = Value;
        e.rawValue.reset(); // the new value replaces the bytes read
    } else {
        AppendEntry(*s, Entry{Ident, Value, true, {}, {}});
    }
}

int TMemIniFile::ReadInteger(const QString& Section, const QString& Ident, int Default) const
{
    const QString* v = FindValue(Section, Ident);
    int result = 0;
    return v && ParseInteger(*v, result) ? result : Default;
}

void TMemIniFile::WriteInteger(const QString& Section, const QString& Ident, int Value)
{
    WriteString(Section, Ident, QString::number(Value));
}

bool TMemIniFile::ReadBool(const QString& Section, const QString& Ident, bool Default) const
{
    const QString* v = FindValue(Section, Ident);
    int result = 0;
    return v && ParseInteger(*v, result) ? result != 0 : Default;
}

void TMemIniFile::WriteBool(const QString& Section, const QString& Ident, bool Value)
{
    WriteString(Section, Ident, Value ? QStringLiteral("1") : QStringLiteral("0"));
}

double TMemIniFile::ReadFloat(const QString& Section, const QString& Name, double Default) const
{
    const QString* v = FindValue(Section, Name);
    double result = 0;
    return v && ParseFloat(*v, NumberFormat::Current().decimalSeparator, result) ? result : Default;
}

void TMemIniFile::WriteFloat(const QString& Section, const QString& Name, double Value)
{
    WriteString(Section, Name, FormatFloat(Value, NumberFormat::Current().decimalSeparator));
}

QDate TMemIniFile::ReadDate(const QString& Section, const QString& Name, const QDate& Default) const
{
    const QString* v = FindValue(Section, Name);
    QDate result;
    return v && ParseDate(Strip(*v), result) ? result : Default;
}

void TMemIniFile::WriteDate(const QString& Section, const QString& Name, const QDate& Value)
{
    WriteString(Section, Name, FormatDate(Value));
}

QDateTime TMemIniFile::ReadDateTime(const QString& Section, const QString& Name, const QDateTime& Default) const
{
    const QString* v = FindValue(Section, Name);
    QDateTime result;
    return v && ParseDateTime(*v, result) ? result : Default;
}

void TMemIniFile::WriteDateTime(const QString& Section, const QString& Name, const QDateTime& Value)
{
    if (!Value.isValid()) {
        WriteString(Section, Name, QString());
        return;
    }
    const QDateTime local = Value.toLocalTime();
    WriteString(Section, Name, FormatDate(local.date()) + u' ' + FormatTime(local.time()));
}

QTime TMemIniFile::ReadTime(const QString& Section, const QString& Name, const QTime& Default) const
{
    const QString* v = FindValue(Section, Name);
    QTime result;
    return v && ParseTime(Strip(*v), result) ? result : Default;
}

void TMemIniFile::WriteTime(const QString& Section, const QString& Name, const QTime& Value)
{
    WriteString(Section, Name, FormatTime(Value));
}

int TMemIniFile::ReadBinaryStream(const QString& Section, const QString& Name, QIODevice& Value) const
{
    const QString* v = FindValue(Section, Name);
    if (!v || v->size() < 2)
        return 0;
    QByteArray bytes(v->size() / 2, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const int hi = HexDigit(v->at(2 * i));
        const int lo = HexDigit(v->at(2 * i + 1));
        if (hi < 0 || lo < 0)
            break;
        bytes[i] = char((hi << 4) | lo);
    }
    Value.write(bytes);
    return int(bytes.size());
}

void TMemIniFile::WriteBinaryStream(const QString& Section, const QString& Name, QIODevice& Value)
{
    const QByteArray bytes = Value.readAll();
    WriteString(Section, Name, QString::fromLatin1(bytes.toHex().toUpper()));
}

bool TMemIniFile::SectionExists(const QString& Section) const
{
    return FindSection(Section) != nullptr;
}

bool TMemIniFile::ValueExists(const QString& Section, const QString& Ident) const
{
    return FindValue(Section, Ident) != nullptr;
}

void TMemIniFile::ReadSection(const QString& Section, QStringList& Strings) const
{
    Strings.clear();
    if (const TMemIniFile::Section* s = FindSection(Section)) {
        for (const Entry& e : s->entries) {
            if (e.hasValue)
                Strings.append(e.key);
        }
    }
}

void TMemIniFile::ReadSections(QStringList& Strings) const
{
    Strings.clear();
    for (const Section& s : m_sections)
        Strings.append(s.name);
}

void TMemIniFile::ReadSectionValues(const QString& Section, QStringList& Strings) const
{
    Strings.clear();
    if (const TMemIniFile::Section* s = FindSection(Section)) {
        for (const Entry& e : s->entries) {
            if (e.hasValue)
                Strings.append(e.key + u'=' + e.value);
        }
    }
}

void TMemIniFile::EraseSection(const QString& Section)
{
    const TMemIniFile::Section* s = FindSection(Section);
    if (!s)
        return;
    m_sections.erase(m_sections.begin() + (s - m_sections.data()));
    m_sectionsIndexed = false;
}

void TMemIniFile::DeleteKey(const QString& Section, const QString& Ident)
{
    TMemIniFile::Section* s = FindSection(Section);
    if (!s)
        return;
    const qsizetype i = FindKey(*s, Ident);
    if (i < 0)
        return;
    s->entries.erase(s->entries.begin() + i);
    s->indexed = false;
}

QString TMemIniFile::Text() const
{
    QString text;
    for (const Section& s : m_sections) {
        text += u'[' + s.name + u']' + kLineEnd;
        for (const Entry& e : s.entries) {
            text += e.key;
            if (e.hasValue)
                text += u'=' + e.value;
            text += kLineEnd;
        }
        text += kLineEnd;
    }
    return text;
}

bool TMemIniFile::KeepsRawBytes() const
{
    for (const Section& s : m_sections) {
        if (s.rawHeader)
            return true;
        for (const Entry& e : s.entries)
            if (e.rawKey || e.rawValue)
                return true;
    }
    return false;
}

QByteArray TMemIniFile::EncodeWithRawBytes(TEncoding& encoding) const
{
    // The text between the kept bytes, piece by piece.
    std::vector<QString> texts(1);
    std::vector<const QByteArray*> raws;
    auto keep = [&](const QByteArray& bytes) {
        raws.push_back(&bytes);
        texts.emplace_back();
    };
    for (const Section& s : m_sections) {
        if (s.rawHeader)
            keep(*s.rawHeader);
        else
            texts.back() += u'[' + s.name + u']';
        texts.back() += kLineEnd;
        for (const Entry& e : s.entries) {
            if (e.rawKey)
                keep(*e.rawKey);
            else
                texts.back() += e.key;
            if (e.hasValue) {
                texts.back() += u'=';
                if (e.rawValue)
                    keep(*e.rawValue);
                else
                    texts.back() += e.value;
            }
            texts.back() += kLineEnd;
        }
        texts.back() += kLineEnd;
    }
    // CP932 while every written character has its own code there; CP932
    // has no state, so what encodes whole encodes piece by piece.
    if (encoding == TEncoding::Ansi) {
        QString all;
        for (const QString& t : texts)
            all += t;
        if (!AnsiCodec::EncodeExact(all))
            encoding = TEncoding::Utf8;
    }
    QByteArray out = encoding == TEncoding::Utf8 ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    for (size_t i = 0; i < texts.size(); ++i) {
        out += encoding == TEncoding::Utf8 ? texts[i].toUtf8() : AnsiCodec::EncodeExact(texts[i]).value_or(QByteArray());
        if (i < raws.size())
            out += *raws[i];
    }
    return out;
}

void TMemIniFile::UpdateFile()
{
    const QString text = Text();
    TEncoding encoding = m_encoding;
    QByteArray bytes;
    // Bytes kept from loading exist only in files read as CP932 or UTF-8.
    const bool raw = (encoding == TEncoding::Ansi || encoding == TEncoding::Utf8) && KeepsRawBytes();
    if (raw)
        bytes = EncodeWithRawBytes(encoding);
    else switch (encoding) {
    case TEncoding::Ansi:
        if (auto ansi = AnsiCodec::EncodeExact(text)) {
            bytes = std::move(*ansi);
        } else {
            // Some character has no exact CP932 code: keep it by switching
            // the file to UTF-8 with a mark instead of writing "?".
            encoding = TEncoding::Utf8;
            bytes = "\xEF\xBB\xBF" + text.toUtf8();
        }
        break;
    case TEncoding::Utf8:
        bytes = "\xEF\xBB\xBF" + text.toUtf8();
        break;
    case TEncoding::Utf16LE: {
        QStringEncoder enc(QStringEncoder::Utf16LE, QStringEncoder::Flag::Stateless);
        bytes = QByteArray("\xFF\xFE", 2) + QByteArray(enc.encode(text));
        break;
    }
    case TEncoding::Utf16BE: {
        QStringEncoder enc(QStringEncoder::Utf16BE, QStringEncoder::Flag::Stateless);
        bytes = QByteArray("\xFE\xFF", 2) + QByteArray(enc.encode(text));
        break;
    }
    }

    WriteWholeFile(m_fileName, bytes);

    // The file on disk now carries this encoding; later saves keep it.
    m_encoding = encoding;
}
