#include "commandLine.h"

#include "fileSystem.h"
#include "identity.h"
#include "translation.h"

Options parseArguments(const QStringList &arguments)
{
    Options options;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (optionsEnded || !argument.startsWith(u'-') || argument == u"-")
            options.files += argument;
        else if (argument == u"--")
            optionsEnded = true;
        else if (argument == u"--help" || argument == u"-h")
            options.help = true;
        else if (argument == u"--version" || argument == u"-V")
            options.version = true;
        else if (argument == u"--no-window")
            options.noWindow = true;
        else if (argument == u"--check")
            options.check = true;
        else if (argument == u"--json")
            options.json = true;
        else if (argument == u"--stdout")
            options.toStandardOutput = true;
        else if (argument == u"--cdtext")
            options.conversion.cdText = true;
        else if (argument == u"--rebuild")
            options.conversion.rebuild = true;
        else if (argument == u"--sessions")
            options.conversion.sessions = true;
        else if (argument == u"--codes")
            options.conversion.codes = true;
        else if (argument == u"--sbi")
            options.conversion.sbi = qMax(options.conversion.sbi, SbiWrite::UnlessDamaged);
        else if (argument == u"--sbi=all")
            options.conversion.sbi = SbiWrite::Always;
        else if (argument == u"--all") {
            ConversionOptions &conversion = options.conversion;
            conversion.cdText = conversion.sessions = conversion.codes = true;
            conversion.sbi = qMax(conversion.sbi, SbiWrite::Quietly);
        } else if (options.error.isEmpty())
            options.error = tr("unknown option '%1'").arg(argument);
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
    return tr("Usage: morvant [OPTION]... [FILE.ccd]...\n"
              "Convert CloneCD control files into CUE sheets.\n"
              "\n"
              "Each FILE.ccd is converted into a cue sheet written beside it, under its\n"
              "name with the last four characters replaced by \".cue\"; an existing file of\n"
              "that name is replaced. With no FILE the main window opens.\n"
              "\n"
              "  --no-window  never open a window: messages go to standard error\n"
              "               (also the case when there is no display)\n"
              "  --check      write nothing; tell for each FILE whether its cue sheet\n"
              "               will load: its tracks, then each problem found with the\n"
              "               control file and the image beside it, and what to do\n"
              "  --json       with --check: the report as JSON, for programs\n"
              "  --stdout     write the cue sheet of the one FILE to standard output\n"
              "               instead of beside it (the same bytes); no window opens\n"
              "\n"
              "What to add to the cue sheet (a file that has nothing of the kind gives\n"
              "the same bytes as without these options):\n"
              "  --cdtext     the disc's and each track's TITLE and PERFORMER from the\n"
              "               control file's CD-Text (a section that cannot be decoded\n"
              "               gives a warning on standard error and no lines)\n"
              "                 morvant --cdtext Album.ccd\n"
              "  --sessions   every session of a multi-session disc (CD-Extra, photo and\n"
              "               update discs, games in two sessions), which is refused\n"
              "               without it: REM SESSION and REM LEAD-OUT lines, positions\n"
              "               as disc addresses. The image is taken, by its size, to\n"
              "               hold the sessions as dumps do, without the space between\n"
              "               them (a later session's first track gets INDEX 00 only\n"
              "               where the image holds that pregap); one with the space\n"
              "               or of another size gives a warning. A track in no\n"
              "               session, sessions out of order, offsets that disagree, a\n"
              "               lead-out before a track of its session or past the next\n"
              "               session's start, or an image too short for the last\n"
              "               track refuse the file; no image beside it, or a session\n"
              "               without its lead-out, gives a warning\n"
              "                 morvant --sessions \"Enhanced CD.ccd\"\n"
              "  --codes      the disc's CATALOG and each track's ISRC (a value of another\n"
              "               form is left out with a warning on standard error)\n"
              "                 morvant --codes Album.ccd\n"
              "  --sbi        write NAME.sbi beside NAME.cue with the Q subchannel blocks\n"
              "               of the .sub that the cue sheet loses (protected PlayStation\n"
              "               discs, LibCrypt); none when there are none, or when so many\n"
              "               differ (over 100 sectors) that the .sub looks damaged\n"
              "  --sbi=all    the same, however many sectors differ\n"
              "                 morvant --sbi Game.ccd\n"
              "  --all        --cdtext, --sessions, --codes and --sbi together\n"
              "                 morvant --all --stdout Album.ccd\n"
              "\n"
              "  --rebuild    for a FILE without [TRACK] sections, take the tracks from\n"
              "               its table of contents: starts and flags from the [Entry]\n"
              "               rows, modes from the sector headers in the image, INDEX 00\n"
              "               from the .sub file beside it (INDEX 02 and later are not\n"
              "               rebuilt); whatever comes from a guess\n"
              "               gives a warning on standard error. Other files are\n"
              "               converted exactly as without it\n"
              "\n"
              "  -h, --help     show this help and exit\n"
              "  -V, --version  show the version and exit\n"
              "  --           end of options: what follows is a file\n"
              "\n"
              "Exit status: 0 when every file converted, 1 when a file could not be read\n"
              "or is not a single-session control file (with --sessions: when its\n"
              "sessions cannot be placed), 2 on a usage error, 3 when a cue sheet or\n"
              "standard output could not be written. With --check: 0 when nothing\n"
              "was found, 1 when there were warnings, 2 when a file cannot be read or would\n"
              "be refused or the report cannot be written.\n");
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
