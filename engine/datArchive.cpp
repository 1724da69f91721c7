#include "datArchive.h"

#include "basics.h"
#include "fileSystem.h"
#include "translation.h"

#include <QList>
#include <QStringList>
#include <QtEndian>

#include <unzip.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace morvant {

namespace {

// minizip reads an archive through functions that the caller gives it. The
// DAT is already in memory whole, so it reads from there: no second opening of
// the file, and no path for minizip to turn into a Windows one.

/// The archive's bytes and how far minizip has read them.
struct MemoryArchive
{
    QByteArrayView bytes;
    ZPOS64_T at = 0;
};

voidpf ZCALLBACK openArchive(voidpf opaque, const void *, int)
{
    return opaque;
}

uLong ZCALLBACK readArchive(voidpf, voidpf stream, void *buffer, uLong size)
{
    auto *archive = static_cast<MemoryArchive *>(stream);
    const auto left = ZPOS64_T(archive->bytes.size()) - archive->at;
    const auto count = uLong(std::min<ZPOS64_T>(size, left));
    std::memcpy(buffer, archive->bytes.constData() + archive->at, count);
    archive->at += count;
    return count;
}

uLong ZCALLBACK writeArchive(voidpf, voidpf, const void *, uLong)
{
    return 0; // read only
}

ZPOS64_T ZCALLBACK tellArchive(voidpf, voidpf stream)
{
    return static_cast<MemoryArchive *>(stream)->at;
}

long ZCALLBACK seekArchive(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    auto *archive = static_cast<MemoryArchive *>(stream);
    const auto size = ZPOS64_T(archive->bytes.size());
    ZPOS64_T from = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR)
        from = archive->at;
    else if (origin == ZLIB_FILEFUNC_SEEK_END)
        from = size;
    // minizip seeks backwards from the end by adding offsets that wrap round.
    const ZPOS64_T to = from + offset;
    if (to > size)
        return -1;
    archive->at = to;
    return 0;
}

int ZCALLBACK closeArchive(voidpf, voidpf)
{
    return 0;
}

int ZCALLBACK archiveError(voidpf, voidpf)
{
    return 0;
}

/// One file or folder of a ZIP archive, as its central directory lists it.
struct ArchiveEntry
{
    QString name; ///< its path inside the archive, with `/` between folders
    unz64_file_pos position{};
    ZPOS64_T size = 0; ///< unpacked
    ZPOS64_T packedSize = 0;
    uLong flags = 0;
    uLong method = 0;
    bool isFolder() const { return name.endsWith(u'/'); }
    /// As a message quotes it: the archive's names are the archiver's, and may hold line ends.
    QString shownName() const { return shownLine(name); }
    bool isDat() const
    {
        return !isFolder()
            && (name.endsWith(QLatin1String(".dat"), Qt::CaseInsensitive)
                || name.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive));
    }
};

/// "a", "a" and "b", "a", "b" and "c", … "a", "b", "c", "d", "e" and 3 more.
QString namesOf(const QList<ArchiveEntry> &entries)
{
    constexpr qsizetype shown = 5;
    QStringList names;
    for (qsizetype i = 0; i < std::min(entries.size(), shown); ++i)
        names.append(u'"' + entries[i].shownName() + u'"');
    if (entries.size() > shown)
        return tr("%1 and %2 more")
            .arg(names.join(QLatin1String(", ")), QString::number(entries.size() - shown));
    const QString last = names.takeLast();
    return names.isEmpty() ? last : tr("%1 and %2").arg(names.join(QLatin1String(", ")), last);
}

QString shownBytes(ZPOS64_T size)
{
    return QString::number(size);
}

