#include "verify.h"

#include "controlFile.h"
#include "crc.h"
#include "discFiles.h"
#include "fileSystem.h"
#include "refusals.h"
#include "translation.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSet>

#include <algorithm>

namespace morvant {

namespace {

// A game without a name is no game to match: DATs that leave names out
// would otherwise pool all such games into one, and a disc split over them
// would match it whole.
bool hasGameName(const DatRom &rom)
{
    return !rom.game.trimmed().isEmpty();
}

// A DAT's file can be matched only when the DAT gives all that a match
// compares, and the game it belongs to.
bool isMatchable(const DatRom &rom)
{
    return rom.hasCrc && rom.md5.size() == 16 && rom.sha1.size() == 20 && hasGameName(rom);
}

bool isMatch(const DatRom &rom, const FileHashes &hashes)
{
    return isMatchable(rom) && rom.size == hashes.size && rom.crc == hashes.crc32
        && rom.md5 == hashes.md5 && rom.sha1 == hashes.sha1;
}

// Whether the DAT's file may be \a file's by its name: one that carries a
// track's number is the file of that track alone.
bool isOfItsNumber(const DatRom &rom, const TrackFile &file)
{
    const int number = trackNumberOf(rom.name);
    return number < 0 || number == file.number.toInt();
}

void match(VerifiedTrack &track, const DatFile &dat)
{
    const QList<qsizetype> sized = dat.withSize(track.hashes.size);
    track.entriesOfItsSize = std::count_if(
        sized.begin(), sized.end(), [&](qsizetype rom) { return hasGameName(dat.roms[rom]); });
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
            if (isMatchable(dat.roms[rom]))
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

// The game whose files the most tracks match, each the file of its own
// number, then the game whose files the most tracks match at all; the first
// in the DAT on a tie.
QString bestGame(const VerifiedDisc &disc, const DatFile &dat)
{
    struct Covered
    {
        qsizetype inOrder = 0;
        qsizetype any = 0;
    };
    QStringList games;
    QHash<QString, Covered> covered;
    for (const VerifiedTrack &track : disc.tracks) {
        // Each game of the track's files, in the DAT's order, and whether one is of its number.
        QList<std::pair<QString, bool>> ofTrack;
        for (const qsizetype rom : track.matches) {
            const QString &game = dat.roms[rom].game;
            auto seen = std::find_if(ofTrack.begin(), ofTrack.end(),
                [&](const std::pair<QString, bool> &one) { return one.first == game; });
            if (seen == ofTrack.end())
                seen = ofTrack.insert(ofTrack.end(), { game, false });
            seen->second = seen->second || isOfItsNumber(dat.roms[rom], track.file);
        }
        for (const auto &[game, isInOrder] : ofTrack) {
            if (!covered.contains(game))
                games.append(game);
            Covered &counts = covered[game];
            ++counts.any;
            counts.inOrder += isInOrder ? 1 : 0;
        }
    }
    QString best;
    Covered most;
    for (const QString &game : games) {
        const Covered &counts = covered[game];
        if (counts.inOrder > most.inOrder
            || (counts.inOrder == most.inOrder && counts.any > most.any)) {
            best = game;
            most = counts;
        }
    }
    return best;
}

// Takes for each track the file of the disc's game that it matches: the one
// of its own number, where the game lists the same bytes for several tracks.
void takeFilesOfGame(VerifiedDisc &disc, const DatFile &dat)
{
    for (VerifiedTrack &track : disc.tracks) {
        track.ofGame = -1;
        for (const qsizetype rom : track.matches) {
            if (dat.roms[rom].game != disc.game)
                continue;
            if (track.ofGame < 0)
                track.ofGame = rom;
            if (isOfItsNumber(dat.roms[rom], track.file)) {
                track.ofGame = rom;
                break;
            }
        }
        track.isOutOfOrder =
            track.ofGame >= 0 && !isOfItsNumber(dat.roms[track.ofGame], track.file);
    }
}

bool isSheetName(const QString &name)
{
    return name.endsWith(QLatin1String(".cue"), Qt::CaseInsensitive);
}

/// The cue sheet of \a game that \a dat lists with its size and all three hashes; none for a
/// disc of no game.
const DatRom *listedSheet(const DatFile &dat, const QString &game)
{
    if (game.isEmpty())
        return nullptr;
    const auto listed = std::find_if(dat.roms.begin(), dat.roms.end(), [&](const DatRom &rom) {
        return rom.game == game && isMatchable(rom) && isSheetName(rom.name);
    });
    return listed == dat.roms.end() ? nullptr : &*listed;
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
        if (file.game == disc.game && !matched.contains(rom) && !isSheetName(file.name)
            && !file.name.endsWith(QLatin1String(".sbi"), Qt::CaseInsensitive))
            missing.append(file.name);
    }
    return missing;
}

FileHashes hashesOf(const QByteArray &bytes)
{
    return { bytes.size(), crc32(bytes), QCryptographicHash::hash(bytes, QCryptographicHash::Md5),
        QCryptographicHash::hash(bytes, QCryptographicHash::Sha1) };
}

// The bytes that --split writes for \a sheet, as exactSheetContent() writes
// them; empty when the system's code page cannot hold the sheet.
QByteArray sheetBytes(const QString &sheet)
{
    bool isExact = false;
    const QByteArray bytes = toSystemBytes(sheet, &isExact);
    return isExact ? bytes : QByteArray();
}

// The sheet --split writes, looked up as a track is: against the .cue of the
// disc's game, where the DAT gives it whole. The DAT names the files after
// the game; a sheet that differs may do so only in naming them after the
// control file.
VerifiedSheet verifiedSheet(
    const VerifiedDisc &disc, const ConvertedFile &converted, const DatFile &dat)
{
    VerifiedSheet sheet;
    sheet.baseName = imageName(converted.files.controlFile, converted.files.separator);
    const DatRom *listed = listedSheet(dat, disc.game);
    if (!listed)
        return sheet;
    sheet.datName = listed->name;
    sheet.hashes = hashesOf(sheetBytes(converted.cueSheet));
    if (isMatch(*listed, sheet.hashes)) {
        sheet.verdict = SheetVerdict::Matches;
        return sheet;
    }
    QList<TrackFile> named = converted.trackFiles;
    for (TrackFile &file : named)
        file.name = trackFileName(disc.game, file.number, named.size());
    const QString ofGame =
        cueText(splitSheet(converted.sheet, named, isCdiDisc(converted.outcome.sections)));
    sheet.verdict = isMatch(*listed, hashesOf(sheetBytes(ofGame))) ? SheetVerdict::NamedOtherwise
                                                                   : SheetVerdict::Differs;
    return sheet;
}

DiscVerdict verdictOf(const VerifiedDisc &disc)
{
    qsizetype matching = 0;
    qsizetype data = 0;
    qsizetype dataMatching = 0;
    qsizetype ofGame = 0;
    qsizetype inOrder = 0;
    qsizetype dataInOrder = 0;
    for (const VerifiedTrack &track : disc.tracks) {
        const bool matches = !track.matches.isEmpty();
        const bool isInOrder = track.ofGame >= 0 && !track.isOutOfOrder;
        matching += matches ? 1 : 0;
        data += track.file.isAudio ? 0 : 1;
        dataMatching += !track.file.isAudio && matches ? 1 : 0;
        ofGame += track.ofGame >= 0 ? 1 : 0;
        inOrder += isInOrder ? 1 : 0;
        dataInOrder += !track.file.isAudio && isInOrder ? 1 : 0;
    }
    if (matching == 0)
        return DiscVerdict::Nothing;
    if (matching == disc.tracks.size() && ofGame == matching && disc.missing.isEmpty())
        return inOrder == matching ? DiscVerdict::Matches : DiscVerdict::OutOfOrder;
    if (data > 0 && dataMatching == data && matching == data && dataInOrder == data)
        return DiscVerdict::DataOnly;
    return DiscVerdict::Partly;
}

// The game of \a disc's tracks, each track's file of it, the files of it
// that no track matches, and the verdict of them all.
void judgeTracks(VerifiedDisc &disc, const DatFile &dat)
{
    disc.game = bestGame(disc, dat);
    takeFilesOfGame(disc, dat);
    disc.missing = disc.game.isEmpty() ? QStringList() : missingFiles(disc, dat);
    disc.verdict = verdictOf(disc);
}

// Why \a name is not a file's beside the control file on every system, or
// nothing when it is: a set is moved between them, and Windows takes the
// fewest names.
QString unsafeName(const QString &name)
{
    if (name.isEmpty())
        return tr("it is empty");
    if (name.contains(u'/') || name.contains(u'\\'))
        return tr("it holds a folder separator");
    if (name == u"." || name == u"..")
        return tr("it names a folder");
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("<>:\"|?*").contains(c))
            return tr("it holds a character that Windows refuses in file names");
    }
    if (name.endsWith(u' ') || name.endsWith(u'.'))
        return tr("it ends in a blank or a dot, which Windows drops");
    // CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9, whatever follows a dot.
    const QString device = name.section(u'.', 0, 0).trimmed().toUpper();
    const bool isNumbered = device.size() == 4
        && (device.startsWith(QLatin1String("COM")) || device.startsWith(QLatin1String("LPT")))
        && device[3] >= u'1' && device[3] <= u'9';
    if (isNumbered || device == u"CON" || device == u"PRN" || device == u"AUX" || device == u"NUL")
        return tr("Windows keeps it for a device");
    return {};
}

