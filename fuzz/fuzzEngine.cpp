// libFuzzer target: arbitrary bytes as a control file, as the text given to
// sectorsToMsf() and to both naming rules, with both separators, and as a
// subchannel file. Every run
// checks what must hold whatever the input; a broken rule aborts, which
// libFuzzer reports as a finding together with the input that caused it.

#include "commandLine.h"
#include "conversion.h"
#include "crc.h"
#include "discFiles.h"
#include "discImage.h"
#include "fuzzRules.h"
#include "numbers.h"

#include <QBuffer>
#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include <sys/mman.h>
#include <unistd.h>

using namespace morvant;

namespace {

int controlFile = -1;
QString controlFilePath;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Reads \a text as the engine promises to: blanks around an optional sign and
// decimal digits. Returns -1 for anything else or for a value beyond 32 bits.
qint64 plainNumber(const QString &text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && isBlank(text[from]))
        ++from;
    while (to > from && isBlank(text[to - 1]))
        --to;
    bool negative = false;
    if (from < to && (text[from] == u'-' || text[from] == u'+'))
        negative = text[from++] == u'-';
    if (from == to)
        return -1;
    qint64 value = 0;
    for (qsizetype i = from; i < to; ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return -1;
        value = qMin<qint64>(value * 10 + (text[i].unicode() - u'0'), qint64(1) << 40);
    }
    if (value > 2147483647 || (negative && value != 0))
        return -1;
    return value;
}

// One field of a time: at least two digits, and no leading zero of its own
// beyond the one that pads a value under 10.
qint64 timeField(QStringView field)
{
    if (field.size() < 2 || (field.size() > 2 && field[0] == u'0'))
        return -1;
    qint64 value = 0;
    for (const QChar c : field) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

void checkSectorsToMsf(const QString &sectors)
{
    const QString time = sectorsToMsf(sectors);
    const qint64 expected = plainNumber(sectors);
    check(time.isEmpty() == (expected < 0), "sectorsToMsf gives a time exactly for a number",
        sectors + QStringLiteral(" -> ") + time);
    if (time.isEmpty())
        return;
    const QStringList fields = time.split(u':');
    check(fields.size() == 3, "a time has three fields", time);
    const qint64 minutes = timeField(fields[0]);
    const qint64 seconds = timeField(fields[1]);
    const qint64 frames = timeField(fields[2]);
    check(minutes >= 0 && seconds >= 0 && seconds < 60 && frames >= 0 && frames < 75,
        "a time is M..M:SS:FF with SS < 60 and FF < 75", time);
    check(minutes * 4500 + seconds * 75 + frames == expected, "a time gives back its sector count",
        sectors + QStringLiteral(" -> ") + time);
}

// A name starts after the path's last separator; '/' is one on Windows too.
qsizetype nameStartOf(const QString &path, QChar separator)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype other = path.lastIndexOf(separator);
    return (slash > other ? slash : other) + 1;
}

void checkNamingRules(const QString &path)
{
    for (const QChar separator : { QChar(u'/'), QChar(u'\\') }) {
        const QString cuePath = cuePathForFile(path, separator);
        const qsizetype folderLength = nameStartOf(path, separator);
        const qsizetype kept = qMax(path.size() - 4, folderLength);
        check(cuePath == path.left(kept) + QStringLiteral(".cue"),
            "the .cue path replaces at most the last four characters of the name, in the same "
            "folder",
            path + QStringLiteral(" -> ") + cuePath);

        const CommandLinePaths paths = commandLinePaths(path, separator);
        const bool quoted = path.size() >= 2 && path.startsWith(u'"') && path.endsWith(u'"');
        check(paths.inputPath == (quoted ? path.mid(1, path.size() - 2) : path),
            "the command line loses its quotes and nothing else", path);
        check(paths.cuePath == cuePathForFile(paths.inputPath, separator),
            "the command line names its .cue as a chosen file does", path);
    }
}

// The sectors of the time that ends an INDEX line; -1 when it has none.
qint64 indexSectors(QStringView line)
{
    const QStringList fields = line.mid(line.lastIndexOf(u' ') + 1).toString().split(u':');
    if (fields.size() != 3)
        return -1;
    return timeField(fields[0]) * 4500 + timeField(fields[1]) * 75 + timeField(fields[2]);
}

