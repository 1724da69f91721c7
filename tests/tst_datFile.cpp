#include "datFile.h"
#include "packedDats.h"
#include "testHelpers.h"

#include <QBuffer>
#include <QDir>
#include <QTest>
#include <QtEndian>

#include <utility>

using namespace morvant;

// DATs as redump.org publishes them, in its Logiqx XML and its ClrMamePro
// text, written here from one list of games so that both forms must give the
// same files; then the odd corners of each form, and damaged files.

namespace {

struct TestRom
{
    QByteArray name; ///< UTF-8
    qint64 size = -1; ///< -1: not written
    QByteArray crc, md5, sha1; ///< hexadecimal digits as written; empty: not written
};

/// A rom that the DAT gives a name and at most a size.
TestRom sized(const QByteArray &name, qint64 size)
{
    TestRom rom;
    rom.name = name;
    rom.size = size;
    return rom;
}

struct TestGame
{
    QByteArray name;
    QList<TestRom> roms;
};

// The redump way: one file per track and the cue sheet, names with spaces,
// parentheses, commas, `&`, `'` and letters beyond ASCII, digits in either case.
const QList<TestGame> games = {
    { "Ape Escape (USA)",
        {
            { "Ape Escape (USA).cue", 96, "86f7e437", "0cc175b9c0f1b6a831c399e269772661",
                "86f7e437faa5a7fce15d1ddcb9eaeaea377667b8" },
            { "Ape Escape (USA) (Track 1).bin", 616471056, "e9d71f5e",
                "92eb5ffee6ae2fec3ad71c777531578f", "e9d71f5ee7c92d6dc9e92ffdad17b8bd49418f98" },
            { "Ape Escape (USA) (Track 2).bin", 9878400, "0000a516",
                "4a8a08f09d37b73795649038408b5f33", "84a516841ba77a5b4648de2cd0dfcb30ea46dbb4" },
        } },
    { "Tom & Jerry's Chase (Europe) (En,Fr,De)",
        {
            { "Tom & Jerry's Chase (Europe) (En,Fr,De).cue", 112, "3C363836",
                "8277E0910D750195B448797616E091AD", "3C363836CF4E16666669A25DA280A1865C2D2874" },
            { "Tom & Jerry's Chase (Europe) (En,Fr,De).bin", 0, "00000000",
                "e1671797c52e15f763380b45e841ec32", "58e6b3a414a1e090dfc6029add0f3555ccba127f" },
        } },
    { "D\xc5\x8d"
      "butsu no Mori (Japan) (Disc 1) (\xe3\x83\x87\xe3\x82\xa3\xe3\x82\xb9\xe3\x82\xaf)",
        {
            { "D\xc5\x8d"
              "butsu no Mori (Japan) (Disc 1).bin",
                -1, "4a0a1921", "", "" },
            { "D\xc5\x8d"
              "butsu no Mori (Japan) (Disc 1).cue",
                77, "", "", "54fd1711209fb1c0781092374132c66e79e2241b" },
        } },
};

QByteArray xmlEscaped(QByteArray text)
{
    return text.replace("&", "&amp;")
        .replace("<", "&lt;")
        .replace(">", "&gt;")
        .replace("\"", "&quot;")
        .replace("'", "&apos;");
}

QByteArray xmlDat(const QList<TestGame> &list, const QByteArray &element = "game")
{
    QByteArray dat = "<?xml version=\"1.0\"?>\n"
                     "<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management Datafile//EN\" "
                     "\"http://www.logiqx.com/Dats/datafile.dtd\">\n"
                     "<datafile>\n"
                     "\t<header>\n"
                     "\t\t<name>Sony - PlayStation</name>\n"
                     "\t\t<description>Sony - PlayStation - Discs (3) (2024-05-01)</description>\n"
                     "\t\t<version>2024-05-01 10-00-00</version>\n"
                     "\t\t<author>redump.org</author>\n"
                     "\t\t<homepage>redump.org</homepage>\n"
                     "\t\t<url>http://redump.org/</url>\n"
                     "\t</header>\n";
    for (const TestGame &game : list) {
        const QByteArray name = xmlEscaped(game.name);
        dat += "\t<" + element + " name=\"" + name + "\">\n\t\t<category>Games</category>\n"
            + "\t\t<description>" + name + "</description>\n";
        for (const TestRom &rom : game.roms) {
            dat += "\t\t<rom name=\"" + xmlEscaped(rom.name) + '"';
            if (rom.size >= 0)
                dat += " size=\"" + QByteArray::number(rom.size) + '"';
            for (const auto &[key, value] : { std::pair{ "crc", rom.crc },
                     std::pair{ "md5", rom.md5 }, std::pair{ "sha1", rom.sha1 } }) {
                if (!value.isEmpty())
                    dat += QByteArray(" ") + key + "=\"" + value + '"';
            }
            dat += "/>\n";
        }
        dat += "\t</" + element + ">\n";
    }
    return dat + "</datafile>\n";
}

QByteArray textDat(const QList<TestGame> &list, const QByteArray &block = "game")
{
    QByteArray dat = "clrmamepro (\n"
                     "\tname \"Sony - PlayStation\"\n"
                     "\tdescription \"Sony - PlayStation - Discs (3) (2024-05-01)\"\n"
                     "\tversion \"2024-05-01 10-00-00\"\n"
                     "\tauthor \"redump.org\"\n"
                     "\thomepage redump.org\n"
                     "\turl \"http://redump.org/\"\n"
                     ")\n\n";
    for (const TestGame &game : list) {
        dat += block + " (\n\tname \"" + game.name + "\"\n\tdescription \"" + game.name + "\"\n";
        for (const TestRom &rom : game.roms) {
            dat += "\trom ( name \"" + rom.name + '"';
            if (rom.size >= 0)
                dat += " size " + QByteArray::number(rom.size);
            for (const auto &[key, value] : { std::pair{ "crc", rom.crc },
                     std::pair{ "md5", rom.md5 }, std::pair{ "sha1", rom.sha1 } }) {
                if (!value.isEmpty())
                    dat += QByteArray(" ") + key + ' ' + value;
            }
            dat += " )\n";
        }
        dat += ")\n\n";
    }
    return dat;
}

/// A rom as the tests compare it: game|name|size|crc|md5|sha1, with `-` for what the DAT does not
/// give.
QString described(const DatRom &rom)
{
    const auto hex = [](const QByteArray &bytes) {
        return bytes.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(bytes.toHex());
    };
    return QStringList{ rom.game, rom.name,
        rom.size < 0 ? QStringLiteral("-") : QString::number(rom.size),
        rom.hasCrc ? QStringLiteral("%1").arg(rom.crc, 8, 16, QLatin1Char('0'))
                   : QStringLiteral("-"),
        hex(rom.md5), hex(rom.sha1) }
        .join(u'|');
}

QStringList described(const QList<DatRom> &roms)
{
    QStringList list;
    for (const DatRom &rom : roms)
        list.append(described(rom));
    return list;
}

/// What the test's games must give, from their own text.
QStringList expectedRoms(const QList<TestGame> &list)
{
    QStringList expected;
    for (const TestGame &game : list) {
        for (const TestRom &rom : game.roms) {
            const auto given = [](const QByteArray &hex) {
                return hex.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(hex.toLower());
            };
            expected.append(QStringList{ QString::fromUtf8(game.name), QString::fromUtf8(rom.name),
                rom.size < 0 ? QStringLiteral("-") : QString::number(rom.size), given(rom.crc),
                given(rom.md5), given(rom.sha1) }
                                .join(u'|'));
        }
    }
    return expected;
}

DatFile readBytes(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readDat(buffer);
}

// A small DAT whose line 5 is given, in each form: a game G on line 3 (XML)
// or 2 (text) with the rom a.bin on line 4.
QByteArray xmlWithLine5(const QByteArray &line)
{
    return "<?xml version=\"1.0\"?>\n<datafile>\n\t<game name=\"G\">\n"
           "\t\t<rom name=\"a.bin\" size=\"1\" crc=\"00000001\"/>\n"
        + line + "\n\t</game>\n</datafile>\n";
}

QByteArray textWithLine5(const QByteArray &line)
{
    return "clrmamepro ( name \"X\" )\ngame (\n\tname \"G\"\n\trom ( name \"a.bin\" size 1 crc "
           "00000001 )\n"
        + line + "\n)\n";
}

} // namespace

