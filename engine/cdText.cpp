#include "cdText.h"

#include "crc.h"
#include "fileSystem.h"
#include "translation.h"

#include <QStringDecoder>

#include <algorithm>
#include <optional>

namespace morvant {

namespace {

constexpr int packTitle = 0x80;
constexpr int packPerformer = 0x81;
constexpr int packSizeInfo = 0x8f;
constexpr int textBytesPerPack = 12;

struct Pack
{
    int number = 0; ///< its place in the section, for messages
    int type = 0;
    int track = 0;
    int sequence = 0;
    int block = 0;
    int characterPosition = 0;
    bool isDoubleByte = false;
    QByteArray text;
};

std::optional<QByteArray> parseHexBytes(const QString &value)
{
    QByteArray bytes;
    const QStringList tokens = value.split(u' ', Qt::SkipEmptyParts);
    for (const QString &token : tokens) {
        bool ok = false;
        const uint byte = token.toUInt(&ok, 16);
        if (!ok || token.size() > 2 || token.startsWith(u'+'))
            return std::nullopt;
        bytes += char(byte);
    }
    return bytes;
}

// Where a character code is known but has no decoder, saying so beats guessing.
std::optional<QString> decodeText(const QByteArray &bytes, int characterCode, QString *error)
{
    switch (characterCode) {
    case 0x00: // ISO 8859-1
        return QString::fromLatin1(bytes);
    case 0x01: // ISO 646, ASCII
        if (std::any_of(bytes.begin(), bytes.end(), [](char c) { return quint8(c) > 0x7f; })) {
            *error = tr("a text declared as ASCII holds other characters");
            return std::nullopt;
        }
        return QString::fromLatin1(bytes);
    case 0x80: // MS-JIS
        return fromMsJis(bytes, error);
    default:
        *error = tr("the character code 0x%1 is not supported")
                     .arg(characterCode, 2, 16, QLatin1Char('0'));
        return std::nullopt;
    }
}

bool isPrintable(const QString &text)
{
    return std::none_of(text.begin(), text.end(),
        [](QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0); });
}

// Texts of one pack type follow each other, each ended by one zero byte (two
// for double-byte codes); each pack names the track of its first character
// and how many characters of that text came before it. Both are checked, so
// a lost or misplaced pack is noticed instead of shifting every later text.
bool splitTexts(
    const QList<Pack> &packs, int characterCode, QMap<int, QString> *texts, QString *error)
{
    if (packs.isEmpty())
        return true;
    const bool doubleByte = packs.first().isDoubleByte;
    const int unit = doubleByte ? 2 : 1;
    int track = packs.first().track;
    QByteArray current;
    QList<std::pair<int, QByteArray>> raw;
    for (const Pack &pack : packs) {
        const int charactersBefore = int(current.size() / unit);
        if (pack.track != track
            || (!doubleByte && pack.characterPosition != qMin(charactersBefore, 15))) {
            *error = tr("pack %1 does not continue the text before it").arg(pack.number);
            return false;
        }
        for (qsizetype i = 0; i + unit <= pack.text.size(); i += unit) {
            const QByteArray character = pack.text.mid(i, unit);
            if (character.count('\0') == unit) {
                raw.append({ track, current });
                current.clear();
                ++track;
            } else {
                current += character;
            }
        }
    }
    if (!current.isEmpty()) {
        *error = tr("the last text is cut off");
        return false;
    }
    QString previous;
    for (const auto &[number, bytes] : raw) {
        if (bytes.isEmpty())
            continue;
        if (number > 99) {
            *error = tr("a text belongs to track %1, beyond the last possible track").arg(number);
            return false;
        }
        // A lone tab stands for "the same as the track before".
        QString text;
        if (bytes == QByteArray(unit, '\t')) {
            text = previous;
        } else {
            const std::optional<QString> decoded = decodeText(bytes, characterCode, error);
            if (!decoded)
                return false;
            text = *decoded;
        }
        if (!isPrintable(text)) {
            *error = tr("a text holds control characters");
            return false;
        }
        texts->insert(number, text);
        previous = text;
    }
    return true;
}

// Reads pack \a number from its 16 bytes, or 18 with their CRC, refusing one
// that is damaged or that is no pack of text.
std::optional<Pack> readPack(const QByteArray &bytes, qsizetype number, QString *error)
{
    if (bytes.size() != 16 && bytes.size() != 18) {
        *error = tr("pack %1 is not 16 or 18 bytes long").arg(number);
        return std::nullopt;
    }
    const auto at = [&](qsizetype k) { return int(quint8(bytes[k])); };
    // Some drives hand out the CRC bytes as zeros; those packs are taken on trust.
    if (bytes.size() == 18 && (at(16) || at(17))
        && (at(16) << 8 | at(17)) != cdCrc(bytes.first(16))) {
        *error = tr("pack %1 is damaged: its CRC does not match").arg(number);
        return std::nullopt;
    }
    Pack pack;
    pack.number = int(number);
    pack.type = at(0);
    pack.track = at(1);
    pack.sequence = at(2);
    pack.block = (at(3) >> 4) & 0x07;
    pack.characterPosition = at(3) & 0x0f;
    pack.isDoubleByte = (at(3) & 0x80) != 0;
    pack.text = bytes.mid(4, textBytesPerPack);
    if (pack.type < 0x80 || pack.type > 0x8f) {
        *error = tr("pack %1 has the unknown type 0x%2")
                     .arg(number)
                     .arg(pack.type, 2, 16, QLatin1Char('0'));
        return std::nullopt;
    }
    if (pack.track & 0x80) {
        *error = tr("pack %1 uses the extension flag, which CD-Text text never does").arg(number);
        return std::nullopt;
    }
    return pack;
}

// The first block holds the disc's first language; others repeat the texts
// in further languages and are not needed for a cue sheet. Keeps the packs
// of that block, in the order of their sequence numbers, which must differ.
bool keepFirstBlock(QList<Pack> &packs, QString *error)
{
    const int block =
        std::min_element(packs.begin(), packs.end(), [](const Pack &a, const Pack &b) {
            return a.block < b.block;
        })->block;
    packs.erase(
        std::remove_if(packs.begin(), packs.end(), [&](const Pack &p) { return p.block != block; }),
        packs.end());
    std::stable_sort(packs.begin(), packs.end(),
        [](const Pack &a, const Pack &b) { return a.sequence < b.sequence; });
    for (qsizetype i = 1; i < packs.size(); ++i) {
        if (packs[i].sequence == packs[i - 1].sequence) {
            *error = tr("two packs have the sequence number %1").arg(packs[i].sequence);
            return false;
        }
    }
    return true;
}

// The block's character code, which its size information packs give (ISO
// 8859-1 when they are missing, unless the texts are double-byte); the
// title and performer packs must be written in it.
std::optional<int> characterCodeOf(const QList<Pack> &packs, QString *error)
{
    QByteArray sizeInfo;
    for (const Pack &pack : packs) {
        if (pack.type == packSizeInfo && pack.track == sizeInfo.size() / textBytesPerPack)
            sizeInfo += pack.text;
    }
    const bool doubleByte = packs.first().isDoubleByte;
    int characterCode = 0x00;
    if (sizeInfo.size() >= 3 * textBytesPerPack) {
        characterCode = quint8(sizeInfo[0]);
    } else if (doubleByte) {
        *error = tr("the block's character code is missing");
        return std::nullopt;
    }
    const bool codeIsDoubleByte = characterCode >= 0x80;
    if (std::any_of(packs.begin(), packs.end(), [&](const Pack &p) {
            return (p.type == packTitle || p.type == packPerformer)
                && p.isDoubleByte != codeIsDoubleByte;
        })) {
        *error = tr("the packs disagree with the block's character code");
        return std::nullopt;
    }
    return characterCode;
}

} // namespace

