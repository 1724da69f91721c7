#include "checkReport.h"

#include "discImage.h"
#include "fileSystem.h"
#include "jsonWriter.h"
#include "numbers.h"
#include "sheetAdditions.h"

#include <QBuffer>
#include <QDir>

#include <algorithm>
#include <functional>

namespace morvant {

namespace {

constexpr qsizetype pageWidth = 80;

enum class Colour { Red, Yellow, Green };

QString painted(const QString &text, Colour colour, bool isOn)
{
    if (!isOn)
        return text;
    const char *code = colour == Colour::Red ? "\x1b[1;31m"
        : colour == Colour::Yellow           ? "\x1b[33m"
                                             : "\x1b[32m";
    return QString::fromLatin1(code) + text + QStringLiteral("\x1b[0m");
}

// Words break at blanks, except inside `quoted lines`, whose blanks matter.
QStringList words(const QString &text)
{
    QStringList list;
    QString word;
    bool isQuoted = false;
    for (const QChar c : text) {
        if (c == u'`')
            isQuoted = !isQuoted;
        if (c != u' ' || isQuoted) {
            word += c;
        } else if (!word.isEmpty()) {
            list << word;
            word.clear();
        }
    }
    if (!word.isEmpty())
        list << word;
    return list;
}

// Greedy word wrap from \a firstColumn; every line after the first is
// indented by \a indent.
QString wrapped(const QString &text, qsizetype firstColumn, qsizetype indent)
{
    QString result;
    qsizetype column = firstColumn;
    bool isFirst = true;
    for (const QString &word : words(text)) {
        if (!isFirst && column + 1 + word.size() > pageWidth) {
            result += u'\n' + QString(indent, u' ');
            column = indent;
        } else if (!isFirst) {
            result += u' ';
            ++column;
        }
        result += word;
        column += word.size();
        isFirst = false;
    }
    return result;
}

QString verdict(const CheckReport &report)
{
    if (report.isRefused())
        return report.refusal == Refusal::Unreadable ? tr("cannot be read") : tr("refused");
    const qsizetype count = report.findings.size();
    if (count == 0)
        return tr("no findings");
    return count == 1 ? tr("1 warning") : tr("%1 warnings").arg(count);
}

QString imageLine(const CheckReport &report)
{
    const QString name = shownPath(report.imagePath);
    if (!report.imageNotFile.isEmpty())
        return tr("%1: %2").arg(name, report.imageNotFile);
    if (!report.imageExists)
        return tr("%1, missing").arg(name);
    const qint64 sectors = report.imageSize / imageSectorSize;
    return tr("%1, %2 sectors (%3)").arg(name).arg(sectors).arg(sectorCountToMsf(sectors));
}

// The name that the JSON report gives how the image holds the sessions.
QString imageHoldsName(ImageHolds holds)
{
    switch (holds) {
    case ImageHolds::SessionsOnly:
        return QStringLiteral("sessions-only");
    case ImageHolds::Pregaps:
        return QStringLiteral("pregaps");
    case ImageHolds::EverySector:
        return QStringLiteral("every-sector");
    }
    return {};
}

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

QString titleLine(const QString &title, const QString &performer)
{
    QStringList parts;
    if (!title.isEmpty())
        parts << tr("title %1").arg(quoted(title));
    if (!performer.isEmpty())
        parts << tr("performer %1").arg(quoted(performer));
    return parts.join(QStringLiteral(", "));
}

// Where the text report goes, a piece at a time.
using Put = std::function<void(const QString &)>;

struct TrackRow
{
    QString number, mode, flags, indexes, titles, session;
};

TrackRow trackRow(const CueTrack &track)
{
    QStringList flags;
    for (const QString &text : track.flags())
        flags << shownLine(text.trimmed());
    QStringList indexes;
    for (const CueLine &index : track.indexes())
        indexes << shownLine(index.number)
                + (index.time().isEmpty() ? tr(" (no time)") : u' ' + index.time());
    return { shownLine(track.number), track.mode.isEmpty() ? tr("(none)") : track.mode,
        flags.join(u' '), indexes.join(QStringLiteral("  ")),
        shownLine(titleLine(track.title, track.performer)),
        track.session > 0 ? QString::number(track.session) : QString() };
}

// Two passes over the tracks, the first for the columns' widths, so that the
// rows of a long file are never all held at once.
void writeTrackTable(const CheckReport &report, const Put &put)
{
    const TrackRow header{ tr("track"), tr("mode"), tr("flags"), tr("index"), {}, tr("session") };
    // The session column only for a file of several sessions.
    const bool hasSessions = std::any_of(report.tracks.begin(), report.tracks.end(),
        [](const CueTrack &track) { return track.session > 0; });
    qsizetype numberWidth = header.number.size();
    qsizetype modeWidth = header.mode.size();
    qsizetype flagsWidth = header.flags.size();
    for (const CueTrack &track : report.tracks) {
        const TrackRow row = trackRow(track);
        numberWidth = qMax(numberWidth, row.number.size());
        modeWidth = qMax(modeWidth, row.mode.size());
        flagsWidth = qMax(flagsWidth, row.flags.size());
    }
    const auto writeRow = [&](const TrackRow &row) {
        QString line = QStringLiteral("  ") + row.number.leftJustified(numberWidth)
            + (hasSessions ? QStringLiteral("  ") + row.session.leftJustified(header.session.size())
                           : QString())
            + QStringLiteral("  ") + row.mode.leftJustified(modeWidth) + QStringLiteral("  ")
            + row.flags.leftJustified(flagsWidth) + QStringLiteral("  ") + row.indexes;
        put(line.trimmed().prepend(QStringLiteral("  ")) + u'\n');
        if (!row.titles.isEmpty()) {
            const qsizetype indent = 4 + numberWidth;
            put(QString(indent, u' ') + wrapped(row.titles, indent, indent) + u'\n');
        }
    };
    writeRow(header);
    for (const CueTrack &track : report.tracks)
        writeRow(trackRow(track));
}

QString findingText(const Remark &finding, bool colour)
{
    const bool isError = finding.severity() == Severity::Error;
    const QString severity = isError ? tr("error") : tr("warning");
    QStringList place;
    if (finding.line > 0)
        place << tr("line %1").arg(finding.line);
    if (!finding.track.isEmpty())
        place << tr("track %1").arg(finding.track);
    QString text =
        finding.advice.isEmpty() ? finding.message : finding.message + u' ' + finding.advice;
    if (!place.isEmpty())
        text.prepend(place.join(QStringLiteral(", ")) + QStringLiteral(": "));
    // The message and the track quote the control file, whose lines may hold
    // escape sequences that would rewrite the terminal and hide the verdict:
    // the whole line is escaped as it leaves.
    text = shownText(text);
    const qsizetype indent = 11; // two blanks, "warning", two blanks
    // The message may hold line ends (the system's reasons do); each keeps its indent.
    QStringList paragraphs = text.split(u'\n');
    for (QString &paragraph : paragraphs)
        paragraph = wrapped(paragraph, indent, indent);
    return QStringLiteral("  ") + painted(severity, isError ? Colour::Red : Colour::Yellow, colour)
        + QString(indent - 2 - severity.size(), u' ')
        + paragraphs.join(u'\n' + QString(indent, u' ')) + u'\n';
}

void writeTrack(JsonWriter &json, const CueTrack &track)
{
    json.open('{');
    json.member("flags");
    json.open('[');
    for (const QString &text : track.flags()) {
        json.element();
        json.value(text.trimmed());
    }
    json.close(']');
    json.member("indexes");
    json.open('[');
    for (const CueLine &index : track.indexes()) {
        json.element();
        json.open('{');
        json.field("line", qint64(index.line));
        json.field("number", index.number);
        json.optionalField("sectors", index.sectors);
        json.optionalField("time", index.time());
        json.close('}');
    }
    json.close(']');
    json.field("line", qint64(track.line));
    json.optionalField("mode", track.mode);
    json.field("number", track.number);
    if (track.session > 0)
        json.field("session", qint64(track.session));
    if (!track.performer.isEmpty())
        json.field("performer", track.performer);
    if (!track.title.isEmpty())
        json.field("title", track.title);
    json.close('}');
}

void writeReport(JsonWriter &json, const CheckReport &report)
{
    static const char *const statusNames[] = { "clean", "warnings", "refused" };
    json.open('{');
    json.member("findings");
    json.open('[');
    for (const Remark &finding : report.findings) {
        json.element();
        json.open('{');
        json.field("advice", finding.advice);
        json.field("code", finding.name());
        json.optionalField("line", finding.line > 0 ? qint64(finding.line) : -1);
        json.field("message", finding.message);
        json.field("severity",
            QString::fromLatin1(finding.severity() == Severity::Error ? "error" : "warning"));
        json.optionalField("track", finding.track);
        json.close('}');
    }
    json.close(']');
    if (!report.isRefused()) {
        json.member("image");
        json.open('{');
        json.field("exists", report.imageExists);
        if (report.imageHolds)
            json.field("holds", imageHoldsName(*report.imageHolds));
        json.field("path", QDir::toNativeSeparators(report.imagePath));
        json.optionalField("sectors", report.imageExists ? report.imageSize / imageSectorSize : -1);
        json.optionalField("size", report.imageExists ? report.imageSize : -1);
        json.close('}');
    }
    json.field("path", report.path);
    if (!report.isRefused() && !report.performer.isEmpty())
        json.field("performer", report.performer);
    json.field("status",
        QString::fromLatin1(report.refusal == Refusal::Unreadable
                ? "unreadable"
                : statusNames[checkStatus(report)]));
    if (!report.isRefused() && !report.title.isEmpty())
        json.field("title", report.title);
    if (!report.isRefused()) {
        json.member("tracks");
        json.open('[');
        for (const CueTrack &track : report.tracks) {
            json.element();
            writeTrack(json, track);
        }
        json.close(']');
    }
    json.close('}');
}

} // namespace

namespace {

void writeTextReport(const CheckReport &report, bool colour, const Put &put)
{
    const CheckStatus status = checkStatus(report);
    const Colour verdictColour = status == checkClean ? Colour::Green
        : status == checkWarnings                     ? Colour::Yellow
                                                      : Colour::Red;
    put(shownPath(report.path) + QStringLiteral(": ")
        + painted(verdict(report), verdictColour, colour) + u'\n');
    if (!report.isRefused()) {
        put(QStringLiteral("  image  ") + imageLine(report) + u'\n');
        if (report.imageHolds)
            put(QString(9, u' ') + wrapped(imageHoldsText(*report.imageHolds), 9, 9) + u'\n');
        const QString disc = titleLine(report.title, report.performer);
        if (!disc.isEmpty())
            put(QStringLiteral("  disc   ") + wrapped(shownLine(disc), 9, 9) + u'\n');
        if (report.tracks.isEmpty())
            put(tr("  no tracks\n"));
        else
            writeTrackTable(report, put);
    }
    for (const Remark &finding : report.findings)
        put(findingText(finding, colour));
}

} // namespace

void writeTextReport(const CheckReport &report, bool colour, ReportOutput output)
{
    // A piece at a time: the text of a long file's report is never held whole.
    writeTextReport(report, colour, [&](const QString &piece) { output.text(piece); });
}

CheckStatus checkFiles(const DiscSet &discs, const ConversionOptions &options, bool json,
    bool colour, ReportOutput output)
{
    // Each report is written as soon as it is made, and then let go.
    JsonWriter writer(output);
    if (json) {
        writer.open('{');
        writer.member("files");
        writer.open('[');
    }
    CheckStatus status = checkClean;
    const JobControl control;
    for (const Disc &disc : discs.discs) {
        const CheckReport report = checkJob(disc, options, control);
        if (json) {
            writer.element();
            writeReport(writer, report);
        } else {
            if (&disc != &discs.discs.first())
                output.text(QStringLiteral("\n"));
            writeTextReport(report, colour, output);
        }
        status = qMax(status, checkStatus(report));
    }
    if (json) {
        writer.close(']');
        writer.member("status");
        writer.value(qint64(status));
        writer.close('}');
    }
    return status;
}

} // namespace morvant
