#include "datFile.h"

#include "basics.h"
#include "fileSystem.h"
#include "translation.h"

#include <QFile>
#include <QIODevice>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
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

/// The rom that \a text gives into \a rom, or why it gives none. A field the
/// DAT leaves empty is one it does not give.
Problem checkRom(const RomText &text, DatRom *rom)
{
    if (!text.hasName || text.name.isEmpty())
        return { tr("a rom without a name"), text.nameAt };
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
    qint64 lineAt(const char *at) const { return qint64(std::count(begin, at, '\n')) + 1; }

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

/// The bytes that end an element's or an attribute's name.
constexpr std::array<bool, 256> endsName = [] {
    std::array<bool, 256> ends{};
    for (const char c : std::string_view(" \t\n\r/>=<\"'\0", 11))
        ends[uchar(c)] = true;
    return ends;
}();

/// The character \a code in UTF-8 at the end of \a bytes; false for one that XML does not allow.
bool appendUtf8(QByteArray &bytes, uint code)
{
    if (code == 0 || (code >= 0xd800 && code < 0xe000) || code > 0x10ffff)
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
    if (digits.isEmpty() || digits.size() > 8 || hexDigit(digits[0]) < 0)
        return false;
    bool isNumber = false;
    const uint code = digits.toUInt(&isNumber, isHex ? 16 : 10);
    return isNumber && appendUtf8(bytes, code);
}

/** Reads Logiqx XML of the subset of XML that DATs use: elements, attributes
    in either quote, the five entities and character references, comments,
    CDATA sections and processing instructions, and a DOCTYPE that declares
    nothing itself. Text between elements is passed over. */
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
    QByteArrayView readName();
    bool readStartTag();
    /// Reads `name="value"` inside the tag that starts at \a at: the value as it stands.
    bool readAttribute(const char *at, QByteArrayView *name, QByteArrayView *raw);
    bool readEndTag();
    bool readMarkup();
    bool readProcessingInstruction();
    bool readDoctype(const char *at);
    bool value(QByteArrayView text, const char *at, QByteArray *storage, QByteArrayView *result);
    bool text(QByteArrayView bytes, const char *at, QString *result);
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
    qsizetype gameLevel = -1; ///< the game element's place in open, or -1 outside one
    QString game;
    bool hasRoot = false;
    bool beyond = false;
    QByteArray storage[5];
};

QByteArrayView XmlScanner::readName()
{
    const char *const start = p;
    while (p < end && !endsName[uchar(*p)])
        ++p;
    return { start, p - start };
}