class TestDatFile : public QObject
{
    Q_OBJECT

private slots:
    void bothForms_data();
    void bothForms();
    void readDat_data();
    void readDat();
    void damaged_data();
    void damaged();
    void withSize();
    void fromPath();
    void packed_data();
    void packed();
    void damagedArchive_data();
    void damagedArchive();
    void cannotOpen_data();
    void cannotOpen();
};

void TestDatFile::bothForms_data()
{
    QTest::addColumn<QByteArray>("dat");

    const QByteArray xml = xmlDat(games);
    const QByteArray text = textDat(games);
    QTest::newRow("Logiqx XML") << xml;
    QTest::newRow("ClrMamePro text") << text;
    QTest::newRow("XML, CR LF line ends") << crlf(xml);
    QTest::newRow("text, CR LF line ends") << crlf(text);
    QTest::newRow("XML after a byte order mark") << "\xef\xbb\xbf" + xml;
    QTest::newRow("text after a byte order mark") << "\xef\xbb\xbf" + text;
    QTest::newRow("XML, machine elements") << xmlDat(games, "machine");
    QTest::newRow("text, machine blocks") << textDat(games, "machine");
    QTest::newRow("text, resource blocks") << textDat(games, "resource");
    QTest::newRow("XML in UTF-8, declared") << QByteArray(xml).replace(
        "<?xml version=\"1.0\"?>", "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>");
    // Beyond what the fast reader takes: QXmlStreamReader reads these.
    QTest::newRow("XML with a DOCTYPE that declares an entity")
        << QByteArray(xml).replace("<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management "
                                   "Datafile//EN\" \"http://www.logiqx.com/Dats/datafile.dtd\">",
               "<!DOCTYPE datafile [ <!ENTITY unused \"x\"> ]>");
    QTest::newRow("XML in UTF-8, declared in another spelling") << QByteArray(xml).replace(
        "<?xml version=\"1.0\"?>", "<?xml version='1.0' encoding='utf-8'?>");
}

void TestDatFile::bothForms()
{
    QFETCH(QByteArray, dat);

    const DatFile read = readBytes(dat);
    QCOMPARE(read.error, QString());
    QCOMPARE(read.errorLine, 0);
    QVERIFY(read.isRead());
    QCOMPARE(described(read.roms), expectedRoms(games));
}

