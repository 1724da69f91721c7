#include "rebuild.h"

#include "discFiles.h"
#include "discImage.h"
#include "fileSystem.h"
#include "lineRules.h"
#include "numbers.h"

#include <QFile>
#include <QMap>

namespace morvant {

QString tocFlags(qint64 control, bool isAudio)
{
    QStringList words;
    for (const CueFlag &flag : cueFlags) {
        if ((control & flag.bit) && (isAudio || !flag.isAudioOnly))
            words << flag.word;
    }
    return words.join(u' ');
}

namespace {

// How far into a data track its mode is looked for: two seconds of sectors.
constexpr qint64 headerSearch = 150;

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
    Rebuilder(const ConversionFiles &files, const ControlFileSections &sections)
        : sections(sections), imagePath(files.image), subPath(files.sub)
    {
        hasImage = openRegularFile(image, imagePath, &imageError);
    }

    RebuiltTracks rebuild();

private:
    void warn(int line, int track, const QString &message, const QString &advice)
    {
        rebuilt.remarks.append({ FindingCode::Rebuilt, line,
            track ? cueNumber(QString::number(track)) : QString(), message, advice });
    }
    int dataMode(const RebuiltTrack &track, qint64 end); ///< \a end -1 when unknown
    void readPregaps(std::optional<qint64> discEnd);

