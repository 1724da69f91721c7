#include "cueSheet.h"

#include "lineRules.h"
#include "numbers.h"

#include <algorithm>

namespace morvant {

namespace {

const QLatin1String cueLineEnd("\r\n");

// The modes kept once, as a long file names the same few on every track.
QString modeText(QLatin1String mode)
{
    static const QString modes[] = { QStringLiteral("AUDIO"), QStringLiteral("MODE1/2352"),
        QStringLiteral("MODE2/2352") };
    for (const QString &known : modes) {
        if (known == mode)
            return known;
    }
    return {};
}

QString textOf(QStringView text)
{
    return text.toString();
}

QString textOf(QLatin1String text)
{
    return text;
}

void appendLine(QString &text, const CueLine &line)
{
    appendCueLine(text, line.rule, line.number, line.text, line.sectors, line.text);
}

// The TITLE and PERFORMER lines of the track whose TRACK line is \a number:
// the track that its leading digits name.
QString trackCdText(const CdText &cdText, QStringView number)
{
    const auto digits = std::find_if(
        number.begin(), number.end(), [](QChar c) { return !c.isDigit() || c.unicode() >= 128; });
    bool isNumber = false;
    const int track = number.first(digits - number.begin()).toInt(&isNumber);
    QString lines;
    if (!isNumber)
        return lines;
    if (cdText.titles.contains(track))
        lines += QStringLiteral("    TITLE ") + cdTextQuoted(cdText.titles[track]) + cueLineEnd;
    if (cdText.performers.contains(track))
        lines +=
            QStringLiteral("    PERFORMER ") + cdTextQuoted(cdText.performers[track]) + cueLineEnd;
    return lines;
}

QString sessionNumber(int session)
{
    return QStringLiteral("%1").arg(session, 2, 10, QLatin1Char('0'));
}

QString sessionMarks(const CueTrack &track)
{
    // A sheet of one file per track marks each session before its FILE line,
    // as the preservation DATs' sheets of such discs do.
    if (!track.fileName.isEmpty())
        return QStringLiteral("REM SESSION ") + sessionNumber(track.session) + cueLineEnd;
    QString marks;
    if (track.leadOutBefore)
        marks +=
            QStringLiteral("  REM LEAD-OUT ") + sectorCountToMsf(*track.leadOutBefore) + cueLineEnd;
    return marks + QStringLiteral("  REM SESSION ") + sessionNumber(track.session) + cueLineEnd;
}

} // namespace

std::optional<int> CueLine::indexNumber() const
{
    // The sheet puts a "0" before any number but one of two characters: an
    // empty number is written "0", and is no number.
    if (number.size() == 2)
        return wholeNumber(number);
    return wholeNumber(QStringView(number).sliced(qMin(qsizetype(1), number.size())));
}

QList<CueLine> CueTrack::indexes() const
{
    QList<CueLine> found;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(found),
        [](const CueLine &line) { return line.isIndex(); });
    return found;
}

QStringList CueTrack::flags() const
{
    QStringList found;
    for (const CueLine &line : lines) {
        if (line.rule == LineRule::Flags)
            found << line.text;
    }
    return found;
}

const CueLine *CueTrack::index(int number) const
{
    const auto found = std::find_if(lines.begin(), lines.end(), [number](const CueLine &line) {
        return line.isIndex() && line.sectors >= 0 && line.indexNumber() == number;
    });
    return found == lines.end() ? nullptr : &*found;
}

bool CueTrack::endsLineBeforeFirstIndex() const
{
    // Only a mode or a FLAGS line ends a line before the first INDEX.
    return firstIndex >= 0
        && (!mode.isEmpty()
            || std::any_of(lines.begin(), lines.begin() + firstIndex, [](const CueLine &line) {
                   return line.rule == LineRule::Flags || line.rule == LineRule::Mode;
               }));
}

template <typename Text> QString CueSheetBuilder::numberOf(Text written)
{
    for (const auto &[raw, number] : numbers) {
        if (raw == written)
            return number;
    }
    // A file of a thousand numbers keeps the last few, not all of them.
    if (numbers.size() == 8)
        numbers.removeFirst();
    const QString raw = textOf(written);
    numbers.append({ raw, cueNumber(raw) });
    return numbers.last().second;
}

template <typename Text> void CueSheetBuilder::take(int number, const BasicRuledLine<Text> &ruled)
{
    if (ruled.rule == LineRule::None)
        return;
    if (ruled.rule == LineRule::Track) {
        CueTrack track;
        track.number = numberOf(ruled.number);
        track.line = number;
        sheet.tracks.append(std::move(track));
        isTrackLineOpen = true;
        return;
    }
    CueLine cue;
    cue.rule = ruled.rule;
    cue.line = number;
    if (ruled.rule == LineRule::Mode) {
        cue.text = modeText(modeOf(ruled.value));
        // A mode line that names no mode gives the sheet nothing.
        if (cue.text.isEmpty())
            return;
    } else if (ruled.rule == LineRule::Index) {
        cue.number = numberOf(ruled.number);
        cue.sectors = sectorCountIn(ruled.value);
    } else {
        cue.text = textOf(ruled.value);
    }
    if (sheet.tracks.isEmpty()) {
        sheet.lead.append(std::move(cue));
        return;
    }
    CueTrack &track = sheet.tracks.last();
    // The first line that ends the TRACK line gives it its mode, if it is a
    // mode line; that one is the track's mode rather than a line of its own.
    if (isTrackLineOpen) {
        isTrackLineOpen = false;
        if (ruled.rule == LineRule::Mode) {
            track.mode = cue.text;
            return;
        }
    }
    if (cue.isIndex() && track.firstIndex < 0)
        track.firstIndex = track.lines.size();
    track.lines.append(std::move(cue));
}

