#include "datFile.h"

#include "basics.h"
#include "datArchive.h"
#include "fileSystem.h"
#include "translation.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace morvant {

namespace {

// The largest DATs published (redump.org's, some 60,000 files in 30 to 50 MB
// of XML) must load in well under a second. QXmlStreamReader decodes all of
// it into UTF-16 first and takes some 0.7 s for 50 MB, so the XML is read by
// a scanner of the subset of XML that DATs use, straight from the bytes; a DAT
// that goes beyond it (an encoding other than UTF-8, a DOCTYPE with
// declarations of its own) is read by QXmlStreamReader instead. Neither
// fetches the DTD that a DAT names.

/// One field of a rom as the DAT writes it, and where: the place is null when
/// the reader tells no more than the line.
struct RomField
{
    QByteArrayView text;
    const char *at = nullptr;
};

/// A rom's fields as the DAT writes them, before they are checked.
struct RomText
{
    QString name;
    bool hasName = false;
    const char *nameAt = nullptr;
    RomField size, crc, md5, sha1;
};

/// Why a DAT cannot be read, and where.
struct Problem
{
    QString message;
    const char *at = nullptr; ///< null: at the place of the rom
};

/// Each byte's value as a hexadecimal digit, or -1: a table, as DATs hold millions of digits.
constexpr std::array<qint8, 256> hexDigits = [] {
    std::array<qint8, 256> digits{};
    for (int c = 0; c < 256; ++c) {
        digits[size_t(c)] = qint8(c >= '0' && c <= '9' ? c - '0'
                : c >= 'a' && c <= 'f'                 ? c - 'a' + 10
                : c >= 'A' && c <= 'F'                 ? c - 'A' + 10
                                                       : -1);
    }
    return digits;
}();

int hexDigit(char c)
{
    return hexDigits[uchar(c)];
}

/// \a digits as \a count raw bytes; false unless they are exactly 2 * count hexadecimal digits.
bool hexBytes(QByteArrayView digits, qsizetype count, QByteArray *bytes)
{
    if (digits.size() != 2 * count)
        return false;
    QByteArray result(count, Qt::Uninitialized);
    for (qsizetype i = 0; i < count; ++i) {
        const int high = hexDigit(digits[2 * i]);
        const int low = hexDigit(digits[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        result[i] = char(high << 4 | low);
    }
    *bytes = std::move(result);
    return true;
}

/// A CRC-32 of 8 hexadecimal digits, which ClrMamePro and Logiqx's tools also take after `0x`.
bool crcValue(QByteArrayView digits, quint32 *crc)
{
    if (digits.startsWith("0x") || digits.startsWith("0X"))
        digits = digits.sliced(2);
    if (digits.size() != 8)
        return false;
    quint32 value = 0;
    for (const char c : digits) {
        const int digit = hexDigit(c);
        if (digit < 0)
            return false;
        value = value << 4 | quint32(digit);
    }
    *crc = value;
    return true;
}

/// A size in decimal digits; up to 18 of them, which no qint64 overflows.
bool sizeValue(QByteArrayView digits, qint64 *size)
{
    if (digits.isEmpty() || digits.size() > 18)
        return false;
    qint64 value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    *size = value;
    return true;
}

/// A value from the DAT as a message quotes it: shortened, and unable to act on a terminal.
QString quotedValue(QByteArrayView value)
{
    constexpr qsizetype shown = 48;
    QString text = QString::fromUtf8(value.first(std::min(value.size(), shown)));
    if (value.size() > shown)
        text += QStringLiteral("...");
    return quotedLine(shownText(text));
}

/// The most characters of a game's or a rom's name: PATH_MAX, the longest
/// path that Linux opens, and 16 times the longest file name that file
/// systems allow (255). Real names have a few hundred at most; a longer one is
/// made to fill memory and reports, as entities in a DOCTYPE can make it.
constexpr qsizetype maxNameLength = 4096;

QString tooLong(qsizetype length)
{
    return tr("a name of %1 characters, longer than any file's name or path can be (%2)")
        .arg(QString::number(length), QString::number(maxNameLength));
}

QString descriptionTooLong(qint64 length)
{
    return tr("a description of %1 characters, longer than a game's name can be (%2)")
        .arg(QString::number(length), QString::number(maxNameLength));
}

/// Why the game's name \a name cannot be read; none when it can.
Problem checkGameName(const QString &name)
{
    if (name.size() > maxNameLength)
        return { tooLong(name.size()) };
    return {};
}

/// The rom that \a text gives into \a rom, or why it gives none. A field the
/// DAT leaves empty is one it does not give.
Problem checkRom(const RomText &text, DatRom *rom)
{
    if (!text.hasName || text.name.isEmpty())
        return { tr("a rom without a name"), text.nameAt };
    if (text.name.size() > maxNameLength)
        return { tooLong(text.name.size()), text.nameAt };
    rom->name = text.name;
    if (!text.size.text.isEmpty() && !sizeValue(text.size.text, &rom->size))
        return { tr("the rom's size %1 is not a number of bytes").arg(quotedValue(text.size.text)),
            text.size.at };
    if (!text.crc.text.isEmpty()) {
        if (!crcValue(text.crc.text, &rom->crc))
            return {
                tr("the rom's crc %1 is not 8 hexadecimal digits").arg(quotedValue(text.crc.text)),
                text.crc.at
            };
        rom->hasCrc = true;
    }
    if (!text.md5.text.isEmpty() && !hexBytes(text.md5.text, 16, &rom->md5))
        return {
            tr("the rom's md5 %1 is not 32 hexadecimal digits").arg(quotedValue(text.md5.text)),
            text.md5.at
        };
    if (!text.sha1.text.isEmpty() && !hexBytes(text.sha1.text, 20, &rom->sha1))
        return {
            tr("the rom's sha1 %1 is not 40 hexadecimal digits").arg(quotedValue(text.sha1.text)),
            text.sha1.at
        };
    return {};
}

/// The line (from 1) that ends \a text, whose lines end as those of a
/// control file do: at LF, CR LF or a lone CR, as old Mac DATs have them.
qint64 lineNumber(QByteArrayView text)
{
    qint64 lines = std::count(text.begin(), text.end(), '\n') + 1;
    for (const char *cr = text.begin();
         (cr = static_cast<const char *>(std::memchr(cr, '\r', size_t(text.end() - cr)))); ++cr) {
        if (cr + 1 == text.end() || cr[1] != '\n')
            ++lines;
    }
    return lines;
}

/// The elements and blocks whose roms are a game's: MAME's arcade DATs call
/// their BIOS sets resources, MESS's and MAME's later ones say machine.
bool isGame(QByteArrayView name)
{
    return name == "game" || name == "machine" || name == "resource";
}

/// What both forms' readers share: the text, the DAT they fill, and their
/// way of stopping with the reason and its line.
class Reader
{
public:
    Reader(QByteArrayView text, DatFile &dat) : begin(text.begin()), end(text.end()), dat(dat) { }

protected:
    qint64 lineAt(const char *at) const { return lineNumber(QByteArrayView(begin, at - begin)); }

    bool fail(const char *at, const QString &message) { return failOnLine(lineAt(at), message); }

    bool failOnLine(qint64 line, const QString &message)
    {
        dat.errorLine = line;
        dat.error = tr("line %1: %2").arg(QString::number(line), message);
        return false;
    }

    /// Adds the rom that \a text gives, of the game \a game, which the rom's
    /// place \a at tells the line of; false when it gives none.
    bool addRom(const RomText &text, const QString &game, const char *at)
    {
        DatRom rom;
        rom.game = game;
        if (const Problem problem = checkRom(text, &rom); !problem.message.isEmpty())
            return fail(problem.at ? problem.at : at, problem.message);
        dat.roms.append(std::move(rom));
        return true;
    }

    const char *const begin;
    const char *const end;
    DatFile &dat;
};

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

/// The bytes that an attribute's value does not give as they are: an
/// entity's `&`, and tabs and line ends, which it reads as spaces.
constexpr std::array<bool, 256> isReplaced = [] {
    std::array<bool, 256> replaced{};
    for (const char c : std::string_view("&\t\n\r"))
        replaced[uchar(c)] = true;
    return replaced;
}();

/// What a byte is to the names of elements and attributes. The scanner reads
/// names of ASCII letters, digits and `_.-`; a `:` (a namespace's prefix,
/// which QXmlStreamReader checks against the namespaces declared) or a byte
/// beyond ASCII is left to QXmlStreamReader.
enum NameByte : qint8 { EndsName, GoesOnName, StartsName, BeyondNames };

constexpr std::array<qint8, 256> nameBytes = [] {
    std::array<qint8, 256> bytes{};
    for (int c = 0; c < 256; ++c) {
        bytes[size_t(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ? StartsName
            : (c >= '0' && c <= '9') || c == '.' || c == '-'                            ? GoesOnName
            : c == ':' || c >= 0x80 ? BeyondNames
                                    : EndsName;
    }
    return bytes;
}();

/// The bytes that a name read by the scanner holds, first or later.
constexpr std::array<bool, 256> isInName = [] {
    std::array<bool, 256> bytes{};
    for (size_t c = 0; c < 256; ++c)
        bytes[c] = nameBytes[c] == StartsName || nameBytes[c] == GoesOnName;
    return bytes;
}();

/// The attributes of a rom that the scanner reads, as bits of a set, and the
/// bit of \a name among them; 0 for any other.
constexpr uint nameAttribute = 1, sizeAttribute = 2, crcAttribute = 4, md5Attribute = 8,
               sha1Attribute = 16;

uint romAttribute(QByteArrayView name)
{
    if (name.size() == 3)
        return name == "crc" ? crcAttribute : name == "md5" ? md5Attribute : 0;
    if (name.size() == 4) {
        return name == "name" ? nameAttribute
            : name == "size"  ? sizeAttribute
            : name == "sha1"  ? sha1Attribute
                              : 0;
    }
    return 0;
}

/// Whether XML allows the character \a code in a document: not the controls
/// but tab and the line ends, nor the halves of surrogate pairs, U+FFFE or U+FFFF.
bool isXmlCharacter(uint code)
{
    return code == 0x9 || code == 0xa || code == 0xd || (code >= 0x20 && code < 0xd800)
        || (code >= 0xe000 && code < 0xfffe) || (code >= 0x10000 && code <= 0x10ffff);
}

/// The length of the UTF-8 sequence at \a p of a character that XML allows; 0 for none.
qsizetype xmlCharacterLength(const char *p, const char *end)
{
    const auto byte = [&](qsizetype i) { return p + i < end ? uchar(p[i]) : uchar(0); };
    const auto follows = [&](qsizetype i) { return (byte(i) & 0xc0) == 0x80; };
    const uchar lead = byte(0);
    if (lead < 0x80)
        return isXmlCharacter(lead) ? 1 : 0;
    if (lead >= 0xc2 && lead <= 0xdf)
        return follows(1) ? 2 : 0;
    if (lead >= 0xe0 && lead <= 0xef) {
        const uchar second = byte(1);
        if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second >= 0xa0) || !follows(1)
            || !follows(2))
            return 0;
        // U+FFFE and U+FFFF
        return lead == 0xef && second == 0xbf && byte(2) >= 0xbe ? 0 : 3;
    }
    if (lead >= 0xf0 && lead <= 0xf4) {
        const uchar second = byte(1);
        if ((lead == 0xf0 && second < 0x90) || (lead == 0xf4 && second >= 0x90) || !follows(1)
            || !follows(2) || !follows(3))
            return 0;
        return 4;
    }
    return 0;
}

/// Whether the bytes from \a p to \a end hold no control character that XML does not allow:
/// the first quick look of firstNotXml(), which with Qt's of UTF-8 is all that a DAT needs.
bool isXmlText(const char *p, const char *end)
{
    // Blocks of bytes in a loop without branches, which the compiler makes
    // vector instructions of.
    constexpr qsizetype block = 64;
    for (; p < end; p += block) {
        const qsizetype size = std::min(block, qsizetype(end - p));
        uchar isControl = 0;
        for (qsizetype i = 0; i < size; ++i) {
            const uchar c = uchar(p[i]);
            isControl |= uchar(c < 0x20 && c != '\t' && c != '\n' && c != '\r');
        }
        if (isControl)
            return false;
    }
    return true;
}

/// The place of the first character from \a p on that XML does not allow, or
/// of the first bytes that are not UTF-8; \a end when there is none.
const char *firstNotXml(const char *p, const char *end)
{
    // U+FFFE and U+FFFF are UTF-8, which XML does not allow.
    const auto holdsFffeOrFfff = [&] {
        for (const char *c = p;
             (c = static_cast<const char *>(std::memchr(c, '\xef', size_t(end - c)))); ++c) {
            if (end - c >= 3 && uchar(c[1]) == 0xbf && uchar(c[2]) >= 0xbe)
                return true;
        }
        return false;
    };
    if (isXmlText(p, end) && QByteArrayView(p, end - p).isValidUtf8() && !holdsFffeOrFfff())
        return end;
    // One of them is wrong: the first, character by character.
    while (p < end) {
        const qsizetype length = xmlCharacterLength(p, end);
        if (length == 0)
            return p;
        p += length;
    }
    return end;
}

/// The place of the first control character from \a p on that XML does not allow, in any
/// encoding of ASCII's bytes; \a end when there is none.
const char *firstControl(const char *p, const char *end)
{
    return std::find_if(p, end, [](char c) { return uchar(c) < 0x20 && !isXmlSpace(c); });
}

/// Why the character at \a at, which firstNotXml() or firstControl() found, is not XML.
QString whyNotXml(const char *at, const char *end)
{
    const uchar byte = uchar(*at);
    if (byte < 0x80) {
        return tr("the control character U+%1, which XML does not allow")
            .arg(QString::number(byte, 16).toUpper().rightJustified(4, u'0'));
    }
    // A sequence of UTF-8 whose character XML does not allow: U+FFFE or U+FFFF.
    if (byte == 0xef && end - at >= 3 && uchar(at[1]) == 0xbf && (uchar(at[2]) & 0xfe) == 0xbe) {
        return tr("the character U+%1, which XML does not allow")
            .arg(uchar(at[2]) == 0xbe ? QStringLiteral("FFFE") : QStringLiteral("FFFF"));
    }
    return tr("bytes that are not UTF-8 text");
}

/// Whether \a name is a name as XML has them: of letters, digits and a few marks, the
/// first no digit, mark, `.` or `-`.
bool isXmlName(QStringView name)
{
    const auto isStart = [](char32_t c) {
        return c == ':' || (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z')
            || (c >= 0xc0 && c <= 0xd6) || (c >= 0xd8 && c <= 0xf6) || (c >= 0xf8 && c <= 0x2ff)
            || (c >= 0x370 && c <= 0x37d) || (c >= 0x37f && c <= 0x1fff) || c == 0x200c
            || c == 0x200d || (c >= 0x2070 && c <= 0x218f) || (c >= 0x2c00 && c <= 0x2fef)
            || (c >= 0x3001 && c <= 0xd7ff) || (c >= 0xf900 && c <= 0xfdcf)
            || (c >= 0xfdf0 && c <= 0xfffd) || (c >= 0x10000 && c <= 0xeffff);
    };
    const auto goesOn = [&](char32_t c) {
        return isStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xb7
            || (c >= 0x300 && c <= 0x36f) || c == 0x203f || c == 0x2040;
    };
    // Most names are ASCII: those are looked at without decoding them.
    if (std::all_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        return !name.isEmpty() && isStart(name.front().unicode())
            && std::all_of(
                name.begin() + 1, name.end(), [&](QChar c) { return goesOn(c.unicode()); });
    }
    const QList<uint> characters = name.toUcs4();
    return !characters.isEmpty() && isStart(characters.first())
        && std::all_of(characters.begin() + 1, characters.end(), goesOn);
}

/// The character \a code in UTF-8 at the end of \a bytes; false for one that XML does not allow.
bool appendUtf8(QByteArray &bytes, uint code)
{
    if (!isXmlCharacter(code))
        return false;
    if (code < 0x80) {
        bytes += char(code);
    } else if (code < 0x800) {
        bytes += char(0xc0 | code >> 6);
        bytes += char(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        bytes += char(0xe0 | code >> 12);
        bytes += char(0x80 | (code >> 6 & 0x3f));
        bytes += char(0x80 | (code & 0x3f));
    } else {
        bytes += char(0xf0 | code >> 18);
        bytes += char(0x80 | (code >> 12 & 0x3f));
        bytes += char(0x80 | (code >> 6 & 0x3f));
        bytes += char(0x80 | (code & 0x3f));
    }
    return true;
}

/// What the entity \a entity, between `&` and `;`, stands for at the end of \a bytes; false for
/// none.
bool appendEntity(QByteArray &bytes, QByteArrayView entity)
{
    static constexpr std::pair<std::string_view, char> named[] = { { "amp", '&' }, { "lt", '<' },
        { "gt", '>' }, { "quot", '"' }, { "apos", '\'' } };
    for (const auto &[name, character] : named) {
        if (entity == QByteArrayView(name.data(), qsizetype(name.size()))) {
            bytes += character;
            return true;
        }
    }
    if (!entity.startsWith('#'))
        return false;
    const bool isHex = entity.startsWith("#x");
    const QByteArrayView digits = entity.sliced(isHex ? 2 : 1);
    if (digits.isEmpty())
        return false;
    // Leading zeros are allowed, as many as are written.
    uint code = 0;
    for (const char c : digits) {
        const int digit = isHex ? hexDigit(c) : c >= '0' && c <= '9' ? c - '0' : -1;
        if (digit < 0)
            return false;
        code = std::min(code * (isHex ? 16 : 10) + uint(digit), 0x110000u);
    }
    return appendUtf8(bytes, code);
}

/** The characters (UTF-16 units, as QString counts them) of the text of an
    element whose content, read by the scanner, runs from \a from to \a to: its
    text and CDATA sections, each line end one character and each entity what
    it stands for, as QXmlStreamReader gives them. */
qint64 textLength(const char *from, const char *to)
{
    qint64 length = 0;
    const auto count = [&length](const char *p, const char *end, bool hasEntities) {
        for (; p < end; ++p) {
            const uchar c = uchar(*p);
            if (c == '\r' && p + 1 < end && p[1] == '\n')
                continue;
            if (c == '&' && hasEntities) {
                const auto *const semicolon =
                    static_cast<const char *>(std::memchr(p, ';', size_t(end - p)));
                QByteArray character;
                appendEntity(character, QByteArrayView(p + 1, semicolon - p - 1));
                length += QString::fromUtf8(character).size();
                p = semicolon;
            } else if ((c & 0xc0) != 0x80) {
                length += c >= 0xf0 ? 2 : 1;
            }
        }
    };
    const auto after = [to](const char *p, std::string_view what) {
        const size_t found = std::string_view(p, size_t(to - p)).find(what);
        return found == std::string_view::npos ? to : p + found + what.size();
    };
    for (const char *p = from; p < to;) {
        const std::string_view rest(p, size_t(to - p));
        if (*p != '<') {
            const auto *const next = static_cast<const char *>(std::memchr(p, '<', size_t(to - p)));
            count(p, next ? next : to, true);
            p = next ? next : to;
        } else if (rest.substr(0, 9) == "<![CDATA[") {
            const char *const close = after(p + 9, "]]>");
            count(p + 9, close - 3, false);
            p = close;
        } else if (rest.substr(0, 4) == "<!--") {
            p = after(p + 4, "-->");
        } else if (rest.substr(0, 2) == "<?") {
            p = after(p + 2, "?>");
        } else {
            // A tag of an element inside, whose values in quotes may hold a `>`.
            char quote = 0;
            for (++p; p < to && (quote || *p != '>'); ++p) {
                if (quote ? *p == quote : *p == '"' || *p == '\'')
                    quote = quote ? 0 : *p;
            }
            ++p;
        }
    }
    return length;
}

/** Reads Logiqx XML of the subset of XML that DATs use: elements and
    attributes of ASCII names, values in either quote, the five entities and
    character references, comments, CDATA sections and processing
    instructions, and a DOCTYPE that declares nothing itself, all in UTF-8.
    What it reads, it holds to XML's rules as QXmlStreamReader does, so that
    a DAT is read or refused alike whichever reads it; text between elements
    is checked and passed over. */
class XmlScanner : public Reader
{
public:
    using Reader::Reader;

    /** Reads the DAT; false when it cannot, with the reason in the DAT, or
        when it goes beyond the subset of XML read here (isBeyond()). */
    bool read();
    bool isBeyond() const { return beyond; }

private:
    struct Element
    {
        QByteArrayView name;
        const char *at;
    };

    void skipSpaces()
    {
        while (p < end && isXmlSpace(*p))
            ++p;
    }
    /// The place of \a what at or after \a from, or null.
    const char *find(const char *from, std::string_view what) const
    {
        const std::string_view rest(from, size_t(end - from));
        const size_t found = rest.find(what);
        return found == std::string_view::npos ? nullptr : from + found;
    }
    /// Leaves the rest to QXmlStreamReader; false.
    bool handOver()
    {
        beyond = true;
        return false;
    }
    /** Reads a name at p into \a name, empty when none starts there; false,
        with the reason, for one that starts with a digit, `.` or `-`, and
        false when it goes beyond the names read here. \a at is the tag's place. */
    bool readName(const char *at, QByteArrayView *name);
    bool readDeclaration();
    bool readStartTag();
    /// Reads `name="value"` inside the tag that starts at \a at: the value as it stands.
    bool readAttribute(const char *at, QByteArrayView *name, QByteArrayView *raw);
    bool readEndTag();
    bool readMarkup();
    bool readProcessingInstruction();
    bool readDoctype(const char *at);
    bool checkReferences(const char *from, const char *to);
    /** Whether \a entity, between `&` and `;` and none of XML's own, may be
        declared in the DTD that the DOCTYPE names, which is not read: XML
        then takes it, and QXmlStreamReader keeps it as it stands in a value
        and passes over it in text, as the scanner does. False, handing the
        DAT over, for anything but a name of those read here. */
    bool isDeclaredElsewhere(QByteArrayView entity);
    /// Refuses the entity from \a from to \a to, told by the tag at \a at, or by its own place.
    bool unknownEntity(const char *from, const char *to, const char *at = nullptr)
    {
        return !beyond
            && malformed(at ? at : from,
                tr("an unknown entity %1").arg(quotedValue(QByteArrayView(from, to - from))));
    }
    bool checkText(const char *from, const char *to);
    bool value(QByteArrayView text, const char *at, QByteArray *storage, QByteArrayView *result);
    bool text(QByteArrayView bytes, const char *at, QString *result);
    bool notXml(const char *at);
    bool malformed(const char *at, const QString &what)
    {
        return fail(at, tr("the XML is malformed: %1").arg(what));
    }
    bool endsInside(const char *at, const QString &what)
    {
        return fail(at, tr("the file ends inside %1 that starts on this line").arg(what));
    }

    const char *p = begin;
    std::vector<Element> open;
    std::vector<QByteArrayView> attributes; ///< those of the tag being read
    /// Whether the DOCTYPE names a DTD that the XML declaration does not say the DAT stands
    /// without: one that may declare entities.
    bool mayDeclareEntities = false;
    bool isStandalone = false;
    qsizetype gameLevel = -1; ///< the game element's place in open, or -1 outside one
    qsizetype descriptionLevel = -1; ///< the same of a description element
    const char *descriptionStart = nullptr; ///< where the description's text starts
    QString game;
    bool hasRoot = false;
    bool beyond = false;
    QByteArray storage[6];
};

bool XmlScanner::readName(const char *at, QByteArrayView *name)
{
    const char *const start = p;
    while (p < end && isInName[uchar(*p)])
        ++p;
    if (p < end && nameBytes[uchar(*p)] == BeyondNames)
        return handOver();
    *name = QByteArrayView(start, p - start);
    if (p > start && nameBytes[uchar(*start)] != StartsName)
        return malformed(at,
            tr("the name %1 starts with %2, which no name may")
                .arg(quotedValue(*name), quotedValue(name->first(1))));
    return true;
}

bool XmlScanner::read()
{
    if (end - p >= 3 && std::memcmp(p, "\xef\xbb\xbf", 3) == 0)
        p += 3;
    if (end - p >= 6 && std::memcmp(p, "<?xml", 5) == 0 && (isXmlSpace(p[5]) || p[5] == '?')
        && !readDeclaration())
        return false;
    if (const char *const wrong = firstNotXml(p, end); wrong != end)
        return notXml(wrong);
    for (;;) {
        if (open.empty()) {
            skipSpaces();
            if (p == end)
                break;
            if (*p != '<')
                return malformed(p,
                    hasRoot ? tr("text after the end of its outermost element")
                            : tr("text before its first element"));
        } else {
            // Text inside elements says nothing that a DAT's files need, but
            // is XML all the same.
            const auto *const next =
                static_cast<const char *>(std::memchr(p, '<', size_t(end - p)));
            if (!checkText(p, next ? next : end))
                return false;
            if (!next) {
                p = end;
                break;
            }
            p = next;
        }
        if (end - p < 2)
            return endsInside(p, tr("a tag"));
        bool isRead = false;
        switch (p[1]) {
        case '/':
            isRead = readEndTag();
            break;
        case '?':
            isRead = readProcessingInstruction();
            break;
        case '!':
            isRead = readMarkup();
            break;
        default:
            isRead = readStartTag();
        }
        if (!isRead)
            return false;
    }
    if (!open.empty())
        return fail(open.back().at,
            tr("the file ends before the element <%1> that starts on this line is closed")
                .arg(shownText(QString::fromUtf8(open.back().name))));
    if (!hasRoot)
        return malformed(end, tr("it holds no element"));
    return true;
}

bool XmlScanner::notXml(const char *at)
{
    return malformed(at, whyNotXml(at, end));
}

// The XML declaration in the form that DATs write it, version 1.0 in UTF-8;
// any other is QXmlStreamReader's to read or refuse.
bool XmlScanner::readDeclaration()
{
    const char *const at = p;
    const char *const close = find(p + 5, "?>");
    if (!close)
        return endsInside(at, tr("the XML declaration"));
    std::string_view rest(p + 5, size_t(close - p - 5));
    p = close + 2;
    // Reads ` name="value"` (a blank before it, either quote) from rest.
    const auto pseudoAttribute = [&rest](std::string_view name, std::string_view *value) {
        const size_t blanks = rest.find_first_not_of(" \t\r\n");
        if (blanks == 0 || blanks == std::string_view::npos
            || rest.substr(blanks, name.size()) != name)
            return false;
        std::string_view after = rest.substr(blanks + name.size());
        after.remove_prefix(std::min(after.size(), after.find_first_not_of(" \t\r\n")));
        if (after.empty() || after[0] != '=')
            return false;
        after.remove_prefix(1);
        after.remove_prefix(std::min(after.size(), after.find_first_not_of(" \t\r\n")));
        if (after.empty() || (after[0] != '"' && after[0] != '\''))
            return false;
        const size_t closeQuote = after.find(after[0], 1);
        if (closeQuote == std::string_view::npos)
            return false;
        *value = after.substr(1, closeQuote - 1);
        rest = after.substr(closeQuote + 1);
        return true;
    };
    std::string_view version, encoding, standalone;
    if (!pseudoAttribute("version", &version) || version != "1.0")
        return handOver();
    if (pseudoAttribute("encoding", &encoding)
        && QByteArrayView(encoding.data(), qsizetype(encoding.size()))
                .compare("utf-8", Qt::CaseInsensitive)
            != 0)
        return handOver();
    if (pseudoAttribute("standalone", &standalone) && standalone != "yes" && standalone != "no")
        return handOver();
    isStandalone = standalone == "yes";
    if (rest.find_first_not_of(" \t\r\n") != std::string_view::npos)
        return handOver();
    return true;
}

bool XmlScanner::readAttribute(const char *at, QByteArrayView *name, QByteArrayView *raw)
{
    if (!readName(at, name))
        return false;
    if (name->isEmpty())
        return malformed(at, tr("a tag that is not of the form <name attribute=\"value\">"));
    // A namespace's declaration, which QXmlStreamReader checks.
    if (name->startsWith("xmlns"))
        return handOver();
    skipSpaces();
    if (p == end || *p != '=')
        return malformed(at, tr("an attribute without `=`"));
    ++p;
    skipSpaces();
    if (p == end || (*p != '"' && *p != '\''))
        return malformed(at, tr("an attribute's value without quotes"));
    const char quote = *p++;
    const void *const close = std::memchr(p, quote, size_t(end - p));
    if (!close)
        return endsInside(at, tr("a tag"));
    *raw = QByteArrayView(p, static_cast<const char *>(close) - p);
    p = static_cast<const char *>(close) + 1;
    // Where a value's closing quote is missing, the next quote closes it
    // and the `<` of the next tag falls inside.
    if (raw->contains('<'))
        return malformed(at, tr("a `<` inside an attribute's value"));
    return true;
}

bool XmlScanner::readStartTag()
{
    const char *const at = p++;
    QByteArrayView name;
    if (!readName(at, &name))
        return false;
    if (name.isEmpty())
        return malformed(at, tr("a `<` that starts no tag"));
    if (hasRoot && open.empty())
        return malformed(
            at, tr("a second outermost element, <%1>").arg(shownText(QString::fromUtf8(name))));
    const bool startsGame = gameLevel < 0 && isGame(name);
    const bool isRom = name == "rom" && gameLevel >= 0 && gameLevel == qsizetype(open.size()) - 1;
    RomText rom;
    QString gameName;
    bool isEmptyElement = false;
    // The attributes given so far: those of a rom's that are read as bits, others by name.
    uint given = 0;
    attributes.clear();
    for (;;) {
        const char *const before = p;
        skipSpaces();
        if (p == end)
            return endsInside(at, tr("a tag"));
        if (*p == '>') {
            ++p;
            break;
        }
        if (*p == '/') {
            if (end - p < 2 || p[1] != '>')
                return malformed(at, tr("a `/` inside a tag"));
            p += 2;
            isEmptyElement = true;
            break;
        }
        if (p == before)
            return malformed(at,
                given == 0 && attributes.empty()
                    ? tr("a tag that is not of the form <name attribute=\"value\">")
                    : tr("an attribute that follows another without a blank between them"));
        QByteArrayView attribute;
        QByteArrayView raw;
        if (!readAttribute(at, &attribute, &raw))
            return false;
        const uint known = romAttribute(attribute);
        if (known ? (given & known) != 0
                  : std::find(attributes.begin(), attributes.end(), attribute) != attributes.end())
            return malformed(at, tr("the attribute %1 is given twice").arg(quotedValue(attribute)));
        if (known)
            given |= known;
        else
            attributes.push_back(attribute);
        bool isRead = true;
        if (startsGame && known == nameAttribute) {
            isRead = text(raw, at, &gameName);
        } else if (isRom && known == nameAttribute) {
            rom.hasName = true;
            rom.nameAt = at;
            isRead = text(raw, at, &rom.name);
        } else if (isRom && known) {
            RomField &into = known == sizeAttribute ? rom.size
                : known == crcAttribute             ? rom.crc
                : known == md5Attribute             ? rom.md5
                                                    : rom.sha1;
            into.at = at;
            isRead = value(raw, at,
                &storage[known == sizeAttribute ? 1
                        : known == crcAttribute ? 2
                        : known == md5Attribute ? 3
                                                : 4],
                &into.text);
        } else {
            isRead = checkReferences(raw.begin(), raw.end());
        }
        if (!isRead)
            return false;
    }
    hasRoot = true;
    if (startsGame) {
        if (const Problem problem = checkGameName(gameName); !problem.message.isEmpty())
            return fail(at, problem.message);
    }
    if (isRom && !addRom(rom, game, at))
        return false;
    if (!isEmptyElement) {
        if (startsGame) {
            game = gameName;
            gameLevel = qsizetype(open.size());
        }
        if (descriptionLevel < 0 && name == "description") {
            descriptionLevel = qsizetype(open.size());
            descriptionStart = p;
        }
        open.push_back({ name, at });
    }
    return true;
}

bool XmlScanner::readEndTag()
{
    const char *const at = p;
    p += 2;
    QByteArrayView name;
    if (!readName(at, &name))
        return false;
    skipSpaces();
    if (p == end)
        return endsInside(at, tr("a tag"));
    if (*p != '>' || name.isEmpty())
        return malformed(at, tr("a closing tag that is not of the form </name>"));
    ++p;
    if (open.empty())
        return malformed(at, tr("</%1> closes no element").arg(shownText(QString::fromUtf8(name))));
    if (open.back().name != name)
        return malformed(at,
            tr("</%1> where <%2> of line %3 is to be closed")
                .arg(shownText(QString::fromUtf8(name)),
                    shownText(QString::fromUtf8(open.back().name)),
                    QString::number(lineAt(open.back().at))));
    if (gameLevel == qsizetype(open.size()) - 1)
        gameLevel = -1;
    if (descriptionLevel == qsizetype(open.size()) - 1) {
        descriptionLevel = -1;
        // Its text is never longer than its bytes: counted only when they are more.
        if (at - descriptionStart > maxNameLength) {
            if (const qint64 length = textLength(descriptionStart, at); length > maxNameLength)
                return fail(open.back().at, descriptionTooLong(length));
        }
    }
    open.pop_back();
    return true;
}

bool XmlScanner::readProcessingInstruction()
{
    const char *const at = p;
    p += 2;
    QByteArrayView target;
    if (!readName(at, &target))
        return false;
    const char *const close = find(p, "?>");
    if (!close)
        return endsInside(at, tr("a processing instruction"));
    // One without a target, or whose target runs into its text.
    if (target.isEmpty() || (p != close && !isXmlSpace(*p)))
        return handOver();
    p = close + 2;
    if (target.compare("xml", Qt::CaseInsensitive) == 0)
        return malformed(at, tr("an XML declaration that is not at the start of the file"));
    return true;
}

bool XmlScanner::readMarkup()
{
    const char *const at = p;
    const std::string_view rest(p, size_t(end - p));
    if (rest.substr(0, 4) == "<!--") {
        const char *const dashes = find(p + 4, "--");
        if (!dashes || dashes + 2 == end)
            return endsInside(at, tr("a comment"));
        if (dashes[2] != '>')
            return malformed(dashes, tr("`--` inside a comment"));
        p = dashes + 3;
        return true;
    }
    if (rest.substr(0, 9) == "<![CDATA[") {
        if (open.empty())
            return malformed(at, tr("a CDATA section outside the elements"));
        const char *const close = find(p + 9, "]]>");
        if (!close)
            return endsInside(at, tr("a CDATA section"));
        p = close + 3;
        return true;
    }
    if (rest.substr(0, 9) == "<!DOCTYPE")
        return readDoctype(at);
    return malformed(at, tr("a `<!` that starts no comment, CDATA section or DOCTYPE"));
}

// The DOCTYPE as DATs write it: the outermost element's name, and the DTD
// named by a public and a system identifier or by a system one alone. One
// with declarations of its own (which may declare entities), or that differs
// otherwise, is QXmlStreamReader's.
bool XmlScanner::readDoctype(const char *at)
{
    if (hasRoot)
        return malformed(at, tr("a DOCTYPE after the first element"));
    p += 9;
    // Reads a blank, then a literal in quotes; false at the file's end.
    const auto literal = [this](bool isPublic, bool *isRead) {
        const char *const before = p;
        skipSpaces();
        *isRead = false;
        if (p == end)
            return false;
        if (p == before || (*p != '"' && *p != '\''))
            return true;
        const auto *const close =
            static_cast<const char *>(std::memchr(p + 1, *p, size_t(end - p - 1)));
        if (!close)
            return false;
        static constexpr std::string_view publicCharacters = " \r\nabcdefghijklmnopqrstuvwxyz"
                                                             "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                             "0123456789-'()+,./:=?;!*#@$_%";
        // QXmlStreamReader refuses a `<` or a `&` in either, which XML allows in a system one.
        *isRead = std::none_of(p + 1, close, [](char c) { return c == '<' || c == '&'; })
            && (!isPublic || std::all_of(p + 1, close, [](char c) {
                   return publicCharacters.find(c) != std::string_view::npos;
               }));
        p = close + 1;
        return true;
    };
    if (p == end)
        return endsInside(at, tr("a DOCTYPE"));
    if (!isXmlSpace(*p))
        return handOver();
    skipSpaces();
    QByteArrayView name;
    if (!readName(at, &name))
        return false;
    if (name.isEmpty())
        return handOver();
    const char *const afterName = p;
    skipSpaces();
    const std::string_view rest(p, size_t(end - p));
    if (p != afterName && (rest.substr(0, 6) == "PUBLIC" || rest.substr(0, 6) == "SYSTEM")) {
        const bool isPublic = rest[0] == 'P';
        p += 6;
        bool isRead = false;
        for (int i = isPublic ? 0 : 1; i < 2; ++i) {
            if (!literal(isPublic && i == 0, &isRead))
                return endsInside(at, tr("a DOCTYPE"));
            if (!isRead)
                return handOver();
        }
        mayDeclareEntities = !isStandalone;
        skipSpaces();
    }
    if (p == end)
        return endsInside(at, tr("a DOCTYPE"));
    if (*p != '>')
        return handOver();
    ++p;
    return true;
}

/// Whether each `&` from \a from to \a to starts an entity that XML knows, which the DAT does
/// not declare: those are all that the scanner reads.
bool XmlScanner::isDeclaredElsewhere(QByteArrayView entity)
{
    if (!mayDeclareEntities)
        return false;
    // What is no name read here QXmlStreamReader judges, which takes some
    // that XML does not (a DEL among them): both readers then agree.
    if (entity.isEmpty() || nameBytes[uchar(entity[0])] != StartsName)
        return handOver();
    for (const char c : entity) {
        if (!isInName[uchar(c)])
            return handOver();
    }
    return true;
}

bool XmlScanner::checkReferences(const char *from, const char *to)
{
    for (const char *amp = from;
         (amp = static_cast<const char *>(std::memchr(amp, '&', size_t(to - amp))));) {
        const auto *const semicolon =
            static_cast<const char *>(std::memchr(amp, ';', size_t(to - amp)));
        storage[5].clear();
        if (!semicolon
            || (!appendEntity(storage[5], QByteArrayView(amp + 1, semicolon - amp - 1))
                && !isDeclaredElsewhere(QByteArrayView(amp + 1, semicolon - amp - 1))))
            return unknownEntity(amp, semicolon ? semicolon + 1 : to);
        amp = semicolon + 1;
    }
    return true;
}

/// Whether the text of an element from \a from to \a to is XML: its entities known, and no `]]>`.
bool XmlScanner::checkText(const char *from, const char *to)
{
    // Most text between a DAT's tags is a line end and a few tabs: one look at each byte.
    for (const char *c = from; c < to; ++c) {
        if (*c == '&' && !checkReferences(c, to))
            return false;
        if (*c == ']' && to - c >= 3 && c[1] == ']' && c[2] == '>')
            return malformed(c, tr("`]]>` in the text of an element"));
    }
    return true;
}

/** The value \a text of an attribute as XML gives it in \a result: its
    entities and character references replaced, and each tab and line end
    read as a space; kept in \a storage when it differs. False for an unknown
    entity. */
bool XmlScanner::value(
    QByteArrayView text, const char *at, QByteArray *storage, QByteArrayView *result)
{
    if (std::none_of(text.begin(), text.end(), [](char c) { return isReplaced[uchar(c)]; })) {
        *result = text;
        return true;
    }
    storage->clear();
    qsizetype plain = 0; // where the text that stands for itself starts
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!isReplaced[uchar(c)])
            continue;
        storage->append(text.sliced(plain, i - plain));
        plain = i + 1;
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (c != '&') {
            *storage += ' ';
            continue;
        }
        const qsizetype semicolon = text.indexOf(';', i);
        if (semicolon < 0)
            return unknownEntity(text.begin() + i, text.end(), at);
        if (const QByteArrayView entity = text.sliced(i + 1, semicolon - i - 1);
            !appendEntity(*storage, entity)) {
            if (!isDeclaredElsewhere(entity))
                return unknownEntity(text.begin() + i, text.begin() + semicolon + 1, at);
            // Kept as it stands, as QXmlStreamReader keeps it.
            storage->append(text.sliced(i, semicolon + 1 - i));
        }
        i = semicolon;
        plain = i + 1;
    }
    storage->append(text.sliced(plain));
    *result = *storage;
    return true;
}

/// The value \a bytes of an attribute as text in \a result; the file is UTF-8, checked before.
bool XmlScanner::text(QByteArrayView bytes, const char *at, QString *result)
{
    QByteArrayView decoded;
    if (!value(bytes, at, &storage[0], &decoded))
        return false;
    *result = QString::fromUtf8(decoded);
    return true;
}

/** Reads Logiqx XML with QXmlStreamReader: whatever goes beyond the subset
    of XML that XmlScanner reads. */
class XmlStreamReader : public Reader
{
public:
    XmlStreamReader(const QByteArray &bytes, DatFile &dat) : Reader(bytes, dat), xml(bytes) { }

    bool read();

private:
    RomText romText();
    /// The line of the character at \a offset, counted from 0.
    qint64 lineOfOffset(qint64 offset) const;
    qint64 line() const { return lineOfOffset(xml.characterOffset()); }
    /// Whether the names of the element just read and of its attributes are XML's: the reader
    /// lets some by that XML does not allow, which the scanner refuses.
    bool checkNames();
    bool notName(QStringView name)
    {
        return failOnLine(line(),
            tr("the XML is malformed: the name %1 is not one that XML allows")
                .arg(quotedLine(shownText(name.toString()))));
    }

    QXmlStreamReader xml;
    QByteArray storage[4];
};

RomText XmlStreamReader::romText()
{
    const QXmlStreamAttributes attributes = xml.attributes();
    RomText rom;
    rom.hasName = attributes.hasAttribute(QLatin1String("name"));
    rom.name = attributes.value(QLatin1String("name")).toString();
    const auto field = [&](RomField &into, QLatin1String name, QByteArray &store) {
        // A character beyond Latin-1 becomes '?', which is no digit.
        store = attributes.value(name).toLatin1();
        into.text = store;
    };
    field(rom.size, QLatin1String("size"), storage[0]);
    field(rom.crc, QLatin1String("crc"), storage[1]);
    field(rom.md5, QLatin1String("md5"), storage[2]);
    field(rom.sha1, QLatin1String("sha1"), storage[3]);
    return rom;
}

bool XmlStreamReader::checkNames()
{
    if (!isXmlName(xml.qualifiedName()))
        return notName(xml.qualifiedName());
    const QXmlStreamAttributes attributes = xml.attributes();
    for (const QXmlStreamAttribute &attribute : attributes) {
        if (!isXmlName(attribute.qualifiedName()))
            return notName(attribute.qualifiedName());
    }
    return true;
}

// QXmlStreamReader counts the line ends of an entity's text each time the
// entity is used, so the line is counted in the file's own text, up to the
// characters read.
qint64 XmlStreamReader::lineOfOffset(qint64 offset) const
{
    QStringDecoder decoder(xml.documentEncoding().toLatin1().constData());
    const QByteArrayView file(begin, end - begin);
    const QString text = decoder.isValid() ? decoder.decode(file) : QString::fromLatin1(file);
    const qsizetype read = qBound<qsizetype>(0, offset, text.size());
    const QStringView done = QStringView(text).first(read);
    qint64 lines = done.count(u'\n') + 1;
    for (qsizetype cr = done.indexOf(u'\r'); cr >= 0; cr = done.indexOf(u'\r', cr + 1)) {
        if (cr + 1 == done.size() || done[cr + 1] != u'\n')
            ++lines;
    }
    return lines;
}

bool XmlStreamReader::read()
{
    qsizetype depth = 0;
    qsizetype gameDepth = -1;
    QString game;
    QString documentEncoding; // which the reader tells at the start of the document only
    bool hasElement = false;
    qsizetype descriptionDepth = -1; // the outermost description element's
    qint64 descriptionLength = 0; // the characters of its text so far
    qint64 descriptionOffset = 0; // where its start tag ends, in characters
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartDocument:
            documentEncoding = xml.documentEncoding().toString();
            break;
        case QXmlStreamReader::DTD:
            if (!isXmlName(xml.dtdName()))
                return notName(xml.dtdName());
            // Which the reader takes after the outermost element too.
            if (hasElement)
                return failOnLine(line(),
                    tr("the XML is malformed: %1").arg(tr("a DOCTYPE after the first element")));
            break;
        case QXmlStreamReader::ProcessingInstruction:
            if (!isXmlName(xml.processingInstructionTarget()))
                return notName(xml.processingInstructionTarget());
            break;
        case QXmlStreamReader::StartElement: {
            ++depth;
            hasElement = true;
            if (descriptionDepth < 0 && xml.qualifiedName() == QLatin1String("description")) {
                descriptionDepth = depth;
                descriptionLength = 0;
                descriptionOffset = xml.characterOffset();
            }
            if (!checkNames())
                return false;
            const QByteArray name = xml.name().toUtf8();
            if (gameDepth < 0 && isGame(name)) {
                gameDepth = depth;
                game = xml.attributes().value(QLatin1String("name")).toString();
                if (const Problem problem = checkGameName(game); !problem.message.isEmpty())
                    return failOnLine(line(), problem.message);
            } else if (name == "rom" && gameDepth >= 0 && depth == gameDepth + 1) {
                DatRom rom;
                rom.game = game;
                if (const Problem problem = checkRom(romText(), &rom); !problem.message.isEmpty())
                    return failOnLine(line(), problem.message);
                dat.roms.append(std::move(rom));
            }
            break;
        }
        case QXmlStreamReader::Characters:
            if (descriptionDepth >= 0)
                descriptionLength += xml.text().size();
            break;
        case QXmlStreamReader::EndElement:
            if (depth == gameDepth)
                gameDepth = -1;
            if (depth == descriptionDepth) {
                descriptionDepth = -1;
                if (descriptionLength > maxNameLength)
                    return failOnLine(
                        lineOfOffset(descriptionOffset), descriptionTooLong(descriptionLength));
            }
            --depth;
            break;
        default:
            break;
        }
    }
    if (xml.hasError())
        return failOnLine(line(), tr("the XML is malformed: %1").arg(xml.errorString()));
    // QXmlStreamReader lets a few characters by that XML does not allow (in
    // a DOCTYPE's name, for one), which the scanner refuses: so do we.
    const auto encoding = QStringConverter::encodingForName(documentEncoding.toLatin1());
    const bool isUtf8 = documentEncoding.isEmpty() || encoding == QStringConverter::Utf8;
    if (const char *const wrong = isUtf8 ? firstNotXml(begin, end) : firstControl(begin, end);
        wrong != end)
        return fail(wrong, tr("the XML is malformed: %1").arg(whyNotXml(wrong, end)));
    return true;
}

/** Reads the ClrMamePro text form: blocks of `name ( ... )` at the top,
    `game`, `machine` and `resource` among them, whose `rom ( ... )` blocks
    are read; each other key is passed over with its value or its block. */
class TextScanner : public Reader
{
public:
    using Reader::Reader;