void TestDatFile::readDat_data()
{
    QTest::addColumn<QByteArray>("dat");
    QTest::addColumn<QStringList>("expected");

    const auto xml = [](const QByteArray &games) {
        return "<?xml version=\"1.0\"?>\n<datafile>\n" + games + "\n</datafile>\n";
    };
    const QString ePlusAcute = QString::fromUtf8("\xc3\xa9");
    const QString disc = QString::fromUtf8("\xf0\x9f\x92\xbf");

    QTest::newRow("XML: the five entities")
        << xml("<game name=\"A &amp; B &lt;C&gt; &quot;D&quot; &apos;E&apos;\">"
               "<rom name=\"a.bin\" size=\"1\"/></game>")
        << QStringList{ "A & B <C> \"D\" 'E'|a.bin|1|-|-|-" };
    QTest::newRow("XML: character references")
        << xml("<game name=\"G\"><rom name=\"&#233;&#xE9;&#x1f4bf;.bin\" size=\"1\"/></game>")
        << QStringList{ "G|" + ePlusAcute + ePlusAcute + disc + ".bin|1|-|-|-" };
    QTest::newRow("XML: values in single quotes")
        << xml("<game name='Say \"Hi\"'><rom name='it&apos;s.bin' size='5'/></game>")
        << QStringList{ "Say \"Hi\"|it's.bin|5|-|-|-" };
    QTest::newRow("XML: tabs and line ends in a value are spaces")
        << xml("<game name=\"a\tb\nc\r\nd\"><rom name=\"x&#9;y\" size=\"1\"/></game>")
        << QStringList{ "a b c d|x\ty|1|-|-|-" };
    QTest::newRow("XML: comments, CDATA and processing instructions hold no roms") << xml(
        "<!-- <game name=\"C\"><rom name=\"c.bin\"/></game> -->\n<?pi <rom name=\"p\"/>?>\n"
        "<game name=\"G\"><description><![CDATA[<rom name=\"d.bin\"/>]]></description>"
        "<rom name=\"a.bin\" size=\"1\"/></game>") << QStringList{ "G|a.bin|1|-|-|-" };
    QTest::newRow("XML: unknown elements and attributes") << xml(
        "<game name=\"G\" cloneof=\"F\"><release name=\"G\" region=\"USA\"/>"
        "<rom name=\"a.bin\" size=\"2\" crc=\"00000002\" status=\"verified\" serial=\"SLUS-1\" "
        "sha256=\"00\"/><disk name=\"d\" sha1=\"1\"/><sample name=\"s\"/></game>")
                                                          << QStringList{
                                                                 "G|a.bin|2|00000002|-|-"
                                                             };
    QTest::newRow("XML: a rom outside a game is no game's file")
        << xml("<rom name=\"stray.bin\" size=\"1\"/><game name=\"G\"><rom name=\"a.bin\"/></game>")
        << QStringList{ "G|a.bin|-|-|-|-" };
    QTest::newRow("XML: optional fields missing or empty")
        << xml("<game name=\"G\"><rom name=\"a.bin\"/><rom name=\"b.bin\" size=\"\" crc=\"\" "
               "md5=\"\" "
               "sha1=\"\"/><rom name=\"c.bin\" md5=\"0cc175b9c0f1b6a831c399e269772661\"/></game>")
        << QStringList{ "G|a.bin|-|-|-|-", "G|b.bin|-|-|-|-",
               "G|c.bin|-|-|0cc175b9c0f1b6a831c399e269772661|-" };
    QTest::newRow("XML: crc written after 0x")
        << xml("<game name=\"G\"><rom name=\"a.bin\" crc=\"0x0000ABCD\"/></game>")
        << QStringList{ "G|a.bin|-|0000abcd|-|-" };
    QTest::newRow("XML: a game without a name, an empty game") << xml(
        "<game><rom name=\"a.bin\" size=\"1\"/></game><game name=\"E\"/>"
        "<machine name=\"M\"></machine>") << QStringList{ "|a.bin|1|-|-|-" };
    QTest::newRow("XML: the largest size")
        << xml("<game name=\"G\"><rom name=\"a.bin\" size=\"999999999999999999\"/></game>")
        << QStringList{ "G|a.bin|999999999999999999|-|-|-" };
    QTest::newRow("XML: spaces around = and before />")
        << xml("<game  name = \"G\" ><rom\n name=\"a.bin\"\tsize= '3' /></game >")
        << QStringList{ "G|a.bin|3|-|-|-" };
    QTest::newRow("XML: another root element") << QByteArray(
        "<mame build=\"0.1\"><machine name=\"M\"><rom name=\"m.rom\" size=\"4\"/>"
        "</machine></mame>") << QStringList{ "M|m.rom|4|-|-|-" };
    // QXmlStreamReader's part: an encoding of its own, an entity the DAT declares.
    QTest::newRow("XML in ISO-8859-1")
        << QByteArray(
               "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<datafile><game name=\"Caf\xe9\">"
               "<rom name=\"\xe9.bin\" size=\"1\" crc=\"0000000A\"/></game></datafile>")
        << QStringList{ "Caf" + ePlusAcute + "|" + ePlusAcute + ".bin|1|0000000a|-|-" };
    QTest::newRow("XML with an entity of its own") << QByteArray(
        "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile [\n<!ENTITY pub \"Sony\">\n]>\n"
        "<datafile><game name=\"&pub; &amp; Co\"><rom name=\"a.bin\" size=\"1\"/></game>"
        "<rom name=\"stray.bin\"/></datafile>") << QStringList{ "Sony & Co|a.bin|1|-|-|-" };

    QTest::newRow("XML: a character reference with many leading zeros")
        << xml("<game name=\"G\"><rom name=\"&#x000000041;&#0000000066;.bin\" size=\"1\"/></game>")
        << QStringList{ "G|AB.bin|1|-|-|-" };
    QTest::newRow("XML: names of letters, digits, dots, dashes and underscores")
        << xml("<game name=\"G\"><rom-list/><rom name=\"a.bin\" size=\"1\" x_1.y-2=\"\"/></game>")
        << QStringList{ "G|a.bin|1|-|-|-" };
    QTest::newRow("XML: a namespace declared and used, and names beyond ASCII") << xml(
        "<game name=\"G\" xmlns:x=\"urn:x\" x:id=\"1\"><r\xc3\xa9gion/>"
        "<rom name=\"a.bin\" size=\"1\"/></game>") << QStringList{ "G|a.bin|1|-|-|-" };
    // XML takes an entity that the DTD named, which no reader here reads, may
    // declare; Qt's reader keeps it as it stands, and so does the scanner.
    QTest::newRow("XML: an entity that the DTD named may declare")
        << QByteArray(
               "<!DOCTYPE datafile SYSTEM \"datafile.dtd\"><datafile><game name=\"G&nbsp;1\">"
               "<description>&nbsp;</description><rom name=\"a&nbsp;.bin\"/></game></datafile>")
        << QStringList{ "G&nbsp;1|a&nbsp;.bin|-|-|-|-" };
    QTest::newRow("XML: a DOCTYPE naming its DTD by a system identifier alone") << QByteArray(
        "<!DOCTYPE datafile SYSTEM \"datafile.dtd\"><datafile><game name=\"G\">"
        "<rom name=\"a.bin\" size=\"1\"/></game></datafile>") << QStringList{ "G|a.bin|1|-|-|-" };
    // Used where it is read, as a DAT might use it for a publisher's name: in
    // each game's description, 100 games.
    QByteArray entityUsed =
        "<!DOCTYPE datafile [<!ENTITY e \"" + QByteArray(4000, 'x') + "\">]>\n<datafile>";
    QStringList entityRoms;
    for (int game = 0; game < 100; ++game) {
        entityUsed += "<game name=\"G" + QByteArray::number(game)
            + "\"><description>&e;</description><rom name=\"a.bin\" size=\"1\"/></game>";
        entityRoms << QStringLiteral("G%1|a.bin|1|-|-|-").arg(game);
    }
    QTest::newRow("XML with an entity of 4,000 characters used 100 times")
        << entityUsed + "</datafile>" << entityRoms;

    const QByteArray description4096 = QByteArray(4000, 'a') + QByteArray("\r\n").repeated(40)
        + QByteArray("&amp;").repeated(20) + "<![CDATA[" + QByteArray(30, 'b') + "\r\n]]>"
        + "<!-- not text -->" + QByteArray("\xf0\x9f\x92\xbf").repeated(2) + "c";
    for (const bool isQt : { false, true }) {
        const QByteArray doctype = isQt ? "<!DOCTYPE datafile [ <!ENTITY e \"x\"> ]>" : "";
        QTest::addRow("XML%s: a description of 4,096 characters", isQt ? " with a DOCTYPE" : "")
            << doctype + "<datafile><game name=\"G\"><description>" + description4096
                + "</description><rom name=\"a.bin\"/></game></datafile>"
            << QStringList{ "G|a.bin|-|-|-|-" };
    }

    QTest::newRow("text: escaped quotes and backslashes")
        << QByteArray("game ( name \"Say \\\"Hi\\\" \\\\o/\" rom ( name \"C:\\dir\" size 1 ) )")
        << QStringList{ "Say \"Hi\" \\o/|C:\\dir|1|-|-|-" };
    QTest::newRow("text: unquoted words")
        << QByteArray("game ( name G rom ( name (a).bin size 1 crc 0000000F ) )")
        << QStringList{ "G|(a).bin|1|0000000f|-|-" };
    QTest::newRow("text: the game's name after its roms")
        << QByteArray("game (\n\trom ( name a.bin size 1 )\n\trom ( name b.bin )\n\tname \"G\"\n)")
        << QStringList{ "G|a.bin|1|-|-|-", "G|b.bin|-|-|-|-" };
    QTest::newRow("text: unknown keys, with values and blocks")
        << QByteArray("emulator ( name \"e\" ( nested ) )\n"
                      "game ( name G year 1999 manufacturer \"Sony (SCEA)\" "
                      "release ( name \"G\" region USA ( x ) ) "
                      "rom ( name a.bin size 1 flags verified serial \"SLUS ( 1 )\" "
                      "region ( x y ) md5 0CC175B9C0F1B6A831C399E269772661 ) "
                      "disk ( name d sha1 1 ) sample s )")
        << QStringList{ "G|a.bin|1|-|0cc175b9c0f1b6a831c399e269772661|-" };
    QTest::newRow("text: nodump and baddump without a value")
        << QByteArray("game ( name G rom ( name a.bin size 1 nodump ) "
                      "rom ( name b.bin baddump size 2 crc 0000000B ) )")
        << QStringList{ "G|a.bin|1|-|-|-", "G|b.bin|2|0000000b|-|-" };
    QTest::newRow("text: a closing parenthesis against a quote or another") << QByteArray(
        "game ( name \"G\" rom ( name \"a.bin\"))") << QStringList{ "G|a.bin|-|-|-|-" };
    QTest::newRow("text: a key without a value ends its block")
        << QByteArray("game ( name G rom ( name a.bin size 1 verified ) flag )\n"
                      "game ( name H rom ( name b.bin ) )")
        << QStringList{ "G|a.bin|1|-|-|-", "H|b.bin|-|-|-|-" };
    QTest::newRow("text: a name that is not UTF-8")
        << QByteArray("game ( name \"Caf\xe9\" rom ( name a.bin ) )")
        << QStringList{ QString::fromUtf8("Caf\xef\xbf\xbd|a.bin|-|-|-|-") };
}

