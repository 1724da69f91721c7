#include "cdText.h"
#include "check.h"
#include "controlFiles.h"
#include "conversion.h"
#include "cueSheet.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace morvant;

namespace {

using Packs = QList<QByteArray>;

// Encodes texts as a disc would: the texts of one pack type one after the
// other, each ended by zero (two zeros for double-byte codes), cut into packs
// of 12 bytes that name the track of their first character and how many
// characters of its text came before.
Packs encode(int type, const QList<QByteArray> &texts, int *sequence, int block = 0,
    bool doubleByte = false, int firstTrack = 0)
{
    const int unit = doubleByte ? 2 : 1;
    QByteArray data;
    QList<qsizetype> starts;
    for (const QByteArray &text : texts) {
        starts.append(data.size());
        data += text + QByteArray(unit, '\0');
    }
    while (data.size() % 12)
        data += '\0';
    Packs packs;
    for (qsizetype offset = 0; offset < data.size(); offset += 12) {
        qsizetype text = 0;
        while (text + 1 < starts.size() && starts[text + 1] <= offset)
            ++text;
        const int position = int(qMin<qsizetype>((offset - starts[text]) / unit, 15));
        QByteArray pack;
        pack += char(type);
        pack += char(firstTrack + text);
        pack += char((*sequence)++);
        pack += char((doubleByte ? 0x80 : 0) | (block << 4) | position);
        packs.append(pack + data.mid(offset, 12));
    }
    return packs;
}

Packs sizeInfo(int characterCode, int firstTrack, int lastTrack, int *sequence, int block = 0)
{
    QByteArray info(36, '\0');
    info[0] = char(characterCode);
    info[1] = char(firstTrack);
    info[2] = char(lastTrack);
    info[28] = 0x09; // English
    Packs packs;
    for (int i = 0; i < 3; ++i) {
        QByteArray pack;
        pack += char(0x8f);
        pack += char(i);
        pack += char((*sequence)++);
        pack += char((block << 4) | (characterCode >= 0x80 ? 0x80 : 0));
        packs.append(pack + info.mid(i * 12, 12));
    }
    return packs;
}

// An album: the disc's text first, then one text for each track.
Packs album(
    const QList<QByteArray> &titles, const QList<QByteArray> &performers, int characterCode = 0x00)
{
    int sequence = 0;
    const bool doubleByte = characterCode >= 0x80;
    Packs packs = encode(0x80, titles, &sequence, 0, doubleByte);
    packs += encode(0x81, performers, &sequence, 0, doubleByte);
    return packs + sizeInfo(characterCode, 1, int(titles.size() - 1), &sequence);
}

// Two audio tracks, the second after a pregap; a [CDText] section of \a packs after them.
QByteArray twoTrackFile(const Packs &packs = {})
{
    ControlFile file;
    file.tracks = { { 1, 0x00, 0, {}, {}, 0 }, { 2, 0x00, 0, {}, 13190, 13340 } };
    file.cdText = packs;
    return controlFile(file);
}

} // namespace

class TestCdText : public QObject
{
    Q_OBJECT

private slots:
    void decodeCdText_data();
    void decodeCdText();
    void cdTextPacks_data();
    void cdTextPacks();
    void addCdText_data();
    void addCdText();
    void convertWithCdText_data();
    void convertWithCdText();
    void realisticAudioDisc();
};

