#pragma once

// Control files as dumping programs write them, made from a description of
// their sections, and the image and subchannel files of a disc that go beside
// them. Every test writes its control files through controlFile(), so that
// they share one layout; a row that needs bytes no dumping program writes
// alters the text it gives, or passes its own lines as they are.

#include "testHelpers.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <optional>

/// A raw sector as the image holds it, and a subchannel block as the .sub holds it.
inline constexpr qint64 sectorBytes = 2352;
inline constexpr qint64 subBlockBytes = 96;

/// An [Entry] section: a row of the table of contents.
struct Toc
{
    int point; ///< a track's number, or 0xa0 to 0xa2
    int control;
    qint64 plba;
    int session = 1;
    std::optional<int> psec{}; ///< as PSec= writes it; no such line when unset
};

/// A [TRACK] section; a Disc also gives the track its row of the table of contents.
struct Track
{
    int number;
    int control; ///< as the table of contents gives it
    int mode; ///< as MODE= writes it
    QByteArray flags; ///< as FLAGS= writes it; empty for no FLAGS= line
    std::optional<qint64> pregap; ///< INDEX 0
    qint64 start; ///< INDEX 1
    int session = 1;
    QByteArray isrc{}; ///< as ISRC= writes it, after MODE=; empty for no ISRC= line
};

/// What a control file holds, section by section, in the order a dumping program writes it.
struct ControlFile
{
    bool hasVersion = true; ///< Version=3 under [CloneCD]
    std::optional<qsizetype> tocEntries; ///< what TocEntries= says; no such line when unset
    QByteArray sessions = "1"; ///< as Sessions= writes it
    QByteArray catalog; ///< as CATALOG= writes it; empty for no CATALOG= line
    QByteArray discLines; ///< further lines of [Disc], as they are
    QByteArray preGapMode; ///< [Session 1] with PreGapMode= this and PreGapSubC=0; empty: none
    QList<Toc> toc;
    QList<Track> tracks;
    QByteArray trackLines; ///< [TRACK] sections as they are, after those of tracks
    QList<QByteArray> cdText; ///< packs of 16 or 18 bytes; a [CDText] section when not empty
};

/// The [Entry] sections of \a toc, numbered from 0.
inline QByteArray tocSections(const QList<Toc> &toc)
{
    QByteArray text;
    for (qsizetype i = 0; i < toc.size(); ++i) {
        text +=
            QStringLiteral("[Entry %1]\nSession=%5\nPoint=0x%2\nADR=0x01\nControl=0x%3\nTrackNo=0\n"
                           "PLBA=%4\n")
                .arg(i)
                .arg(toc[i].point, 2, 16, QLatin1Char('0'))
                .arg(toc[i].control, 2, 16, QLatin1Char('0'))
                .arg(toc[i].plba)
                .arg(toc[i].session)
                .toLatin1();
        if (toc[i].psec)
            text += "PSec=" + QByteArray::number(*toc[i].psec) + '\n';
    }
    return text;
}

/// The [TRACK] sections of \a tracks, with "\n" line ends, for rows to alter before controlFile().
inline QByteArray trackSections(const QList<Track> &tracks)
{
    QByteArray text;
    for (const Track &track : tracks) {
        text += "[TRACK " + QByteArray::number(track.number)
            + "]\nMODE=" + QByteArray::number(track.mode) + '\n';
        if (!track.isrc.isEmpty())
            text += "ISRC=" + track.isrc + '\n';
        if (!track.flags.isEmpty())
            text += "FLAGS= " + track.flags + '\n';
        if (track.pregap)
            text += "INDEX 0=" + QByteArray::number(*track.pregap) + '\n';
        text += "INDEX 1=" + QByteArray::number(track.start) + '\n';
    }
    return text;
}

/// A [CDText] section that counts its entries and writes each pack in hexadecimal.
inline QByteArray cdTextSection(const QList<QByteArray> &packs)
{
    QByteArray section = "[CDText]\nEntries=" + QByteArray::number(packs.size()) + '\n';
    for (qsizetype i = 0; i < packs.size(); ++i)
        section += "Entry " + QByteArray::number(i) + '=' + packs[i].toHex(' ') + '\n';
    return crlf(section);
}

/// The bytes of \a file, with the Windows line ends that dumping programs write.
inline QByteArray controlFile(const ControlFile &file)
{
    QByteArray text = "[CloneCD]\n";
    if (file.hasVersion)
        text += "Version=3\n";
    text += "[Disc]\n";
    if (file.tocEntries)
        text += "TocEntries=" + QByteArray::number(*file.tocEntries) + '\n';
    text += "Sessions=" + file.sessions + '\n';
    if (!file.catalog.isEmpty())
        text += "CATALOG=" + file.catalog + '\n';
    text += file.discLines;
    if (!file.preGapMode.isEmpty())
        text += "[Session 1]\nPreGapMode=" + file.preGapMode + "\nPreGapSubC=0\n";
    text += tocSections(file.toc) + trackSections(file.tracks) + file.trackLines;
    return crlf(text) + (file.cdText.isEmpty() ? QByteArray() : cdTextSection(file.cdText));
}