bool XmlScanner::read()
{
    if (end - p >= 3 && std::memcmp(p, "\xef\xbb\xbf", 3) == 0)
        p += 3;
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
            // Text inside elements says nothing that a DAT's files need.
            const void *const next = std::memchr(p, '<', size_t(end - p));
            if (!next) {
                p = end;
                break;
            }
            p = static_cast<const char *>(next);
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

bool XmlScanner::readAttribute(const char *at, QByteArrayView *name, QByteArrayView *raw)
{
    *name = readName();
    if (name->isEmpty())
        return malformed(at, tr("a tag that is not of the form <name attribute=\"value\">"));
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
    const QByteArrayView name = readName();
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
    for (;;) {
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
        QByteArrayView attribute;
        QByteArrayView raw;
        if (!readAttribute(at, &attribute, &raw))
            return false;
        if (startsGame && attribute == "name") {
            if (!text(raw, at, &gameName))
                return false;
        } else if (isRom) {
            const auto field = [&](RomField &into, QByteArray &store) {
                into.at = at;
                return value(raw, at, &store, &into.text);
            };
            bool isRead = true;
            if (attribute == "name") {
                rom.hasName = true;
                rom.nameAt = at;
                isRead = text(raw, at, &rom.name);
            } else if (attribute == "size") {
                isRead = field(rom.size, storage[1]);
            } else if (attribute == "crc") {
                isRead = field(rom.crc, storage[2]);
            } else if (attribute == "md5") {
                isRead = field(rom.md5, storage[3]);
            } else if (attribute == "sha1") {
                isRead = field(rom.sha1, storage[4]);
            }
            if (!isRead)
                return false;
        }
    }
    hasRoot = true;
    if (isRom && !addRom(rom, game, at))
        return false;
    if (!isEmptyElement) {
        if (startsGame) {
            game = gameName;
            gameLevel = qsizetype(open.size());
        }
        open.push_back({ name, at });
    }
    return true;
}

bool XmlScanner::readEndTag()
{
    const char *const at = p;
    p += 2;
    const QByteArrayView name = readName();
    skipSpaces();
    if (p == end)
        return endsInside(at, tr("a tag"));
    if (*p != '>' || name.isEmpty())
        return malformed(at, tr("a closing tag that is not of the form </name>"));
    ++p;
    const QString shownName = shownText(QString::fromUtf8(name));
    if (open.empty())
        return malformed(at, tr("</%1> closes no element").arg(shownName));
    if (open.back().name != name)
        return malformed(at,
            tr("</%1> where <%2> of line %3 is to be closed")
                .arg(shownName, shownText(QString::fromUtf8(open.back().name)),
                    QString::number(lineAt(open.back().at))));
    if (gameLevel == qsizetype(open.size()) - 1)
        gameLevel = -1;
    open.pop_back();
    return true;
}

bool XmlScanner::readProcessingInstruction()
{
    const char *const at = p;
    const char *const close = find(p + 2, "?>");
    if (!close)
        return endsInside(at, tr("a processing instruction"));
    const std::string_view instruction(p + 2, size_t(close - p - 2));
    p = close + 2;
    // The XML declaration, before every element, names the encoding; without one it is UTF-8.
    const std::string_view target = instruction.substr(0, 4);
    if (hasRoot
        || (target != "xml " && target != "xml\t" && target != "xml\n" && target != "xml\r"))
        return true;
    const size_t named = instruction.find("encoding");
    if (named == std::string_view::npos)
        return true;
    const size_t quote = instruction.find_first_of("\"'", named);
    if (quote == std::string_view::npos)
        return malformed(at, tr("an XML declaration whose encoding has no quotes"));
    const size_t closeQuote = instruction.find(instruction[quote], quote + 1);
    if (closeQuote == std::string_view::npos)
        return malformed(at, tr("an XML declaration whose encoding has no quotes"));
    const QByteArray encoding =
        QByteArray(instruction.data() + quote + 1, qsizetype(closeQuote - quote - 1)).toLower();
    if (encoding != "utf-8" && encoding != "utf8" && encoding != "us-ascii"
        && encoding != "ascii") {
        beyond = true;
        return false;
    }
    return true;
}

bool XmlScanner::readMarkup()
{
    const char *const at = p;
    const std::string_view rest(p, size_t(end - p));
    if (rest.substr(0, 4) == "<!--") {
        const char *const close = find(p + 4, "-->");
        if (!close)
            return endsInside(at, tr("a comment"));
        p = close + 3;
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

bool XmlScanner::readDoctype(const char *at)
{
    if (hasRoot)
        return malformed(at, tr("a DOCTYPE after the first element"));
    for (p += 9; p < end; ++p) {
        if (*p == '"' || *p == '\'') {
            const void *const close = std::memchr(p + 1, *p, size_t(end - p - 1));
            if (!close)
                break;
            p = static_cast<const char *>(close);
        } else if (*p == '[') {
            // Declarations of its own may declare entities: QXmlStreamReader reads those.
            beyond = true;
            return false;
        } else if (*p == '>') {
            ++p;
            return true;
        }
    }
    return endsInside(at, tr("a DOCTYPE"));
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
        if (semicolon < 0 || !appendEntity(*storage, text.sliced(i + 1, semicolon - i - 1))) {
            const qsizetype shown = semicolon < 0 ? text.size() - i : semicolon + 1 - i;
            return malformed(
                at, tr("an unknown entity %1").arg(quotedValue(text.sliced(i, shown))));
        }
        i = semicolon;
        plain = i + 1;
    }
    storage->append(text.sliced(plain));
    *result = *storage;
    return true;
}

/// The value \a bytes of an attribute as text in \a result; false when it is not UTF-8.
bool XmlScanner::text(QByteArrayView bytes, const char *at, QString *result)
{
    QByteArrayView decoded;
    if (!value(bytes, at, &storage[0], &decoded))
        return false;
    if (!decoded.isValidUtf8())
        return malformed(at, tr("a name that is not UTF-8 text"));
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
    qint64 line() const;

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

// QXmlStreamReader counts the line ends of an entity's text each time the
// entity is used, so the line is counted in the file's own text, up to the
// characters read.
qint64 XmlStreamReader::line() const
{
    QStringDecoder decoder(xml.documentEncoding().toLatin1().constData());
    const QByteArrayView file(begin, end - begin);
    const QString text = decoder.isValid() ? decoder.decode(file) : QString::fromLatin1(file);
    const qsizetype read = qBound<qsizetype>(0, xml.characterOffset(), text.size());
    return QStringView(text).first(read).count(u'\n') + 1;
}

bool XmlStreamReader::read()
{
    qsizetype depth = 0;
    qsizetype gameDepth = -1;
    QString game;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            ++depth;
            const QByteArray name = xml.name().toUtf8();
            if (gameDepth < 0 && isGame(name)) {
                gameDepth = depth;
                game = xml.attributes().value(QLatin1String("name")).toString();
            } else if (name == "rom" && gameDepth >= 0 && depth == gameDepth + 1) {
                DatRom rom;
                rom.game = game;
                if (const Problem problem = checkRom(romText(), &rom); !problem.message.isEmpty())
                    return failOnLine(line(), problem.message);
                dat.roms.append(std::move(rom));
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            if (depth == gameDepth)
                gameDepth = -1;
            --depth;
            break;
        default:
            break;
        }
    }
    if (xml.hasError())
        return failOnLine(line(), tr("the XML is malformed: %1").arg(xml.errorString()));
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
        for (; p < end && *p != '"' && *p != '\n'; ++p) {
            if (*p == '\\' && p + 1 < end && (p[1] == '"' || p[1] == '\\')) {
                token->hasEscapes = true;
                ++p;
            }
        }
        if (p == end || *p == '\n')
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

/// The DAT in \a bytes, the whole file.
DatFile readDatBytes(const QByteArray &bytes)
{
    DatFile dat;
    const QByteArrayView text = bytes;
    if (text.startsWith("\xff\xfe") || text.startsWith("\xfe\xff")) {
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
        if (!scanner.read() && scanner.isBeyond()) {
            dat = DatFile();
            XmlStreamReader(bytes, dat).read();
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

DatFile readDat(QIODevice &device)
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
    dat = readDatBytes(bytes);
    if (!dat.isRead()) {
        dat.roms.clear();
        return dat;
    }
    dat.bySize.reserve(dat.roms.size());
    for (qsizetype i = 0; i < dat.roms.size(); ++i) {
        if (dat.roms[i].size >= 0)
            dat.bySize.append({ dat.roms[i].size, i });
    }
    std::sort(dat.bySize.begin(), dat.bySize.end());
    return dat;
}

DatFile readDat(const QString &path)
{
    QFile file;
    if (QString reason; !openRegularFile(file, path, &reason)) {
        DatFile dat;
        dat.error = reason;
        return dat;
    }
    return readDat(file);
}

} // namespace morvant