void TestCdText::decodeCdText_data()
{
    QTest::addColumn<Packs>("packs");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("performer");
    QTest::addColumn<QStringList>("titles"); // "n=text" for each track
    QTest::addColumn<QStringList>("performers");
    QTest::addColumn<QString>("error"); // a part of the reason; empty when decoded

    const Packs plain = album({ "Harbour Lights", "Low Tide", "Salt Road" },
        { "The Fathoms", "The Fathoms", "Mara Quill" });
    const QStringList plainTitles{ "1=Low Tide", "2=Salt Road" };
    const QStringList plainPerformers{ "1=The Fathoms", "2=Mara Quill" };
    QTest::newRow("texts spread over packs")
        << plain << "Harbour Lights"
        << "The Fathoms" << plainTitles << plainPerformers << "";

    const QByteArray longTitle(40, 'x');
    QTest::newRow("a text longer than two packs")
        << album({ "Disc", longTitle }, { "", "" }) << "Disc"
        << "" << QStringList{ "1=" + longTitle } << QStringList{} << "";
    QTest::newRow("tab repeats the track before")
        << album({ "D", "One", "\t", "Three" }, { "P", "Same", "\t", "\t" }) << "D"
        << "P" << QStringList{ "1=One", "2=One", "3=Three" }
        << QStringList{ "1=Same", "2=Same", "3=Same" } << "";
    QTest::newRow("ISO 8859-1") << album({ "Caf\xe9", "D\xfcne" }, { "", "" }) << "Café"
                                << "" << QStringList{ "1=Düne" } << QStringList{} << "";
    QTest::newRow("no texts at all") << Packs{} << ""
                                     << "" << QStringList{} << QStringList{} << "";

    Packs reordered = plain;
    std::reverse(reordered.begin(), reordered.end());
    QTest::newRow("packs out of order are sorted by sequence")
        << reordered << "Harbour Lights"
        << "The Fathoms" << plainTitles << plainPerformers << "";

    Packs withCrcs;
    for (const QByteArray &pack : plain)
        withCrcs.append(withCrc(pack));
    QTest::newRow("18-byte packs with their CRC")
        << withCrcs << "Harbour Lights"
        << "The Fathoms" << plainTitles << plainPerformers << "";
    Packs zeroCrcs;
    for (const QByteArray &pack : plain)
        zeroCrcs.append(pack + QByteArray(2, '\0'));
    QTest::newRow("18-byte packs with zero CRC")
        << zeroCrcs << "Harbour Lights"
        << "The Fathoms" << plainTitles << plainPerformers << "";

    // A second language block repeats the texts; the first is the one used.
    int sequence = 0;
    Packs twoBlocks = encode(0x80, { "Zweite", "Eins" }, &sequence, 1);
    twoBlocks += sizeInfo(0x00, 1, 1, &sequence, 1);
    sequence = 0;
    twoBlocks += encode(0x80, { "First", "One" }, &sequence, 0);
    twoBlocks += sizeInfo(0x00, 1, 1, &sequence, 0);
    QTest::newRow("first block wins") << twoBlocks << "First"
                                      << "" << QStringList{ "1=One" } << QStringList{} << "";

    sequence = 0;
    QTest::newRow("no size information: ISO 8859-1")
        << encode(0x80, { "Caf\xe9", "One" }, &sequence) << "Café"
        << "" << QStringList{ "1=One" } << QStringList{} << "";

    // 日本 in Shift-JIS
    QTest::newRow("MS-JIS") << album({ "\x93\xfa\x96\x7b", "\x93\xfa" }, { "", "" }, 0x80) << "日本"
                            << "" << QStringList{ "1=日" } << QStringList{} << "";

    const QStringList none;
    Packs damaged = withCrcs;
    damaged[1][7] = 'X';
    QTest::newRow("damaged pack") << damaged << ""
                                  << "" << none << none << "pack 1 is damaged";

    Packs lost = plain;
    lost.removeAt(1);
    QTest::newRow("lost pack") << lost << ""
                               << "" << none << none << "does not continue";

    Packs wrongTrack = plain;
    wrongTrack[1][1] = 5;
    QTest::newRow("pack names the wrong track") << wrongTrack << ""
                                                << "" << none << none << "pack 1 does not continue";

    Packs wrongPosition = plain;
    wrongPosition[1][3] = 3;
    QTest::newRow("pack names the wrong position")
        << wrongPosition << ""
        << "" << none << none << "pack 1 does not continue";

    QTest::newRow("last text cut off")
        << Packs{ QByteArray("\x80\x00\x00\x00", 4) + QByteArray(12, 'y') } << ""
        << "" << none << none << "cut off";

    Packs unknownType = plain;
    unknownType[0][0] = char(0x90);
    QTest::newRow("unknown pack type") << unknownType << ""
                                       << "" << none << none << "unknown type 0x90";

    QTest::newRow("ASCII with a high byte") << album({ "Caf\xe9", "x" }, { "", "" }, 0x01) << ""
                                            << "" << none << none << "ASCII";
    QTest::newRow("Korean not supported")
        << album({ "\xb0\xa1", "\xb0\xa1" }, { "", "" }, 0x81) << ""
        << "" << none << none << "0x81 is not supported";
    QTest::newRow("invalid MS-JIS") << album({ "\x81\x20", "x\x81" }, { "", "" }, 0x80) << ""
                                    << "" << none << none << "not valid MS-JIS";
    QTest::newRow("control characters") << album({ "a\rb", "x" }, { "", "" }) << ""
                                        << "" << none << none << "control characters";
    QTest::newRow("C1 control characters") << album({ "a\x85", "x" }, { "", "" }) << ""
                                           << "" << none << none << "control characters";

    sequence = 0;
    QTest::newRow("double-byte without character code")
        << encode(0x80, { "\x93\xfa", "\x93\xfa" }, &sequence, 0, true) << ""
        << "" << none << none << "character code is missing";

    sequence = 0;
    Packs disagreeing = encode(0x80, { "\x93\xfa", "\x93\xfa" }, &sequence, 0, true);
    disagreeing += sizeInfo(0x00, 1, 1, &sequence);
    QTest::newRow("packs disagree with character code") << disagreeing << ""
                                                        << "" << none << none << "disagree";

    Packs doubled = plain;
    doubled[1][2] = doubled[0][2];
    QTest::newRow("sequence number twice") << doubled << ""
                                           << "" << none << none << "sequence number";

    QTest::newRow("wrong length") << Packs{ QByteArray(17, '\0') } << ""
                                  << "" << none << none << "not 16 or 18 bytes";

    sequence = 0;
    QTest::newRow("track beyond 99") << encode(0x80, { "x" }, &sequence, 0, false, 100) << ""
                                     << "" << none << none << "beyond the last";

    Packs extension = plain;
    extension[0][1] = char(0x80);
    QTest::newRow("extension flag") << extension << ""
                                    << "" << none << none << "extension flag";
}