void TestDatFile::readDat()
{
    QFETCH(QByteArray, dat);
    QFETCH(QStringList, expected);

    const DatFile read = readBytes(dat);
    QCOMPARE(read.error, QString());
    QCOMPARE(described(read.roms), expected);
}

void TestDatFile::damaged_data()
{
    QTest::addColumn<QByteArray>("dat");
    QTest::addColumn<qint64>("line");
    QTest::addColumn<QString>("reason"); // a part of the error

    // The same damage to a rom in either form.
    const struct
    {
        const char *what;
        QByteArray xml, text;
        QString reason;
    } roms[] = {
        { "crc not hexadecimal", "<rom name=\"b\" crc=\"12345G78\"/>",
            "rom ( name b crc 12345G78 )", "the rom's crc `12345G78` is not 8 hexadecimal digits" },
        { "crc too short", "<rom name=\"b\" crc=\"1234567\"/>", "rom ( name b crc 1234567 )",
            "crc `1234567` is not 8" },
        { "crc too long", "<rom name=\"b\" crc=\"123456789\"/>", "rom ( name b crc 123456789 )",
            "crc `123456789` is not 8" },
        { "size not a number", "<rom name=\"b\" size=\"12a\"/>", "rom ( name b size 12a )",
            "the rom's size `12a` is not a number of bytes" },
        { "size negative", "<rom name=\"b\" size=\"-5\"/>", "rom ( name b size -5 )",
            "size `-5` is not" },
        { "size beyond 18 digits", "<rom name=\"b\" size=\"9223372036854775807\"/>",
            "rom ( name b size 9223372036854775807 )", "size `9223372036854775807` is not" },
        { "size with a space", "<rom name=\"b\" size=\" 12\"/>", "rom ( name b size \" 12\" )",
            "size ` 12` is not" },
        { "md5 of 31 digits", "<rom name=\"b\" md5=\"0cc175b9c0f1b6a831c399e26977266\"/>",
            "rom ( name b md5 0cc175b9c0f1b6a831c399e26977266 )",
            "the rom's md5 `0cc175b9c0f1b6a831c399e26977266` is not 32 hexadecimal digits" },
        { "md5 not hexadecimal", "<rom name=\"b\" md5=\"0cc175b9c0f1b6a831c399e26977266g\"/>",
            "rom ( name b md5 0cc175b9c0f1b6a831c399e26977266g )", "md5" },
        { "sha1 of 39 digits", "<rom name=\"b\" sha1=\"86f7e437faa5a7fce15d1ddcb9eaeaea377667b\"/>",
            "rom ( name b sha1 86f7e437faa5a7fce15d1ddcb9eaeaea377667b )",
            "the rom's sha1 `86f7e437faa5a7fce15d1ddcb9eaeaea377667b` is not 40 hexadecimal "
            "digits" },
        { "sha1 of 41 digits",
            "<rom name=\"b\" sha1=\"86f7e437faa5a7fce15d1ddcb9eaeaea377667b80\"/>",
            "rom ( name b sha1 86f7e437faa5a7fce15d1ddcb9eaeaea377667b80 )", "sha1" },
        { "sha1 given as an md5", "<rom name=\"b\" sha1=\"0cc175b9c0f1b6a831c399e269772661\"/>",
            "rom ( name b sha1 0cc175b9c0f1b6a831c399e269772661 )", "sha1" },
        { "rom without a name", "<rom size=\"1\"/>", "rom ( size 1 )", "a rom without a name" },
        { "rom with an empty name", "<rom name=\"\" size=\"1\"/>", "rom ( name \"\" size 1 )",
            "a rom without a name" },
    };
    for (const auto &rom : roms) {
        QTest::addRow("XML, %s", rom.what)
            << xmlWithLine5("\t\t" + rom.xml) << qint64(5) << rom.reason;
        QTest::addRow("text, %s", rom.what)
            << textWithLine5("\t" + rom.text) << qint64(5) << rom.reason;
    }
    // A rom tag over several lines is told by its first.
    QTest::newRow("XML, a rom over two lines")
        << xmlWithLine5("\t\t<rom name=\"b\"\n\t\t\tsha1=\"0\"/>") << qint64(5) << "sha1";
    QTest::newRow("text, a rom over two lines, told by the field")
        << textWithLine5("\trom ( name b\n\t\tsha1 0 )") << qint64(6) << "sha1";
    QTest::newRow("XML in ISO-8859-1, bad sha1") << QByteArray(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<datafile>\n<game name=\"G\">\n"
        "<rom name=\"\xe9\" sha1=\"1\"/>\n</game>\n</datafile>\n")
                                                 << qint64(4) << "sha1 `1` is not 40";

    // What XML refuses, refused whichever reader reads it: the fast scanner,
    // or QXmlStreamReader where a DOCTYPE declares an entity.
    const struct
    {
        const char *what;
        QByteArray line;
        QString reason;
    } malformed[] = {
        { "an attribute given twice",
            "\t\t<rom name=\"b\" size=\"1\" crc=\"00000001\" size=\"705600\"/>",
            "the attribute `size` is given twice" },
        { "attributes without a blank between them", "\t\t<rom name=\"b\"size=\"1\"/>",
            "an attribute that follows another without a blank" },
        { "a control character in a name", "\t\t<rom name=\"b\x01\" size=\"1\"/>",
            "the control character U+0001" },
        { "a control character in an element's text", "\t\t<description>a\x1b[2Jb</description>",
            "the control character U+001B" },
        { "a character reference to a control character", "\t\t<rom name=\"b&#x1b;\"/>",
            "an unknown entity `&#x1b;`" },
        { "`--` inside a comment", "\t\t<!-- Track 1 -- data -->", "`--` inside a comment" },
        { "a comment ending in `--->`", "\t\t<!-- Track 1 --->", "`--` inside a comment" },
        { "an element's name starting with a digit", "\t\t<1rom name=\"b\"/>",
            "the name `1rom` starts with `1`" },
        { "an attribute's name starting with a dash", "\t\t<rom name=\"b\" -size=\"1\"/>",
            "the name `-size` starts with `-`" },
        { "an unknown entity in an element's text", "\t\t<description>Tom & Jerry</description>",
            "an unknown entity `& Jerry`" },
        { "`]]>` in an element's text", "\t\t<description>a]]>b</description>",
            "`]]>` in the text of an element" },
        { "bytes that are not UTF-8 in an attribute not read",
            "\t\t<rom name=\"b\" serial=\"SLES-\xe9\"/>", "bytes that are not UTF-8 text" },
        { "U+FFFE in an element's text", "\t\t<description>\xef\xbf\xbe</description>",
            "the character U+FFFE" },
        { "an XML declaration not at the start", "<?xml version=\"1.0\"?>",
            "an XML declaration that is not at the start" },
    };
    for (const auto &wrong : malformed) {
        QTest::addRow("XML, %s", wrong.what)
            << xmlWithLine5(wrong.line) << qint64(5) << wrong.reason;
        QByteArray declared = xmlWithLine5(wrong.line);
        declared.replace("<datafile>", "<!DOCTYPE datafile [ <!ENTITY e \"x\"> ]><datafile>");
        QTest::addRow("XML with a DOCTYPE that declares an entity, %s", wrong.what)
            << declared << qint64(5) << "the XML is malformed";
    }

    const QByteArray xml = xmlWithLine5("\t\t<rom name=\"b.bin\" size=\"2\"/>");
    QTest::newRow("XML cut inside a tag")
        << xml.left(xml.indexOf("size=\"2")) << qint64(5) << "the file ends inside a tag";
    QTest::newRow("XML cut inside a value")
        << xml.left(xml.indexOf("b.bin")) << qint64(5) << "the file ends inside a tag";
    QTest::newRow("XML cut after a rom")
        << xml.left(xml.indexOf("\t</game>")) << qint64(3) << "<game> that starts on this line";
    QTest::newRow("XML cut after a game")
        << xml.left(xml.indexOf("</datafile>")) << qint64(2) << "<datafile>";
    QTest::newRow("XML cut inside a comment")
        << xml.left(xml.indexOf("\t</game>")) + "<!-- cut" << qint64(6) << "a comment";
    QTest::newRow("XML closing tag that closes another")
        << QByteArray(xml).replace("</game>", "</gmae>") << qint64(6)
        << "the XML is malformed: </gmae> where <game> of line 3 is to be closed";
    QTest::newRow("XML game without its closing tag")
        << QByteArray(xml).replace("\t</game>\n", "") << qint64(6) << "</datafile> where <game>";
    QTest::newRow("XML value without its closing quote")
        << xmlWithLine5("\t\t<rom name=\"b.bin size=\"2\"/>") << qint64(5) << "malformed";
    QTest::newRow("XML value without its closing quote, to the end")
        << xmlWithLine5("\t\t<rom name=\"b.bin size=2/>") << qint64(5) << "ends inside a tag";
    QTest::newRow("XML, a `<` inside a value")
        << xmlWithLine5("\t\t<rom name=\"b<c\"/>") << qint64(5) << "a `<` inside";
    QTest::newRow("XML unknown entity") << xmlWithLine5("\t\t<rom name=\"a&nbsp;b\"/>") << qint64(5)
                                        << "an unknown entity `&nbsp;`";
    QTest::newRow("XML entity without its semicolon")
        << xmlWithLine5("\t\t<rom name=\"Tom & Jerry\"/>") << qint64(5)
        << "an unknown entity `& Jerry`";
    QTest::newRow("XML unknown entity, the DAT said to stand alone")
        << QByteArray("<?xml version=\"1.0\" standalone=\"yes\"?>\n<!DOCTYPE datafile SYSTEM "
                      "\"datafile.dtd\">\n"
                      "<datafile><game name=\"G&nbsp;1\"><rom name=\"a.bin\"/></game></datafile>")
        << qint64(3) << "an unknown entity `&nbsp;`";
    QTest::newRow("XML character reference to nothing")
        << xmlWithLine5("\t\t<rom name=\"a&#0;\"/>") << qint64(5) << "`&#0;`";
    QTest::newRow("XML character reference beyond Unicode")
        << xmlWithLine5("\t\t<rom name=\"a&#x110000;\"/>") << qint64(5) << "`&#x110000;`";
    QTest::newRow("XML name not UTF-8")
        << xmlWithLine5("\t\t<rom name=\"Caf\xe9\"/>") << qint64(5) << "not UTF-8";
    QTest::newRow("XML attribute without a value")
        << xmlWithLine5("\t\t<rom name/>") << qint64(5) << "without `=`";
    QTest::newRow("XML text after the end") << xml + "junk\n" << qint64(8) << "text after the end";
    QTest::newRow("XML second outermost element") << xml + "<datafile/>\n"
                                                  << qint64(8) << "a second outermost element";
    QTest::newRow("XML closing tag of nothing") << xml + "</datafile>\n"
                                                << qint64(8) << "</datafile> closes no element";
    QTest::newRow("XML in ISO-8859-1, game not closed") << QByteArray(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<datafile>\n<game name=\"G\">\n"
        "<rom name=\"\xe9\"/>\n</datafile>\n") << qint64(5)
                                                        << "the XML is malformed";
    QTest::newRow("XML with an undeclared entity of its own")
        << QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE datafile [\n]>\n<datafile>\n"
                      "<game name=\"&pub;\"><rom name=\"a\"/></game>\n</datafile>\n")
        << qint64(5) << "the XML is malformed";
    // Qt counts an entity's line ends again each time it is used; the line is the file's.
    QTest::newRow("XML entity of line ends used four times")
        << QByteArray("<!DOCTYPE d [<!ENTITY e \"&#10;&#10;&#10;&#10;&#10;\">]><d>&e;&e;&e;&e;"
                      "<game name=\"g\"><rom name=\"\" size=\"1\"/></game></d>")
        << qint64(1) << "a rom without a name";
    QTest::newRow("XML entity of line ends, the rom on line 3")
        << QByteArray("<!DOCTYPE d [<!ENTITY e \"&#10;&#10;&#10;\">]>\n<d>&e;&e;\n"
                      "<game name=\"g\"><rom name=\"\" size=\"1\"/></game></d>")
        << qint64(3) << "a rom without a name";
    QTest::newRow("an HTML page") << QByteArray(
        "<!DOCTYPE html>\n<html><head><title>404</title></head>\n"
        "<body><p>Not found<br></p></body></html>\n")
                                  << qint64(3) << "</p> where <br>";

    const QByteArray text = textWithLine5("\trom ( name \"b.bin\" size 2 )");
    QTest::newRow("text cut inside a rom")
        << text.left(text.indexOf(" size 2")) << qint64(5) << "`rom (` is never closed";
    QTest::newRow("text cut inside a quoted name") << text.left(
        text.indexOf("b.bin") + 1) << qint64(5) << "a quoted text without its closing quote";
    QTest::newRow("text cut after a rom")
        << text.left(text.lastIndexOf(')')) << qint64(2) << "`game (` is never closed";
    QTest::newRow("text game without its closing parenthesis")
        << QByteArray(text).replace("\n)\n", "\n\n") + "machine (\n\tname H\n\trom ( name h )\n)\n"
        << qint64(2) << "`game (` is never closed: the file ends first";
    QTest::newRow("text block within a game cut") << text.left(text.lastIndexOf(')'))
            + "\trelease ( name x\n" << qint64(6) << "`release (` is never closed";
    QTest::newRow("text closing parenthesis too many") << text + ")\n"
                                                       << qint64(7) << "a `)` that closes nothing";
    QTest::newRow("text quoted name without its closing quote")
        << textWithLine5("\trom ( name \"b.bin size 2 )") << qint64(5) << "closing quote";
    QTest::newRow("text rom without its parenthesis")
        << textWithLine5("\trom \"b.bin\"") << qint64(5) << "a rom without its `(`";
    QTest::newRow("text parenthesis without a key")
        << textWithLine5("\t( name b )") << qint64(5) << "a `(` where a name such as `rom`";
    QTest::newRow("text parenthesis at the top without a key")
        << QByteArray("clrmamepro ( name X )\n( name b )\n") << qint64(2) << "a `(` without a name";

    // Lines that end in a lone CR, as old Mac DATs have them, counted as those of a control file.
    const auto crOnly = [](QByteArray lines) { return lines.replace('\n', '\r'); };
    QTest::newRow("XML, CR line ends, a bad sha1 on line 5")
        << crOnly(xmlWithLine5("\t\t<rom name=\"b\" sha1=\"0\"/>")) << qint64(5) << "sha1";
    QTest::newRow("XML, CR line ends, cut after a rom")
        << crOnly(xml.left(xml.indexOf("\t</game>"))) << qint64(3) << "<game>";
    QTest::newRow("text, CR line ends, a bad crc on line 5")
        << crOnly(textWithLine5("\trom ( name b crc 1234567 )")) << qint64(5) << "crc `1234567`";
    QTest::newRow("text, CR line ends, a quoted name without its closing quote")
        << crOnly(textWithLine5("\trom ( name \"b.bin size 2 crc 00000002 )\n"
                                "\trom ( name \"c.bin\" size 3 crc 00000003 )"))
        << qint64(5) << "a quoted text without its closing quote";
    QTest::newRow("text, CR LF line ends, a quoted name without its closing quote")
        << crlf(textWithLine5("\trom ( name \"b.bin size 2 )\n\trom ( name \"c.bin\" )"))
        << qint64(5) << "a quoted text without its closing quote";
    QTest::newRow("XML read by QXmlStreamReader, CR line ends, a bad sha1 on line 5")
        << crOnly(QByteArray(xmlWithLine5("\t\t<rom name=\"b\" sha1=\"0\"/>"))
                      .replace("<datafile>", "<!DOCTYPE datafile [ <!ENTITY e \"x\"> ]><datafile>"))
        << qint64(5) << "sha1";

    // What entities and default values may make: bounded in all, and in any one name.
    const QByteArray entity4000 =
        "<!DOCTYPE datafile [\n<!ENTITY e \"" + QByteArray(4000, 'x') + "\">\n]>\n";
    QTest::newRow("XML, an entity of 4,000 characters used 300 times")
        << entity4000 + "<datafile><game name=\"G\"><description>" + QByteArray("&e;").repeated(300)
            + "</description><rom name=\"a.bin\" size=\"1\"/></game></datafile>"
        << qint64(2) << "may make more text than the 1048576 characters allowed";
    QTest::newRow("XML, a default value of 4,000 characters for 300 roms")
        << "<!DOCTYPE datafile [\n<!ATTLIST rom status CDATA \"" + QByteArray(4000, 'x')
            + "\">\n]>\n<datafile><game name=\"G\">"
            + QByteArray("<rom name=\"a.bin\" size=\"1\"/>").repeated(300) + "</game></datafile>"
        << qint64(2) << "may make more text than";
    QTest::newRow("XML, a name of 5,000 characters made by an entity")
        << QByteArray("<!DOCTYPE datafile [\n<!ENTITY e \"" + QByteArray(1000, 'x')
               + "\">\n]>\n"
                 "<datafile>\n<game name=\"G\">\n<rom name=\"&e;&e;&e;&e;&e;\" size=\"1\"/>\n"
                 "</game></datafile>")
        << qint64(6)
        << "a name of 5000 characters, longer than any file's name or path can be (4096)";
    QTest::newRow("XML, a game's name of 4,097 characters")
        << xmlWithLine5("\t</game><game name=\"" + QByteArray(4097, 'g') + "\"><rom name=\"b\"/>")
        << qint64(5) << "a name of 4097 characters";
    QTest::newRow("text, a rom's name of 4,097 characters")
        << textWithLine5("\trom ( name \"" + QByteArray(4097, 'r') + "\" )") << qint64(5)
        << "a name of 4097 characters";

    // A description of 4,096 characters is read, and of 4,097 refused, by
    // either reader: line ends, entities, CDATA and characters beyond the
    // BMP counted as QString counts them.
    const QByteArray description4096 = QByteArray(4000, 'a') + QByteArray("\r\n").repeated(40)
        + QByteArray("&amp;").repeated(20) + "<![CDATA[" + QByteArray(30, 'b') + "\r\n]]>"
        + "<!-- not text -->" + QByteArray("\xf0\x9f\x92\xbf").repeated(2) + "c";
    for (const bool isQt : { false, true }) {
        const QByteArray doctype = isQt ? "<!DOCTYPE datafile [ <!ENTITY e \"x\"> ]>" : "";
        const QByteArray dat = doctype + "<datafile>\n<game name=\"G\">\n<description>"
            + description4096 + "c</description>\n<rom name=\"a.bin\"/>\n</game>\n</datafile>\n";
        QTest::addRow("XML%s, a description of 4,097 characters", isQt ? " with a DOCTYPE" : "")
            << dat << qint64(3) << "a description of 4097 characters";
    }

    // The first bytes of an archive alone: what whole archives give is in packed().
    QTest::newRow("a zipped DAT's first bytes")
        << QByteArray("PK\x03\x04\x14\x00\x00\x00\x08\x00Sony - PlayStation.dat", 32) << qint64(0)
        << "the ZIP archive is damaged: its list of files is cut short or unreadable";
    QTest::newRow("a gzipped DAT's first bytes")
        << QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) << qint64(0)
        << "the gzip file is cut short";
    QTest::newRow("XML in UTF-16 without a byte order mark")
        << QByteArray("<\0?\0x\0m\0l\0 \0", 12) << qint64(1) << "UTF-16";

    QTest::newRow("no roms, XML") << QByteArray(
        "<?xml version=\"1.0\"?>\n<datafile><header/></datafile>\n")
                                  << qint64(0) << "the DAT holds no files";
    QTest::newRow("no roms, XML games without roms")
        << QByteArray("<datafile><game name=\"G\"><description>G</description></game></datafile>")
        << qint64(0) << "the DAT holds no files";
    QTest::newRow("no roms, text") << QByteArray("clrmamepro ( name \"X\" )\ngame ( name G )\n")
                                   << qint64(0) << "the DAT holds no files";
    QTest::newRow("empty file") << QByteArray() << qint64(0) << "the DAT holds no files";
    QTest::newRow("blank lines") << QByteArray("\n \r\n\t\n") << qint64(0)
                                 << "the DAT holds no files";

    QTest::newRow("a PNG's first bytes")
        << QByteArray::fromHex("89504e470d0a1a0a0000000d4948445200000010000000100806000000")
        << qint64(1) << "this is not a DAT: a block such as `game (` was expected";
    QTest::newRow("a control file")
        << crlf("[CloneCD]\nVersion=3\n[Disc]\nTocEntries=4\nSessions=1\n") << qint64(1)
        << "this is not a DAT: a block such as `game (` was expected, not `[CloneCD]`";
    QTest::newRow("a cue sheet") << crlf(
        "FILE \"Disc.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n")
                                 << qint64(1) << "not `FILE`";
    QTest::newRow("text in UTF-16")
        << QByteArray("\xff\xfe") + QByteArray("g\0a\0m\0e\0 \0(\0", 12) << qint64(1) << "UTF-16";
}