bool cdTextPacks(const QList<ControlFileEntry> &entries, QList<QByteArray> *packs, QString *error)
{
    packs->clear();
    std::optional<int> declared;
    for (const ControlFileEntry &entry : entries) {
        if (entry.key.compare(u"Entries", Qt::CaseInsensitive) == 0) {
            bool ok = false;
            declared = entry.value.toInt(&ok);
            if (!ok || *declared < 0) {
                *error = tr("line %1: Entries= is not a count").arg(entry.line);
                return false;
            }
            continue;
        }
        const QStringList words = entry.key.split(u' ', Qt::SkipEmptyParts);
        if (words.size() != 2 || words[0].compare(u"Entry", Qt::CaseInsensitive) != 0)
            continue;
        bool ok = false;
        if (words[1].toInt(&ok) != packs->size() || !ok) {
            *error = tr("line %1: Entry %2 is out of order").arg(entry.line).arg(words[1]);
            return false;
        }
        if (packs->size() == maxCdTextPacks) {
            *error = tr("line %1: more packs than CD-Text can hold").arg(entry.line);
            return false;
        }
        const std::optional<QByteArray> bytes = parseHexBytes(entry.value);
        if (!bytes || (bytes->size() != 16 && bytes->size() != 18)) {
            *error = tr("line %1: Entry %2 is not 16 or 18 bytes in hexadecimal")
                         .arg(entry.line)
                         .arg(words[1]);
            return false;
        }
        packs->append(*bytes);
    }
    if (declared && *declared != packs->size()) {
        *error =
            tr("Entries=%1, but the section holds %2 entries").arg(*declared).arg(packs->size());
        return false;
    }
    return true;
}

bool decodeCdText(const QList<QByteArray> &packBytes, CdText *cdText, QString *error)
{
    *cdText = {};
    QList<Pack> packs;
    for (qsizetype i = 0; i < packBytes.size(); ++i) {
        std::optional<Pack> pack = readPack(packBytes[i], i, error);
        if (!pack)
            return false;
        packs.append(std::move(*pack));
    }
    if (packs.isEmpty())
        return true;
    if (!keepFirstBlock(packs, error))
        return false;
    const std::optional<int> characterCode = characterCodeOf(packs, error);
    if (!characterCode)
        return false;

    QMap<int, QString> titles;
    QMap<int, QString> performers;
    for (const auto &[type, texts] :
        { std::pair{ packTitle, &titles }, std::pair{ packPerformer, &performers } }) {
        QList<Pack> ofType;
        std::copy_if(packs.begin(), packs.end(), std::back_inserter(ofType),
            [type = type](const Pack &p) { return p.type == type; });
        if (!splitTexts(ofType, *characterCode, texts, error))
            return false;
    }
    cdText->title = titles.take(0);
    cdText->performer = performers.take(0);
    cdText->titles = titles;
    cdText->performers = performers;
    return true;
}

QString cdTextQuoted(QString text)
{
    return u'"' + text.replace(u'"', u'\'') + u'"';
}

QString discCdText(const CdText &cdText)
{
    QString lines;
    if (!cdText.performer.isEmpty())
        lines +=
            QStringLiteral("PERFORMER ") + cdTextQuoted(cdText.performer) + QStringLiteral("\r\n");
    if (!cdText.title.isEmpty())
        lines += QStringLiteral("TITLE ") + cdTextQuoted(cdText.title) + QStringLiteral("\r\n");
    return lines;
}

} // namespace morvant