    const ControlFileSections &sections;
    QFile image;
    QString imagePath;
    QString imageError;
    QString subPath;
    bool hasImage = false;
    RebuiltTracks rebuilt;
};

int Rebuilder::dataMode(const RebuiltTrack &track, qint64 end)
{
    // -1 when there is no header: a plain int, as MinGW's optimised build warns of an optional
    // here.
    const int mode = hasImage ? sectorMode(image, track.start).value_or(-1) : -1;
    if (mode == 1 || mode == 2)
        return mode;
    // A track's first sectors may be unreadable on a damaged disc; the next
    // readable header in its first two seconds tells the mode as well.
    for (qint64 sector = track.start + 1;
         hasImage && sector < track.start + headerSearch && (end < 0 || sector < end); ++sector) {
        const int later = sectorMode(image, sector).value_or(-1);
        if (later == 1 || later == 2)
            return later;
    }
    const auto [fallback, source] = fallbackMode(sections);
    const QString number = cueNumber(QString::number(track.number));
    const QString given = QString(modeOf(QString::number(fallback)));
    QString why;
    if (!hasImage)
        why = tr("the image %1 cannot be read (%2)").arg(shownPath(imagePath), imageError);
    else if (mode >= 0 && !sections.scrambled.isEmpty() && sections.scrambled != u"0")
        why = tr("the header of its first sector (%1) gives mode %2: the image holds its data "
                 "tracks scrambled (the control file says DataTracksScrambled=%3), so their "
                 "sector headers cannot be read")
                  .arg(track.start)
                  .arg(mode)
                  .arg(sections.scrambled);
    else if (mode >= 0)
        why = tr("the header of its first sector (%1) gives mode %2").arg(track.start).arg(mode);
    else
        why = tr("its first sector (%1) has no sector header in the image").arg(track.start);
    warn(track.line, track.number,
        tr("Track %1 is data, but %2, so its mode %3 comes from %4.")
            .arg(number, why, given, source),
        tr("Check the track's mode and correct the TRACK line of the cue sheet if it is "
           "wrong."));
    return fallback;
}

void Rebuilder::readPregaps(std::optional<qint64> discEnd)
{
    const QString subName = shownPath(subPath);
    const QString noIndexZero = tr("Add INDEX 00 lines by hand if the disc has pregaps.");
    if (!fileStatus(subPath).exists) {
        warn(0, 0,
            tr("There is no subchannel file %1, so the cue sheet has no INDEX 00 lines: "
               "pregaps are read from it.")
                .arg(subName),
            noIndexZero);
        return;
    }
    QList<TrackStart> starts;
    for (const RebuiltTrack &track : std::as_const(rebuilt.tracks))
        starts.append({ track.number, track.start });
    const qint64 sectors = hasImage ? image.size() / imageSectorSize : discEnd.value_or(-1);
    Pregaps pregaps;
    QFile sub;
    if (openRegularFile(sub, subPath, &pregaps.damage))
        pregaps = morvant::readPregaps(sub, starts, sectors);
    if (!pregaps.damage.isEmpty()) {
        warn(0, 0,
            tr("The subchannel file %1 cannot be used: %2. The cue sheet has no INDEX 00 "
               "lines.")
                .arg(subName, pregaps.damage),
            noIndexZero);
        return;
    }
    // On a disc that carries such blocks often, many tracks share the one
    // reason, which is then told once.
    if (pregaps.codesAtStart.size() > 1) {
        QStringList numbers;
        for (const int number : std::as_const(pregaps.codesAtStart))
            numbers << cueNumber(QString::number(number));
        warn(0, 0,
            tr("Catalogue number or ISRC blocks, which give no position, stand where the "
               "pregaps of %1 tracks would begin (%2), and the P channel does not mark the "
               "pauses, so where those pregaps begin cannot be told: they get no INDEX 00 "
               "lines.")
                .arg(numbers.size())
                .arg(numbers.join(QStringLiteral(", "))),
            noIndexZero);
    }
    for (RebuiltTrack &track : rebuilt.tracks) {
        if (const auto found = pregaps.starts.constFind(track.number);
            found != pregaps.starts.cend())
            track.pregap = *found;
        if (pregaps.codesAtStart.size() == 1 && pregaps.codesAtStart.contains(track.number))
            warn(track.line, track.number,
                tr("A catalogue number or ISRC block, which gives no position, stands where "
                   "the pregap of track %1 would begin, and the P channel does not mark the "
                   "pause, so where its pregap begins cannot be told: it gets no INDEX 00 "
                   "line.")
                    .arg(cueNumber(QString::number(track.number))),
                noIndexZero);
        if (pregaps.unknown.contains(track.number))
            warn(track.line, track.number,
                tr("The subchannel data before track %1 is damaged, so whether it has a pregap "
                   "cannot be told: it gets no INDEX 00 line.")
                    .arg(cueNumber(QString::number(track.number))),
                noIndexZero);
        if (const auto found = pregaps.beforePrevious.constFind(track.number);
            found != pregaps.beforePrevious.cend())
            warn(track.line, track.number,
                tr("The subchannel data puts the pregap of track %1 at sector %2, at or before "
                   "the start of the track before it, which contradicts the table of contents: "
                   "it gets no INDEX 00 line.")
                    .arg(cueNumber(QString::number(track.number)))
                    .arg(*found),
                tr("Check the subchannel file; it may belong to another disc."));
    }
}

RebuiltTracks Rebuilder::rebuild()
{
    const QMap<int, const TocEntry *> entries = tocTracks(sections);
    if (entries.isEmpty()) {
        warn(0, 0,
            tr("The control file has neither [TRACK] sections nor tracks in its table of "
               "contents, so the cue sheet has no tracks."),
            tr("Make the image again with a program that writes [TRACK] sections."));
        return rebuilt;
    }
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const TocEntry &entry = *it.value();
        // A start that no time of the cue sheet can write is as good as none.
        if (!entry.plba || !isSectorCount(*entry.plba)) {
            const QString number = cueNumber(QString::number(it.key()));
            warn(entry.line, it.key(),
                entry.plba
                    ? tr("The table of contents gives track %1 the start PLBA=%2, outside 0 to "
                         "2147483647, so the cue sheet leaves it out.")
                          .arg(number)
                          .arg(*entry.plba)
                    : tr("The table of contents gives track %1 no start (PLBA=), so the cue "
                         "sheet "
                         "leaves it out.")
                          .arg(number),
                tr("Make the image again, or add the track to the cue sheet by hand."));
            continue;
        }
        RebuiltTrack track{ it.key(), entry.line, 0, {}, {}, *entry.plba };
        const qint64 control = entry.control.value_or(0);
        if (!entry.control)
            warn(entry.line, track.number,
                tr("The table of contents gives track %1 no Control= value, so it gets no "
                   "flags "
                   "and its mode comes from its first sector alone.")
                    .arg(cueNumber(QString::number(track.number))),
                tr("Check the track's mode and flags in the cue sheet."));
        const std::optional<int> header =
            !entry.control && hasImage ? sectorMode(image, track.start) : std::nullopt;
        const bool isData = entry.control ? (control & 0x04) != 0 : header.has_value();
        if (isData) {
            const auto next = std::next(it);
            const qint64 end = next != entries.cend() && next.value()->plba
                ? *next.value()->plba
                : leadOut(sections).value_or(-1);
            track.mode = dataMode(track, end);
        }
        track.flags = tocFlags(control, !isData);
        rebuilt.tracks.append(track);
    }
    readPregaps(leadOut(sections));
    return rebuilt;
}

} // namespace

RebuiltTracks rebuildTracks(const ConversionFiles &files, const ControlFileSections &sections)
{
    return Rebuilder(files, sections).rebuild();
}

QList<CueTrack> cueTracksOf(const QList<RebuiltTrack> &tracks)
{
    QList<CueTrack> cueTracks;
    for (const RebuiltTrack &track : tracks) {
        CueTrack cue;
        cue.number = cueNumber(QString::number(track.number));
        cue.line = track.line;
        cue.mode = modeOf(QString::number(track.mode));
        const auto add = [&](LineRule rule, const QString &number, const QString &text,
                             qint64 sectors) {
            cue.lines.append({ rule, number, text, sectors, track.line });
        };
        if (!track.flags.isEmpty())
            add(LineRule::Flags, {}, u' ' + track.flags, -1);
        cue.firstIndex = cue.lines.size();
        if (track.pregap)
            add(LineRule::Index, QStringLiteral("00"), {}, *track.pregap);
        add(LineRule::Index, QStringLiteral("01"), {}, track.start);
        cueTracks.append(cue);
    }
    return cueTracks;
}

} // namespace morvant
