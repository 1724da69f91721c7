#include "controlFile.h"

#include "cueSheet.h"

#include "fileSystem.h"
#include "lineReader.h"
#include "numbers.h"
#include "translation.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
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

// Table-of-contents values are written as 0x01 or as 1.
std::optional<qint64> tocNumber(const QString &text)
{
    bool ok = false;
    const qint64 value = text.startsWith(u"0x", Qt::CaseInsensitive)
        ? text.mid(2).toLongLong(&ok, 16)
        : text.toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

// Reads the [section] headers and key=value entries of the control file's INI
// form, and gathers what the sections say. Names and keys are compared
// without regard to case, since hand-edited files vary.
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

private:
    void startSection(int number)
    {
        upperSection = section.toUpper();
        tocIndex = -1;
        sections.hasCdText = sections.hasCdText || upperSection == u"CDTEXT";
        if (upperSection.startsWith(u"ENTRY ")) {
            sections.toc.append({ number, 1, {}, {}, {} });
            tocIndex = sections.toc.size() - 1;
        }
        static const QRegularExpression sessionSection(QStringLiteral("^SESSION ([0-9]+)$"));
        const auto match = sessionSection.match(upperSection);
        if (match.hasMatch() && match.captured(1).toInt() > 1 && !sections.laterSessionLine)
            sections.laterSessionLine = number;
    }

    void takeEntry(int number, QStringView name, QStringView text)
    {
        const QString key = name.toString().toUpper();
        const QString value = text.toString();
        if (upperSection == u"CDTEXT") {
            if (sections.cdText.size() < maxCdTextEntries)
                sections.cdText.append({ name.toString(), value, number });
        } else if (upperSection == u"DISC" && key == u"CATALOG" && !sections.catalogLine) {
            sections.catalog = value;
            sections.catalogLine = number;
        } else if (upperSection == u"DISC" && key == u"CATALOG" && value != sections.catalog
            && !sections.otherCatalogLine) {
            sections.otherCatalog = value;
            sections.otherCatalogLine = number;
        } else if (upperSection.startsWith(u"TRACK") && key == u"ISRC") {
            sections.isrcs.append({ value, number, sectionLine });
        } else if (upperSection == u"DISC" && key == u"DATATRACKSSCRAMBLED") {
            sections.scrambled = value;
            sections.scrambledLine = number;
        } else if (key == u"PREGAPMODE" && sections.preGapMode.isEmpty()) {
            sections.preGapMode = value;
        } else if (tocIndex >= 0) {
            TocEntry &entry = sections.toc[tocIndex];
            if (key == u"SESSION") {
                entry.session = tocNumber(value).value_or(1);
                if (entry.session > 1 && !sections.laterSessionLine)
                    sections.laterSessionLine = number;
            } else if (key == u"POINT") {
                entry.point = tocNumber(value);
            } else if (key == u"CONTROL") {
                entry.control = tocNumber(value);
            } else if (key == u"PLBA") {
                entry.plba = tocNumber(value);
            }
        }
    }

    ControlFileSections &sections;
    QString section;
    QString upperSection;
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
    const std::optional<qint64> count = tocNumber(value.trimmed().toString());
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
                if (!everyLine) {
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

} // namespace morvant
