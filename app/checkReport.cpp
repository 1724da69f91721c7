#include "checkReport.h"

#include "translation.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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
    if (report.isRefused)
        return report.refusal == Refusal::Unreadable ? tr("cannot be read") : tr("refused");
    const qsizetype count = report.findings.size();
    if (count == 0)
        return tr("no findings");
    return count == 1 ? tr("1 warning") : tr("%1 warnings").arg(count);
}

QString imageLine(const CheckReport &report)
{
    const QString name = QDir::toNativeSeparators(report.imagePath);
    if (!report.imageExists)
        return tr("%1, missing").arg(name);
    const qint64 sectors = report.imageSize / rawSectorSize;
    return tr("%1, %2 sectors (%3)")
        .arg(name)
        .arg(sectors)
        .arg(sectorsToMsf(QString::number(sectors)));
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

QString trackTable(const CheckReport &report)
{
    struct Row
    {
        QString number, mode, flags, indexes, titles;
    };
    QList<Row> rows{ { tr("track"), tr("mode"), tr("flags"), tr("index"), {} } };
    for (const CheckedTrack &track : report.tracks) {
        QStringList flags;
        for (const QString &text : track.flags)
            flags << text.trimmed();
        QStringList indexes;
        for (const CheckedIndex &index : track.indexes)
            indexes << (index.time.isEmpty() ? index.number + tr(" (no time)")
                                             : index.number + u' ' + index.time);
        rows.append(
            { track.number, track.mode.isEmpty() ? tr("(none)") : track.mode, flags.join(u' '),
                indexes.join(QStringLiteral("  ")), titleLine(track.title, track.performer) });
    }
    qsizetype numberWidth = 0;
    qsizetype modeWidth = 0;
    qsizetype flagsWidth = 0;
    for (const Row &row : std::as_const(rows)) {
        numberWidth = qMax(numberWidth, row.number.size());
        modeWidth = qMax(modeWidth, row.mode.size());
        flagsWidth = qMax(flagsWidth, row.flags.size());
    }
    QString table;
    for (const Row &row : std::as_const(rows)) {
        QString line = QStringLiteral("  ") + row.number.leftJustified(numberWidth)
            + QStringLiteral("  ") + row.mode.leftJustified(modeWidth) + QStringLiteral("  ")
            + row.flags.leftJustified(flagsWidth) + QStringLiteral("  ") + row.indexes;
        table += line.trimmed().prepend(QStringLiteral("  ")) + u'\n';
        if (!row.titles.isEmpty()) {
            const qsizetype indent = 4 + numberWidth;
            table += QString(indent, u' ') + wrapped(row.titles, indent, indent) + u'\n';
        }
    }
    return table;
}

QString findingText(const Finding &finding, bool colour)
{
    const bool isError = finding.severity == Severity::Error;
    const QString severity = isError ? tr("error") : tr("warning");
    QStringList place;
    if (finding.line > 0)
        place << tr("line %1").arg(finding.line);
    if (!finding.track.isEmpty())
        place << tr("track %1").arg(finding.track);
    QString text = finding.message + u' ' + finding.advice;
    if (!place.isEmpty())
        text.prepend(place.join(QStringLiteral(", ")) + QStringLiteral(": "));
    const qsizetype indent = 11; // two blanks, "warning", two blanks
    // The message may hold line ends (the system's reasons do); each keeps its indent.
    QStringList paragraphs = text.split(u'\n');
    for (QString &paragraph : paragraphs)
        paragraph = wrapped(paragraph, indent, indent);
    return QStringLiteral("  ") + painted(severity, isError ? Colour::Red : Colour::Yellow, colour)
        + QString(indent - 2 - severity.size(), u' ')
        + paragraphs.join(u'\n' + QString(indent, u' ')) + u'\n';
}

QJsonValue optionalText(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonObject reportObject(const CheckReport &report)
{
    static const char *const statusNames[] = { "clean", "warnings", "refused" };
    const bool isUnreadable = report.refusal == Refusal::Unreadable;
    QJsonObject object{ { "path", report.path },
        { "status", isUnreadable ? "unreadable" : statusNames[checkStatus(report)] } };
    if (!report.isRefused) {
        const qint64 sectors = report.imageSize / rawSectorSize;
        object["image"] = QJsonObject{ { "path", QDir::toNativeSeparators(report.imagePath) },
            { "exists", report.imageExists },
            { "size", report.imageExists ? QJsonValue(report.imageSize) : QJsonValue() },
            { "sectors", report.imageExists ? QJsonValue(sectors) : QJsonValue() } };
        if (!report.title.isEmpty())
            object["title"] = report.title;
        if (!report.performer.isEmpty())
            object["performer"] = report.performer;
        QJsonArray tracks;
        for (const CheckedTrack &track : report.tracks) {
            QJsonArray flags;
            for (const QString &text : track.flags)
                flags.append(text.trimmed());
            QJsonArray indexes;
            for (const CheckedIndex &index : track.indexes) {
                indexes.append(
                    QJsonObject{ { "number", index.number }, { "time", optionalText(index.time) },
                        { "sectors", index.sectors < 0 ? QJsonValue() : QJsonValue(index.sectors) },
                        { "line", index.line } });
            }
            QJsonObject trackObject{ { "number", track.number }, { "line", track.line },
                { "mode", optionalText(track.mode) }, { "flags", flags }, { "indexes", indexes } };
            if (!track.title.isEmpty())
                trackObject["title"] = track.title;
            if (!track.performer.isEmpty())
                trackObject["performer"] = track.performer;
            tracks.append(trackObject);
        }
        object["tracks"] = tracks;
    }
    QJsonArray findings;
    for (const Finding &finding : report.findings) {
        findings.append(
            QJsonObject{ { "severity", finding.severity == Severity::Error ? "error" : "warning" },
                { "code", finding.code },
                { "line", finding.line > 0 ? QJsonValue(finding.line) : QJsonValue() },
                { "track", optionalText(finding.track) }, { "message", finding.message },
                { "advice", finding.advice } });
    }
    object["findings"] = findings;
    return object;
}

} // namespace

CheckStatus checkStatus(const CheckReport &report)
{
    if (report.isRefused)
        return checkRefused;
    return report.hasWarnings() ? checkWarnings : checkClean;
}

QString formatReport(const CheckReport &report, bool colour)
{
    const CheckStatus status = checkStatus(report);
    const Colour verdictColour = status == checkClean ? Colour::Green
        : status == checkWarnings                     ? Colour::Yellow
                                                      : Colour::Red;
    QString text = QDir::toNativeSeparators(report.path) + QStringLiteral(": ")
        + painted(verdict(report), verdictColour, colour) + u'\n';
    if (!report.isRefused) {
        text += QStringLiteral("  image  ") + imageLine(report) + u'\n';
        const QString disc = titleLine(report.title, report.performer);
        if (!disc.isEmpty())
            text += QStringLiteral("  disc   ") + wrapped(disc, 9, 9) + u'\n';
        text += report.tracks.isEmpty() ? tr("  no tracks\n") : trackTable(report);
    }
    for (const Finding &finding : report.findings)
        text += findingText(finding, colour);
    return text;
}

QByteArray formatJson(const QList<CheckReport> &reports)
{
    QJsonArray files;
    CheckStatus status = checkClean;
    for (const CheckReport &report : reports) {
        files.append(reportObject(report));
        status = qMax(status, checkStatus(report));
    }
    return QJsonDocument(QJsonObject{ { "files", files }, { "status", int(status) } })
        .toJson(QJsonDocument::Indented);
}

CheckRun checkFiles(
    const QStringList &arguments, const CheckOptions &options, bool json, bool colour)
{
    QList<CheckReport> reports;
    CheckRun run;
    for (const QString &argument : arguments) {
        reports.append(checkControlFile(commandLinePaths(argument).inputPath, options));
        run.status = qMax(run.status, checkStatus(reports.last()));
    }
    if (json)
        return { formatJson(reports), run.status };
    QStringList texts;
    for (const CheckReport &report : std::as_const(reports))
        texts << formatReport(report, colour);
    run.output = texts.join(u'\n').toLocal8Bit();
    return run;
}
