#pragma once

// What the rows of tst_check, tst_sessions and tst_codes check alike: the
// findings of --check on one control file, and the program's conversion of
// one with what the user adds to the cue sheet. Each is called from a test
// function with its row's values; a failure ends the row there.

#include "check.h"
#include "checkReport.h"
#include "controlFiles.h"

#include <QBuffer>
#include <QDir>
#include <QStringDecoder>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace morvant;

/// The cue sheet of the Enhanced CD (sessionsFile()) with --sessions, from an image without
/// the space between the sessions.
inline const QByteArray enhancedSheet = crlf("FILE \"Disc.img\" BINARY\n"
                                             "  REM SESSION 01\n"
                                             "  TRACK 01 AUDIO\n"
                                             "    INDEX 01 00:00:00\n"
                                             "  TRACK 02 AUDIO\n"
                                             "    INDEX 01 00:13:25\n"
                                             "  REM LEAD-OUT 00:26:50\n"
                                             "  REM SESSION 02\n"
                                             "  TRACK 03 MODE1/2352\n"
                                             "    INDEX 01 02:58:50\n");

// The text report on one file, as --check writes it.
inline QString textReport(const CheckReport &report, bool colour)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeTextReport(report, colour, buffer);
    return QString::fromLocal8Bit(buffer.data());
}

// A finding as "code|track|the line it points to", so that rows name lines by their text.
inline QStringList described(const CheckReport &report, const QByteArray &content)
{
    const QList<QByteArray> lines = content.split('\n');
    QStringList list;
    for (const Remark &finding : report.findings) {
        const QByteArray line =
            finding.line > 0 ? lines.value(finding.line - 1).trimmed() : QByteArray();
        list << finding.name() + u'|' + finding.track + u'|' + QString::fromLatin1(line);
    }
    return list;
}

/** The columns of a table of findings: the control file, the image beside it
    (its bytes; -1: no image, -2: a folder, -3: a FIFO), whether a .sub is
    there, whether CD-Text is asked for, the findings expected and the
    options ("sessions", "codes"). */
inline void addFindingsColumns()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("imageBytes");
    QTest::addColumn<bool>("hasSubchannel");
    QTest::addColumn<bool>("cdText");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("options");
}

/** The columns of a table of conversions: the control file, the image's
    sectors (-1 for none), the options, the cue sheet expected ("=" and
    options: what those give), the exit status and a part of standard error
    (empty: nothing at all). */
inline void addConversionColumns()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("sectors");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err");
}

/** Checks Disc.ccd of \a content in the current folder, beside an image of
    \a imageBytes (-1: no image, -2: a folder, -3: a FIFO) and, with
    \a hasSubchannel, a .sub of one block; its findings must be \a expected. */
inline void checkFindings(const QByteArray &content, qint64 imageBytes, bool hasSubchannel,
    ConversionOptions options, const QStringList &expected)
{
    QVERIFY(writeFile("Disc.ccd", content));
    if (imageBytes >= 0)
        QVERIFY(makeImage("Disc.img", imageBytes));
    else if (imageBytes == -2)
        QVERIFY(QDir().mkdir("Disc.img"));
#ifdef Q_OS_UNIX
    else if (imageBytes == -3)
        QVERIFY(::mkfifo("Disc.img", 0644) == 0);
#else
    else if (imageBytes == -3)
        QSKIP("Windows has no FIFOs");
#endif
    if (hasSubchannel)
        QVERIFY(writeFile("Disc.sub", QByteArray(96, '\0')));
    const QStringList before = QDir().entryList(QDir::Files);

    options.separator = u'/';
    const CheckReport report = checkControlFile("Disc.ccd", options);
    QCOMPARE(described(report, content), expected);
    QCOMPARE(QDir().entryList(QDir::Files), before); // writes nothing
    QCOMPARE(report.isRefused(),
        expected.value(0).startsWith("refused|")
            || expected.value(0).startsWith("session-layout|"));
    for (const Remark &finding : report.findings) {
        QCOMPARE(finding.severity(), report.isRefused() ? Severity::Error : Severity::Warning);
        QVERIFY(!finding.message.isEmpty());
        QVERIFY(!finding.advice.isEmpty());
        // A line inside a track is never said to come before the first one.
        QVERIFY(finding.track.isEmpty() || !finding.message.contains("before the first track"));
    }
    QCOMPARE(checkStatus(report),
        report.isRefused()       ? checkRefused
            : expected.isEmpty() ? checkClean
                                 : checkWarnings);

    // Every line of the report fits 80 columns, apart from words longer than that,
    // and none holds a control character that a terminal would obey.
    const QString text = textReport(report, false);
    QCOMPARE(text.contains(QStringLiteral(".img, missing")), expected.contains("image-missing||"));
    const QStringList lines = text.split(u'\n');
    for (const QString &line : lines) {
        QVERIFY2(line.size() <= 80 || !line.trimmed().contains(u' '), qPrintable(line));
        QVERIFY2(std::none_of(line.begin(), line.end(),
                     [](QChar c) { return c.category() == QChar::Other_Control; }),
            qPrintable(line));
    }
}

