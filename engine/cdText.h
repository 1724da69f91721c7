#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

namespace morvant {

/// The titles and performers that a disc's CD-Text gives, as cue sheets use them.
struct CdText
{
    QString title; ///< the disc's
    QString performer; ///< the disc's
    QMap<int, QString> titles; ///< by track number
    QMap<int, QString> performers; ///< by track number

    bool isEmpty() const
    {
        return title.isEmpty() && performer.isEmpty() && titles.isEmpty() && performers.isEmpty();
    }
};

/// One key and value of a control file section, as written, with its line number.
struct ControlFileEntry
{
    QString key;
    QString value;
    int line = 0;
};

/// Eight language blocks of at most 256 packs each: anything longer is not CD-Text.
inline constexpr qsizetype maxCdTextPacks = 8 * 256;

/// How many entries of a [CDText] section are worth keeping: the packs, the
/// count, and one more to tell that there are too many.
inline constexpr qsizetype maxCdTextEntries = maxCdTextPacks + 2;

/** Turns the entries of a [CDText] section ("Entries=N", then "Entry 0=" to
    "Entry N-1=", each 16 bytes written in hexadecimal, or 18 with their CRC)
    into packs. Returns false with the reason in \a error when the section is
    not written that way. */
bool cdTextPacks(const QList<ControlFileEntry> &entries, QList<QByteArray> *packs, QString *error);

/** Decodes CD-Text packs (16 bytes each, or 18 with their CRC): the title
    and performer of the disc and of each track, from the first language
    block. Returns false with the reason in \a error when the packs are
    damaged, inconsistent or in a character code that cannot be decoded; then
    \a cdText is left empty, so that nothing half-decoded is ever used. */
bool decodeCdText(const QList<QByteArray> &packBytes, CdText *cdText, QString *error);

/** A CD-Text \a text as a cue sheet quotes it: double quotation marks in it
    become single ones, since a cue sheet cannot quote them. */
QString cdTextQuoted(QString text);

/** The disc's PERFORMER and TITLE lines of \a cdText, which go before the FILE line. */
QString discCdText(const CdText &cdText);

} // namespace morvant
