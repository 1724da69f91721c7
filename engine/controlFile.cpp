#include "controlFile.h"

#include "discImage.h"
#include "fileSystem.h"
#include "lineReader.h"
#include "translation.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {

// Where the ASCII \a keyword first stands in \a line; -1 when nowhere.
inline qsizetype find(QByteArrayView line, std::string_view keyword)
{
    // memchr() for the first byte, the rest compared in place: with the
    // keyword a constant, far cheaper on short lines than a general search.
    const char *const end = line.end();
    for (const char *at = line.begin(); end - at >= qsizetype(keyword.size()); ++at) {
        at = static_cast<const char *>(std::memchr(at, keyword.front(), size_t(end - at)));
        if (!at || end - at < qsizetype(keyword.size()))
            break;
        if (std::equal(keyword.begin() + 1, keyword.end(), at + 1))
            return at - line.begin();
    }
    return -1;
}

qsizetype find(QStringView line, std::string_view keyword)
{
    // Compared a character at a time: Qt's search for a Latin-1 text in a
    // QStringView makes a QString of it first, on every call.
    const QChar first = QLatin1Char(keyword.front());
    const auto rest = keyword.substr(1);
    for (qsizetype at = line.indexOf(first); at >= 0; at = line.indexOf(first, at + 1)) {
        if (line.size() - at < qsizetype(keyword.size()))
            break;
        if (std::equal(rest.begin(), rest.end(), line.begin() + at + 1,
                [](char k, QChar c) { return c == QLatin1Char(k); }))
            return at;
    }
    return -1;
}

// The rules' keywords, in the order in which they are tried.
constexpr std::array<std::pair<LineRule, std::string_view>, 4> keywords{ {
    { LineRule::Track, "[TRACK" },
    { LineRule::Mode, "MODE=" },
    { LineRule::Index, "INDEX " },
    { LineRule::Flags, "FLAGS=" },
} };

constexpr std::string_view sessionsKey = "Sessions=";

// The first keyword that a line holds, in the rules' order, and where it ends.
struct Keyword
{
    LineRule rule = LineRule::None;
    qsizetype end = 0;
};

// Each keyword a constant of its own, so that the compiler compares its
// few bytes in place rather than calling memcmp() for every line.
template <std::size_t next = 0, typename Text> Keyword firstKeyword(Text line)
{
    if constexpr (next == keywords.size()) {
        return {};
    } else {
        constexpr auto keyword = keywords[next];
        if (const qsizetype at = find(line, keyword.second); at >= 0)
            return { keyword.first, at + qsizetype(keyword.second.size()) };
        return firstKeyword<next + 1>(line);
    }
}

bool isAscii(QByteArrayView line)
{
    unsigned char bits = 0;
    for (const char c : line)
        bits |= static_cast<unsigned char>(c);
    return bits < 0x80;
}

// Positions in the rules count from 1, as the control file's fields are
// described; 0 stands for "not found".
template <typename Text> qsizetype position(Text line, char16_t c)
{
    // A plain loop: lines are short, and a library search costs more in calls.
    for (qsizetype at = 0; at < line.size(); ++at) {
        if (QChar(line[at]) == c)
            return at + 1;
    }
    return 0;
}

// The part of \a line from index \a from on, at most \a length characters
// long; a negative length, or a start beyond the line, gives an empty part.
template <typename Text> Text part(Text line, qsizetype from, qsizetype length)
{
    if (from >= line.size() || length <= 0)
        return {};
    return line.sliced(from, qMin(length, line.size() - from));
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
    // Elsewhere than on Windows the system's 8-bit encoding is UTF-8 to Qt;
    // asked for by name, the decoder writes into the buffer without a
    // QString of its own for every line.
#ifdef Q_OS_WIN
    static constexpr QStringDecoder::Encoding encoding = QStringDecoder::System;
#else
    static constexpr QStringDecoder::Encoding encoding = QStringDecoder::Utf8;
#endif
    QStringDecoder decoder{ encoding,
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
            startSection(line.number);
        } else if (const qsizetype equals = trimmed.indexOf(u'='); equals > 0) {
            takeEntry(
                line.number, trimmed.first(equals).trimmed(), trimmed.sliced(equals + 1).trimmed());
        }
        line.section = section;
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
    qsizetype tocIndex = -1; ///< of the [Entry] section that the lines are in
};

