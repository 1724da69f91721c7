#include "optionWords.h"

#include "translation.h"

#include <atomic>

namespace morvant {

namespace {

std::atomic<Wording> chosenWording{ Wording::CommandLine };

// Where the window does what an option does: a choice beside Convert in the
// disc list, or one of its buttons.
QString discListChoice(const char *label)
{
    return tr("the \"%1\" choice of Convert in File > Disc List").arg(tr(label));
}

} // namespace

void setWording(Wording wording)
{
    chosenWording = wording;
}

Wording wording()
{
    return chosenWording;
}

QString optionWords(AdvisedOption option, const QString &value)
{
    // Each option's words once, the command line's and the window's side by side.
    const bool isWindow = wording() == Wording::Window;
    switch (option) {
    case AdvisedOption::Rebuild:
        return isWindow ? discListChoice("Rebuild from the table of contents")
                        : QStringLiteral("--rebuild");
    case AdvisedOption::Sessions:
        return isWindow ? discListChoice("All sessions") : QStringLiteral("--sessions");
    case AdvisedOption::Sbi:
        return isWindow ? discListChoice(".sbi file") : QStringLiteral("--sbi");
    case AdvisedOption::SbiAll:
        return isWindow ? discListChoice("Every differing block in the .sbi")
                        : QStringLiteral("--sbi=all");
    case AdvisedOption::Codes:
        return isWindow ? discListChoice("CATALOG and ISRC") : QStringLiteral("--codes");
    case AdvisedOption::CdText:
        return isWindow ? discListChoice("CD-Text") : QStringLiteral("--cdtext");
    case AdvisedOption::Check:
        return isWindow ? tr("Check in File > Disc List") : QStringLiteral("--check");
    case AdvisedOption::CheckSessions:
        return isWindow ? tr("Check in File > Disc List") : QStringLiteral("--check --sessions");
    case AdvisedOption::Split:
        return isWindow ? tr("Split in File > Disc List") : QStringLiteral("--split=") + value;
    }
    return {};
}

QString quotedOptionWords(AdvisedOption option)
{
    const QString words = optionWords(option);
    return wording() == Wording::Window ? words : u'`' + words + u'`';
}

} // namespace morvant
