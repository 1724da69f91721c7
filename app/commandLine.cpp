#include "commandLine.h"

#include "discFiles.h"
#include "fileSystem.h"
#include "identity.h"
#include "translation.h"

#include <algorithm>

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
    /// What it sets, with its value; nullptr for "--", which sets nothing and ends the options.
    void (*set)(Options &options, const QString &value);
    /// The name of its value, which --help shows after its name: "DAT", which
    /// the next argument gives (or "--verify=DAT"); "=OFFSET", which only
    /// "--split=OFFSET" gives and may be left out; nullptr for none.
    const char *valueName = nullptr;
};

// clang-format off
/// What --help prints before the options.
const char usageStart[] =
    "Usage: morvant [OPTION]... [FILE.ccd|FOLDER]...\n"
    "Convert CloneCD control files into CUE sheets.\n"
    "\n"
    "Each FILE.ccd is converted into a cue sheet written beside it, under its\n"
    "name with the last four characters replaced by \".cue\"; an existing file of\n"
    "that name is replaced. A FOLDER stands for every control file below it.\n"
    "With no FILE the main window opens.\n"
    "\n";

const OptionEntry optionTable[] = {
    { nullptr, nullptr, "--no-window",
        "never open a window: messages go to standard error\n"
        "(also the case when there is no display)",
        nullptr, [](Options &options, const QString &) { options.noWindow = true; } },
    { nullptr, nullptr, "--check",
        "write nothing; tell for each FILE whether its cue sheet\n"
        "will load: its tracks, then each problem found with the\n"
        "control file and the image beside it, and what to do",
        nullptr, [](Options &options, const QString &) { options.modesAsked += Mode::Check; } },
    { nullptr, nullptr, "--json",
        "with --check or --verify: the report as JSON, for programs",
        nullptr, [](Options &options, const QString &) { options.json = true; } },
    { nullptr, nullptr, "--verify",
        "write nothing; hash each track of each FILE's image as\n"
        "the one-file-per-track layout cuts it (CRC-32, MD5, SHA-1)\n"
        "and look for it in DAT, a Logiqx XML or ClrMamePro DAT,\n"
        "zipped or gzipped too (ARCHIVE.zip/NAME.dat names one of\n"
        "several in a ZIP archive);\n"
        "audio tracks that match nothing are looked for at read\n"
        "offsets up to 6,000 samples either way. A FILE may be a\n"
        "folder: every control file below it, one line each; or\n"
        "NAME.cue, a set that --split wrote: its files and the sheet",
        "morvant --verify \"Sony - PlayStation.dat\" Game.ccd",
        [](Options &options, const QString &value) {
            options.verifyDat = value;
            options.modesAsked += Mode::Verify;
        },
        "DAT" },
    { nullptr, nullptr, "--split",
        "write the image as one file per track, NAME (Track 1).bin\n"
        "and on (NAME (Track 01).bin for ten tracks or more, NAME.bin\n"
        "for one), with NAME.cue naming them, as DATs list them; all\n"
        "or none. =OFFSET takes the audio tracks that many samples\n"
        "later in the image (earlier when negative), as --verify\n"
        "finds it. With --verify DAT: the files and the sheet named\n"
        "as DAT names those of the game that every track matches,\n"
        "at the offset found; a disc that does not match, or a name\n"
        "that is no file's beside it, is refused and nothing written",
        "morvant --split=+6 Game.ccd",
        [](Options &options, const QString &value) {
            options.conversion.split = true;
            options.splitOffset = value;
            options.modesAsked += Mode::Split;
        },
        "=OFFSET" },
    { nullptr, nullptr, "--discs",
        "open the disc list, a window that lists each FILE and\n"
        "every control file below each FOLDER, with its tracks and\n"
        "state, and checks, converts, verifies and splits them",
        "morvant --discs Games",
        [](Options &options, const QString &) { options.modesAsked += Mode::DiscList; } },
    { nullptr, nullptr, "--stdout",
        "write the cue sheet of the one FILE to standard output\n"
        "instead of beside it (the same bytes); no window opens",
        nullptr,
        [](Options &options, const QString &) { options.modesAsked += Mode::StandardOutput; } },
    { nullptr, nullptr, "--m3u",
        "with the conversion or --split: GAME.m3u beside the discs\n"
        "of each game of several among the FILEs, naming their cue\n"
        "sheets in disc order, one a line, as RetroArch, DuckStation\n"
        "and mednafen load them. Discs are told by their names:\n"
        "\"Game (Europe) (Disc 1)\" and \"Game (Europe) (Disc 2)\" give\n"
        "\"Game (Europe).m3u\"; each revision and region is a game of\n"
        "its own. A set that lacks a disc gets a warning and none; a\n"
        "file of that name that is not this playlist is left alone\n"
        "(status 3)",
        "morvant --m3u --split Games",
        [](Options &options, const QString &) { options.conversion.playlists = true; } },
    { "\n"
      "What to add to the cue sheet (a file that has nothing of the kind gives\n"
      "the same bytes as without these options):\n",
        nullptr, "--cdtext",
        "the disc's and each track's TITLE and PERFORMER from the\n"
        "control file's CD-Text (a section that cannot be decoded\n"
        "gives a warning on standard error and no lines)",
        "morvant --cdtext Album.ccd",
        [](Options &options, const QString &) { options.conversion.cdText = true; } },
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
        [](Options &options, const QString &) { options.conversion.sessions = true; } },
    { nullptr, nullptr, "--codes",
        "the disc's CATALOG and each track's ISRC (a value of another\n"
        "form is left out with a warning on standard error)",
        "morvant --codes Album.ccd",
        [](Options &options, const QString &) { options.conversion.codes = true; } },
    // --sbi and --sbi=all go together whatever their order: the stronger wins.
    { nullptr, nullptr, "--sbi",
        "write NAME.sbi beside NAME.cue with the Q subchannel blocks\n"
        "of the .sub that the cue sheet loses (protected PlayStation\n"
        "discs, LibCrypt); none when there are none, or when so many\n"
        "differ (over 100 sectors) that the .sub looks damaged",
        nullptr,
        [](Options &options, const QString &) {
            options.conversion.sbi = qMax(options.conversion.sbi, SbiWrite::UnlessDamaged);
        } },
    // The example of the pair comes after both.
    { nullptr, nullptr, "--sbi=all",
        "the same, however many sectors differ",
        "morvant --sbi Game.ccd",
        [](Options &options, const QString &) { options.conversion.sbi = SbiWrite::Always; } },
    { nullptr, nullptr, "--all",
        "--cdtext, --sessions, --codes and --sbi together",
        "morvant --all --stdout Album.ccd",
        [](Options &options, const QString &) {
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
        nullptr, [](Options &options, const QString &) { options.conversion.rebuild = true; } },
    { "\n",
        "-h", "--help",
        "show this help and exit",
        nullptr, [](Options &options, const QString &) { options.help = true; } },
    { nullptr, "-V", "--version",
        "show the version and exit",
        nullptr, [](Options &options, const QString &) { options.version = true; } },
    { nullptr, nullptr, "--",
        "end of options: what follows is a file",
        nullptr, nullptr },
};

