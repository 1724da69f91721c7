#include "cueFile.h"

#include "cueFile_p.h"
#include "fileSystem.h"

#include <QFileDevice>

namespace morvant {

namespace {

// What writes \a text as a cue sheet into a file.
WriteContent cueSheetContent(const QString &text)
{
    return [&text](QFileDevice &file, QString *error) { return writeText(file, text, error); };
}

// A short write is not a failure yet: the system tells why only when the rest
// is refused, as it is on a full disk. So the rest is tried again.
bool writeAll(QFileDevice &file, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qint64 wrote = file.write(bytes.data(), bytes.size());
        if (wrote <= 0)
            return false;
        bytes = bytes.sliced(wrote);
    }
    return true;
}

} // namespace

bool writeCueFile(const QString &path, const QString &text, QString *error)
{
    return writeFileAtomically(path, cueSheetContent(text), error);
}

namespace {

bool saveBeside(const QString &inputPath, const QString &path, const WriteContent &content,
    const ShowMessage &showMessage)
{
    QString error;
    if (writeBeside(inputPath, path, content, &error))
        return true;
    showMessage(tr("Cannot write %1:\n%2").arg(shownPath(path), error), fileErrorTitle());
    return false;
}

} // namespace

bool saveCueSheet(const QString &inputPath, const QString &cuePath, const QString &text,
    const ShowMessage &showMessage)
{
    return saveBeside(inputPath, cuePath, cueSheetContent(text), showMessage);
}

bool saveSbiFile(const QString &inputPath, const QString &sbiPath, const QByteArray &bytes,
    const ShowMessage &showMessage)
{
    return saveBeside(
        inputPath, sbiPath,
        [&bytes](QFileDevice &file, QString *error) {
            if (writeAll(file, bytes))
                return true;
            *error = file.errorString();
            return false;
        },
        showMessage);
}

// The file written would otherwise be wherever a link leads: the saving
// would replace whatever it points to, or create a file through a dangling one.
QString writeRefusal(const CueTarget &cue)
{
    if (cue.isControlFile)
        return tr("It is the control file itself, which is never overwritten.");
    if (cue.isImage)
        return tr("It is the disc image that the cue sheet names, which is never overwritten.");
    if (!cue.otherName.isEmpty())
        return tr("It is the short name of %1, another file, which is left alone. Rename the "
                  "control file so that its cue sheet gets a name of its own.")
            .arg(shownPath(cue.otherName));
    if (!cue.isLink)
        return {};
    const QString target = shownPath(cue.linkTarget);
    if (!cue.leadsSomewhere)
        return tr("It is a link to %1, which does not exist; no file is created through a "
                  "dangling link.")
            .arg(target);
    return tr("It is a link to %1; a link is left alone, and so is the file it leads to. "
              "Remove the link to write the file here.")
        .arg(target);
}

// Encoded a piece at a time, so that a large cue sheet is not held twice in
// memory; a piece never ends between the two halves of a surrogate pair.
bool writeText(QFileDevice &file, const QString &text, QString *error)
{
    constexpr qsizetype pieceSize = 64 * 1024;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype size = qMin(pieceSize, text.size() - at);
        if (at + size < text.size() && text[at + size - 1].isHighSurrogate())
            ++size;
        bool isExact = false;
        const QByteArray bytes = toSystemBytes(QStringView(text).mid(at, size), &isExact);
        if (!isExact) {
            *error = notInCodePageText();
            return false;
        }
        if (!writeAll(file, bytes)) {
            *error = file.errorString();
            return false;
        }
        at += size;
    }
    if (writeAll(file, "\r\n"))
        return true;
    *error = file.errorString();
    return false;
}

QString notInCodePageText()
{
    return tr("The cue sheet holds characters that the system's code page cannot hold; "
              "nothing is written, so that none of them is lost.");
}

} // namespace morvant