/// A disc: its tracks, and each session's lead-out.
struct Disc
{
    QList<Track> tracks;
    QList<qint64> leadOuts;

    qint64 end() const { return leadOuts.last(); }
};

/** The control file of \a disc as a dumping program writes it: its table of
    contents (each session's lead-out, with the control of the session's last
    track, then each track), and with \a withTracks its [TRACK] sections. */
inline ControlFile dumpOf(const Disc &disc, bool withTracks, const QByteArray &preGapMode = "0")
{
    ControlFile file;
    file.sessions = QByteArray::number(disc.leadOuts.size());
    file.discLines = "DataTracksScrambled=0\nCDTextLength=0\n";
    file.preGapMode = preGapMode;
    for (qsizetype session = 1; session <= disc.leadOuts.size(); ++session) {
        int control = 0;
        for (const Track &track : disc.tracks)
            control = track.session == session ? track.control : control;
        file.toc.append({ 0xa2, control, disc.leadOuts[session - 1], int(session) });
    }
    for (const Track &track : disc.tracks)
        file.toc.append({ track.number, track.control, track.start, track.session });
    file.tocEntries = file.toc.size();
    if (withTracks)
        file.tracks = disc.tracks;
    return file;
}

inline QByteArray bcd(qint64 value)
{
    return QByteArray(1, char((value / 10) << 4 | value % 10));
}

/// A time as MM:SS:FF in BCD, as a sector header and the Q channel write it.
inline QByteArray timeOf(qint64 frames)
{
    return bcd(frames / 4500) + bcd(frames / 75 % 60) + bcd(frames % 75);
}

/// The absolute time of \a sector, counted from the lead-in's end two seconds before it.
inline QByteArray msfOf(qint64 sector)
{
    return timeOf(sector + 150);
}

/// The first 16 bytes of a data sector: its sync pattern, address and \a mode.
inline QByteArray sectorHeader(qint64 sector, char mode)
{
    return QByteArray::fromHex("00ffffffffffffffffffff00") + msfOf(sector) + mode;
}

/// An image of \a bytes, sparse where the system allows: a disc with no sector header.
inline bool makeImage(const QString &path, qint64 bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.resize(bytes);
}

/// What to write into the image at a data track's first sector.
enum class Header {
    Real,
    None,
    ModeZero,
    Late, ///< the first 16 sectors unreadable, a real header after them
    Scrambled, ///< the mode byte as a scrambled image holds it
};

/// A sparse image of \a disc whose data tracks begin with a sector header.
inline bool makeImage(const QString &path, const Disc &disc, Header header)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(disc.end() * sectorBytes))
        return false;
    for (const Track &track : disc.tracks) {
        if (track.mode == 0 || header == Header::None)
            continue;
        const qint64 sector = track.start + (header == Header::Late ? 16 : 0);
        const char mode = header == Header::Real || header == Header::Late ? char(track.mode)
            : header == Header::Scrambled                                  ? char(98)
                                                                           : char(0);
        const QByteArray bytes = sectorHeader(sector, mode);
        if (!file.seek(sector * sectorBytes) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

/** The CRC that a disc stores with a Q block and a CD-Text pack: CRC-16 with
    the polynomial 0x1021, no initial bits, inverted. Worked out here bit by bit,
    apart from the program's own, so that a fault in that one shows as blocks and
    packs that it calls damaged. */
inline quint16 discCrc(const QByteArray &bytes)
{
    quint16 crc = 0;
    for (char byte : bytes) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool in = (quint8(byte) >> bit) & 1;
            const bool top = crc & 0x8000;
            crc = quint16(crc << 1);
            if (in != top)
                crc ^= 0x1021;
        }
    }
    return quint16(~crc);
}

/// \a bytes with their CRC after them, high byte first.
inline QByteArray withCrc(const QByteArray &bytes)
{
    const quint16 crc = discCrc(bytes);
    return bytes + char(crc >> 8) + char(crc & 0xff);
}

/// A subchannel block whose Q channel holds \a q and its CRC; the P channel set for a pause.
inline QByteArray qBlock(const QByteArray &q, bool isPause = false)
{
    return QByteArray(12, isPause ? '\xff' : '\0') + withCrc(q) + QByteArray(72, '\0');
}