void TestDatFile::damaged()
{
    QFETCH(QByteArray, dat);
    QFETCH(qint64, line);
    QFETCH(QString, reason);

    const DatFile read = readBytes(dat);
    QVERIFY(!read.isRead());
    QVERIFY2(read.error.contains(reason), qPrintable(read.error));
    QCOMPARE(read.errorLine, line);
    if (line > 0)
        QVERIFY2(
            read.error.startsWith(QStringLiteral("line %1: ").arg(line)), qPrintable(read.error));
    QVERIFY(read.roms.isEmpty());
    QVERIFY(read.withSize(1).isEmpty());
}

void TestDatFile::withSize()
{
    // Sizes repeat, out of order, and some roms give none.
    const QList<TestGame> list = {
        { "G1", { sized("a", 2352), sized("b", 100), sized("c", 2352), sized("d", -1) } },
        { "G2", { sized("e", 0), sized("f", 100), sized("g", -1), sized("h", 2352) } },
    };
    for (const QByteArray &dat : { xmlDat(list), textDat(list) }) {
        const DatFile read = readBytes(dat);
        QVERIFY2(read.isRead(), qPrintable(read.error));
        QCOMPARE(read.withSize(2352), (QList<qsizetype>{ 0, 2, 7 }));
        QCOMPARE(read.withSize(100), (QList<qsizetype>{ 1, 5 }));
        QCOMPARE(read.withSize(0), (QList<qsizetype>{ 4 }));
        QCOMPARE(read.withSize(2353), QList<qsizetype>());
        QCOMPARE(read.withSize(-1), QList<qsizetype>());
        QCOMPARE(read.roms[7].name, QStringLiteral("h"));
    }
    QCOMPARE(DatFile().withSize(0), QList<qsizetype>());
}