/** Converts Disc.ccd of \a content in \a folder to standard output with
    \a options, beside an image of \a sectors (-1: none), through \a program
    as a user runs it. The cue sheet must be \a expected, or with "=" and
    options, what those options give; standard error must start with \a err,
    or be empty. */
inline void checkConversion(const QString &program, const QString &folder,
    const QByteArray &content, qint64 sectors, const QStringList &options,
    const QByteArray &expected, int status, const QString &err)
{
    QVERIFY(writeFile("Disc.ccd", content));
    if (sectors >= 0)
        QVERIFY(makeImage("Disc.img", sectors * sectorBytes));
    const auto converted = [&](const QStringList &arguments) {
        return run(program, QStringList{ "--stdout" } + arguments + QStringList{ "Disc.ccd" },
            folder, withoutDisplay());
    };
    const Run result = converted(options);
    QCOMPARE(result.status, status);
    if (expected.startsWith('=')) {
        const Run plain =
            converted(QString::fromLatin1(expected.mid(1)).split(u' ', Qt::SkipEmptyParts));
        QCOMPARE(plain.status, 0);
        QVERIFY(!plain.out.isEmpty());
        QCOMPARE(result.out, plain.out);
    } else {
        QCOMPARE(result.out, expected.isEmpty() ? expected : expected + "\r\n");
    }
    if (err.isEmpty())
        QCOMPARE(result.err, QByteArray());
    else
        QVERIFY2(result.err.startsWith(err.toUtf8()), result.err.constData());
    // What the control file holds never acts on the terminal.
    QStringDecoder system(QStringDecoder::System); // the code page on Windows
    const QString errText = system.decode(result.err);
    QVERIFY2(std::none_of(errText.begin(), errText.end(),
                 [](QChar c) { return c.category() == QChar::Other_Control && c != u'\n'; }),
        result.err.constData());
    QVERIFY(!QFile::exists("Disc.cue"));
}

/** Checks the row of a table that addFindingsColumns() made. */
inline void checkFindingsRow()
{
    QFETCH(QByteArray, content);
    QFETCH(qint64, imageBytes);
    QFETCH(bool, hasSubchannel);
    QFETCH(bool, cdText);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, options);

    ConversionOptions checkOptions;
    checkOptions.cdText = cdText;
    checkOptions.sessions = options.contains("sessions");
    checkOptions.codes = options.contains("codes");
    checkFindings(content, imageBytes, hasSubchannel, checkOptions, expected);
}

/** Converts the row of a table that addConversionColumns() made through the
    real \a program, in \a folder, as a user adds to the cue sheet. */
inline void checkConversionRow(const QString &program, const QString &folder)
{
    QFETCH(QByteArray, content);
    QFETCH(qint64, sectors);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, expected);
    QFETCH(int, status);
    QFETCH(QString, err);

    checkConversion(program, folder, content, sectors, options, expected, status, err);
}