    bool read();

private:
    struct Token
    {
        enum Kind { Open, Close, Word, Quoted, End } kind = End;
        QByteArrayView text;
        const char *at = nullptr;
        bool hasEscapes = false;
    };

    bool next(Token *token);
    bool readGame(const Token &open, QByteArrayView block);
    bool readRom(const Token &open, const QString &game);
    bool skipBlock(const Token &open, QByteArrayView key);
    bool neverClosed(const Token &open, QByteArrayView key)
    {
        return fail(open.at,
            tr("%1 is never closed: the file ends first")
                .arg(quotedLine(shownText(QString::fromUtf8(key) + QStringLiteral(" (")))));
    }
    static QString textOf(const Token &token);

    const char *p = begin;
};

bool isTextSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

/** The next token into \a token: a parenthesis, a word (which ends at a
    blank), a quoted text, or the end. A quoted text ends on its own line,
    and holds `\"` for a quote and `\\` for a backslash, as the readers of
    the form (Logiqx's DatLib, ckmame) take them; false, with the reason in
    the DAT, when its closing quote is missing. */
bool TextScanner::next(Token *token)
{
    while (p < end && isTextSpace(*p))
        ++p;
    token->at = p;
    token->hasEscapes = false;
    if (p == end) {
        token->kind = Token::End;
        return true;
    }
    // A parenthesis stands alone, or next to another; `(a).bin` is a word.
    if ((*p == '(' || *p == ')')
        && (p + 1 == end || isTextSpace(p[1]) || p[1] == '(' || p[1] == ')')) {
        token->kind = *p == '(' ? Token::Open : Token::Close;
        token->text = { p, 1 };
        ++p;
        return true;
    }
    if (*p == '"') {
        const char *const start = ++p;
        for (; p < end && *p != '"' && *p != '\n' && *p != '\r'; ++p) {
            if (*p == '\\' && p + 1 < end && (p[1] == '"' || p[1] == '\\')) {
                token->hasEscapes = true;
                ++p;
            }
        }
        if (p == end || *p != '"')
            return fail(token->at, tr("a quoted text without its closing quote"));
        token->kind = Token::Quoted;
        token->text = { start, p - start };
        ++p;
        return true;
    }
    const char *const start = p;
    while (p < end && !isTextSpace(*p))
        ++p;
    token->kind = Token::Word;
    token->text = { start, p - start };
    return true;
}

QString TextScanner::textOf(const Token &token)
{
    if (!token.hasEscapes)
        return QString::fromUtf8(token.text);
    QByteArray text;
    text.reserve(token.text.size());
    for (qsizetype i = 0; i < token.text.size(); ++i) {
        if (token.text[i] == '\\' && i + 1 < token.text.size()
            && (token.text[i + 1] == '"' || token.text[i + 1] == '\\'))
            ++i;
        text += token.text[i];
    }
    return QString::fromUtf8(text);
}

bool TextScanner::read()
{
    if (end - p >= 3 && std::memcmp(p, "\xef\xbb\xbf", 3) == 0)
        p += 3;
    for (;;) {
        Token key;
        if (!next(&key))
            return false;
        switch (key.kind) {
        case Token::End:
            return true;
        case Token::Close:
            return fail(key.at, tr("a `)` that closes nothing"));
        case Token::Open:
            return fail(key.at, tr("a `(` without a name before it"));
        default:
            break;
        }
        Token open;
        if (!next(&open))
            return false;
        if (open.kind != Token::Open)
            return fail(key.at,
                tr("this is not a DAT: a block such as `game (` was expected, not %1")
                    .arg(quotedValue(key.text)));
        if (!(isGame(key.text) ? readGame(open, key.text) : skipBlock(open, key.text)))
            return false;
    }
}

bool TextScanner::readGame(const Token &open, QByteArrayView block)
{
    const qsizetype firstRom = dat.roms.size();
    QString game;
    for (;;) {
        Token key;
        if (!next(&key))
            return false;
        if (key.kind == Token::End)
            return neverClosed(open, block);
        if (key.kind == Token::Close)
            break;
        if (key.kind == Token::Open)
            return fail(key.at, tr("a `(` where a name such as `rom` was expected"));
        Token value;
        if (!next(&value))
            return false;
        if (value.kind == Token::End)
            return neverClosed(open, block);
        if (key.text == "rom" && value.kind != Token::Open)
            return fail(key.at, tr("a rom without its `(`"));
        if (value.kind == Token::Open) {
            if (!(key.text == "rom" ? readRom(value, game) : skipBlock(value, key.text)))
                return false;
        } else if (value.kind == Token::Close) {
            break;
        } else if (key.text == "name") {
            game = textOf(value);
            if (const Problem problem = checkGameName(game); !problem.message.isEmpty())
                return fail(value.at, problem.message);
        }
    }
    // The game's name may come after its roms.
    for (qsizetype i = firstRom; i < dat.roms.size(); ++i)
        dat.roms[i].game = game;
    return true;
}

bool TextScanner::readRom(const Token &open, const QString &game)
{
    RomText rom;
    for (;;) {
        Token key;
        if (!next(&key))
            return false;
        if (key.kind == Token::End)
            return neverClosed(open, "rom");
        if (key.kind == Token::Close)
            break;
        if (key.kind == Token::Open)
            return fail(key.at, tr("a `(` where a name such as `size` was expected"));
        // Flags that MAME's old lists write without a value.
        if (key.kind == Token::Word && (key.text == "baddump" || key.text == "nodump"))
            continue;
        Token value;
        if (!next(&value))
            return false;
        if (value.kind == Token::End)
            return neverClosed(open, "rom");
        if (value.kind == Token::Close)
            break;
        if (value.kind == Token::Open) {
            if (!skipBlock(value, key.text))
                return false;
            continue;
        }
        const RomField field{ value.text, value.at };
        if (key.text == "name") {
            rom.hasName = true;
            rom.nameAt = value.at;
            rom.name = textOf(value);
        } else if (key.text == "size") {
            rom.size = field;
        } else if (key.text == "crc") {
            rom.crc = field;
        } else if (key.text == "md5") {
            rom.md5 = field;
        } else if (key.text == "sha1") {
            rom.sha1 = field;
        }
    }
    return addRom(rom, game, open.at);
}

bool TextScanner::skipBlock(const Token &open, QByteArrayView key)
{
    // Each block still open, innermost last, with the key before it.
    std::vector<std::pair<Token, QByteArrayView>> blocks{ { open, key } };
    QByteArrayView previous;
    while (!blocks.empty()) {
        Token token;
        if (!next(&token))
            return false;
        switch (token.kind) {
        case Token::End:
            return neverClosed(blocks.back().first, blocks.back().second);
        case Token::Open:
            blocks.emplace_back(token, previous);
            break;
        case Token::Close:
            blocks.pop_back();
            break;
        default:
            break;
        }
        previous = token.text;
    }
    return true;
}

/** What a DOCTYPE's declarations may add to the text of a DAT that
    QXmlStreamReader reads: an upper bound of the characters its entities and
    the default values of its attributes give, and where the first such
    declaration is. QXmlStreamReader bounds each entity's text by itself, but
    not how often it is used: a few kilobytes of references to one entity can
    fill gigabytes. Each declaration is found wherever it lies (in a comment,
    too), each entity counted at its whole text with the entities it refers
    to, each reference wherever it lies, and each default value at every tag
    of its element: never less than the reader makes. */
class DeclaredText
{
public:
    explicit DeclaredText(QByteArrayView bytes);

