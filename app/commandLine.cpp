#include "commandLine.h"

#include "discFiles.h"
#include "fileSystem.h"
#include "identity.h"
#include "translation.h"

namespace morvant {

namespace {

/** One option of the command line, declared once: the parser looks its
    names up here, and --help prints its lines from here, in this order. */
struct OptionEntry
{
    /// The text --help prints before the option, such as the heading of its
    /// group; nullptr for none.
    const char *heading;
    const char *shortName; ///< "-h"; nullptr for none
    const char *name; ///< "--help"; "--sbi=all" is a name too, as an option takes no argument
    /// What --help says of it, one line of its column after another.
    const char *help;
    /// A command line that --help shows under it; nullptr for none.
    const char *example;
    /// What it sets; nullptr for "--", which sets nothing and ends the options.
    void (*set)(Options &options);
};

// clang-format off
/// What --help prints before the options.
const char usageStart[] =
    "Usage: morvant [OPTION]... [FILE.ccd]...\n"
    "Convert CloneCD control files into CUE sheets.\n"
    "\n"
    "Each FILE.ccd is converted into a cue sheet written beside it, under its\n"
    "name with the last four characters replaced by \".cue\"; an existing file of\n"
    "that name is replaced. With no FILE the main window opens.\n"
    "\n";

const OptionEntry optionTable[] = {
    { nullptr, nullptr, "--no-window",
        "never open a window: messages go to standard error\n"
        "(also the case when there is no display)",
        nullptr, [](Options &options) { options.noWindow = true; } },
    { nullptr, nullptr, "--check",
        "write nothing; tell for each FILE whether its cue sheet\n"
        "will load: its tracks, then each problem found with the\n"
        "control file and the image beside it, and what to do",
        nullptr, [](Options &options) { options.check = true; } },
    { nullptr, nullptr, "--json",
        "with --check: the report as JSON, for programs",
        nullptr, [](Options &options) { options.json = true; } },
    { nullptr, nullptr, "--stdout",
        "write the cue sheet of the one FILE to standard output\n"
        "instead of beside it (the same bytes); no window opens",
        nullptr, [](Options &options) { options.toStandardOutput = true; } },
    { "\n"
      "What to add to the cue sheet (a file that has nothing of the kind gives\n"
      "the same bytes as without these options):\n",
        nullptr, "--cdtext",
        "the disc's and each track's TITLE and PERFORMER from the\n"
        "control file's CD-Text (a section that cannot be decoded\n"
        "gives a warning on standard error and no lines)",
        "morvant --cdtext Album.ccd",
        [](Options &options) { options.conversion.cdText = true; } },
    { nullptr, nullptr, "--sessions",
        "every session of a multi-session disc (CD-Extra, photo and\n"
        "update discs, games in two sessions), which is refused\n"
        "without it: REM SESSION and REM LEAD-OUT lines, positions\n"
        "as disc addresses. The image is taken, by its size, to\n"
        "hold the sessions as dumps do, without the space between\n"
        "them (a later session's first track gets INDEX 00 only\n"
        "where the image holds that pregap); one with the space\n"
        "or of another size gives a warning. A track in no\n"
        "session, sessions out of order, offsets that disagree, a\n"
        "lead-out before a track of its session or past the next\n"
        "session's start, or an image too short for the last\n"
        "track refuse the file; no image beside it, or a session\n"
        "without its lead-out, gives a warning",
        "morvant --sessions \"Enhanced CD.ccd\"",
        [](Options &options) { options.conversion.sessions = true; } },
    { nullptr, nullptr, "--codes",
        "the disc's CATALOG and each track's ISRC (a value of another\n"
        "form is left out with a warning on standard error)",
        "morvant --codes Album.ccd",
        [](Options &options) { options.conversion.codes = true; } },
    // --sbi and --sbi=all go together whatever their order: the stronger wins.
    { nullptr, nullptr, "--sbi",
        "write NAME.sbi beside NAME.cue with the Q subchannel blocks\n"
        "of the .sub that the cue sheet loses (protected PlayStation\n"
        "discs, LibCrypt); none when there are none, or when so many\n"
        "differ (over 100 sectors) that the .sub looks damaged",
        nullptr,
        [](Options &options) {
            options.conversion.sbi = qMax(options.conversion.sbi, SbiWrite::UnlessDamaged);
        } },
    // The example of the pair comes after both.
    { nullptr, nullptr, "--sbi=all",
        "the same, however many sectors differ",
        "morvant --sbi Game.ccd",
        [](Options &options) { options.conversion.sbi = SbiWrite::Always; } },
    { nullptr, nullptr, "--all",
        "--cdtext, --sessions, --codes and --sbi together",
        "morvant --all --stdout Album.ccd",
        [](Options &options) {
            ConversionOptions &conversion = options.conversion;
            conversion.cdText = conversion.sessions = conversion.codes = true;
            conversion.sbi = qMax(conversion.sbi, SbiWrite::Quietly);
        } },
    { "\n",
        nullptr, "--rebuild",
        "for a FILE without [TRACK] sections, take the tracks from\n"
        "its table of contents: starts and flags from the [Entry]\n"
        "rows, modes from the sector headers in the image, INDEX 00\n"
        "from the .sub file beside it (INDEX 02 and later are not\n"
        "rebuilt); whatever comes from a guess\n"
        "gives a warning on standard error. Other files are\n"
        "converted exactly as without it",
        nullptr, [](Options &options) { options.conversion.rebuild = true; } },
    { "\n",
        "-h", "--help",
        "show this help and exit",
        nullptr, [](Options &options) { options.help = true; } },
    { nullptr, "-V", "--version",
        "show the version and exit",
        nullptr, [](Options &options) { options.version = true; } },
    { nullptr, nullptr, "--",
        "end of options: what follows is a file",
        nullptr, nullptr },
};

/// What --help prints after the options.
const char usageEnd[] =
    "\n"
    "Exit status: 0 when every file converted, 1 when a file could not be read\n"
    "or is not a single-session control file (with --sessions: when its\n"
    "sessions cannot be placed), 2 on a usage error, 3 when a cue sheet or\n"
    "standard output could not be written. With --check: 0 when nothing\n"
    "was found, 1 when there were warnings, 2 when a file cannot be read or would\n"
    "be refused or the report cannot be written.\n";
// clang-format on

const OptionEntry *findOption(const QString &argument)
{
    for (const OptionEntry &option : optionTable) {
        if (argument == QLatin1String(option.name)
            || (option.shortName && argument == QLatin1String(option.shortName)))
            return &option;
    }
    return nullptr;
}

} // namespace

Options parseArguments(const QStringList &arguments)
{
    Options options;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (optionsEnded || !argument.startsWith(u'-') || argument == u"-") {
            options.files += argument;
            continue;
        }
        const OptionEntry *option = findOption(argument);
        if (!option) {
            if (options.error.isEmpty())
                options.error = tr("unknown option '%1'").arg(argument);
        } else if (!option->set)
            optionsEnded = true;
        else
            option->set(options);
    }
    if (!options.error.isEmpty())
        return options;
    if (options.check && options.toStandardOutput)
        options.error = tr("--check and --stdout cannot be used together");
    else if (options.json && !options.check)
        options.error = tr("--json goes with --check only");
    else if (options.check && options.files.isEmpty())
        options.error = tr("--check needs a control file");
    else if (options.toStandardOutput && options.files.size() != 1)
        options.error = tr("--stdout takes exactly one control file");
    return options;
}