void TestCdText::decodeCdText()
{
    QFETCH(Packs, packs);
    QFETCH(QString, title);
    QFETCH(QString, performer);
    QFETCH(QStringList, titles);
    QFETCH(QStringList, performers);
    QFETCH(QString, error);

    CdText cdText;
    cdText.title = "left over";
    QString reason;
    const bool decoded = ::decodeCdText(packs, &cdText, &reason);
    QVERIFY2(decoded == error.isEmpty(), qPrintable(reason));
    if (!decoded) {
        QVERIFY2(reason.contains(error), qPrintable(reason));
        QVERIFY(cdText.isEmpty()); // nothing half-decoded
        return;
    }
    const auto listed = [](const QMap<int, QString> &texts) {
        QStringList list;
        for (auto it = texts.begin(); it != texts.end(); ++it)
            list << QString::number(it.key()) + u'=' + it.value();
        return list;
    };
    QCOMPARE(cdText.title, title);
    QCOMPARE(cdText.performer, performer);
    QCOMPARE(listed(cdText.titles), titles);
    QCOMPARE(listed(cdText.performers), performers);
}

void TestCdText::cdTextPacks_data()
{
    QTest::addColumn<QList<ControlFileEntry>>("entries");
    QTest::addColumn<int>("packCount");
    QTest::addColumn<QString>("error");

    const QString pack16 = "80 00 00 00 41 42 43 00 00 00 00 00 00 00 00 00";
    const QString pack18 = pack16 + " 12 34";
    // clang-format off
    QTest::newRow("counted entries") << QList<ControlFileEntry> {{"Entries", "2", 2}, {"Entry 0", pack16, 3}, {"Entry 1", pack18, 4}} << 2 << "";
    QTest::newRow("no count") << QList<ControlFileEntry> {{"Entry 0", pack16, 2}} << 1 << "";
    QTest::newRow("upper-case hex and case of keys") << QList<ControlFileEntry> {{"ENTRIES", "1", 2}, {"entry 0", pack16.toUpper(), 3}} << 1 << "";
    QTest::newRow("count differs") << QList<ControlFileEntry> {{"Entries", "3", 2}, {"Entry 0", pack16, 3}} << 0 << "Entries=3";
    QTest::newRow("count not a number") << QList<ControlFileEntry> {{"Entries", "x", 2}} << 0 << "line 2";
    QTest::newRow("entry skipped") << QList<ControlFileEntry> {{"Entry 0", pack16, 2}, {"Entry 2", pack16, 3}} << 0 << "line 3: Entry 2 is out of order";
    QTest::newRow("not hexadecimal") << QList<ControlFileEntry> {{"Entry 0", QString(pack16).replace("41", "4g"), 7}} << 0 << "line 7";
    QTest::newRow("three digits") << QList<ControlFileEntry> {{"Entry 0", QString(pack16).replace("41", "041"), 7}} << 0 << "line 7";
    QTest::newRow("too short") << QList<ControlFileEntry> {{"Entry 0", "80 00 00", 7}} << 0 << "16 or 18 bytes";
    QTest::newRow("other keys passed over") << QList<ControlFileEntry> {{"Comment", "x", 2}, {"Entry 0", pack16, 3}} << 1 << "";
    // clang-format on
    QList<ControlFileEntry> tooMany;
    for (int i = 0; i <= 8 * 256; ++i)
        tooMany.append({ QStringLiteral("Entry %1").arg(i), pack16, i + 2 });
    QTest::newRow("more packs than CD-Text holds") << tooMany << 0 << "more packs";
}