    /// At most this many characters; at least (1 << 62) for entities that refer to themselves.
    qint64 bound() const { return total; }
    /// The place of the first declaration that adds any, or null.
    const char *firstAt() const { return first; }

private:
    static constexpr qint64 endless = qint64(1) << 62;
    struct Entity
    {
        std::string_view value;
        qint64 length = -1; ///< with the entities it refers to; -1 before it is worked out
        bool isBeingWorkedOut = false;
    };
    /// Entities within entities deeper than this are taken as endless: no DAT nests them at all.
    static constexpr int deepest = 64;
    using Entities = std::unordered_map<std::string_view, Entity>;

    void declareEntity(std::string_view declaration, const char *at);
    void declareDefaults(std::string_view declaration, const char *at);
    /// The characters of \a value with every entity it refers to, at most.
    qint64 lengthOf(std::string_view value);
    qint64 lengthOf(Entity &entity);
    /// The length of entity \a name of \a entities used once; 0 for one not declared.
    qint64 lengthOf(Entities &entities, std::string_view name);
    static qint64 sum(qint64 a, qint64 b) { return a >= endless - b ? endless : a + b; }
    static qint64 product(qint64 a, qint64 b)
    {
        return b == 0 || a <= endless / b ? std::min(a * b, endless) : endless;
    }