QString usageText()
{
    QString text = tr(usageStart);
    for (const OptionEntry &option : optionTable) {
        if (option.heading)
            text += tr(option.heading);
        // The help starts in column 15; an option with a short name as well,
        // "-V, --version", needs more room, and those line up at 17.
        const qsizetype column = option.shortName ? 17 : 15;
        QString names = QStringLiteral("  ");
        if (option.shortName)
            names += QLatin1String(option.shortName) + QStringLiteral(", ");
        names += QLatin1String(option.name);
        const QStringList lines = tr(option.help).split(u'\n');
        for (const QString &line : lines) {
            text += names.leftJustified(column) + line + u'\n';
            names.clear(); // the lines after the first have the column's indent alone
        }
        if (option.example)
            text += QString(column + 2, u' ') + tr(option.example) + u'\n';
    }
    return text + tr(usageEnd);
}

QString versionText()
{
    return QString::fromUtf8(identity::productName) + u' ' + identity::versionText() + u'\n';
}

CommandLinePaths commandLinePaths(const QString &argument, QChar separator)
{
    const bool quoted = argument.size() >= 2 && argument.front() == u'"' && argument.back() == u'"';
    // The names are made from the file that the system opens.
    const QString inputPath =
        systemResolvedPath(quoted ? argument.mid(1, argument.size() - 2) : argument);
    return { inputPath, cuePathForFile(inputPath, separator) };
}

} // namespace morvant