// The pieces that the rule of \a keyword takes from \a line.
template <typename Text> BasicRuledLine<Text> piecesOf(Text line, Keyword keyword)
{
    BasicRuledLine<Text> ruled;
    ruled.rule = keyword.rule;
    switch (keyword.rule) {
    case LineRule::Track:
        ruled.number = part(line, 7, line.size() - position(line, u' ') - 1);
        break;
    case LineRule::Mode:
        ruled.value = line.sliced(keyword.end);
        break;
    case LineRule::Index: {
        const qsizetype equals = position(line, u'=');
        ruled.number = part(line, 6, equals - position(line, u' ') - 1);
        if (equals > 0)
            ruled.value = line.sliced(equals);
        break;
    }
    case LineRule::Flags:
        ruled.value = part(line, 6, line.size());
        break;
    case LineRule::None:
        break;
    }
    return ruled;
}

// Reads \a line by the conversion's rules; the pieces point into \a line.
RuledLine ruleOf(QStringView line)
{
    return piecesOf(line, firstKeyword(line));
}

// How a keyword line edited by hand, in another case or with other blanks,
// would be written so that the rules read it as meant; the empty text when
// \a line is no track keyword line at all.
QString intendedForm(QStringView line)
{
    static const QRegularExpression header(QStringLiteral("^\\[\\s*TRACK\\s*([0-9]+)\\s*\\]$"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression indexKey(
        QStringLiteral("^INDEX\\s*([0-9]+)$"), QRegularExpression::CaseInsensitiveOption);
    const QString trimmed = line.trimmed().toString();
    if (const auto match = header.match(trimmed); match.hasMatch())
        return QStringLiteral("[TRACK ") + match.captured(1) + u']';
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals < 0)
        return {};
    const QString key = trimmed.left(equals).simplified();
    const QString value = trimmed.mid(equals + 1).trimmed();
    if (key.compare(u"MODE", Qt::CaseInsensitive) == 0)
        return QStringLiteral("MODE=") + value;
    if (key.compare(u"FLAGS", Qt::CaseInsensitive) == 0)
        return value.isEmpty() ? QStringLiteral("FLAGS=") : QStringLiteral("FLAGS= ") + value;
    if (const auto match = indexKey.match(key); match.hasMatch())
        return QStringLiteral("INDEX ") + match.captured(1) + u'=' + value;
    return {};
}

} // namespace

std::optional<Misreading> misreadingOf(QStringView line)
{
    QString intended = intendedForm(line);
    if (intended.isEmpty() || intended == line)
        return std::nullopt;
    const RuledLine ruled = ruleOf(line);
    QString given = cuePieceOf(ruled);
    if (ruled.rule != LineRule::None && ruled.rule == ruleOf(intended).rule
        && given.simplified() == cuePieceOf(ruleOf(intended)).simplified())
        return std::nullopt;
    return Misreading{ std::move(intended), std::move(given), ruled.rule != LineRule::None };
}

namespace {

// The window's file dialog and a drop hand over a name that is not UTF-8
// with U+FFFD in place of its bytes, and no file has that name: the system's
// "No such file or directory" would then deny a file that the user can see.
// The command line reaches such a name by its bytes.
QString openFailure(const QString &reason, const QString &path)
{
#ifdef Q_OS_UNIX
    if (path.contains(QChar::ReplacementCharacter) && !fileStatus(path).exists)
        return tr("Its name holds bytes that are not UTF-8, which the window cannot open; "
                  "convert it from the command line, or rename the file.");
#else
    Q_UNUSED(path)
#endif
    return reason;
}

} // namespace