    std::string_view text;
    Entities general, parameters;
    std::unordered_map<std::string_view, qint64> defaults; ///< by element
    qint64 total = 0;
    const char *first = nullptr;
    int depth = 0;
};

std::string_view withoutSpaces(std::string_view text)
{
    while (!text.empty() && isXmlSpace(text.front()))
        text.remove_prefix(1);
    return text;
}

/// The name at the start of \a text, up to a blank, a quote or the end of a reference.
std::string_view nameAtStart(std::string_view text)
{
    static constexpr std::array<bool, 256> ends = [] {
        std::array<bool, 256> bytes{};
        for (const char c : std::string_view(" \t\n\r\v\f\"'%&;<>[]()|,/=?!"))
            bytes[uchar(c)] = true;
        return bytes;
    }();
    size_t length = 0;
    while (length < text.size() && !ends[uchar(text[length])])
        ++length;
    return text.substr(0, length);
}

DeclaredText::DeclaredText(QByteArrayView bytes) : text(bytes.data(), size_t(bytes.size()))
{
    for (const std::string_view keyword :
        { std::string_view("<!ENTITY"), std::string_view("<!ATTLIST") }) {
        for (size_t at = text.find(keyword); at != std::string_view::npos;
             at = text.find(keyword, at + 1)) {
            const std::string_view declaration = text.substr(at + keyword.size());
            if (keyword[2] == 'E')
                declareEntity(declaration, text.data() + at);
            else
                declareDefaults(declaration, text.data() + at);
        }
    }
    if (general.empty() && parameters.empty() && defaults.empty())
        return;
    // Every use of each: a reference, or the tag of an element with defaults.
    for (size_t at = 0; at < text.size(); ++at) {
        const char kind = text[at];
        if (kind != '&' && kind != '%' && kind != '<')
            continue;
        const std::string_view name = nameAtStart(text.substr(at + 1));
        if (kind == '<') {
            if (const auto found = defaults.find(name); found != defaults.end())
                total = sum(total, found->second);
        } else if (at + 1 + name.size() < text.size() && text[at + 1 + name.size()] == ';') {
            total = sum(total, lengthOf(kind == '&' ? general : parameters, name));
        }
    }
}

void DeclaredText::declareEntity(std::string_view declaration, const char *at)
{
    if (declaration.empty() || !isXmlSpace(declaration.front()))
        return;
    declaration = withoutSpaces(declaration);
    Entities *entities = &general;
    if (!declaration.empty() && declaration.front() == '%') {
        entities = &parameters;
        declaration = withoutSpaces(declaration.substr(1));
    }
    const std::string_view name = nameAtStart(declaration);
    declaration = withoutSpaces(declaration.substr(name.size()));
    // An external entity's text is not read.
    if (name.empty() || declaration.empty() || (declaration[0] != '"' && declaration[0] != '\''))
        return;
    const size_t close = declaration.find(declaration[0], 1);
    const std::string_view value =
        declaration.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    // Declared twice, the first counts; the longer is taken, whichever the reader takes.
    Entity &entity = (*entities)[name];
    if (value.size() >= entity.value.size())
        entity.value = value;
    if (!first)
        first = at;
}

void DeclaredText::declareDefaults(std::string_view declaration, const char *at)
{
    declaration = withoutSpaces(declaration);
    const std::string_view element = nameAtStart(declaration);
    if (element.empty())
        return;
    qint64 length = 0;
    // Every value in quotes up to the declaration's end: the defaults, and #FIXED values.
    for (size_t i = element.size(); i < declaration.size() && declaration[i] != '>'; ++i) {
        if (declaration[i] != '"' && declaration[i] != '\'')
            continue;
        const size_t close = declaration.find(declaration[i], i + 1);
        if (close == std::string_view::npos)
            break;
        length = sum(length, lengthOf(declaration.substr(i + 1, close - i - 1)));
        i = close;
    }
    if (length == 0)
        return;
    qint64 &defaultsOf = defaults[element];
    defaultsOf = sum(defaultsOf, length);
    if (!first)
        first = at;
}

qint64 DeclaredText::lengthOf(std::string_view value)
{
    qint64 length = qint64(value.size());
    for (size_t at = value.find_first_of("&%"); at != std::string_view::npos;
         at = value.find_first_of("&%", at + 1)) {
        const std::string_view name = nameAtStart(value.substr(at + 1));
        if (at + 1 + name.size() < value.size() && value[at + 1 + name.size()] == ';')
            length = sum(length, lengthOf(value[at] == '&' ? general : parameters, name));
    }
    return length;
}

qint64 DeclaredText::lengthOf(Entities &entities, std::string_view name)
{
    const auto found = entities.find(name);
    return found == entities.end() ? 0 : lengthOf(found->second);
}

qint64 DeclaredText::lengthOf(Entity &entity)
{
    if (entity.length >= 0)
        return entity.length;
    if (entity.isBeingWorkedOut || depth == deepest)
        return endless;
    entity.isBeingWorkedOut = true;
    ++depth;
    const qint64 length = lengthOf(entity.value);
    --depth;
    entity.isBeingWorkedOut = false;
    entity.length = length;
    return length;
}

/// The most characters that a DOCTYPE's declarations may add to a DAT of \a size bytes: as many
/// as the file holds, and a megabyte in any case.
qint64 mostDeclaredText(qsizetype size)
{
    return std::max<qint64>(size, 1 << 20);
}

/// The Logiqx XML DAT in \a bytes into \a dat, read by QXmlStreamReader once the text that the
/// DOCTYPE's declarations may add is known to be bounded.
void readXmlByQt(const QByteArray &bytes, DatFile &dat)
{
    const DeclaredText declared(bytes);
    if (declared.bound() > mostDeclaredText(bytes.size())) {
        dat.errorLine =
            lineNumber(QByteArrayView(bytes.constData(), declared.firstAt() - bytes.constData()));
        dat.error = tr("line %1: %2")
                        .arg(QString::number(dat.errorLine),
                            tr("the entities and default values that its DOCTYPE declares may "
                               "make more text than the %1 characters allowed a DAT of this "
                               "size: no DAT needs that many")
                                .arg(QString::number(mostDeclaredText(bytes.size()))));
        return;
    }
    XmlStreamReader(bytes, dat).read();
}

/// Where a DAT is read from: inside an archive, the file of it named, and the archive's path.
struct DatSource
{
    QString entry;
    QString path;
};

/// The DAT in \a bytes, the whole file; Logiqx XML read by QXmlStreamReader alone when \a
/// isQtAlone.
DatFile readDatBytes(const QByteArray &bytes, bool isQtAlone, const DatSource &source)
{
    DatFile dat;
    const QByteArrayView text = bytes;
    if (isPackedDat(text)) {
        const UnpackedDat unpacked = unpackDat(text, source.entry, source.path);
        if (!unpacked.isUnpacked()) {
            dat.error = unpacked.error;
            return dat;
        }
        dat = readDatBytes(unpacked.text, isQtAlone, {});
        // Its lines are those of the file in the archive, named in the text, not the archive's.
        if (!dat.isRead() && !unpacked.name.isEmpty())
            dat.error = tr("\"%1\" in it: %2").arg(shownLine(unpacked.name), dat.error);
        dat.errorLine = 0;
        return dat;
    }
    if (!source.entry.isEmpty()) {
        dat.error =
            tr("it is not a ZIP archive, so it holds no \"%1\"").arg(shownLine(source.entry));
        return dat;
    }
    // With a byte order mark, or without one: `<` and a zero byte, either way round.
    if (text.startsWith("\xff\xfe") || text.startsWith("\xfe\xff")
        || text.startsWith(QByteArrayView("<\0", 2)) || text.startsWith(QByteArrayView("\0<", 2))) {
        dat.errorLine = 1;
        dat.error = tr("line %1: %2")
                        .arg(QString::number(dat.errorLine),
                            tr("the DAT is saved as UTF-16 text, not as UTF-8"));
        return dat;
    }
    qsizetype first = text.startsWith("\xef\xbb\xbf") ? 3 : 0;
    while (first < text.size() && isTextSpace(text[first]))
        ++first;
    if (first < text.size() && text[first] == '<') {
        XmlScanner scanner(text, dat);
        if (isQtAlone) {
            readXmlByQt(bytes, dat);
        } else if (!scanner.read() && scanner.isBeyond()) {
            dat = DatFile();
            readXmlByQt(bytes, dat);
        }
    } else {
        TextScanner(text, dat).read();
    }
    if (dat.isRead() && dat.roms.isEmpty())
        dat.error = tr("the DAT holds no files");
    return dat;
}

} // namespace