// The games whose files every track matches, each that of its own number,
// that list no other track file, in the DAT's order.
QStringList wholeGames(const VerifiedDisc &disc, const DatFile &dat)
{
    QStringList games;
    if (disc.tracks.isEmpty())
        return games;
    for (const qsizetype rom : disc.tracks.first().matches) {
        const QString &game = dat.roms[rom].game;
        if (games.contains(game))
            continue;
        const bool isWhole =
            std::all_of(disc.tracks.begin(), disc.tracks.end(), [&](const VerifiedTrack &track) {
                return std::any_of(track.matches.begin(), track.matches.end(), [&](qsizetype one) {
                    return dat.roms[one].game == game && isOfItsNumber(dat.roms[one], track.file);
                });
            });
        const qsizetype files =
            std::count_if(dat.roms.begin(), dat.roms.end(), [&](const DatRom &one) {
                return one.game == game && !isSheetName(one.name)
                    && !one.name.endsWith(QLatin1String(".sbi"), Qt::CaseInsensitive);
            });
        if (isWhole && files == disc.tracks.size())
            games.append(game);
    }
    return games;
}

} // namespace

DatNames datNames(const VerifiedDisc &disc, const DatFile &dat, const QString &controlFile)
{
    DatNames names;
    const QStringList games = wholeGames(disc, dat);
    if (games.isEmpty()) {
        names.refusal = tr("no game of the DAT has every track");
        return names;
    }
    // Twins of the same tracks ("(Europe)" and "(Europe) (Rev 1)") are told
    // apart by nothing on the disc: a guess would file it under the wrong one.
    const QString base = imageName(controlFile);
    names.game = games.size() == 1 ? games.first() : games.contains(base) ? base : QString();
    if (names.game.isEmpty()) {
        QStringList quoted;
        for (const QString &game : games)
            quoted.append(u'"' + game + u'"');
        names.refusal = tr("its tracks are those of %1 games alike, %2; name the control file "
                           "after the one it is")
                            .arg(games.size())
                            .arg(quoted.join(QStringLiteral(", ")));
        return names;
    }
    for (const VerifiedTrack &track : disc.tracks) {
        const auto rom =
            std::find_if(track.matches.begin(), track.matches.end(), [&](qsizetype one) {
                return dat.roms[one].game == names.game && isOfItsNumber(dat.roms[one], track.file);
            });
        names.tracks.append(dat.roms[*rom].name);
    }
    const auto sheet = std::find_if(dat.roms.begin(), dat.roms.end(),
        [&](const DatRom &rom) { return rom.game == names.game && isSheetName(rom.name); });
    names.cue = sheet != dat.roms.end() ? sheet->name : names.game + QStringLiteral(".cue");
    // The disc's own files stay as they are; none of the set may be one of them.
    const QString controlName = controlFile.mid(fileNameStart(controlFile));
    const QString stem = controlName.left(controlName.size() - 4);
    QStringList taken{ controlName, stem + QStringLiteral(".img"), stem + QStringLiteral(".sub") };
    for (const QString &name : names.tracks + QStringList{ names.cue }) {
        QString reason = unsafeName(name);
        if (reason.isEmpty() && taken.contains(name, Qt::CaseInsensitive))
            reason = tr("it is the name of a file of the disc, or of another file of the set");
        if (!reason.isEmpty()) {
            names.refusal =
                tr("the DAT's name \"%1\" is no name for a file beside it: %2").arg(name, reason);
            return names;
        }
        taken.append(name);
    }
    return names;
}

