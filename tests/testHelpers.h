#pragma once

// What several tests need alike: files written from bytes and read back, a
// folder of its own for each test function, and the real program run as a
// process.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

/// Control files have Windows line ends; the tests write them as "\n" to keep them legible.
inline QByteArray crlf(QByteArray lines)
{
    return lines.replace("\n", "\r\n");
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

/// What readFile() gives for a file it cannot read, so that a file that is not
/// there never passes for an empty one.
inline const QByteArray missing = "<missing>";

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : missing;
}

/** A new empty folder that is the current one for as long as it lives, so
    that the files a test names without a folder land there and go with it. */
class CurrentFolder
{
public:
    CurrentFolder() : current(dir.isValid() && QDir::setCurrent(dir.path())) { }
    // Some systems refuse to remove the current folder.
    ~CurrentFolder() { QDir::setCurrent(QDir::tempPath()); }
    CurrentFolder(const CurrentFolder &) = delete;
    CurrentFolder &operator=(const CurrentFolder &) = delete;

    bool isValid() const { return dir.isValid(); }
    bool isCurrent() const { return current; }
    QString path() const { return dir.path(); }

private:
    QTemporaryDir dir;
    bool current;
};

/** The folder of each test function: a test program keeps one, and its own
    init() and cleanup() call these around whatever else they set up, so that
    every function starts in a new empty folder and leaves nothing behind. */
class TestFolder
{
public:
    enum Kind {
        Apart, ///< named by path() alone
        Current, ///< also the current folder, as a CurrentFolder is
    };

    explicit TestFolder(Kind kind) : kind(kind) { }

    /// Makes the folder; if it cannot, fails the test function and returns
    /// false, for the caller's init() to stop there.
    bool init()
    {
        make();
        return !QTest::currentTestFailed();
    }

    /// Removes the folder with all it holds.
    void cleanup()
    {
        // Some systems refuse to remove the current folder.
        if (dir && kind == Current)
            QDir::setCurrent(QDir::tempPath());
        dir.reset();
    }

    QString path() const { return dir->path(); }
    QString filePath(const QString &name) const { return dir->filePath(name); }

private:
    void make()
    {
        dir.emplace();
        QVERIFY(dir->isValid());
        if (kind == Current)
            QVERIFY(QDir::setCurrent(dir->path()));
    }

    Kind kind;
    std::optional<QTemporaryDir> dir;
};

struct Run
{
    bool crashed = true; // or hung
    int status = -1;
    QByteArray out;
    QByteArray err;
};

/// The session's environment without its display, as scripts and remote shells start the program.
inline QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    return environment;
}

/// Text as the program writes it, with Windows' CR LF line ends read as "\n".
inline QByteArray textLines(QByteArray bytes)
{
#ifdef Q_OS_WIN
    bytes.replace("\r\n", "\n");
#endif
    return bytes;
}

/// Waits for the started \a process and takes what it gave; standard error is text.
inline Run finished(QProcess &process, int milliseconds)
{
    Run result;
    if (!process.waitForFinished(milliseconds) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.crashed = false;
    result.status = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = textLines(process.readAllStandardError());
    return result;
}

inline Run run(const QString &program, const QStringList &arguments, const QString &folder,
    const QProcessEnvironment &environment)
{
    // Now and then, with the machine loaded, wine fails to start a program at
    // all: that says nothing of the program, so it is said and tried once more,
    // as wineTest.sh does for the test programs. A program that started and
    // crashed, or that fails to start twice, still counts as crashed.
    for (int attempt = 0;; ++attempt) {
        QProcess process;
        process.setWorkingDirectory(folder);
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        if (process.waitForStarted(60000) || attempt == 1)
            return finished(process, 60000);
        qWarning("%s did not start (%s); trying again", qPrintable(program),
            qPrintable(process.errorString()));
    }
}