ScanOutcome scanControlFile(
    const QString &path, QString &cueSheet, const LineHandler &onLine, bool everyLine)
{
    QFile file;
    if (QString reason; !openForReading(file, path, &reason))
        return { Refusal::Unreadable, openFailure(reason, path), {} };
    LineReader reader(file);
    const auto refusal = [&file](LineReader::Result result) -> ScanOutcome {
        if (result == LineReader::Result::ReadError)
            return { Refusal::Unreadable, file.errorString(), {} };
        return { Refusal::NotControlFile, {}, {} };
    };

    ScanOutcome outcome;
    LineDecoder decoder;
    SectionReader sections(outcome.sections);
    ControlFileLine line;
    QByteArrayView bytes;
    const auto hand = [&] {
        sections.read(line);
        if (onLine)
            onLine(line);
    };
    const auto take = [&](const auto &ruled) {
        appendCuePiece(cueSheet, ruled);
        outcome.hasTrackLines = outcome.hasTrackLines || ruled.rule == LineRule::Track;
    };

    // A longer first line is refused as soon as it is known to be longer, so
    // that a disc image chosen by mistake is not read any further.
    constexpr QByteArrayView firstLine("[CloneCD]");
    LineReader::Result result = reader.next(&bytes, firstLine.size());
    if (result != LineReader::Result::Line || bytes != firstLine)
        return refusal(result);
    line.number = 1;
    if (everyLine) {
        line.text = decoder.decode(bytes, isAscii(bytes));
        hand();
    }

    // Whatever stands between the first line and the sessions line is passed
    // over by the rules.
    while (!line.isPastSessions) {
        result = reader.next(&bytes);
        if (result != LineReader::Result::Line)
            return refusal(result);
        ++line.number;
        const bool maySpeakOfSessions = find(bytes, sessionsKey) >= 0;
        if (!maySpeakOfSessions && !everyLine)
            continue;
        line.text = decoder.decode(bytes, isAscii(bytes));
        const qsizetype at = maySpeakOfSessions ? find(line.text, sessionsKey) : -1;
        const QStringView sessions =
            at >= 0 ? line.text.sliced(at + qsizetype(sessionsKey.size())) : QStringView();
        if (at >= 0 && sessions != u"1") {
            ScanOutcome multiSession{ Refusal::MultiSession, {}, {} };
            multiSession.sections.sessionsLine = line.number;
            multiSession.sections.sessions = sessions.toString();
            return multiSession;
        }
        if (everyLine)
            hand();
        line.isPastSessions = at >= 0;
    }

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
        if (!everyLine && keyword.rule == LineRule::None)
            continue;
        const bool isPlain = isAscii(bytes);
        if (isPlain)
            take(piecesOf(QLatin1String(bytes.data(), bytes.size()), keyword));
        if (isPlain && !everyLine)
            continue;
        line.text = decoder.decode(bytes, isPlain);
        line.ruled = isPlain ? piecesOf(line.text, keyword) : ruleOf(line.text);
        if (!isPlain)
            take(line.ruled);
        if (everyLine)
            hand();
    }
    if (result != LineReader::Result::End)
        return refusal(result);
    return outcome;
}

QString refusalText(const QString &path, const ScanOutcome &outcome)
{
    switch (outcome.refusal) {
    case Refusal::Unreadable:
        return tr("Cannot read %1:\n%2").arg(shownPath(path), outcome.reason);
    case Refusal::NotControlFile:
        return tr("The input file doesn't seem to be a proper CCD file.");
    case Refusal::MultiSession:
        return tr("Only single-session discs are supported.");
    case Refusal::None:
        break;
    }
    return {};
}

void showRefusal(const ShowMessage &showMessage, const QString &path, const ScanOutcome &outcome)
{
    showMessage(refusalText(path, outcome),
        outcome.refusal == Refusal::MultiSession ? tr("Disc Format Error") : tr("File Error"));
}

