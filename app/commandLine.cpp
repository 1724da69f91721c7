#include "commandLine.h"

#include "identity.h"

#include <QCoreApplication>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("MORVANT", text);
}
} // namespace

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
        else if (options.error.isEmpty())
            options.error = tr("unknown option '%1'").arg(argument);
    }
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
              "  -h, --help     show this help and exit\n"
              "  -V, --version  show the version and exit\n"
              "  --           end of options: what follows is a file\n"
              "\n"
              "Exit status: 0 when every file converted, 1 when a file could not be read\n"
              "or is not a single-session control file, 2 on a usage error, 3 when a cue\n"
              "sheet could not be written.\n");
}

QString versionText()
{
    return QString::fromUtf8(identity::productName) + u' ' + identity::versionText() + u'\n';
}

ExitStatus convertFiles(const QStringList &files, const ShowMessage &showMessage)
{
    ExitStatus status = exitConverted;
    for (const QString &argument : files) {
        const CommandLinePaths paths = commandLinePaths(argument);
        const QString cueSheet = ccdToCue(paths.inputPath, showMessage);
        if (cueSheet.isEmpty())
            status = qMax(status, exitRefused);
        else if (!saveCueSheet(paths.inputPath, paths.cuePath, cueSheet, showMessage))
            status = qMax(status, exitNotWritten);
    }
    return status;
}