/// The text of the file that \a entry of \a zip, an archive of \a archiveSize bytes, holds, read
/// whole.
UnpackedDat readEntry(unzFile zip, const ArchiveEntry &entry, ZPOS64_T archiveSize)
{
    UnpackedDat dat;
    if (entry.flags & 1) {
        dat.error = tr("\"%1\" in the ZIP archive is encrypted").arg(entry.shownName());
        return dat;
    }
    if (entry.method != 0 && entry.method != Z_DEFLATED) {
        dat.error = tr("\"%1\" in the ZIP archive is packed by compression method %2: only "
                       "deflate and storing, which DATs are packed by, are read")
                        .arg(entry.shownName(), QString::number(entry.method));
        return dat;
    }
    // minizip 1.1 (Debian 12's) reads the sizes of a Zip64 record only where
    // a long is 32 bits, on Windows: elsewhere the marker stays in their place.
    constexpr ZPOS64_T zip64Marker = 0xffffffff;
    if (entry.size == zip64Marker || entry.packedSize == zip64Marker) {
        dat.error = tr("\"%1\" in the ZIP archive gives its sizes in a Zip64 record, which the "
                       "minizip library of this system does not read: unpack the DAT from it "
                       "by hand")
                        .arg(entry.shownName());
        return dat;
    }
    if (entry.size > ZPOS64_T(mostUnpackedDat)) {
        dat.error =
            tr("\"%1\" in the ZIP archive unpacks to %2 bytes, more than the %3 that any "
               "DAT of discs stays within")
                .arg(entry.shownName(), shownBytes(entry.size), shownBytes(mostUnpackedDat));
        return dat;
    }
    const QString damaged = tr("the ZIP archive is damaged: \"%1\" in it cannot be unpacked (%2)");
    // Deflate makes at most 1,032 bytes of each byte it packs, and a packed
    // file lies within the archive: the text is given no more room than the
    // archive can fill, whatever size its list gives.
    const ZPOS64_T packed = std::min<ZPOS64_T>(entry.packedSize, archiveSize);
    const ZPOS64_T mostGiven = entry.method == 0 ? packed : packed * 1032 + 1024;
    if (entry.size > mostGiven) {
        dat.error = damaged.arg(entry.shownName(),
            tr("it lists %1 bytes unpacked, more than its %2 packed bytes can give")
                .arg(shownBytes(entry.size), shownBytes(packed)));
        return dat;
    }
    if (unzGoToFilePos64(zip, &entry.position) != UNZ_OK || unzOpenCurrentFile(zip) != UNZ_OK) {
        dat.error = damaged.arg(entry.shownName(), tr("its header is unreadable"));
        return dat;
    }
    QByteArray text(qsizetype(entry.size), Qt::Uninitialized);
    // minizip gives no more than the size listed; the CRC tells whether that was all.
    qsizetype done = 0;
    int read = 1;
    constexpr qsizetype chunk = 1 << 20;
    while (read > 0 && done < text.size()) {
        read = unzReadCurrentFile(
            zip, text.data() + done, unsigned(std::min(chunk, text.size() - done)));
        if (read > 0)
            done += read;
    }
    const int closed = unzCloseCurrentFile(zip);
    if (read >= 0 && done != text.size()) {
        dat.error = damaged.arg(entry.shownName(),
            tr("it gives %1 bytes where the archive lists %2")
                .arg(QString::number(done), shownBytes(entry.size)));
    } else if (read >= 0 && closed == UNZ_CRCERROR) {
        dat.error = damaged.arg(entry.shownName(), tr("its CRC does not match what it unpacks to"));
    } else if (read < 0 || closed != UNZ_OK) {
        dat.error = damaged.arg(entry.shownName(), tr("its packed data is damaged"));
    } else {
        dat.text = std::move(text);
        dat.name = entry.name;
    }
    return dat;
}

/// The file or folder that \a zip's current entry is.
bool currentEntry(unzFile zip, ArchiveEntry &entry)
{
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    QByteArray name(qsizetype(info.size_filename), Qt::Uninitialized);
    if (unzGetCurrentFileInfo64(zip, &info, name.data(), uLong(name.size()), nullptr, 0, nullptr, 0)
            != UNZ_OK
        || unzGetFilePos64(zip, &entry.position) != UNZ_OK)
        return false;
    // Archivers mark UTF-8 names with flag 11 and write the rest in the code
    // page of DOS; DAT names are ASCII, which both agree on.
    entry.name = QString::fromUtf8(name).replace(u'\\', u'/');
    entry.size = info.uncompressed_size;
    entry.packedSize = info.compressed_size;
    entry.flags = info.flag;
    entry.method = info.compression_method;
    return true;
}