// What --sessions and --codes add, checked against the plain reading: the
// added lines are well formed, and taken away they leave the plain cue sheet,
// but for INDEX times that a later session's offset moves, by the same number
// of sectors for every INDEX of a track, and by none in session 1.
// A later session's first track keeps the INDEX 00 of its pregap only where
// the image holds it, and the fuzzed file has no image beside it: \a plain
// without those INDEX pieces of the tracks that start a later session in \a added.
QString withoutLaterPregaps(const QString &plain, const QString &added)
{
    static const QRegularExpression trackInAdded(
        QStringLiteral("\r\n(  REM SESSION ([0-9]{2})\r\n)?  TRACK "));
    QList<bool> startsLater;
    for (auto match = trackInAdded.globalMatch(added); match.hasNext();)
        startsLater << (match.next().captured(2).toInt() >= 2);
    static const QRegularExpression trackInPlain(QStringLiteral("\r\n  TRACK "));
    QList<qsizetype> starts;
    for (auto match = trackInPlain.globalMatch(plain); match.hasNext();)
        starts << match.next().capturedStart();
    starts << plain.size();
    // Index 0 is written with two digits or more; "INDEX 0 " is an empty number.
    static const QRegularExpression indexZero(
        QStringLiteral("    INDEX 00+ ([0-9]+:[0-9]{2}:[0-9]{2})?\r\n"));
    QString kept = plain.left(starts.first());
    for (qsizetype k = 0; k + 1 < starts.size(); ++k) {
        QString track = plain.mid(starts[k], starts[k + 1] - starts[k]);
        if (startsLater.value(k))
            track.remove(indexZero);
        kept += track;
    }
    return kept;
}

void checkAdditions(const QString &added, const QString &plainSheet, bool isMultiSession)
{
    const QString plain = isMultiSession ? withoutLaterPregaps(plainSheet, added) : plainSheet;
    static const QRegularExpression catalog(QStringLiteral("^CATALOG [0-9]{13}$"));
    static const QRegularExpression isrc(QStringLiteral("^    ISRC [A-Z0-9]{5}[0-9]{7}$"));
    static const QRegularExpression session(QStringLiteral("^  REM SESSION [0-9]{2}$"));
    static const QRegularExpression leadOut(
        QStringLiteral("^  REM LEAD-OUT [0-9]+:[0-9]{2}:[0-9]{2}$"));
    QStringList kept;
    int sessions = 0;
    const QStringList lines = added.split(QStringLiteral("\r\n"));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (i == 0 && line.startsWith(u"CATALOG")) {
            check(catalog.match(line).hasMatch(), "a CATALOG line holds 13 digits", added);
        } else if (line.startsWith(u"    ISRC")) {
            check(isrc.match(line).hasMatch(), "an ISRC line holds an ISRC", added);
        } else if (line.startsWith(u"  REM SESSION")) {
            check(isMultiSession && session.match(line).hasMatch()
                    && line.mid(14).toInt() == ++sessions,
                "sessions are marked in order, only on a disc of several", added);
        } else if (line.startsWith(u"  REM LEAD-OUT")) {
            check(isMultiSession && leadOut.match(line).hasMatch(),
                "a lead-out line holds a time, only on a disc of several", added);
        } else {
            kept << line;
        }
    }
    const QStringList plainLines = plain.split(QStringLiteral("\r\n"));
    check(kept.size() == plainLines.size(), "the additions leave the plain lines", added);
    std::optional<qint64> offset;
    for (qsizetype i = 0; i < kept.size(); ++i) {
        if (kept[i].startsWith(u"  TRACK "))
            offset.reset();
        if (kept[i] == plainLines[i])
            continue;
        // An INDEX piece may follow a TRACK piece that lacks its mode, on its line.
        const qsizetype time = plainLines[i].lastIndexOf(u' ');
        const qint64 moved = indexSectors(kept[i]);
        const qint64 given = indexSectors(plainLines[i]);
        check(isMultiSession && plainLines[i].contains(u"    INDEX ")
                && kept[i].left(time) == plainLines[i].left(time) && moved >= 0 && given >= 0,
            "only INDEX times of a later session move", added + u'\n' + plain);
        // The offset is the same within a track; a new track may start another session.
        if (!offset)
            offset = moved - given;
        check(moved - given == *offset, "a track's INDEX times move together", added);
    }
}