/// How the Q channel of a generated disc is laid out besides its positions.
struct SubShape
{
    int codesEvery = 97; ///< every how many sectors a catalogue number block stands (Q mode 2)
    int codesAt = 50; ///< the first of them
    bool pregapsEndAtZero = false; ///< a pregap's relative time counts down to 0, not 1
    bool hasPause = false; ///< the P channel set through each pregap
    bool codesAtPregaps = false; ///< an ISRC block (Q mode 3) on each pregap's first sector
};

/** The subchannel of \a disc: Q mode 1 positions everywhere but every 97th
    sector, which carries the catalogue number (Q mode 2), as on real discs. */
inline QByteArray subchannel(const Disc &disc, const SubShape &shape = {})
{
    QByteArray sub;
    for (qint64 sector = 0; sector < disc.end(); ++sector) {
        int track = 1;
        int index = 1;
        int control = disc.tracks.first().control;
        qint64 relative = sector;
        bool isPregapStart = false;
        for (const Track &t : disc.tracks) {
            if (sector >= t.start) {
                track = t.number;
                index = 1;
                relative = sector - t.start;
                control = t.control;
            } else if (t.pregap && sector >= *t.pregap) {
                track = t.number;
                index = 0;
                relative = t.start - sector - (shape.pregapsEndAtZero ? 1 : 0);
                control = t.control;
                isPregapStart = sector == *t.pregap;
            }
        }
        if (isPregapStart && shape.codesAtPregaps) {
            sub += qBlock(QByteArray::fromHex("03") + QByteArray(9, '\x11'), shape.hasPause);
            continue;
        }
        if (sector % shape.codesEvery == shape.codesAt) {
            sub += qBlock(
                QByteArray::fromHex("02") + QByteArray(9, '\0'), index == 0 && shape.hasPause);
            continue;
        }
        sub += qBlock(char(control << 4 | 1) + bcd(track) + bcd(index) + timeOf(relative)
                + QByteArray(1, '\0') + msfOf(sector),
            index == 0 && shape.hasPause);
    }
    return sub;
}

/// \a sub a sector off: its last block moved to the front.
inline QByteArray shiftedBySector(const QByteArray &sub)
{
    return sub.right(subBlockBytes) + sub.chopped(subBlockBytes);
}

/// \a text with every \a before in it made \a after: how a row alters a file.
inline QByteArray replaced(QByteArray text, const QByteArray &before, const QByteArray &after)
{
    return text.replace(before, after);
}

// The disc that the rows of --check, --sessions and --codes alter: two audio
// tracks of 1000 sectors each, the disc ending at sector 2000.
inline const QList<Toc> twoAudioTracks{ { 0xa2, 0x00, 2000 }, { 1, 0x00, 0 }, { 2, 0x00, 1000 } };
inline const QByteArray twoTracks =
    trackSections({ { 1, 0x00, 0, {}, {}, 0 }, { 2, 0x00, 0, {}, {}, 1000 } });

/** The control file of \a tracks, given as the text of their sections, and of
    \a toc; \a disc is the [Disc] section's line on scrambling. TocEntries=
    stays 3 whatever the rows give: the program goes by the [Entry] sections. */
inline QByteArray dumpFile(const QByteArray &tracks = twoTracks,
    const QList<Toc> &toc = twoAudioTracks, const QByteArray &disc = "DataTracksScrambled=0\n",
    const QByteArray &sessions = "1")
{
    ControlFile file;
    file.tocEntries = 3;
    file.sessions = sessions;
    file.discLines = disc + "CDTextLength=0\n";
    file.preGapMode = "0";
    file.toc = toc;
    file.trackLines = tracks;
    return controlFile(file);
}

// An Enhanced CD: two audio tracks in session 1, whose lead-out is at sector
// 2000; a data track in session 2, 11,400 sectors on (lead-out, lead-in and
// pregap between them), the disc ending at sector 15000.
inline const QList<Toc> enhancedToc{ { 0xa2, 0x00, 2000 }, { 1, 0x00, 0 }, { 2, 0x00, 1000 },
    { 0xa2, 0x04, 15000, 2 }, { 3, 0x04, 13400, 2 } };
inline const QByteArray enhancedTracks = twoTracks + "[TRACK 3]\nMODE=1\nINDEX 1=13400\n";

/// The Enhanced CD's table of contents with its entry \a at giving PLBA=\a plba.
inline QList<Toc> enhancedTocWith(qsizetype at, qint64 plba)
{
    QList<Toc> toc = enhancedToc;
    toc[at].plba = plba;
    return toc;
}

/// The Enhanced CD's control file, or another of \a tracks and \a toc saying Sessions=\a sessions.
inline QByteArray sessionsFile(const QByteArray &tracks = enhancedTracks,
    const QList<Toc> &toc = enhancedToc, const QByteArray &sessions = "2")
{
    return dumpFile(tracks, toc, "DataTracksScrambled=0\n", sessions);
}