void TestDatFile::fromPath()
{
    CurrentFolder folder;
    QVERIFY(folder.isCurrent());
    const QString path = QStringLiteral("Sony - PlayStation (2024-05-01).dat");
    QVERIFY(writeFile(path, crlf(textDat(games))));
    const DatFile read = morvant::readDat(path);
    QCOMPARE(read.error, QString());
    QCOMPARE(described(read.roms), expectedRoms(games));
    QCOMPARE(read.withSize(96), QList<qsizetype>{ 0 });
}

// The archives in data/dats were made by Info-ZIP's zip 3.0 and GNU gzip from
// the two DATs beside them; see data/dats/README.md.
const QString playStationDat = QStringLiteral("Sony - PlayStation (2024-05-01).dat");

QString datsFolder()
{
    return QFINDTESTDATA("data/dats");
}

void TestDatFile::packed_data()
{
    QTest::addColumn<QString>("path"); // in data/dats
    QTest::addColumn<QString>("firstGame"); // of the DAT read; empty when it is refused
    QTest::addColumn<QString>("reason");

    const QString sony = QStringLiteral("Demo Disc (Europe)");
    const QString sega = QStringLiteral("Other Disc (Japan)");
    QTest::newRow("zipped") << "one.zip" << sony << QString();
    QTest::newRow("zipped, stored") << "stored.zip" << sony << QString();
    if (MINIZIP_READS_ZIP64)
        QTest::newRow("zipped, Zip64") << "zip64.zip" << sony << QString();
    else
        QTest::newRow("zipped, Zip64") << "zip64.zip" << QString()
                                       << "gives its sizes in a Zip64 record, which the minizip "
                                          "library of this system does not read";
    QTest::newRow("zipped beside a readme") << "withReadme.zip" << sony << QString();
    QTest::newRow("gzipped") << "one.dat.gz" << sony << QString();
    QTest::newRow("gzipped in two members") << "twoMembers.dat.gz" << sony << QString();
    QTest::newRow("one of several, named")
        << "pack.zip/Sega - Mega-CD (2024-05-01).dat" << sega << QString();
    QTest::newRow("one of several, named in other letters")
        << "pack.zip/sony - playstation (2024-05-01).DAT" << sony << QString();
    QTest::newRow("several DATs")
        << "pack.zip" << QString()
        << "the ZIP archive holds 2 DATs, \"Sony - PlayStation (2024-05-01).dat\" and \"Sega - "
           "Mega-CD (2024-05-01).dat\": name the one to read after the archive and a slash, as "
           "in \"";
    QTest::newRow("a name not in it")
        << "pack.zip/Missing.dat" << QString()
        << "the ZIP archive holds no file \"Missing.dat\"; it holds \"readme.txt\", \"Sony - "
           "PlayStation (2024-05-01).dat\" and \"Sega - Mega-CD (2024-05-01).dat\"";
    QTest::newRow("a readme alone")
        << "readmeOnly.zip" << QString() << "\"readme.txt\" in it: line 1: this is not a DAT";
    QTest::newRow("a folder alone")
        << "folderOnly.zip" << QString() << "the ZIP archive holds no file";
    QTest::newRow("encrypted") << "encrypted.zip" << QString()
                               << "\"Sony - PlayStation (2024-05-01).dat\" in the ZIP archive is "
                                  "encrypted";
    QTest::newRow("bzip2") << "bzip2.zip" << QString() << "is packed by compression method 12";
    QTest::newRow("a gzipped DAT zipped") << "nested.zip" << QString() << "is packed again";
    QTest::newRow("a gzip file, a name in it")
        << "one.dat.gz/x.dat" << QString() << "a gzip file holds one file, which needs no name";
    QTest::newRow("a DAT, a name in it") << playStationDat + "/x.dat" << QString()
                                         << "it is not a ZIP archive, so it holds no \"x.dat\"";
}

