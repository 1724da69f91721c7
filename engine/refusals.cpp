#include "refusals.h"

#include "discFiles.h"
#include "fileSystem.h"
#include "lineReader.h"
#include "lineRules.h"
#include "optionWords.h"
#include "translation.h"

namespace morvant {

namespace {

// What to do about a file refused for what its lines say.
QString contentAdvice(const ScanOutcome &outcome)
{
    const QString &sessions = outcome.sections.sessions;
    // Blanks that a reader of the file does not see, and the conversion does
    // not pass over.
    if (sessions != u"1" && sessions.trimmed() == u"1")
        return tr("The value %1 differs from \"1\" only by blanks; write the line as "
                  "`Sessions=1`.")
            .arg(quotedLine(sessions));
    if (sessionCount(sessions).value_or(0) >= 2)
        return tr("Convert it with %1, which makes a cue sheet of all its sessions; "
                  "%2 checks it first.")
            .arg(optionWords(AdvisedOption::Sessions), optionWords(AdvisedOption::CheckSessions));
    return tr("No cue sheet can be made from this file. Check that it is the .ccd file of a "
              "single-session CloneCD image.");
}

} // namespace

Remark refusalRemark(const QString &path, const ScanOutcome &outcome)
{
    if (outcome.sessionRefusal)
        return *outcome.sessionRefusal;
    const int line = outcome.refusal == Refusal::LineTooLong ? outcome.tooLongLine
                                                             : outcome.sections.sessionsLine;
    const auto refused = [&](const QString &message, const QString &advice) {
        return Remark{ FindingCode::Refused, line, {}, message, advice };
    };
    switch (outcome.refusal) {
    case Refusal::Unreadable:
        return { FindingCode::Unreadable, line, {},
            tr("Cannot read %1:\n%2").arg(shownPath(path), outcome.reason),
            tr("Check the path and that the file can be read.") };
    case Refusal::NotControlFile:
        return refused(
            tr("The input file doesn't seem to be a proper CCD file."), contentAdvice(outcome));
    case Refusal::MultiSession:
        return refused(tr("Only single-session discs are supported."), contentAdvice(outcome));
    case Refusal::Utf16Text:
        return refused(tr("The input file is saved as UTF-16 (Unicode) text, not as the 8-bit "
                          "text of a CCD file.\nSave it again as 8-bit text (the encoding that "
                          "Notepad calls ANSI), then convert it again."),
            tr("Save it as 8-bit text, then check it again."));
    case Refusal::ImageNameNotInCodePage:
        return refused(tr("The cue sheet cannot name the image %1: the system's code page, in "
                          "which cue sheets are written, cannot hold its name, and Windows "
                          "keeps no short name for it.\nRename the control file and the image "
                          "with characters of the code page, then convert again.")
                           .arg(shownPath(imageName(path) + QStringLiteral(".img"))),
            tr("Rename the control file and the image, then check them again."));
    case Refusal::LineTooLong:
        return refused(tr("Line %1 is too long: it holds more than %2 bytes, which no line of a "
                          "CCD file needs.")
                           .arg(outcome.tooLongLine)
                           .arg(LineReader::maxLineLength),
            contentAdvice(outcome));
    case Refusal::SessionLayout:
    case Refusal::None:
        break;
    }
    return refused(outcome.reason, contentAdvice(outcome));
}

QString refusalTitle(Refusal refusal)
{
    return refusal == Refusal::MultiSession || refusal == Refusal::SessionLayout
        ? tr("Disc Format Error")
        : fileErrorTitle();
}

void showRefusal(const ShowMessage &showMessage, const QString &path, const ScanOutcome &outcome)
{
    const Remark remark = refusalRemark(path, outcome);
    // The window converts every session of a disc where the main window's
    // plain conversion refuses it: its user is told where, after the refusal.
    const bool isConvertedElsewhere = wording() == Wording::Window
        && outcome.refusal == Refusal::MultiSession
        && sessionCount(outcome.sections.sessions).value_or(0) >= 2;
    showMessage(isConvertedElsewhere ? remark.message + QStringLiteral("\n\n") + remark.advice
                                     : remark.message,
        refusalTitle(outcome.refusal));
}

} // namespace morvant