void TestCdText::cdTextPacks()
{
    QFETCH(QList<ControlFileEntry>, entries);
    QFETCH(int, packCount);
    QFETCH(QString, error);

    QList<QByteArray> packs;
    QString reason;
    const bool ok = ::cdTextPacks(entries, &packs, &reason);
    QVERIFY2(ok == error.isEmpty(), qPrintable(reason));
    if (ok) {
        QCOMPARE(packs.size(), packCount);
        QCOMPARE(packs[0].mid(4, 3), QByteArray("ABC"));
    } else {
        QVERIFY2(reason.contains(error), qPrintable(reason));
    }
}

namespace {

CueLine cueLine(LineRule rule, const QString &text, qint64 sectors = -1)
{
    return { rule, rule == LineRule::Index ? QStringLiteral("01") : QString(), text, sectors, 0 };
}

CueTrack cueTrack(const QString &number, const QString &mode, const QList<CueLine> &lines)
{
    CueTrack track;
    track.number = number;
    track.mode = mode;
    track.lines = lines;
    return track;
}

} // namespace

void TestCdText::addCdText_data()
{
    QTest::addColumn<QList<CueTrack>>("tracks");
    QTest::addColumn<QString>("expected"); // the lines after the FILE line
    QTest::addColumn<QString>("image"); // as the FILE line names it

    const CueLine indexOne = cueLine(LineRule::Index, {}, 0);
    QTest::newRow("disc before FILE, tracks after TRACK")
        << QList<CueTrack>{ cueTrack("01", "AUDIO", { indexOne }),
               cueTrack("02", "AUDIO", { cueLine(LineRule::Flags, " DCP") }) }
        << "  TRACK 01 AUDIO\r\n    TITLE \"Low Tide\"\r\n    PERFORMER \"Mara\"\r\n    INDEX "
           "01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE \"Salt\"\r\n    FLAGS DCP\r\n"
        << "a.img";
    QTest::newRow("no text for the track")
        << QList<CueTrack>{ cueTrack("05", "AUDIO", {}) } << "  TRACK 05 AUDIO\r\n"
        << "a.img";
    QTest::newRow("three-digit track number")
        << QList<CueTrack>{ cueTrack("0100", "AUDIO", {}) } << "  TRACK 0100 AUDIO\r\n"
        << "a.img";
    QTest::newRow("TRACK line without a line end")
        << QList<CueTrack>{ cueTrack("01", {}, {}) } << "  TRACK 01"
        << "a.img";
    QTest::newRow("TRACK line run into an INDEX line")
        << QList<CueTrack>{ cueTrack("01", {}, { indexOne }) }
        << "  TRACK 01    INDEX 01 00:00:00\r\n    TITLE \"Low Tide\"\r\n    PERFORMER "
           "\"Mara\"\r\n"
        << "a.img";
    QTest::newRow("TRACK line run on from one without a mode")
        << QList<CueTrack>{ cueTrack("02", {}, {}), cueTrack("01", "AUDIO", {}) }
        << "  TRACK 02  TRACK 01 AUDIO\r\n"
        << "a.img";
    // A [TRACK n] header written twice: the track is the same.
    QTest::newRow("TRACK line run on from one of the same track")
        << QList<CueTrack>{ cueTrack("02", {}, {}), cueTrack("02", "AUDIO", { indexOne }) }
        << "  TRACK 02  TRACK 02 AUDIO\r\n    TITLE \"Salt\"\r\n    INDEX 01 00:00:00\r\n"
        << "a.img";
    // A name that Linux allows: what looks like a TRACK line in it is none,
    // and gets no track's text.
    QTest::newRow("line end and TRACK in the image's name")
        << QList<CueTrack>{ cueTrack("01", "AUDIO", { indexOne }) }
        << "  TRACK 01 AUDIO\r\n    TITLE \"Low Tide\"\r\n    PERFORMER \"Mara\"\r\n    INDEX "
           "01 00:00:00\r\n"
        << "a\r\n  TRACK 1.img";
}