QString tocFlags(qint64 control, bool isAudio)
{
    QStringList flags;
    if (control & 0x02)
        flags << QStringLiteral("DCP");
    // On a data track these bits mean how it was recorded, not four channels or pre-emphasis.
    if (isAudio && (control & 0x08))
        flags << QStringLiteral("4CH");
    if (isAudio && (control & 0x01))
        flags << QStringLiteral("PRE");
    return flags.join(u' ');
}

std::optional<qint64> leadOut(const ControlFileSections &sections)
{
    for (const TocEntry &entry : sections.toc) {
        if (entry.point == 0xa2 && entry.session == 1 && entry.plba)
            return entry.plba;
    }
    return std::nullopt;
}

namespace {

// The data mode that a track without a readable sector header is given, and
// where it comes from, for the warning.
std::pair<int, QString> fallbackMode(const ControlFileSections &sections)
{
    if (sections.preGapMode == u"1" || sections.preGapMode == u"2")
        return { sections.preGapMode.toInt(),
            tr("the control file's PreGapMode=%1").arg(sections.preGapMode) };
    return { 1, tr("a guess, the commonest data mode") };
}

class Rebuilder
{
public:
    Rebuilder(const QString &path, const ControlFileSections &sections, QChar separator)
        : sections(sections), imagePath(besideControlFile(path, separator, QLatin1String(".img"))),
          subPath(besideControlFile(path, separator, QLatin1String(".sub")))
    {
        hasImage = openForReading(image, imagePath, &imageError);
    }

    RebuiltTracks rebuild();

private:
    void warn(int line, int track, const QString &message, const QString &advice)
    {
        rebuilt.remarks.append(
            { line, track ? cueNumber(QString::number(track)) : QString(), message, advice, true });
    }
    int dataMode(const RebuiltTrack &track);
    void readPregaps(std::optional<qint64> discEnd);