/// How many control files a mode takes.
enum class FilesTaken {
    Any, ///< none opens the window, where there is one
    Some, ///< one or more
    One, ///< exactly one
};

/** One mode, declared once: the parser asks for it by its option, and the
    usage errors and --help's exit statuses are read from here. */
struct ModeEntry
{
    Mode mode;
    const char *option; ///< that asks for it; nullptr for the conversion, which none does
    /// The modes that it goes with none of, and what a command line asking
    /// for both is told; checked in this order
    QList<Mode> excludes;
    const char *excludesError;
    FilesTaken files;
    const char *filesError; ///< what a command line with other than that many is told
    bool takesJson; ///< --json gives its report for programs
    /// What --help says of the exit status of a run in this mode, as
    /// printed; nullptr for the conversion's
    const char *statuses;
};

const ModeEntry modeTable[] = {
    { Mode::Check, "--check", { Mode::StandardOutput },
        "--check and --stdout cannot be used together",
        FilesTaken::Some, "--check needs a control file", true,
        "0 when nothing\n"
        "was found, 1 when there were warnings, 2 when a file cannot be read or would\n"
        "be refused or the report cannot be written." },
    { Mode::Verify, "--verify", { Mode::Check, Mode::StandardOutput },
        "--verify writes nothing and goes with neither --check nor --stdout",
        FilesTaken::Some, "--verify needs a control file or a folder after the DAT", true,
        "0 when every\n"
        "track matches the DAT, 1 when some do not, 2 when a file cannot be\n"
        "verified (no image, a file refused) or the DAT cannot be read." },
    { Mode::Split, "--split", { Mode::Check, Mode::StandardOutput },
        "--split writes files beside the control file and goes with neither --check "
        "nor --stdout",
        FilesTaken::Any, nullptr, false, nullptr },
    { Mode::DiscList, "--discs", { Mode::Check, Mode::Verify, Mode::Split, Mode::StandardOutput },
        "--discs opens the disc list and goes with none of --check, --verify, --split and "
        "--stdout",
        FilesTaken::Any, nullptr, false, nullptr },
    { Mode::StandardOutput, "--stdout", {}, nullptr,
        FilesTaken::One, "--stdout takes exactly one control file", false, nullptr },
    { Mode::Convert, nullptr, {}, nullptr, FilesTaken::Any, nullptr, false,
        "0 when every file converted, 1 when a file could not be read\n"
        "or is not a single-session control file (with --sessions: when its\n"
        "sessions cannot be placed), 2 on a usage error, 3 when a cue sheet or\n"
        "standard output could not be written." },
};
// clang-format on