bool isModePiece(QStringView line)
{
    return line == u" AUDIO" || line == u" MODE1/2352" || line == u" MODE2/2352";
}

void checkCueSheet(const QString &cueSheet, QChar separator)
{
    const qsizetype nameStart = nameStartOf(controlFilePath, separator);
    const QString imageName =
        controlFilePath.mid(nameStart, qMax<qsizetype>(controlFilePath.size() - nameStart - 4, 0));
    const QString fileLine =
        QStringLiteral("FILE \"") + imageName + QStringLiteral(".img\" BINARY\r\n");
    check(cueSheet.startsWith(fileLine), "a cue sheet starts with its FILE line", cueSheet);

    const QStringView rest = QStringView(cueSheet).mid(fileLine.size());
    const QList<QStringView> lines = rest.split(u"\r\n");
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringView line = lines[i];
        const bool last = i == lines.size() - 1;
        check(!line.contains(u'\r') && !line.contains(u'\n'), "lines end in CR LF and nowhere else",
            cueSheet);
        if (last) {
            // What follows the last CR LF is a track piece still waiting for its mode.
            check(line.isEmpty() || line.startsWith(u"  TRACK "),
                "only a track piece may lack its CR LF", cueSheet);
            continue;
        }
        // A mode line with no track line before it stands alone on its line.
        check(line.startsWith(u"  TRACK ") || line.startsWith(u"    INDEX ")
                || line.startsWith(u"    FLAGS") || isModePiece(line),
            "every line is a TRACK, INDEX or FLAGS line", line.toString());
    }
}

// A line decoded on its own. Qt's default decoder drops a byte-order mark at
// the start of every text it decodes; in a line after the file's first bytes
// U+FEFF is an ordinary character, so it is put back by hand.
QString decodedLine(QByteArrayView bytes)
{
    QString line;
    while (bytes.startsWith("\xEF\xBB\xBF")) {
        line += QChar(0xFEFF);
        bytes = bytes.sliced(3);
    }
    return line + QString::fromLocal8Bit(bytes);
}

// The conversion written plainly from its rules, one decoded line at a time,
// to hold the engine's faster byte-level reading to the same results.
QString referenceConversion(QByteArrayView bytes, QChar separator, bool withSessions = false)
{
    QList<QString> lines;
    QByteArrayView firstLine;
    const char *at = bytes.data() + (bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0);
    const char *const end = bytes.data() + bytes.size();
    while (at < end) {
        const char *lineEnd = at;
        while (lineEnd < end && *lineEnd != '\n' && *lineEnd != '\r')
            ++lineEnd;
        if (lines.isEmpty())
            firstLine = QByteArrayView(at, lineEnd - at);
        lines.append(decodedLine(QByteArrayView(at, lineEnd - at)));
        at = lineEnd + 1;
        if (lineEnd + 1 < end && lineEnd[0] == '\r' && lineEnd[1] == '\n')
            ++at;
    }
    // Compared as written: decoding would drop a second byte-order mark
    // before "[CloneCD]", which makes the first line another line.
    if (lines.isEmpty() || firstLine != "[CloneCD]")
        return {};
    qsizetype next = 1;
    while (next < lines.size() && !lines[next].contains(u"Sessions="))
        ++next;
    if (next == lines.size())
        return {};
    const QString &sessions = lines[next];
    const QString value = sessions.mid(sessions.indexOf(u"Sessions=") + 9);
    // With its sessions, a file may give 1 to 99 of them, as the table of
    // contents writes its numbers: blanks around, decimal or 0x hexadecimal.
    const QString count = value.trimmed();
    bool isNumber = false;
    const qint64 sessionCount = count.startsWith(u"0x", Qt::CaseInsensitive)
        ? count.mid(2).toLongLong(&isNumber, 16)
        : count.toLongLong(&isNumber, 10);
    if (value != u"1" && !(withSessions && isNumber && sessionCount >= 1 && sessionCount <= 99))
        return {};

    const qsizetype nameStart = nameStartOf(controlFilePath, separator);
    QString cueSheet = QStringLiteral("FILE \"")
        + controlFilePath.mid(nameStart, qMax<qsizetype>(controlFilePath.size() - nameStart - 4, 0))
        + QStringLiteral(".img\" BINARY\r\n");
    // Positions count from 1; a negative length takes nothing.
    const auto take = [](const QString &line, qsizetype position, qsizetype length) {
        return length > 0 ? line.mid(position - 1, length) : QString();
    };
    for (++next; next < lines.size(); ++next) {
        const QString &line = lines[next];
        const qsizetype blank = line.indexOf(u' ') + 1;
        if (line.contains(u"[TRACK")) {
            const QString number = take(line, 8, line.size() - blank - 1);
            cueSheet += QStringView(number.size() == 2 ? u"  TRACK " : u"  TRACK 0");
            cueSheet += number;
        } else if (line.contains(u"MODE=")) {
            if (line.endsWith(u'0'))
                cueSheet += u" AUDIO\r\n";
            else if (line.endsWith(u'1'))
                cueSheet += u" MODE1/2352\r\n";
            else if (line.endsWith(u'2'))
                cueSheet += u" MODE2/2352\r\n";
        } else if (line.contains(u"INDEX ")) {
            const qsizetype equals = line.indexOf(u'=') + 1;
            const QString number = take(line, 7, equals - blank - 1);
            const QString value = equals > 0 ? line.mid(equals) : QString();
            cueSheet += QStringView(number.size() == 2 ? u"    INDEX " : u"    INDEX 0");
            cueSheet += number + u' ' + sectorsToMsf(value) + QStringLiteral("\r\n");
        } else if (line.contains(u"FLAGS=")) {
            cueSheet += QStringLiteral("    FLAGS") + line.mid(6) + QStringLiteral("\r\n");
        }
    }
    return cueSheet;
}