SheetVerdict sheetVerdictOf(const QString &cueSheet, const QString &game, const DatFile &dat)
{
    const DatRom *listed = listedSheet(dat, game);
    if (!listed)
        return SheetVerdict::NotListed;
    return isMatch(*listed, hashesOf(sheetBytes(cueSheet))) ? SheetVerdict::Matches
                                                            : SheetVerdict::Differs;
}

int trackNumberOf(const QString &name)
{
    const QLatin1String before("(Track ");
    const qsizetype at = name.lastIndexOf(before, -1, Qt::CaseInsensitive);
    if (at < 0)
        return -1;
    // Discs have at most 99 tracks; four digits are more than any name needs.
    constexpr qsizetype mostDigits = 4;
    int number = 0;
    qsizetype digits = 0;
    qsizetype p = at + before.size();
    for (; p < name.size() && digits < mostDigits && name[p] >= u'0' && name[p] <= u'9'; ++p) {
        number = number * 10 + (name[p].unicode() - u'0');
        ++digits;
    }
    return digits > 0 && p < name.size() && name[p] == u')' ? number : -1;
}

qsizetype filesOfNamelessGames(const DatFile &dat)
{
    return std::count_if(
        dat.roms.begin(), dat.roms.end(), [](const DatRom &rom) { return !hasGameName(rom); });
}

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
    judgeTracks(disc, dat);
    disc.sheet = verifiedSheet(disc, converted, dat);
    return disc;
}