// The option that \a argument names; \a value gets what follows its '=',
// for an option that takes a value.
const OptionEntry *findOption(const QString &argument, QString *value, bool *hasValue)
{
    for (const OptionEntry &option : optionTable) {
        const QLatin1String name(option.name);
        if (argument == name || (option.shortName && argument == QLatin1String(option.shortName)))
            return &option;
        if (option.valueName && argument.startsWith(name) && argument.size() > name.size()
            && argument[name.size()] == u'=') {
            *value = argument.sliced(name.size() + 1);
            *hasValue = true;
            return &option;
        }
    }
    return nullptr;
}

// The most samples that --split=OFFSET shifts audio by: a second of them,
// far beyond any drive's read offset.
constexpr int mostSplitOffset = 44100;

// What a command line that asks for two modes at once, or a mode without
// what it needs, is told; the empty text when it is sound.
QString combinationError(const Options &options)
{
    for (const ModeEntry &entry : modeTable) {
        const bool isExcluded = std::any_of(entry.excludes.begin(), entry.excludes.end(),
            [&](Mode other) { return options.modesAsked.contains(other); });
        if (options.modesAsked.contains(entry.mode) && isExcluded)
            return tr(entry.excludesError);
    }
    const ModeEntry &entry = *std::find_if(std::begin(modeTable), std::end(modeTable),
        [&](const ModeEntry &row) { return row.mode == options.mode; });
    // --split --verify DAT names the set after the DAT and tells in text what it wrote.
    if (options.json && !entry.takesJson)
        return options.mode == Mode::Split && options.modesAsked.contains(Mode::Verify)
            ? tr("--json goes with --check or --verify only, not with --split, whose "
                 "--verify DAT names the files it writes")
            : tr("--json goes with --check or --verify only");
    if (options.conversion.playlists && options.mode != Mode::Convert
        && options.mode != Mode::Split)
        return tr("--m3u goes with the conversion and --split only");
    const qsizetype files = options.files.size();
    const bool isTaken = entry.files == FilesTaken::Any
        || (entry.files == FilesTaken::Some && files > 0)
        || (entry.files == FilesTaken::One && files == 1);
    return isTaken ? QString() : tr(entry.filesError);
}

} // namespace