void checkConversion(const uint8_t *data, size_t size)
{
    if (::ftruncate(controlFile, 0) != 0
        || ::pwrite(controlFile, data, size, 0) != static_cast<ssize_t>(size)) {
        std::perror("control file");
        std::abort();
    }
    const QChar separator = size % 2 == 0 ? u'/' : u'\\';
    int messages = 0;
    const QString cueSheet = ccdToCue(
        controlFilePath, [&](const QString &, const QString &) { ++messages; }, separator);
    check(messages <= 1, "at most one message");
    check(cueSheet.isEmpty() == (messages == 1),
        "a message exactly when the result is empty: never a silent refusal", cueSheet);
    if (!cueSheet.isEmpty())
        checkCueSheet(cueSheet, separator);
    const QString expected = referenceConversion(
        QByteArrayView(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)),
        separator);
    check(cueSheet == expected, "the conversion follows its rules line by line",
        cueSheet + QStringLiteral("\n--- expected ---\n") + expected);

    // The check reads every line, where the conversion alone skips the lines
    // without a keyword; both readings must give the same cue sheet.
    ConversionOptions plain;
    plain.separator = separator;
    const ConvertedFile everyLine = convert(controlFilePath, plain, [](const ControlFileLine &) {});
    check(everyLine.cueSheet == expected, "reading every line gives the same cue sheet",
        everyLine.cueSheet + QStringLiteral("\n--- expected ---\n") + expected);

    // Rebuilt from the table of contents, whatever its PLBA values, every
    // INDEX line has its time: a start that no time can write is left out.
    ConversionOptions rebuilding = plain;
    rebuilding.rebuild = true;
    const ConvertedFile rebuilt = convert(controlFilePath, rebuilding);
    if (rebuilt.isRebuilt) {
        static const QRegularExpression index(
            QStringLiteral("^    INDEX 0[01] \\d\\d+:\\d\\d:\\d\\d$"));
        const QStringList lines = rebuilt.cueSheet.split(QStringLiteral("\r\n"));
        for (const QString &line : lines)
            check(!line.contains(u"INDEX") || index.match(line).hasMatch(),
                "a rebuilt INDEX line has its time", line);
    }

    ConversionOptions everything = plain;
    everything.sessions = everything.codes = true;
    const ConvertedFile added = convert(controlFilePath, everything);
    if (!expected.isEmpty()) {
        check(!added.isRefused(), "what a file has to add never refuses a single-session file");
        checkAdditions(added.cueSheet, expected, false);
        return;
    }
    const QString withSessions = referenceConversion(
        QByteArrayView(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)),
        separator, true);
    check(added.isRefused() || !withSessions.isEmpty(),
        "only a file of several sessions is converted with them", added.cueSheet);
    check(added.outcome.refusal != Refusal::SessionLayout
            || (added.outcome.sessionRefusal && !added.outcome.sessionRefusal->message.isEmpty()),
        "a sessions refusal says why");
    if (!added.isRefused())
        checkAdditions(added.cueSheet, withSessions, true);
}