template void CueSheetBuilder::take(int number, const BasicRuledLine<QStringView> &ruled);
template void CueSheetBuilder::take(int number, const BasicRuledLine<QLatin1String> &ruled);

QString cueFileLine(const QString &fileName)
{
    return QStringLiteral("FILE \"") + fileName + QStringLiteral("\" BINARY") + cueLineEnd;
}

QString cueText(const CueSheet &sheet)
{
    QString text;
    if (!sheet.catalog.isEmpty())
        text += QStringLiteral("CATALOG ") + sheet.catalog + cueLineEnd;
    if (sheet.cdText)
        text += discCdText(*sheet.cdText);
    // Lines before the first track follow the first FILE line, wherever that stands.
    const auto appendLead = [&] {
        for (const CueLine &line : sheet.lead)
            appendLine(text, line);
    };
    if (!sheet.fileName.isEmpty()) {
        text += cueFileLine(sheet.fileName);
        appendLead();
    }
    // The CD-Text of the track whose TRACK line starts the line being
    // written, until that line ends.
    QString cdText;
    QString cdTextTrack;
    for (const CueTrack &track : sheet.tracks) {
        if (track.startsSession)
            text += sessionMarks(track);
        if (!track.fileName.isEmpty()) {
            text += cueFileLine(track.fileName);
            if (sheet.fileName.isEmpty() && &track == &sheet.tracks.front())
                appendLead();
        }
        // A track's CD-Text goes after the line that its TRACK line starts;
        // a TRACK line that runs on from another line gets none, unless it
        // runs on from one of its own number: a [TRACK n] header written
        // twice, the first over no lines, still gives the track its text.
        if (sheet.cdText && text.endsWith(u'\n')) {
            cdText = trackCdText(*sheet.cdText, track.number);
            cdTextTrack = track.number;
        } else if (track.number != cdTextTrack) {
            cdText.clear();
        }
        appendCueLine(text, LineRule::Track, track.number, {}, -1, {});
        const auto append = [&](const auto &piece) {
            const qsizetype before = text.size();
            piece();
            if (!cdText.isEmpty() && text.size() > before && text.endsWith(cueLineEnd)) {
                text += cdText;
                cdText.clear();
            }
        };
        if (!track.mode.isEmpty())
            append([&] { appendCueLine(text, LineRule::Mode, {}, track.mode, -1, {}); });
        for (qsizetype i = 0; i < track.lines.size(); ++i) {
            if (i == track.firstIndex && !track.isrc.isEmpty())
                append([&] { text += QStringLiteral("    ISRC ") + track.isrc + cueLineEnd; });
            append([&] { appendLine(text, track.lines[i]); });
        }
    }
    return text;
}

SheetLayout sheetLayout(const CueSheet &sheet)
{
    SheetLayout layout;
    for (const CueTrack &track : sheet.tracks) {
        // A TRACK line without a mode runs into the line after it, and a
        // player reads it as a data track's line.
        const qsizetype first = track.mode.isEmpty() ? 1 : 0;
        if (first > track.lines.size())
            continue;
        SheetTrack sheetTrack;
        sheetTrack.number = track.number.toInt();
        sheetTrack.control = track.mode == u"AUDIO" ? 0 : 0x4;
        layout.tracks.append(sheetTrack);
        // -1 when none: a plain number, as GCC's optimised builds warn of an optional here.
        qint64 leadOut = track.startsSession ? track.leadOutBefore.value_or(-1) : -1;
        for (const CueLine &line : track.lines.sliced(first)) {
            if (line.rule == LineRule::Flags
                && (line.text.isEmpty() || line.text.front() == u' ')) {
                for (const QStringView word :
                    QStringView(line.text).trimmed().split(u' ', Qt::SkipEmptyParts)) {
                    for (const CueFlag &flag : cueFlags) {
                        if (word == flag.word)
                            layout.tracks.last().control |= flag.bit;
                    }
                }
            } else if (line.isIndex() && isSectorCount(line.sectors)) {
                if (leadOut >= 0 && layout.tracks.last().indexes.isEmpty())
                    layout.between.append({ leadOut, line.sectors });
                leadOut = -1;
                layout.tracks.last().indexes.append({ line.number.toInt(), line.sectors });
            }
        }
    }
    return layout;
}

} // namespace morvant