namespace {

/// A split set's file as its cue sheet names it: the first track in it tells what it holds.
struct SheetFile
{
    QString name;
    QString number; ///< of its first track, "01"
    bool isAudio = false;
};

/** The files that the cue sheet \a text names, in its order: each `FILE`
    line's quoted name (or its first word), with the first `TRACK` line after
    it. False where a `FILE` line has no name, no track follows it, or a
    track's number is not one or two digits. */
bool sheetFiles(const QString &text, QList<SheetFile> *files)
{
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(QLatin1String("FILE "), Qt::CaseInsensitive)) {
            QStringView rest = line.mid(5).trimmed();
            QStringView name;
            if (rest.startsWith(u'"')) {
                const qsizetype end = rest.indexOf(u'"', 1);
                if (end < 0)
                    return false;
                name = rest.mid(1, end - 1);
            } else {
                name = rest.left(rest.indexOf(u' '));
            }
            if (name.isEmpty())
                return false;
            files->append({ name.toString(), {}, false });
        } else if (line.startsWith(QLatin1String("TRACK "), Qt::CaseInsensitive)
            && !files->isEmpty() && files->last().number.isEmpty()) {
            const QList<QStringView> words = line.split(u' ', Qt::SkipEmptyParts);
            // A track's number is shown in the report as the sheet gives it: digits alone.
            const bool isNumber = words.size() >= 3 && words[1].size() <= 2
                && std::all_of(words[1].begin(), words[1].end(),
                    [](QChar c) { return c >= u'0' && c <= u'9'; });
            if (!isNumber)
                return false;
            files->last().number = words[1].toString();
            files->last().isAudio =
                words[2].compare(QLatin1String("AUDIO"), Qt::CaseInsensitive) == 0;
        }
    }
    return !files->isEmpty()
        && std::all_of(files->begin(), files->end(),
            [](const SheetFile &file) { return !file.number.isEmpty(); });
}

} // namespace