QByteArray bcd(qint64 value)
{
    return QByteArray(1, char((value / 10) << 4 | value % 10));
}

// The absolute time of a sector, as its Q block gives it when it belongs there.
QByteArray subchannelTime(qint64 sector)
{
    const qint64 time = sector + 150;
    return bcd(time / 4500) + bcd(time / 75 % 60) + bcd(time % 75);
}

// The Q block of \a sector in \a sub.
const char *qBlockOf(const QByteArray &sub, qint64 sector)
{
    return sub.constData() + sector * subchannelBlockSize + 12;
}

// Makes each block's absolute time (bit 2 of \a how) and CRC (bit 1) right.
void makeQBlocksSound(QByteArray &sub, qint64 sectors, uchar how)
{
    for (qint64 sector = 0; sector < sectors; ++sector) {
        char *q = sub.data() + sector * subchannelBlockSize + 12;
        if (how & 2) {
            const QByteArray msf = subchannelTime(sector);
            std::copy(msf.begin(), msf.end(), q + 7);
        }
        if (how & 1) {
            const quint16 crc = cdCrc(QByteArrayView(q, 10));
            q[10] = char(crc >> 8);
            q[11] = char(crc & 0xff);
        }
    }
}

// Where the Q block of \a sector says it lies, when it is sound and names
// that sector.
bool positionOf(const QByteArray &sub, qint64 sector, int *track, int *index)
{
    const auto *q = reinterpret_cast<const uchar *>(qBlockOf(sub, sector));
    const auto crc = cdCrc(QByteArrayView(reinterpret_cast<const char *>(q), 10));
    // A track or index byte that is not two decimal digits names no
    // position: such a block is damaged, whatever its CRC says.
    const auto isBcd = [](uchar byte) { return (byte >> 4) <= 9 && (byte & 0x0f) <= 9; };
    if (crc != quint16((q[10] << 8) | q[11]) || (q[0] & 0x0f) != 1 || !isBcd(q[1]) || !isBcd(q[2])
        || QByteArrayView(reinterpret_cast<const char *>(q) + 7, 3) != subchannelTime(sector))
        return false;
    *track = (q[1] >> 4) * 10 + (q[1] & 0x0f);
    *index = (q[2] >> 4) * 10 + (q[2] & 0x0f);
    return true;
}

// A sound block of another Q mode than 1, as of the catalogue number or
// an ISRC (modes 2 and 3, with \a codesOnly), which gives no position.
bool isCodes(const QByteArray &sub, qint64 sector, bool codesOnly = false)
{
    const char *q = qBlockOf(sub, sector);
    const auto mode = static_cast<uchar>(q[0]) & 0x0f;
    return (codesOnly ? mode == 2 || mode == 3 : mode != 1)
        && cdCrc(QByteArrayView(q, 10))
        == quint16((static_cast<uchar>(q[10]) << 8) | static_cast<uchar>(q[11]));
}

// Whatever pregap the reader gives must be one that the Q channel shows:
// index 0 of that track from its first sector up to the track's start.
void checkPregaps(const QByteArray &sub, qint64 sectors, const QList<TrackStart> &tracks)
{
    QBuffer buffer;
    buffer.setData(sub);
    buffer.open(QIODevice::ReadOnly);
    const Pregaps pregaps = readPregaps(buffer, tracks, sectors);
    int anyTrack = 0;
    int anyIndex = 0;
    bool hasPosition = false;
    for (qint64 sector = 0; sector < sectors && !hasPosition; ++sector)
        hasPosition = positionOf(sub, sector, &anyTrack, &anyIndex);
    check(pregaps.damage.isEmpty() == (hasPosition || sectors == 0),
        "a file of whole blocks, as long as the image, is read unless no block gives a position");
    for (qsizetype i = 0; i < tracks.size(); ++i) {
        const TrackStart &start = tracks[i];
        const auto found = pregaps.starts.constFind(start.track);
        if (found == pregaps.starts.cend())
            continue;
        check(!pregaps.unknown.contains(start.track), "a pregap is either known or not");
        check(*found < start.sector && (i == 0 || *found > tracks[i - 1].sector),
            "a pregap lies after the start of the track before it and before its own");
        int track = 0;
        int index = 0;
        // Catalogue number and ISRC blocks that the P channel puts into the pause may come first.
        qint64 first = *found;
        while (first < start.sector && isCodes(sub, first))
            ++first;
        check(first == start.sector
                || (positionOf(sub, first, &track, &index) && track == start.track && index == 0),
            "a pregap starts where the Q channel says it does");
        for (qint64 sector = *found; sector < start.sector; ++sector) {
            check(!positionOf(sub, sector, &track, &index) || (track == start.track && index == 0),
                "nothing but the track's index 0 lies between its pregap and its start");
        }
    }
}