QList<qsizetype> DatFile::withSize(qint64 size) const
{
    QList<qsizetype> indexes;
    for (auto it = std::lower_bound(bySize.begin(), bySize.end(), std::pair{ size, qsizetype(-1) });
         it != bySize.end() && it->first == size; ++it)
        indexes.append(it->second);
    return indexes;
}

namespace {

/// The DAT that \a device holds, with Logiqx XML read by QXmlStreamReader alone when \a isQtAlone.
DatFile readDevice(QIODevice &device, bool isQtAlone, const DatSource &source)
{
    DatFile dat;
    if (!device.isReadable()) {
        dat.error = tr("it is not open for reading");
        return dat;
    }
    const QByteArray bytes = device.readAll();
    if (const auto *file = qobject_cast<const QFileDevice *>(&device);
        file && file->error() != QFileDevice::NoError) {
        dat.error = file->errorString();
        return dat;
    }
    return readDatBytes(bytes, isQtAlone, source);
}

/** \a path split where it goes into a ZIP archive: "Pack.zip/Sony.dat" is
    Sony.dat in Pack.zip, when Pack.zip is a file, as archivers show a ZIP
    archive as a folder. A path that names a file as it is stays whole. */
DatSource archiveSource(const QString &path)
{
    if (QFileInfo::exists(path))
        return { {}, path };
    const QString slashed = QDir::fromNativeSeparators(path);
    for (qsizetype at = slashed.lastIndexOf(u'/'); at > 0; at = slashed.lastIndexOf(u'/', at - 1)) {
        const QString archive = path.left(at);
        if (QFileInfo(archive).isFile())
            return { slashed.mid(at + 1), archive };
    }
    return { {}, path };
}

} // namespace

void DatFile::finish()
{
    if (!isRead()) {
        roms.clear();
        return;
    }
    bySize.reserve(roms.size());
    for (qsizetype i = 0; i < roms.size(); ++i) {
        if (roms[i].size >= 0)
            bySize.append({ roms[i].size, i });
    }
    std::sort(bySize.begin(), bySize.end());
}

DatFile readDat(QIODevice &device, const QString &entry)
{
    DatFile dat = readDevice(device, false, { entry, {} });
    dat.finish();
    return dat;
}

DatFile readDatByQt(QIODevice &device)
{
    DatFile dat = readDevice(device, true, {});
    dat.finish();
    return dat;
}

DatFile readDat(const QString &path)
{
    const DatSource source = archiveSource(path);
    QFile file;
    if (QString reason; !openRegularFile(file, source.path, &reason)) {
        DatFile dat;
        dat.error = reason;
        return dat;
    }
    DatFile dat = readDevice(file, false, source);
    dat.finish();
    return dat;
}

} // namespace morvant