bool isSheetPath(const QString &path)
{
    return path.endsWith(QLatin1String(".cue"), Qt::CaseInsensitive);
}

VerifiedDisc verifySheetSet(const QString &path, const DatFile &dat, const Progress &progress)
{
    VerifiedDisc set;
    set.controlFile = path;
    QFile sheetFile;
    if (!openRegularFile(sheetFile, path, &set.error))
        return set;
    // A sheet of 99 tracks takes a few kilobytes.
    constexpr qint64 mostSheetBytes = 1 << 20;
    if (sheetFile.size() > mostSheetBytes) {
        set.error = tr("it is %1 bytes long, larger than any cue sheet").arg(sheetFile.size());
        return set;
    }
    const QByteArray bytes = sheetFile.readAll();
    if (sheetFile.error() != QFileDevice::NoError) {
        set.error = sheetFile.errorString();
        return set;
    }
    QList<SheetFile> named;
    if (!sheetFiles(fromSystemBytes(bytes), &named)) {
        set.error = tr("it is no cue sheet of a set of files: a FILE line without a name or a "
                       "TRACK after it, or a TRACK without a number of one or two digits");
        return set;
    }
    const QString folder = path.left(fileNameStart(path));
    qint64 total = 0;
    QList<qint64> sizes;
    for (const SheetFile &file : std::as_const(named)) {
        const FileStatus status = fileStatus(folder + file.name);
        if (!status.isFile) {
            set.error = tr("%1, which it names, %2")
                            .arg(shownPath(folder + file.name),
                                status.exists ? notAFile(status) : tr("is missing"));
            return set;
        }
        sizes.append(status.size);
        total += status.size;
    }
    qint64 before = 0;
    for (qsizetype i = 0; i < named.size(); ++i) {
        QFile file;
        if (!openRegularFile(file, folder + named[i].name, &set.error))
            return set;
        QList<FileHashes> hashes;
        const Progress ofAll = [&](qint64 done, qint64) {
            return !progress || progress(before + done, total);
        };
        if (!hashStretches(file, sizes[i], { { 0, sizes[i] } }, &hashes, &set.error, ofAll)) {
            set.tracks.clear();
            return set;
        }
        before += sizes[i];
        VerifiedTrack track;
        track.file.number = named[i].number;
        track.file.isAudio = named[i].isAudio;
        track.file.name = named[i].name;
        track.file.size = sizes[i];
        track.hashes = hashes.first();
        match(track, dat);
        set.tracks.append(track);
    }
    judgeTracks(set, dat);
    // The sheet itself, as the DAT lists the game's.
    set.sheet.baseName = imageName(path, nativeSeparator);
    if (const DatRom *listed = listedSheet(dat, set.game)) {
        set.sheet.datName = listed->name;
        set.sheet.hashes = hashesOf(bytes);
        set.sheet.verdict =
            isMatch(*listed, set.sheet.hashes) ? SheetVerdict::Matches : SheetVerdict::Differs;
    }
    return set;
}

} // namespace morvant