UnpackedDat unzipDat(QByteArrayView bytes, const QString &wanted, const QString &archivePath)
{
    UnpackedDat dat;
    MemoryArchive archive{ bytes };
    zlib_filefunc64_def functions{ openArchive, readArchive, writeArchive, tellArchive, seekArchive,
        closeArchive, archiveError, &archive };
    unzFile zip = unzOpen2_64("", &functions);
    if (!zip) {
        dat.error = tr("the ZIP archive is damaged: its list of files is cut short or unreadable");
        return dat;
    }
    QList<ArchiveEntry> files;
    int status = unzGoToFirstFile(zip);
    for (; status == UNZ_OK; status = unzGoToNextFile(zip)) {
        ArchiveEntry entry;
        if (!currentEntry(zip, entry)) {
            status = UNZ_BADZIPFILE;
            break;
        }
        if (!entry.isFolder())
            files.append(entry);
    }
    const auto finish = [&](UnpackedDat result) {
        unzClose(zip);
        return result;
    };
    if (status != UNZ_END_OF_LIST_OF_FILE) {
        dat.error = tr("the ZIP archive is damaged: its list of files is cut short or unreadable");
        return finish(dat);
    }
    if (files.isEmpty()) {
        dat.error = tr("the ZIP archive holds no file");
        return finish(dat);
    }
    if (!wanted.isEmpty()) {
        const QString name = QString(wanted).replace(u'\\', u'/');
        auto found = std::find_if(files.cbegin(), files.cend(),
            [&](const ArchiveEntry &entry) { return entry.name == name; });
        if (found == files.cend()) {
            // Names typed by hand, and Windows' own, ignore letter case.
            const auto sameLetters = [&](const ArchiveEntry &entry) {
                return entry.name.compare(name, Qt::CaseInsensitive) == 0;
            };
            if (std::count_if(files.cbegin(), files.cend(), sameLetters) == 1)
                found = std::find_if(files.cbegin(), files.cend(), sameLetters);
        }
        if (found == files.cend()) {
            dat.error = tr("the ZIP archive holds no file \"%1\"; it holds %2")
                            .arg(shownLine(wanted), namesOf(files));
            return finish(dat);
        }
        return finish(readEntry(zip, *found, ZPOS64_T(bytes.size())));
    }
    QList<ArchiveEntry> dats;
    std::copy_if(files.cbegin(), files.cend(), std::back_inserter(dats),
        [](const ArchiveEntry &entry) { return entry.isDat(); });
    if (files.size() == 1)
        return finish(readEntry(zip, files.first(), ZPOS64_T(bytes.size())));
    if (dats.size() == 1)
        return finish(readEntry(zip, dats.first(), ZPOS64_T(bytes.size())));
    if (dats.isEmpty()) {
        dat.error =
            tr("the ZIP archive holds no .dat or .xml file; it holds %1").arg(namesOf(files));
        return finish(dat);
    }
    const QString example = shownPath(
        (archivePath.isEmpty() ? tr("ARCHIVE.zip") : archivePath) + u'/' + dats.first().name);
    dat.error = tr("the ZIP archive holds %1 DATs, %2: name the one to read after the archive "
                   "and a slash, as in \"%3\"")
                    .arg(QString::number(dats.size()), namesOf(dats), example);
    return finish(dat);
}

