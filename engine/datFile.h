#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

class QIODevice;

namespace morvant {

// A DAT is the list of a preservation project's verified dumps (redump.org's,
// No-Intro's): for each game, that is each disc, its files with their sizes
// and hashes. It comes in two forms, Logiqx XML and the older ClrMamePro
// text; readDat() reads either.

/// One file of one game (disc) in a DAT: a track's file in the one-file-per-track layout, or its
/// cue sheet.
struct DatRom
{
    QString game; ///< the game's (disc's) name
    QString name; ///< the file's name, e.g. "Disc (Track 01).bin"
    qint64 size = -1; ///< -1 when the DAT gives none
    quint32 crc = 0;
    bool hasCrc = false;
    QByteArray md5; ///< 16 raw bytes; empty when the DAT gives none
    QByteArray sha1; ///< 20 raw bytes; empty when the DAT gives none
};

/// What a DAT holds, or why it cannot be read.
struct DatFile
{
    QList<DatRom> roms; ///< in the DAT's order
    /// Why it cannot be read, without the file's name, which the caller gives:
    /// "line 12: the rom's sha1 is not 40 hexadecimal digits"; empty when it can.
    QString error;
    /// The line (from 1) where reading stopped: that of the rom or tag at fault, or where the
    /// block or element that the file ends inside starts; 0 when no line is at fault.
    qint64 errorLine = 0;
    bool isRead() const { return error.isEmpty(); }
    /** Indexes into roms of those of \a size bytes, in the DAT's order; none for
        a size that no rom has, and never a rom whose size the DAT does not give. */
    QList<qsizetype> withSize(qint64 size) const;

private:
    friend DatFile readDat(QIODevice &device, const QString &entry);
    friend DatFile readDatByQt(QIODevice &device);
    friend DatFile readDat(const QString &path);
    /// Drops the roms of a DAT that cannot be read, and sorts those of one that can by size.
    void finish();
    /// (size, index) of each rom with a size, sorted: built once by readDat().
    QList<std::pair<qint64, qsizetype>> bySize;
};

/** Reads a DAT from \a device, open for reading, in either published form,
    told apart by its first non-blank character: '<' for Logiqx XML (`game` or
    `machine` elements with `rom` elements in them), anything else for the
    ClrMamePro text (`game`, `machine` or `resource` blocks with `rom` blocks).
    Text is UTF-8. A DAT that is damaged (malformed XML, an unclosed
    parenthesis or quote, a size or hash that is not a number or hexadecimal
    digits of the hash's length, the file cut short), holds no rom, or is no
    DAT at all is refused with the reason in `error` and its line in
    `errorLine`, lines ending at LF, CR LF or a lone CR; so is a name or a
    description of more than 4096 characters, and XML whose DOCTYPE declares
    entities or default values that may make more text than the file holds
    (a megabyte at least). A DAT in a ZIP archive or gzipped is read from it
    (unpackDat()): the archive's one DAT, or the file of it that \a entry
    names; an archive that cannot be unpacked is refused without a line.
    Fields other than a rom's name, size, crc, md5 and sha1 are passed over. */
DatFile readDat(QIODevice &device, const QString &entry = QString());

/** readDat() with Logiqx XML read by QXmlStreamReader alone. readDat()
    leaves it only what its faster scanner does not read (an encoding other
    than UTF-8, a DOCTYPE with declarations of its own); any DAT gives the
    same roms, or is refused, whichever reads it, and fuzzing holds the
    scanner to that. */
DatFile readDatByQt(QIODevice &device);

/** The same from the file at \a path; `error` holds the system's reason when
    it cannot be opened (a folder, a FIFO or a device is refused unread). A
    path that goes on past a ZIP archive, "Pack.zip/Sony - PlayStation.dat",
    names a DAT in the archive. */
DatFile readDat(const QString &path);

} // namespace morvant
