#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringView>

#include <optional>

class QFile;

namespace morvant {

// On Unix a file's name is bytes, and old archives hold names that are not
// UTF-8 (Latin-1 "Caf\xE9.ccd"). Qt decodes such a name lossily and QFile
// encodes names as UTF-8, so neither could reach the file again. Paths are
// held instead with each such byte as a lone surrogate, U+DC80 to U+DCFF
// (the escape that Python and others use too), and every file is reached by
// name through the functions below.

/** \a text in the system's 8-bit form: on Unix UTF-8, with each lone
    surrogate U+DC80 to U+DCFF given back as the byte 0x80 to 0xFF that it
    stands for, so that a name read by fromSystemBytes() gives the same
    bytes again; on Windows the ANSI code page. The cue sheet is written by
    the same rule, so that its FILE line names the image by the bytes of
    its real name. \a isExact, when given, tells whether the bytes stand for
    \a text exactly: a character that the code page cannot hold becomes '?',
    never a look-alike, which could name another file. */
QByteArray toSystemBytes(QStringView text, bool *isExact = nullptr);

/** Whether toSystemBytes() gives \a text exactly. */
bool fitsSystemBytes(QStringView text);

/** \a text for a person to read in the system's 8-bit form: as
    toSystemBytes() gives it, but with each character that the form cannot
    hold written as \u30b2, so that none is lost or shown as a look-alike. */
QByteArray toShownBytes(QStringView text);

/** \a path as the system resolves it where it would open another name than
    it gives: on Windows a name that ends in dots or blanks, which Windows
    drops ("Disc.ccd." opens Disc.ccd), and a path relative to a drive's
    current folder ("C:Disc.ccd"), become the full path that Windows opens;
    any other path, and every path on Unix, is returned as it is. */
QString systemResolvedPath(const QString &path);

/** The short (8.3) name that Windows keeps for the file at \a path, where its
    volume keeps one: a name in plain ASCII that reaches the same file. The
    empty text when there is none, and always on Unix. */
QString shortFileName(const QString &path);

/** The text of \a bytes in the system's 8-bit form: on Unix valid UTF-8 as
    usual, and each byte that is not part of valid UTF-8 as the lone
    surrogate U+DC00 plus the byte, so that nothing is lost; on Windows the
    ANSI code page. */
QString fromSystemBytes(QByteArrayView bytes);

/** The byte that the character at \a at of \a text stands for when it is
    such an escaped byte, or -1; always -1 on Windows, which names files in
    UTF-16. The second half of a surrogate pair is a character's, not a byte's. */
int escapedByte(QStringView text, qsizetype at);

/** The encoding of a control file's text: the system's 8-bit encoding. */
QStringDecoder::Encoding systemTextEncoding();

/** Whether \a path may be a name that reached the program with U+FFFD in
    place of bytes that are not UTF-8, as the window's file dialog and a drop
    hand such a name over: it holds U+FFFD, and either no file has it, or a
    name beside it that is not UTF-8 reads the same once its bytes are lost,
    so that the file it leads to may be another than the one meant. Never on
    Windows. */
bool hasLostItsBytes(const QString &path);

/** Why a name for which hasLostItsBytes() holds is not opened, as the
    refusal of a file whose name the window has without its bytes says it. */
QString lostBytesReason();

/** \a bytes in MS-JIS (code page 932) decoded by the system's means; nothing,
    with the reason in \a error, when they are not valid MS-JIS or the
    system cannot decode it. */
std::optional<QString> fromMsJis(QByteArrayView bytes, QString *error);

/** \a path as a message names it: with native separators, each escaped byte
    as \xE9, and each control character (line ends too), format character
    (U+202E, U+2066 to U+2069, U+200E, the rest of Unicode's category Cf)
    and line or paragraph separator as \u001b, so that the name is readable,
    stays on its line and cannot act on a terminal. */
QString shownPath(const QString &path);

/** \a text, from a control file or the command line, as a message quotes it:
    each escaped byte and each character that shownPath() escapes but the
    line feed shown as shownPath() shows them, so that it cannot act on a
    terminal; line feeds are the message's own. */
QString shownText(const QString &text);

/** \a text as a line of a report quotes it: as shownText(), with line feeds
    escaped too, so that no text from a file starts a line of its own. */
QString shownLine(const QString &text);

/** \a json, UTF-8 JSON text, with each character that JSON leaves as it is
    but shownPath() escapes (DEL, C1 controls, format characters, line and
    paragraph separators) written as \u202e: the same document for a
    program, and nothing that acts on the terminal it may reach. */
QByteArray shownJson(const QByteArray &json);

/** Opens the file at \a path for reading into \a file. Returns false with
    the system's reason in \a error when it cannot, a folder included. */
bool openForReading(QFile &file, const QString &path, QString *error);

/** Opens the file at \a path for reading only when it is a regular file,
    links followed: never waiting on a FIFO for a writer, never taking a
    device such as /dev/zero for a file of endless length. Returns false with
    the reason in \a error otherwise. For the files that a control file's name
    leads to, which an unpacked archive may make anything. */
bool openRegularFile(QFile &file, const QString &path, QString *error);

/// What the system tells of a path.
struct FileStatus
{
    bool exists = false; ///< by the path, links followed
    bool isFile = false; ///< a regular file, links followed
    bool isFolder = false; ///< a folder, links followed
    qint64 size = 0; ///< of what it leads to
    QString kind; ///< what is there instead of a regular file, as notAFile() names it
};

/** What the system tells of \a path; all false when nothing is there. */
FileStatus fileStatus(const QString &path);

/** Why what \a status tells of, which exists but is no regular file, cannot
    be read as one: "it is a FIFO, not a file". */
QString notAFile(const FileStatus &status);

} // namespace morvant