Options parseArguments(const QStringList &arguments)
{
    Options options;
    bool optionsEnded = false;
    bool isOffsetEmpty = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (optionsEnded || !argument.startsWith(u'-') || argument == u"-") {
            options.files += argument;
            continue;
        }
        QString value;
        bool hasValue = false;
        const OptionEntry *option = findOption(argument, &value, &hasValue);
        // A value that the next argument gives: "--verify DAT".
        const bool takesNext = option && option->valueName && option->valueName[0] != '=';
        if (takesNext && !hasValue) {
            hasValue = i + 1 < arguments.size();
            if (hasValue)
                value = arguments[++i];
        }
        if (!option) {
            if (options.error.isEmpty())
                options.error = tr("unknown option '%1'").arg(argument);
        } else if (takesNext && (!hasValue || value.isEmpty())) {
            if (options.error.isEmpty())
                options.error = tr("%1 needs a file after it").arg(QLatin1String(option->name));
        } else if (!option->set)
            optionsEnded = true;
        else {
            option->set(options, value);
            // "--split=$OFFSET" with the variable unset: an offset meant, none given.
            isOffsetEmpty = isOffsetEmpty || (hasValue && value.isEmpty());
        }
    }
    if (!options.error.isEmpty())
        return options;
    if (options.conversion.split && (isOffsetEmpty || !options.splitOffset.isEmpty())) {
        bool isNumber = false;
        const int offset = options.splitOffset.toInt(&isNumber);
        if (!isNumber || qAbs(offset) > mostSplitOffset) {
            options.error = isOffsetEmpty
                ? tr("--split=OFFSET takes a whole number of samples from -%1 to +%1, such as "
                     "--split=+6, not nothing after the '=' (--split alone takes none)")
                      .arg(mostSplitOffset)
                : tr("--split=OFFSET takes a whole number of samples from -%1 to +%1, "
                     "such as --split=+6, not '%2'")
                      .arg(mostSplitOffset)
                      .arg(options.splitOffset);
            return options;
        }
        options.conversion.splitOffset = offset;
    }
    // A mode excluded by another is told of below, whichever is taken here.
    if (!options.modesAsked.isEmpty())
        options.mode = options.modesAsked.first();
    // --split --verify DAT: the split, its files named after the DAT.
    if (options.modesAsked.contains(Mode::Split) && options.modesAsked.contains(Mode::Verify)) {
        options.mode = Mode::Split;
        if (!options.splitOffset.isEmpty() || isOffsetEmpty) {
            options.error = tr("--split with --verify takes the audio offset at which the "
                               "tracks match the DAT; leave out =OFFSET");
            return options;
        }
    }
    options.error = combinationError(options);
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
        if (option.valueName && option.valueName[0] == '=')
            names += u'[' + QLatin1String(option.valueName) + u']';
        else if (option.valueName)
            names += u' ' + QLatin1String(option.valueName);
        // Names too long for their column have a line of their own.
        if (names.size() >= column - 1) {
            text += names + u'\n';
            names.clear();
        }
        const QStringList lines = tr(option.help).split(u'\n');
        for (const QString &line : lines) {
            text += names.leftJustified(column) + line + u'\n';
            names.clear(); // the lines after the first have the column's indent alone
        }
        if (option.example)
            text += QString(column + 2, u' ') + tr(option.example) + u'\n';
    }
    // Each mode's exit statuses, the conversion's first; the other modes
    // that write files end as it does.
    text += tr("\nExit status: ");
    for (const ModeEntry &entry : modeTable) {
        if (entry.mode == Mode::Convert)
            text += tr(entry.statuses);
    }
    for (const ModeEntry &entry : modeTable) {
        if (entry.mode != Mode::Convert && entry.statuses)
            text += tr(" With %1: ").arg(QLatin1String(entry.option)) + tr(entry.statuses);
    }
    return text + u'\n';
}

QString versionText()
{
    return QString::fromUtf8(identity::productName) + u' ' + identity::versionText() + u'\n';
}

} // namespace morvant