void TestCdText::addCdText()
{
    QFETCH(QList<CueTrack>, tracks);
    QFETCH(QString, expected);
    QFETCH(QString, image);

    CdText cdText;
    cdText.title = "Harbour";
    cdText.performer = "The \"Fathoms\"";
    cdText.titles = { { 1, "Low Tide" }, { 2, "Salt" } };
    cdText.performers = { { 1, "Mara" } };
    CueSheet sheet;
    sheet.fileName = image;
    sheet.tracks = tracks;
    const QString file = "FILE \"" + image + "\" BINARY\r\n";
    const QString withoutCdText = cueText(sheet);
    sheet.cdText = CdText();
    QCOMPARE(cueText(sheet), withoutCdText);
    sheet.cdText = cdText;
    QCOMPARE(
        cueText(sheet), "PERFORMER \"The 'Fathoms'\"\r\nTITLE \"Harbour\"\r\n" + file + expected);
}

void TestCdText::convertWithCdText_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("added"); // the cue sheet's lines that CD-Text adds, in order
    QTest::addColumn<QString>("warning");

    const Packs packs =
        album({ "Harbour", "Low Tide", "Salt Road" }, { "The Fathoms", "\t", "\t" });
    const QByteArray tracksOnly = twoTrackFile();
    const QByteArray section = cdTextSection(packs);
    const QByteArray lines = "PERFORMER \"The Fathoms\"\r\nTITLE \"Harbour\"\r\n"
                             "    TITLE \"Low Tide\"\r\n    PERFORMER \"The Fathoms\"\r\n"
                             "    TITLE \"Salt Road\"\r\n    PERFORMER \"The Fathoms\"\r\n";
    QTest::newRow("no [CDText] section") << tracksOnly << QByteArray() << "";
    const qsizetype tracks = tracksOnly.indexOf("[TRACK");
    QTest::newRow("section before the tracks")
        << tracksOnly.left(tracks) + section + tracksOnly.mid(tracks) << lines << "";
    QTest::newRow("section after the tracks") << twoTrackFile(packs) << lines << "";
    // A slip of hand-editing: the first copy of the header an empty section.
    QTest::newRow("a [TRACK n] header written twice")
        << QByteArray(twoTrackFile(packs)).replace("[TRACK 2]\r\n", "[TRACK 2]\r\n[TRACK 2]\r\n")
        << lines << "line 8: The header [TRACK 2] stands here and again on line 9";
    QTest::newRow("section name in another case")
        << tracksOnly + QByteArray(section).replace("[CDText]", "[cdtext]") << lines << "";
    QTest::newRow("undecodable section")
        << tracksOnly + QByteArray(section).replace("Entry 1=80 01", "Entry 1=80 07")
        << QByteArray() << "does not continue";
    QTest::newRow("empty section") << tracksOnly + "[CDText]\r\nEntries=0\r\n"
                                   << QByteArray() << "";
    QByteArray endless = "[CDText]\r\n";
    for (int i = 0; i < 3000; ++i)
        endless += "Entry " + QByteArray::number(i)
            + "=80 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\r\n";
    QTest::newRow("more entries than CD-Text holds")
        << tracksOnly + endless << QByteArray() << "more packs";
    QTest::newRow("section cut short")
        << tracksOnly + section.left(section.lastIndexOf("Entry")) << QByteArray() << "Entries=";
    // Japanese titles (MS-JIS), which code page 1252, Windows' in the West, cannot hold.
    const QByteArray japanese = tracksOnly
        + cdTextSection(
            album({ "\x93\xfa\x96\x7b", "\x93\xfa", "\x96\x7b" }, { "", "", "" }, 0x80));