void TestDatFile::packed()
{
    QFETCH(QString, path);
    QFETCH(QString, firstGame);
    QFETCH(QString, reason);

    const DatFile read = morvant::readDat(datsFolder() + u'/' + path);
    if (firstGame.isEmpty()) {
        QVERIFY2(read.error.contains(reason), qPrintable(read.error));
        QVERIFY(read.roms.isEmpty());
        return;
    }
    QVERIFY2(read.isRead(), qPrintable(read.error));
    QCOMPARE(read.roms.first().game, firstGame);
    if (firstGame.startsWith(u'D')) {
        const DatFile plain = morvant::readDat(datsFolder() + u'/' + playStationDat);
        QVERIFY(plain.isRead());
        QCOMPARE(described(read.roms), described(plain.roms));
    }
}

void TestDatFile::damagedArchive_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QString>("reason");

    const QByteArray zip = readFile(datsFolder() + QStringLiteral("/one.zip"));
    const QByteArray stored = readFile(datsFolder() + QStringLiteral("/stored.zip"));
    const QByteArray gzip = readFile(datsFolder() + QStringLiteral("/one.dat.gz"));
    QVERIFY(!zip.isEmpty() && !stored.isEmpty() && !gzip.isEmpty());
    const auto changed = [](QByteArray bytes, qsizetype at, char to) {
        bytes[at] = to;
        return bytes;
    };
    // The central directory's record of the file: its unpacked size at 24.
    const auto listedSize = [](QByteArray bytes, quint32 size) {
        const qsizetype at = bytes.indexOf("PK\x01\x02") + 24;
        qToLittleEndian(size, bytes.data() + at);
        return bytes;
    };
    const qsizetype data = 30 + playStationDat.size(); // after the first local header
    const QString damaged = QStringLiteral("the ZIP archive is damaged");

    QTest::newRow("zip cut in its list of files")
        << zip.left(zip.size() - 10) << damaged + ": its list of files is cut short";
    QTest::newRow("zip cut in its data") << zip.left(data + 20) << damaged;
    QTest::newRow("zip, a byte of packed data changed")
        << changed(zip, data + 40, char(zip[data + 40] ^ 0x55)) << damaged;
    QTest::newRow("zip, a byte of stored data changed")
        << changed(stored, data + 40, 'X') << "its CRC does not match what it unpacks to";
    QTest::newRow("zip listing a smaller size") << listedSize(zip, 100) << damaged;
    QTest::newRow("zip listing more than its packed bytes give") << listedSize(zip,
        10000000) << "it lists 10000000 bytes unpacked, more than its 223 packed bytes can give";
    QTest::newRow("zip listing a size of 2 GiB")
        << listedSize(zip, 0x80000000)
        << "unpacks to 2147483648 bytes, more than the 1073741824 that any DAT of discs stays "
           "within";
    // An archiver's name may hold anything, a line end or a terminal's escape among it.
    QTest::newRow("a name with a line end and an escape")
        << zipped({ { "a\nb\x1b[2J.dat", "x" }, { "c.dat", "y" } })
        << "the ZIP archive holds 2 DATs, \"a\\u000ab\\u001b[2J.dat\" and \"c.dat\"";
    QTest::newRow("gzip cut short") << gzip.left(100) << "the gzip file is cut short";
    QTest::newRow("gzip cut before its trailer")
        << gzip.left(gzip.size() - 8) << "the gzip file is cut short";
    QTest::newRow("gzip with bytes after its end")
        << gzip + "junk"
        << "bytes that are no gzip member follow its end";
    QTest::newRow("gzip, its CRC changed") << changed(gzip, gzip.size() - 8,
        char(gzip[gzip.size() - 8] ^ 1)) << "the gzip file is damaged (incorrect data check)";
    QTest::newRow("gzip, its size changed") << changed(gzip, gzip.size() - 4,
        char(gzip[gzip.size() - 4] ^ 1)) << "the gzip file is damaged (incorrect length check)";
}