    const ControlFileSections &sections;
    QFile image;
    QString imagePath;
    QString imageError;
    QString subPath;
    bool hasImage = false;
    RebuiltTracks rebuilt;
};

int Rebuilder::dataMode(const RebuiltTrack &track)
{
    // -1 when there is no header: a plain int, as MinGW's optimised build warns of an optional
    // here.
    const int mode = hasImage ? sectorMode(image, track.start).value_or(-1) : -1;
    if (mode == 1 || mode == 2)
        return mode;
    const auto [fallback, source] = fallbackMode(sections);
    const QString number = cueNumber(QString::number(track.number));
    const QString given = QString(modeOf(QString::number(fallback)));
    QString why;
    if (!hasImage)
        why = tr("the image %1 cannot be read (%2)").arg(shownPath(imagePath), imageError);
    else if (mode >= 0)
        why = tr("the header of its first sector (%1) gives mode %2").arg(track.start).arg(mode);
    else
        why = tr("its first sector (%1) has no sector header in the image").arg(track.start);
    warn(track.line, track.number,
        tr("Track %1 is data, but %2, so its mode %3 comes from %4.")
            .arg(number, why, given, source),
        tr("Check the track's mode and correct the TRACK line of the cue sheet if it is wrong."));
    return fallback;
}

void Rebuilder::readPregaps(std::optional<qint64> discEnd)
{
    const QString subName = shownPath(subPath);
    const QString noIndexZero = tr("Add INDEX 00 lines by hand if the disc has pregaps.");
    if (!fileStatus(subPath).exists) {
        rebuilt.remarks.append({ 0, {},
            tr("There is no subchannel file %1, so the cue sheet has no INDEX 00 lines: "
               "pregaps are read from it.")
                .arg(subName),
            noIndexZero, false });
        return;
    }
    QList<TrackStart> starts;
    for (const RebuiltTrack &track : std::as_const(rebuilt.tracks))
        starts.append({ track.number, track.start });
    const qint64 sectors = hasImage ? image.size() / imageSectorSize : discEnd.value_or(-1);
    Pregaps pregaps;
    QFile sub;
    if (openForReading(sub, subPath, &pregaps.damage))
        pregaps = ::readPregaps(sub, starts, sectors);
    if (!pregaps.damage.isEmpty()) {
        warn(0, 0,
            tr("The subchannel file %1 cannot be used: %2. The cue sheet has no INDEX 00 lines.")
                .arg(subName, pregaps.damage),
            noIndexZero);
        return;
    }
    for (RebuiltTrack &track : rebuilt.tracks) {
        if (const auto found = pregaps.starts.constFind(track.number);
            found != pregaps.starts.cend())
            track.pregap = *found;
        if (pregaps.unknown.contains(track.number))
            warn(track.line, track.number,
                tr("The subchannel data before track %1 is damaged, so whether it has a pregap "
                   "cannot be told: it gets no INDEX 00 line.")
                    .arg(cueNumber(QString::number(track.number))),
                noIndexZero);
    }
}

RebuiltTracks Rebuilder::rebuild()
{
    // The first entry of each point counts, as a reader of the disc takes it.
    QMap<int, const TocEntry *> entries;
    for (const TocEntry &entry : sections.toc) {
        if (entry.session == 1 && entry.point && *entry.point >= 1 && *entry.point <= 99
            && !entries.contains(int(*entry.point)))
            entries.insert(int(*entry.point), &entry);
    }
    if (entries.isEmpty()) {
        warn(0, 0,
            tr("The control file has neither [TRACK] sections nor tracks in its table of "
               "contents, so the cue sheet has no tracks."),
            tr("Make the image again with a program that writes [TRACK] sections."));
        return rebuilt;
    }
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const TocEntry &entry = *it.value();
        if (!entry.plba) {
            warn(entry.line, it.key(),
                tr("The table of contents gives track %1 no start (PLBA=), so the cue sheet "
                   "leaves it out.")
                    .arg(cueNumber(QString::number(it.key()))),
                tr("Make the image again, or add the track to the cue sheet by hand."));
            continue;
        }
        RebuiltTrack track{ it.key(), entry.line, 0, {}, {}, *entry.plba };
        const qint64 control = entry.control.value_or(0);
        if (!entry.control)
            warn(entry.line, track.number,
                tr("The table of contents gives track %1 no Control= value, so it gets no flags "
                   "and its mode comes from its first sector alone.")
                    .arg(cueNumber(QString::number(track.number))),
                tr("Check the track's mode and flags in the cue sheet."));
        const std::optional<int> header =
            !entry.control && hasImage ? sectorMode(image, track.start) : std::nullopt;
        const bool isData = entry.control ? (control & 0x04) != 0 : header.has_value();
        if (isData)
            track.mode = dataMode(track);
        track.flags = tocFlags(control, !isData);
        rebuilt.tracks.append(track);
    }
    readPregaps(leadOut(sections));
    return rebuilt;
}

} // namespace

RebuiltTracks rebuildTracks(
    const QString &path, const ControlFileSections &sections, QChar separator)
{
    return Rebuilder(path, sections, separator).rebuild();
}

QString cueLinesOf(const QList<RebuiltTrack> &tracks)
{
    QString lines;
    const QString indexZero = QStringLiteral("0");
    const QString indexOne = QStringLiteral("1");
    for (const RebuiltTrack &track : tracks) {
        const QString number = QString::number(track.number);
        const QString mode = QString::number(track.mode);
        appendCuePiece(lines, { LineRule::Track, number, {} });
        appendCuePiece(lines, { LineRule::Mode, {}, mode });
        const QString flags = u' ' + track.flags;
        if (!track.flags.isEmpty())
            appendCuePiece(lines, { LineRule::Flags, {}, flags });
        const QString pregap = track.pregap ? QString::number(*track.pregap) : QString();
        if (track.pregap)
            appendCuePiece(lines, { LineRule::Index, indexZero, pregap });
        const QString start = QString::number(track.start);
        appendCuePiece(lines, { LineRule::Index, indexOne, start });
    }
    return lines;
}
