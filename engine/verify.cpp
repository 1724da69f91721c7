#include "verify.h"

#include "fileSystem.h"
#include "refusals.h"
#include "translation.h"

#include <QFile>
#include <QSet>

#include <algorithm>

namespace morvant {

namespace {

// A DAT's file can be matched only when the DAT gives all that a match compares.
bool isComplete(const DatRom &rom)
{
    return rom.hasCrc && rom.md5.size() == 16 && rom.sha1.size() == 20;
}

bool isMatch(const DatRom &rom, const FileHashes &hashes)
{
    return isComplete(rom) && rom.size == hashes.size && rom.crc == hashes.crc32
        && rom.md5 == hashes.md5 && rom.sha1 == hashes.sha1;
}

void match(VerifiedTrack &track, const DatFile &dat)
{
    const QList<qsizetype> sized = dat.withSize(track.hashes.size);
    track.entriesOfItsSize = sized.size();
    track.matches.clear();
    std::copy_if(sized.begin(), sized.end(), std::back_inserter(track.matches),
        [&](qsizetype rom) { return isMatch(dat.roms[rom], track.hashes); });
}

// The offsets at which every audio track's CRC-32 is that of a DAT's file of
// its size, nearest to none first.
bool commonOffsets(QIODevice &image, qint64 imageSize, const QList<VerifiedTrack> &tracks,
    const DatFile &dat, QList<int> *common, QString *error)
{
    bool isFirst = true;
    for (const VerifiedTrack &track : tracks) {
        if (!track.file.isAudio)
            continue;
        QSet<quint32> crcs;
        for (const qsizetype rom : dat.withSize(track.file.size)) {
            if (isComplete(dat.roms[rom]))
                crcs.insert(dat.roms[rom].crc);
        }
        QList<int> offsets;
        if (!crcs.isEmpty()
            && !offsetsMatching(
                image, imageSize, track.file.stretch(), mostOffsetSamples, crcs, &offsets, error))
            return false;
        if (isFirst)
            *common = offsets;
        else
            common->erase(std::remove_if(common->begin(), common->end(),
                              [&](int offset) { return !offsets.contains(offset); }),
                common->end());
        isFirst = false;
        if (common->isEmpty())
            return true;
    }
    std::stable_sort(
        common->begin(), common->end(), [](int one, int other) { return qAbs(one) < qAbs(other); });
    return true;
}

// Looks for an offset at which every audio track matches, confirmed by all
// three hashes, and takes the audio tracks' hashes and matches there.
bool findAudioOffset(QIODevice &image, qint64 imageSize, VerifiedDisc &disc, const DatFile &dat,
    const Progress &progress, QString *error)
{
    QList<int> candidates;
    if (!commonOffsets(image, imageSize, disc.tracks, dat, &candidates, error))
        return false;
    // A track of silence matches at every offset; a few candidates suffice
    // for everything else.
    constexpr qsizetype mostTried = 4;
    for (const int offset : candidates.first(qMin(candidates.size(), mostTried))) {
        if (offset == 0)
            continue;
        QList<ByteStretch> stretches;
        QList<qsizetype> audio;
        for (qsizetype i = 0; i < disc.tracks.size(); ++i) {
            if (disc.tracks[i].file.isAudio) {
                stretches.append(disc.tracks[i].file.stretch(offset));
                audio.append(i);
            }
        }
        QList<FileHashes> hashes;
        if (!hashStretches(image, imageSize, stretches, &hashes, error, progress))
            return false;
        QList<VerifiedTrack> shifted;
        for (qsizetype i = 0; i < audio.size(); ++i) {
            VerifiedTrack track = disc.tracks[audio[i]];
            track.hashes = hashes[i];
            match(track, dat);
            if (track.matches.isEmpty())
                break;
            shifted.append(track);
        }
        if (shifted.size() != audio.size())
            continue;
        for (qsizetype i = 0; i < audio.size(); ++i)
            disc.tracks[audio[i]] = shifted[i];
        disc.audioOffset = offset;
        return true;
    }
    return true;
}

// The game whose files the most tracks match, the first in the DAT on a tie,
// and how many tracks that is.
std::pair<QString, qsizetype> bestGame(const VerifiedDisc &disc, const DatFile &dat)
{
    QStringList games;
    QHash<QString, qsizetype> covered;
    for (const VerifiedTrack &track : disc.tracks) {
        QSet<QString> ofTrack;
        for (const qsizetype rom : track.matches)
            ofTrack.insert(dat.roms[rom].game);
        for (const QString &game : ofTrack) {
            if (!covered.contains(game))
                games.append(game);
            ++covered[game];
        }
    }
    std::pair<QString, qsizetype> best;
    for (const QString &game : games) {
        if (covered[game] > best.second)
            best = { game, covered[game] };
    }
    return best;
}

// The game's track files that no track matches; its cue sheet and any other
// file that is not a track's are no part of the image.
QStringList missingFiles(const VerifiedDisc &disc, const DatFile &dat)
{
    QSet<qsizetype> matched;
    for (const VerifiedTrack &track : disc.tracks) {
        for (const qsizetype rom : track.matches)
            matched.insert(rom);
    }
    QStringList missing;
    for (qsizetype rom = 0; rom < dat.roms.size(); ++rom) {
        const DatRom &file = dat.roms[rom];
        if (file.game == disc.game && !matched.contains(rom)
            && !file.name.endsWith(QLatin1String(".cue"), Qt::CaseInsensitive)
            && !file.name.endsWith(QLatin1String(".sbi"), Qt::CaseInsensitive))
            missing.append(file.name);
    }
    return missing;
}

DiscVerdict verdictOf(const VerifiedDisc &disc, qsizetype coveredByGame)
{
    qsizetype matching = 0;
    qsizetype data = 0;
    qsizetype dataMatching = 0;
    for (const VerifiedTrack &track : disc.tracks) {
        const bool matches = !track.matches.isEmpty();
        matching += matches ? 1 : 0;
        data += track.file.isAudio ? 0 : 1;
        dataMatching += !track.file.isAudio && matches ? 1 : 0;
    }
    if (matching == 0)
        return DiscVerdict::Nothing;
    if (matching == disc.tracks.size() && coveredByGame == matching && disc.missing.isEmpty())
        return DiscVerdict::Matches;
    if (data > 0 && dataMatching == data && matching == data && coveredByGame == data)
        return DiscVerdict::DataOnly;
    return DiscVerdict::Partly;
}

} // namespace

VerifiedDisc verifyDisc(const QString &path, const DatFile &dat, const ConversionOptions &options,
    const Progress &progress)
{
    VerifiedDisc disc;
    disc.controlFile = path;
    ConversionOptions cut = options;
    // Reading a disc of several sessions harms nothing: its files end at the lead-outs.
    cut.sessions = true;
    cut.split = true;
    cut.splitOffset = 0;
    cut.sbi = SbiWrite::No;
    const ConvertedFile converted = convert(path, cut);
    if (converted.isRefused()) {
        disc.error = refusalRemark(path, converted.outcome).message;
        return disc;
    }
    if (!converted.splitError.isEmpty()) {
        disc.error = converted.splitError;
        return disc;
    }
    QFile image;
    if (!openRegularFile(image, converted.files.image, &disc.error))
        return disc;
    const qint64 imageSize = image.size();
    QList<ByteStretch> stretches;
    for (const TrackFile &file : converted.trackFiles)
        stretches.append(file.stretch());
    QList<FileHashes> hashes;
    if (!hashStretches(image, imageSize, stretches, &hashes, &disc.error, progress))
        return disc;
    bool hasUnmatchedAudio = false;
    for (qsizetype i = 0; i < converted.trackFiles.size(); ++i) {
        VerifiedTrack track;
        track.file = converted.trackFiles[i];
        track.hashes = hashes[i];
        match(track, dat);
        hasUnmatchedAudio = hasUnmatchedAudio || (track.file.isAudio && track.matches.isEmpty());
        disc.tracks.append(track);
    }
    if (hasUnmatchedAudio && !findAudioOffset(image, imageSize, disc, dat, progress, &disc.error)) {
        disc.tracks.clear();
        return disc;
    }
    const auto [game, covered] = bestGame(disc, dat);
    disc.game = game;
    disc.missing = game.isEmpty() ? QStringList() : missingFiles(disc, dat);
    disc.verdict = verdictOf(disc, covered);
    return disc;
}

} // namespace morvant