#ifdef Q_OS_WIN
    QTest::newRow("text beyond the code page")
        << japanese << QByteArray() << "code page cannot hold the disc's TITLE";
#else
    QTest::newRow("text beyond the code page")
        << japanese << QByteArray("TITLE \"日本\"\r\n    TITLE \"日\"\r\n    TITLE \"本\"\r\n")
        << "";
#endif
}

void TestCdText::convertWithCdText()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, added);
    QFETCH(QString, warning);

    QTemporaryDir dir;
    const QString path = dir.filePath("Disc.ccd");
    QVERIFY(writeFile(path, content));
    int messages = 0;
    const ShowMessage count = [&](const QString &, const QString &) { ++messages; };
    const QString plain = ::ccdToCue(path, count);
    ConversionOptions withCdText;
    withCdText.cdText = true;
    const ConvertedFile converted = convert(path, withCdText);
    QVERIFY(!converted.isRefused());
    const QString withText = converted.cueSheet;
    const QString reason = converted.warnings().join(u'\n');
    QCOMPARE(messages, 0);
    QVERIFY2(reason.contains(warning) && reason.isEmpty() == warning.isEmpty(), qPrintable(reason));

    // Taking out the added lines gives back the plain conversion byte for byte.
    QString rest = withText;
    for (const QString &line : QString::fromUtf8(added).split("\r\n", Qt::SkipEmptyParts)) {
        const qsizetype at = rest.indexOf(line + "\r\n");
        QVERIFY2(at >= 0, qPrintable(line));
        rest.remove(at, line.size() + 2);
    }
    QCOMPARE(rest, plain);
    QCOMPARE(withText.size() - plain.size(), QString::fromUtf8(added).size());
    // Without --cdtext the same warnings come, but for those of the CD-Text.
    QStringList others = converted.warnings();
    others.removeIf([](const QString &text) { return text.contains("CD-Text"); });
    QCOMPARE(convert(path).warnings(), others);
    // --check says what the conversion leaves out for want of the code page.
    const QList<Remark> findings = checkControlFile(path, withCdText).findings;
    QCOMPARE(std::any_of(findings.begin(), findings.end(),
                 [](const Remark &finding) { return finding.name() == u"code-page"; }),
        warning.contains("code page"));
}

void TestCdText::realisticAudioDisc()
{
    const QString path = QFINDTESTDATA("data/audio.ccd");
    QVERIFY(!path.isEmpty());
    QTemporaryDir dir;
    const QString copy = dir.filePath("Harbour Lights.ccd");
    QVERIFY(QFile::copy(path, copy));
    ConversionOptions withCdText;
    withCdText.cdText = true;
    const ConvertedFile converted = convert(QDir::toNativeSeparators(copy), withCdText);
    QVERIFY(!converted.isRefused());
    QCOMPARE(converted.warnings(), QStringList());
    const QString cueSheet = converted.cueSheet;
    QCOMPARE(cueSheet,
        "PERFORMER \"The Fathoms\"\r\n"
        "TITLE \"Harbour Lights\"\r\n"
        "FILE \"Harbour Lights.img\" BINARY\r\n"
        "  TRACK 01 AUDIO\r\n"
        "    TITLE \"Low Tide\"\r\n"
        "    PERFORMER \"The Fathoms\"\r\n"
        "    INDEX 01 00:00:00\r\n"
        "  TRACK 02 AUDIO\r\n"
        "    TITLE \"Salt Road\"\r\n"
        "    PERFORMER \"The Fathoms\"\r\n"
        "    INDEX 00 02:55:65\r\n"
        "    INDEX 01 02:57:65\r\n"
        "  TRACK 03 AUDIO\r\n"
        "    TITLE \"Lantern Song\"\r\n"
        "    PERFORMER \"Mara Quill & The Fathoms\"\r\n"
        "    FLAGS DCP\r\n"
        "    INDEX 00 06:00:00\r\n"
        "    INDEX 01 06:02:00\r\n");
    // Without the option the same file converts as it always did.
    QVERIFY(!::ccdToCue(copy, [](const QString &, const QString &) {}).contains("TITLE"));
}

QTEST_GUILESS_MAIN(TestCdText)
#include "tst_cdText.moc"
