#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace morvant {

// DATs come as people download them: redump.org serves each zipped, No-Intro
// serves packs of many in one ZIP archive, and others gzip theirs. zlib and its
// minizip unpack them; what is ours is the choice of the DAT in an archive and
// the refusals, each with its reason.

/// A DAT's text taken out of its archive, or why it cannot be.
struct UnpackedDat
{
    QByteArray text; ///< the DAT as it was before it was packed
    QString name; ///< the DAT's path inside a ZIP archive; empty for a gzip file
    QString error; ///< why it cannot be unpacked, without the archive's name; empty when it can
    bool isUnpacked() const { return error.isEmpty(); }
};

/** Whether \a bytes start as a ZIP archive or a gzip file do. */
bool isPackedDat(QByteArrayView bytes);

/** The DAT packed in \a bytes, a ZIP archive or a gzip file (isPackedDat()).
    From a ZIP archive: the file named \a entry (its path inside the archive),
    or, when \a entry is empty, its one file, or its one `.dat` or `.xml`
    file; an archive of several DATs is refused with their names, and so is
    one of none. A gzip file holds one file, which \a entry cannot name. An
    archive that is damaged (cut short, a CRC that does not match, sizes that
    disagree), encrypted, packed by a method other than deflate or storing,
    or that unpacks to more than mostUnpackedDat() bytes is refused; the text
    is held once, in no more memory than its own size. \a archivePath, the
    archive's path as the user gave it, is shown in the example of how to name
    one of several DATs. */
UnpackedDat unpackDat(QByteArrayView bytes, const QString &entry, const QString &archivePath);

/// The largest DAT text that unpackDat() gives, 1 GiB: thirty times the largest DAT published.
constexpr qint64 mostUnpackedDat = qint64(1) << 30;

} // namespace morvant
