#include "controlFile.h"

#include "cueSheet.h"

#include "fileSystem.h"
#include "lineReader.h"
#include "numbers.h"
#include "translation.h"

#include <QFile>
#include <QMap>
#include <QStringDecoder>

#include <algorithm>
#include <string_view>

namespace morvant {

namespace {

constexpr std::string_view sessionsKey = "Sessions=";

bool isAscii(QByteArrayView line)
{
    unsigned char bits = 0;
    for (const char c : line)
        bits |= static_cast<unsigned char>(c);
    return bits < 0x80;
}

// Each line is decoded on its own, into one buffer that every line reuses.
// U+FEFF at the start of a line is an ordinary character of it: only the
// file's very first bytes may be a byte-order mark, and the line reader has
// already skipped those.
class LineDecoder
{
public:
    QStringView decode(QByteArrayView bytes, bool isAscii)
    {
        // A plain ASCII line is each byte widened, which Qt does many bytes a step.
        if (isAscii) {
            buffer = QLatin1String(bytes.data(), bytes.size());
            return buffer;
        }
        const qsizetype space = decoder.requiredSpace(bytes.size());
        if (buffer.size() < space)
            buffer.resize(space);
        const QChar *end = decoder.appendToBuffer(buffer.data(), bytes);
        return QStringView(buffer.constData(), end - buffer.constData());
    }

private:
    QStringDecoder decoder{ systemTextEncoding(),
        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom };
    QString buffer;
};

// The value of a digit of \a base (10 or 16), or -1.
int digitValue(char16_t unit, int base)
{
    if (unit >= u'0' && unit <= u'9')
        return unit - u'0';
    if (base == 16 && unit >= u'a' && unit <= u'f')
        return unit - u'a' + 10;
    if (base == 16 && unit >= u'A' && unit <= u'F')
        return unit - u'A' + 10;
    return -1;
}

// Table-of-contents values are written as 0x01 or as 1. A table of 99
// tracks has hundreds of them, nearly all a few plain digits, which are
// read here as QString::toLongLong() reads them without its many cases of
// signs and blanks; anything else is left to it.
std::optional<qint64> tocNumber(QStringView text)
{
    const bool isHex = text.startsWith(u"0x", Qt::CaseInsensitive);
    const QStringView digits = isHex ? text.sliced(2) : text;
    const int base = isHex ? 16 : 10;
    // Short enough that no value overflows.
    if (!digits.isEmpty() && digits.size() <= 15) {
        qint64 value = 0;
        for (const QChar c : digits) {
            const int digit = digitValue(c.unicode(), base);
            if (digit < 0) {
                value = -1;
                break;
            }
            value = value * base + digit;
        }
        if (value >= 0)
            return value;
    }
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok, base);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

bool isAsciiText(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

char16_t asciiUpper(char16_t unit)
{
    return unit >= u'a' && unit <= u'z' ? char16_t(unit - u'a' + u'A') : unit;
}

// \a text as QString::toUpper() gives it, into \a upper, whose room is kept
// from one section to the next. Names are nearly always ASCII, which needs
// no table of letter cases.
void setUpperCased(QString &upper, QStringView text)
{
    if (!isAsciiText(text)) {
        upper = text.toString().toUpper();
        return;
    }
    upper.resize(text.size());
    std::transform(text.begin(), text.end(), upper.begin(),
        [](QChar c) { return QChar(asciiUpper(c.unicode())); });
}

// The keys whose entries the sections are read for.
enum class Key {
    Other,
    Catalog,
    Isrc,
    DataTracksScrambled,
    PreGapMode,
    Session,
    Point,
    Control,
    Plba,
    PSec
};

constexpr std::pair<QLatin1String, Key> sectionKeys[] = {
    { QLatin1String("CATALOG"), Key::Catalog },
    { QLatin1String("ISRC"), Key::Isrc },
    { QLatin1String("DATATRACKSSCRAMBLED"), Key::DataTracksScrambled },
    { QLatin1String("PREGAPMODE"), Key::PreGapMode },
    { QLatin1String("SESSION"), Key::Session },
    { QLatin1String("POINT"), Key::Point },
    { QLatin1String("CONTROL"), Key::Control },
    { QLatin1String("PLBA"), Key::Plba },
    { QLatin1String("PSEC"), Key::PSec },
};

char16_t unitOf(QChar c)
{
    return c.unicode();
}

char16_t unitOf(char c)
{
    return uchar(c);
}

// Which of those keys \a name, in ASCII, is in any letter case.
template <typename Name> Key asciiKeyOf(Name name)
{
    for (const auto &[text, key] : sectionKeys) {
        if (name.size() == text.size()
            && std::equal(name.begin(), name.end(), text.begin(),
                [](auto a, char b) { return asciiUpper(unitOf(a)) == char16_t(b); }))
            return key;
    }
    return Key::Other;
}

// Which of those keys \a name is, in any letter case: as its QString::toUpper()
// compares, worked out without a new string for each line where it is ASCII.
Key keyOf(QStringView name)
{
    if (isAsciiText(name))
        return asciiKeyOf(name);
    const QString upper = name.toString().toUpper();
    for (const auto &[text, key] : sectionKeys) {
        if (upper == text)
            return key;
    }
    return Key::Other;
}

// Whether \a upperSection, a section's name upper-cased, is "SESSION n" for
// a session after the first.
bool isLaterSessionName(QStringView upperSection)
{
    constexpr QStringView prefix(u"SESSION ");
    if (!upperSection.startsWith(prefix) || upperSection.size() == prefix.size())
        return false;
    const QStringView digits = upperSection.sliced(prefix.size());
    if (!std::all_of(digits.begin(), digits.end(),
            [](QChar c) { return c.unicode() >= u'0' && c.unicode() <= u'9'; }))
        return false;
    // Past what an int holds it reads as 0, no later session.
    return digits.toInt() > 1;
}

// Reads the [section] headers and key=value entries of the control file's INI
// form, and gathers what the sections say. Names and keys are compared
// without regard to case, since hand-edited files vary. Every line of a file
// passes through here when its sections are read, so what a section's name
// says is worked out once at its header, and an entry's value is copied only
// when it is kept.
class SectionReader
{
public:
    explicit SectionReader(ControlFileSections &sections) : sections(sections) { }

    void read(ControlFileLine &line)
    {
        const QStringView trimmed = line.text.trimmed();
        line.startsSection = trimmed.startsWith(u'[') && trimmed.endsWith(u']');
        if (line.startsSection) {
            section = trimmed.sliced(1, trimmed.size() - 2).toString().simplified();
            sectionLine = line.number;
            startSection(line.number);
        } else if (const qsizetype equals = trimmed.indexOf(u'='); equals > 0) {
            takeEntry(
                line.number, trimmed.first(equals).trimmed(), trimmed.sliced(equals + 1).trimmed());
        }
        line.section = section;
        line.sectionLine = sectionLine;
    }

    /** Whether read() would take anything from the ASCII line \a bytes: it
        may start a section, lies in the [CDText] section, or gives a key
        that some section is read for. The others need not be decoded where
        no caller is handed every line. */
    bool mayTake(QByteArrayView bytes) const
    {
        const QByteArrayView trimmed = bytes.trimmed();
        if (trimmed.startsWith('['))
            return true;
        const qsizetype equals = trimmed.indexOf('=');
        return equals > 0
            && (isCdText || asciiKeyOf(trimmed.first(equals).trimmed()) != Key::Other);
    }

private:
    void startSection(int number)
    {
        setUpperCased(upperSection, section);
        tocIndex = -1;
        isCdText = upperSection == u"CDTEXT";
        isDisc = upperSection == u"DISC";
        isTrack = upperSection.startsWith(u"TRACK");
        sections.hasCdText = sections.hasCdText || isCdText;
        if (upperSection.startsWith(u"ENTRY ")) {
            sections.toc.append({ number, 1, {}, {}, {}, {} });
            tocIndex = sections.toc.size() - 1;
        }
        if (isLaterSessionName(upperSection) && !sections.laterSessionLine)
            sections.laterSessionLine = number;
    }

    void takeEntry(int number, QStringView name, QStringView value)
    {
        const Key key = keyOf(name);
        if (isCdText) {
            if (sections.cdText.size() < maxCdTextEntries)
                sections.cdText.append({ name.toString(), value.toString(), number });
        } else if (isDisc && key == Key::Catalog && !sections.catalogLine) {
            sections.catalog = value.toString();
            sections.catalogLine = number;
        } else if (isDisc && key == Key::Catalog && value != sections.catalog
            && !sections.otherCatalogLine) {
            sections.otherCatalog = value.toString();
            sections.otherCatalogLine = number;
        } else if (isTrack && key == Key::Isrc) {
            sections.isrcs.append({ value.toString(), number, sectionLine });
        } else if (isDisc && key == Key::DataTracksScrambled) {
            sections.scrambled = value.toString();
            sections.scrambledLine = number;
        } else if (key == Key::PreGapMode && sections.preGapMode.isEmpty()) {
            sections.preGapMode = value.toString();
        } else if (tocIndex >= 0) {
            TocEntry &entry = sections.toc[tocIndex];
            if (key == Key::Session) {
                entry.session = tocNumber(value).value_or(1);
                if (entry.session > 1 && !sections.laterSessionLine)
                    sections.laterSessionLine = number;
            } else if (key == Key::Point) {
                entry.point = tocNumber(value);
            } else if (key == Key::Control) {
                entry.control = tocNumber(value);
            } else if (key == Key::Plba) {
                entry.plba = tocNumber(value);
            } else if (key == Key::PSec) {
                entry.psec = tocNumber(value);
            }
        }
    }

    ControlFileSections &sections;
    QString section;
    QString upperSection;
    bool isCdText = false;
    bool isDisc = false;
    bool isTrack = false; ///< the section's name starts with "TRACK"
    int sectionLine = 0;
    qsizetype tocIndex = -1; ///< of the [Entry] section that the lines are in
};

// The window's file dialog and a drop hand over a name that is not UTF-8
// with U+FFFD in place of its bytes, and no file has that name: the system's
// "No such file or directory" would then deny a file that the user can see.
// The command line reaches such a name by its bytes.
QString openFailure(const QString &reason, const QString &path)
{
    return hasLostItsBytes(path) ? lostBytesReason() : reason;
}

// A control file saved again by an editor as "Unicode": CloneCD writes 8-bit
// text, so its first line would read as anything but "[CloneCD]".
bool isUtf16Text(QFile &file)
{
    if (!file.seek(0))
        return false;
    const QByteArray start = file.read(2);
    return start == "\xFF\xFE" || start == "\xFE\xFF" || start == QByteArrayView("[\0", 2)
        || start == QByteArrayView("\0[", 2);
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Whether \a name, a section's name in ASCII, is "Disc" in any letter case.
bool isDiscName(QByteArrayView name)
{
    constexpr QByteArrayView disc("disc");
    return name.size() == disc.size()
        && std::equal(name.begin(), name.end(), disc.begin(),
            [](char a, char b) { return asciiLower(a) == b; });
}

// Whether a line of the [Disc] section may be its DataTracksScrambled= entry,
// the one the fast path reads: told from its bytes, in any letter case,
// without decoding it.
bool mayGiveScrambling(QByteArrayView line)
{
    constexpr QByteArrayView key("datatrackssc");
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return std::search(line.begin(), line.end(), key.begin(), key.end(), [&](char a, char b) {
        return lower(a) == b;
    }) != line.end();
}

} // namespace

std::optional<int> sessionCount(QStringView value)
{
    const std::optional<qint64> count = tocNumber(value.trimmed());
    return count && *count >= 1 && *count <= 99 ? std::optional<int>(int(*count)) : std::nullopt;
}

ScanOutcome refusedFor(Refusal refusal, const QString &reason)
{
    ScanOutcome outcome;
    outcome.refusal = refusal;
    outcome.reason = reason;
    return outcome;
}

namespace {

// One scan of a control file, from its first line to its last: what the
// reading has reached, and what it has gathered so far. The scan is what a
// conversion spends its time on, so its steps are small functions defined in
// the class, which the compiler inlines into the loops over the lines.
class ControlFileScan
{
public:
    ControlFileScan(QFile &file, QString *cueSheet, CueSheetBuilder *builder,
        const LineHandler &onLine, bool everyLine, bool withSessions)
        : file(file), reader(file), cueSheet(cueSheet), builder(builder), onLine(onLine),
          everyLine(everyLine), withSessions(withSessions)
    {
    }

    // The steps in the order the file is read; each gives the outcome of a
    // file that it refuses, and nothing when the next step may follow.
    std::optional<ScanOutcome> readFirstLine()
    {
        // A longer first line is refused as soon as it is known to be longer, so
        // that a disc image chosen by mistake is not read any further.
        constexpr QByteArrayView firstLine("[CloneCD]");
        const LineReader::Result result = reader.next(&bytes, firstLine.size());
        if (result != LineReader::Result::Line || bytes != firstLine) {
            if (result != LineReader::Result::ReadError && isUtf16Text(file))
                return refusedFor(Refusal::Utf16Text);
            return refusal(result);
        }
        line.number = 1;
        if (everyLine) {
            line.text = decoder.decode(bytes, isAscii(bytes));
            handOut();
        }
        return std::nullopt;
    }

    // Whatever stands between the first line and the sessions line is passed
    // over by the rules.
    std::optional<ScanOutcome> readUntilSessions()
    {
        while (!line.isPastSessions) {
            const LineReader::Result result = reader.next(&bytes);
            if (result != LineReader::Result::Line)
                return refusal(result);
            ++line.number;
            const bool maySpeakOfSessions = keywordAt(bytes, sessionsKey) >= 0;
            if (!maySpeakOfSessions && !everyLine) {
                readDiscSection(bytes);
                continue;
            }
            line.text = decoder.decode(bytes, isAscii(bytes));
            const qsizetype at = maySpeakOfSessions ? keywordAt(line.text, sessionsKey) : -1;
            if (at >= 0) {
                if (std::optional<ScanOutcome> refused =
                        takeSessions(line.text.sliced(at + qsizetype(sessionsKey.size()))))
                    return refused;
            }
            if (everyLine)
                handOut();
            line.isPastSessions = at >= 0;
        }
        return std::nullopt;
    }

    std::optional<ScanOutcome> readKeywordLines()
    {
        LineReader::Result result;
        while ((result = reader.next(&bytes)) == LineReader::Result::Line) {
            ++line.number;
            // Keywords are ASCII, and every 8-bit code page writes ASCII as
            // itself, so a line that lacks a keyword's bytes lacks the keyword:
            // only the lines that have them are worth decoding. In a plain ASCII
            // line a byte is a character, so what the bytes show holds for the
            // text, and the cue sheet takes its pieces from the bytes, widened
            // only as they are appended; in any other line the decoded text
            // decides, because in a double-byte code page the bytes may straddle
            // characters.
            const Keyword keyword = firstKeyword(bytes);
            if (!everyLine && keyword.rule == LineRule::None) {
                readDiscSection(bytes);
                continue;
            }
            // A [TRACK n] header ends the [Disc] section as any other does.
            if (!everyLine && isInDisc && keyword.rule == LineRule::Track)
                readDiscSection(bytes);
            const bool isPlain = isAscii(bytes);
            if (isPlain) {
                const QLatin1String text(bytes.data(), bytes.size());
                if (cueSheet)
                    appendCuePiece(*cueSheet, text, keyword);
                noteRule(keyword.rule);
                if (keyword.rule == LineRule::Track)
                    noteTrack(piecesOf(text, keyword).number);
                // Where no caller is handed every line, one that tells the
                // sections nothing is not decoded either.
                if (!everyLine || (!onLine && !sections.mayTake(bytes))) {
                    if (builder)
                        builder->take(line.number, piecesOf(text, keyword));
                    continue;
                }
            }
            line.text = decoder.decode(bytes, isPlain);
            line.ruled = isPlain ? piecesOf(line.text, keyword) : ruleOf(line.text);
            if (!isPlain) {
                if (cueSheet)
                    appendCuePiece(*cueSheet, line.ruled);
                noteRule(line.ruled.rule);
                if (line.ruled.rule == LineRule::Track)
                    noteTrack(line.ruled.number.toString());
            }
            if (builder)
                builder->take(line.number, line.ruled);
            if (everyLine)
                handOut();
        }
        if (result != LineReader::Result::End)
            return refusal(result);
        return std::nullopt;
    }

    ScanOutcome takeOutcome() { return std::move(outcome); }

private:
    // Past the first line the file is a control file by its looks: a line
    // that is too long is named, not taken for a file of another kind.
    ScanOutcome refusal(LineReader::Result result) const
    {
        if (result == LineReader::Result::ReadError)
            return refusedFor(Refusal::Unreadable, file.errorString());
        if (result == LineReader::Result::TooLong && line.number > 0) {
            ScanOutcome tooLong = refusedFor(Refusal::LineTooLong);
            tooLong.tooLongLine = line.number + 1;
            return tooLong;
        }
        return refusedFor(Refusal::NotControlFile);
    }

    // The value of the Sessions= line: one session, or with the file's
    // sessions as many as sessionCount() reads; any other refuses the file.
    std::optional<ScanOutcome> takeSessions(QStringView sessions)
    {
        const std::optional<int> count = withSessions ? sessionCount(sessions) : std::nullopt;
        if (count) {
            outcome.sessions = line.sessions = *count;
            outcome.sections.sessionsLine = line.number;
        } else if (sessions != u"1") {
            ScanOutcome multiSession = refusedFor(Refusal::MultiSession);
            multiSession.sections.sessionsLine = line.number;
            multiSession.sections.sessions = sessions.toString();
            return multiSession;
        }
        return std::nullopt;
    }

    void handOut()
    {
        sections.read(line);
        if (onLine)
            onLine(line);
    }

    void noteRule(LineRule rule)
    {
        outcome.hasTrackLines = outcome.hasTrackLines || rule == LineRule::Track;
        if (rule != LineRule::Track && rule != LineRule::None)
            wasTrackEmpty = false;
    }

    // A [TRACK n] header right after one of the same track leaves the first
    // TRACK line of the cue sheet without a mode, running into the second.
    void noteTrack(const QString &number)
    {
        if (wasTrackEmpty && !outcome.doubledTrack
            && cueNumber(number) == cueNumber(lastTrackNumber))
            outcome.doubledTrack = DoubledTrack{ lastTrackLine, line.number, lastTrackNumber };
        lastTrackNumber = number;
        lastTrackLine = line.number;
        wasTrackEmpty = true;
    }

    // Without every line, the [Disc] section is read all the same: what it
    // says of the whole image is told of in every conversion. A line that
    // starts a section is known by its first byte, so the others cost no
    // decoding.
    void readDiscSection(QByteArrayView lineBytes)
    {
        const QByteArrayView trimmed = lineBytes.trimmed();
        // Decoded, a header starts with '['; bytes before it can only be
        // blanks outside ASCII. The first byte tells, with no scan of the line.
        const bool mayStartSection =
            !trimmed.isEmpty() && (trimmed.front() == '[' || uchar(trimmed.front()) >= 0x80);
        if (mayStartSection && trimmed.endsWith(']') && isAscii(trimmed)) {
            // In plain ASCII the bytes tell a section's name as the decoded
            // text would: only [Disc] and the header that ends it are read.
            const bool wasInDisc = isInDisc;
            isInDisc = isDiscName(trimmed.sliced(1, trimmed.size() - 2).trimmed());
            if (!isInDisc && !wasInDisc)
                return;
        } else if (!mayStartSection && (!isInDisc || !mayGiveScrambling(lineBytes))) {
            return;
        }
        line.text = decoder.decode(lineBytes, isAscii(lineBytes));
        sections.read(line);
        if (line.startsSection)
            isInDisc = line.section.compare(u"Disc", Qt::CaseInsensitive) == 0;
    }

    QFile &file;
    LineReader reader;
    QString *cueSheet;
    CueSheetBuilder *builder;
    const LineHandler &onLine;
    const bool everyLine;
    const bool withSessions;
    ControlFileLine line;
    ScanOutcome outcome;
    LineDecoder decoder;
    SectionReader sections{ outcome.sections };
    QByteArrayView bytes;
    bool isInDisc = false;
    QString lastTrackNumber; ///< as the last [TRACK n] header writes it
    int lastTrackLine = 0;
    bool wasTrackEmpty = false; ///< no line of the rules has followed that header
};

} // namespace

ScanOutcome scanControlFile(const QString &path, QString *cueSheet, CueSheetBuilder *builder,
    const LineHandler &onLine, bool everyLine, bool withSessions)
{
    QFile file;
    if (QString reason; !openForReading(file, path, &reason))
        return refusedFor(Refusal::Unreadable, openFailure(reason, path));
    ControlFileScan scan(file, cueSheet, builder, onLine, everyLine, withSessions);
    if (std::optional<ScanOutcome> refused = scan.readFirstLine())
        return std::move(*refused);
    if (std::optional<ScanOutcome> refused = scan.readUntilSessions())
        return std::move(*refused);
    if (std::optional<ScanOutcome> refused = scan.readKeywordLines())
        return std::move(*refused);
    return scan.takeOutcome();
}

namespace {

// For each point from 1 to 99, the first [Entry] of that point in \a session,
// or in any session when none is given.
QMap<int, const TocEntry *> tocTracksIn(
    const ControlFileSections &sections, std::optional<qint64> session)
{
    QMap<int, const TocEntry *> tracks;
    for (const TocEntry &entry : sections.toc) {
        if ((!session || entry.session == session) && entry.point && *entry.point >= 1
            && *entry.point <= 99 && !tracks.contains(int(*entry.point)))
            tracks.insert(int(*entry.point), &entry);
    }
    return tracks;
}

} // namespace

QMap<int, const TocEntry *> tocTracks(const ControlFileSections &sections)
{
    return tocTracksIn(sections, 1);
}

std::optional<qint64> leadOut(const ControlFileSections &sections)
{
    // A lead-out beyond any time of a cue sheet is no disc's end, and would
    // overflow where it is turned into bytes.
    const std::optional<qint64> end = leadOutOfSession(sections, 1);
    return end && isSectorCount(*end) ? end : std::nullopt;
}

QMap<int, const TocEntry *> tocTracksOfEverySession(const ControlFileSections &sections)
{
    return tocTracksIn(sections, std::nullopt);
}

const TocEntry *leadOutEntry(const ControlFileSections &sections, qint64 session)
{
    for (const TocEntry &entry : sections.toc) {
        if (entry.point == 0xa2 && entry.session == session && entry.plba)
            return &entry;
    }
    return nullptr;
}

std::optional<qint64> leadOutOfSession(const ControlFileSections &sections, qint64 session)
{
    const TocEntry *entry = leadOutEntry(sections, session);
    return entry ? entry->plba : std::nullopt;
}

bool isCdiDisc(const ControlFileSections &sections)
{
    // The disc's type that the first track's entry gives: 0x00 for CD-DA and
    // CD-ROM, 0x10 for CD-i, 0x20 for CD-ROM XA.
    constexpr qint64 cdiType = 0x10;
    for (const TocEntry &entry : sections.toc) {
        if (entry.point == 0xa0 && entry.session == 1)
            return entry.psec == cdiType;
    }
    return false;
}

} // namespace morvant