/// The one file that the gzip file \a bytes packs, or the several members of one file, one after
/// another, as `cat a.gz b.gz` makes.
UnpackedDat gunzipDat(QByteArrayView bytes)
{
    UnpackedDat dat;
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        dat.error = tr("there is not enough memory to unpack it");
        return dat;
    }
    // A gzip file ends with its text's size: the text is given the room it
    // needs at once, unless that size is wrong, or there are several members.
    quint32 listed = 0;
    if (bytes.size() >= 4)
        std::memcpy(&listed, bytes.constData() + bytes.size() - 4, 4);
    listed = qFromLittleEndian(listed);
    // Deflate makes at most 1,032 bytes of each byte it packs: no more room
    // than that is given, whatever size the end gives.
    const qint64 most = std::min<qint64>(mostUnpackedDat, qint64(bytes.size()) * 1032 + 1024);
    QByteArray text(qsizetype(std::clamp<qint64>(listed, 1, most)), Qt::Uninitialized);
    const auto *next = reinterpret_cast<const Bytef *>(bytes.constData());
    const auto *end = next + bytes.size();
    qsizetype done = 0;
    for (;;) {
        if (stream.avail_in == 0) {
            stream.next_in = const_cast<Bytef *>(next);
            stream.avail_in = uInt(std::min<qint64>(end - next, UINT_MAX));
            next += stream.avail_in;
        }
        // With no room left, inflate() still reads the member's end; asked
        // for more, it needs room, and only then is the text made larger.
        const auto room = std::min<qint64>(text.size() - done, UINT_MAX);
        stream.next_out = reinterpret_cast<Bytef *>(text.data() + done);
        stream.avail_out = uInt(room);
        const int status = inflate(&stream, Z_NO_FLUSH);
        done += qsizetype(room - stream.avail_out);
        if (status == Z_STREAM_END) {
            if (stream.avail_in == 0 && next == end)
                break;
            const auto *member = stream.avail_in ? stream.next_in : next;
            if (end - member < 2 || member[0] != 0x1f || member[1] != 0x8b) {
                dat.error = tr("the gzip file is damaged: bytes that are no gzip member follow its "
                               "end");
                break;
            }
            inflateReset(&stream);
        } else if (status == Z_BUF_ERROR && done == text.size()) {
            if (text.size() >= most) {
                dat.error = most == mostUnpackedDat
                    ? tr("it unpacks to more than the %1 bytes that any DAT of discs stays "
                         "within")
                          .arg(shownBytes(mostUnpackedDat))
                    : tr("the gzip file is damaged: it unpacks to more than its bytes can give");
                break;
            }
            text.resize(qsizetype(std::min<qint64>(qint64(text.size()) * 2, most)));
        } else if (status == Z_BUF_ERROR) {
            dat.error = tr("the gzip file is cut short");
            break;
        } else if (status != Z_OK) {
            dat.error = status == Z_MEM_ERROR
                ? tr("there is not enough memory to unpack it")
                : tr("the gzip file is damaged (%1)")
                      .arg(QString::fromLatin1(stream.msg ? stream.msg : "its data"));
            break;
        }
    }
    inflateEnd(&stream);
    if (dat.isUnpacked()) {
        text.resize(done);
        dat.text = std::move(text);
    }
    return dat;
}

} // namespace

bool isPackedDat(QByteArrayView bytes)
{
    return bytes.startsWith("PK\x03\x04") || bytes.startsWith("PK\x05\x06")
        || bytes.startsWith("\x1f\x8b");
}

UnpackedDat unpackDat(QByteArrayView bytes, const QString &entry, const QString &archivePath)
{
    UnpackedDat dat;
    if (bytes.startsWith("PK")) {
        dat = unzipDat(bytes, entry, archivePath);
    } else if (!entry.isEmpty()) {
        dat.error = tr("a gzip file holds one file, which needs no name: name the gzip file "
                       "alone, not \"%1\" in it")
                        .arg(shownLine(entry));
        return dat;
    } else {
        dat = gunzipDat(bytes);
    }
    if (dat.isUnpacked() && isPackedDat(dat.text)) {
        dat.text.clear();
        dat.error = tr("what it holds is packed again: unpack that first, and name the DAT in it");
    }
    return dat;
}

} // namespace morvant