void TestDatFile::damagedArchive()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, reason);

    const DatFile read = readBytes(archive);
    QVERIFY2(read.error.contains(reason), qPrintable(read.error));
    QCOMPARE(read.errorLine, 0);
    QVERIFY(read.roms.isEmpty());
}

void TestDatFile::cannotOpen_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("missing") << QStringLiteral("missing.dat");
    QTest::newRow("a folder") << QStringLiteral("folder.dat");
}

void TestDatFile::cannotOpen()
{
    QFETCH(QString, path);

    CurrentFolder folder;
    QVERIFY(folder.isCurrent());
    QVERIFY(QDir().mkdir(QStringLiteral("folder.dat")));
    const DatFile read = morvant::readDat(path);
    QVERIFY(!read.isRead());
    QCOMPARE(read.errorLine, 0);
    QVERIFY(read.roms.isEmpty());
    // The system's reason, which names neither a line nor the path: the caller names the path.
    QVERIFY(!read.error.startsWith(QStringLiteral("line")));
    QVERIFY2(!read.error.contains(path), qPrintable(read.error));
    if (path == QStringLiteral("missing.dat")) {
        QFile file(path);
        QVERIFY(!file.open(QIODevice::ReadOnly));
        QCOMPARE(read.error, file.errorString());
    }

    QBuffer closed;
    QVERIFY(!morvant::readDat(closed).isRead());
}

QTEST_GUILESS_MAIN(TestDatFile)
#include "tst_datFile.moc"