// The same blocks against a sheet of those three tracks: what differs
// goes into the .sbi in order, a record for each.
void checkAlteredBlocks(const QByteArray &sub, qint64 sectors, const QList<TrackStart> &tracks)
{
    SheetLayout layout;
    for (const TrackStart &start : tracks)
        layout.tracks.append({ start.track, 0, { { 1, start.sector } } });
    QBuffer buffer;
    buffer.setData(sub);
    buffer.open(QIODevice::ReadOnly);
    const AlteredSubchannel altered = alteredQBlocks(buffer, layout, sectors);
    check(altered.damage.isEmpty(), "a file of whole blocks, as long as the image, is compared");
    for (qsizetype i = 0; i < altered.blocks.size(); ++i) {
        const AlteredQ &block = altered.blocks[i];
        check(block.sector >= 0 && block.sector < sectors
                && (i == 0 || block.sector > altered.blocks[i - 1].sector),
            "altered blocks are sectors of the file, in ascending order");
        check(!isCodes(sub, block.sector, true),
            "catalogue number and ISRC blocks are never altered");
    }
    check(sbiBytes(altered.blocks).size() == 4 + 14 * altered.blocks.size(),
        "a .sbi holds its header and 14 bytes for each block");
    check(altered.count == altered.blocks.size(), "with every block kept, the count is theirs");
    // Kept to a few, the same first blocks and the same count.
    buffer.seek(0);
    const AlteredSubchannel few = alteredQBlocks(buffer, layout, sectors, 3);
    check(few.count == altered.count && few.blocks.size() == qMin<qsizetype>(3, altered.count)
            && std::equal(few.blocks.begin(), few.blocks.end(), altered.blocks.begin(),
                [](const AlteredQ &a, const AlteredQ &b) {
                    return a.sector == b.sector && a.q == b.q;
                }),
        "blocks kept to a few are the first ones, and all are counted");
}

// Arbitrary bytes as a subchannel file of three tracks. Random bytes would
// almost never pass a Q block's CRC, so the first byte's bits ask for the
// CRCs, and the absolute times, to be made right: then the reader's logic
// past those checks is reached.
void checkSubchannel(QByteArray sub)
{
    if (sub.isEmpty())
        return;
    const auto how = static_cast<uchar>(sub[0]);
    const qint64 sectors = sub.size() / subchannelBlockSize;
    sub.truncate(sectors * subchannelBlockSize);
    makeQBlocksSound(sub, sectors, how);
    const QList<TrackStart> tracks{ { 1, 0 }, { 2, sectors / 3 }, { 3, sectors * 2 / 3 } };
    checkPregaps(sub, sectors, tracks);
    checkAlteredBlocks(sub, sectors, tracks);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // A file in memory: the conversion opens it by path, as it would any file,
    // without a write to disk for every run.
    controlFile = ::memfd_create("control", 0);
    if (controlFile < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    controlFilePath = QStringLiteral("/proc/self/fd/") + QString::number(controlFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checkConversion(data, size);

    const auto bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString text = QString::fromUtf8(bytes);
    checkSectorsToMsf(text);
    // The value of an INDEX line is what follows its first "=".
    const qsizetype equals = text.indexOf(u'=');
    if (equals >= 0)
        checkSectorsToMsf(text.mid(equals + 1));
    checkNamingRules(text);
    checkSubchannel(bytes);
    return 0;
}
