// Writes one set of files through writeFilesBeside(), as a program of its
// own, for the tests that end it while it writes or fill its disk: they need
// a process to end, and the set's files written slowly enough to end it in
// the middle of one.
//
// Usage: fileSetWriter CONTROL_FILE CLAIM WAIT_AT PATH KIB [PATH KIB]...
// Each PATH gets KIB KiB of its own digit (1 for the first file, 2 for the
// second ...), written 4 KiB at a time. CLAIM is "claim" when each file's
// size is told to the writer for the room it needs, else "none". The content
// of each file says "content N" on standard output when it starts; the file
// numbered WAIT_AT (from 1; 0 for none) says "writing N" halfway and waits
// there for a minute, for the test to end the program. WAIT_AT "placing-N"
// waits so before file N is put in place, "placing-0" before the earlier
// file of the last is taken away, each saying "placing N". What the writer
// tells of files left beside them goes to standard output as "note: ...".
// Status 0 when every file is written, 3 with the error on standard error
// when none is.

#include "cueFile.h"
#include "cueFile_p.h"

#include <QCoreApplication>
#include <QFileDevice>
#include <QThread>

#include <cstdio>

using namespace morvant;

namespace {

void say(const QByteArray &line)
{
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    // Where no locale in UTF-8 is set (a test's environment, as in CI), Qt
    // 6.5 and later would say on standard error that it takes one, which the
    // tests read as the writing's message.
    qputenv("LC_ALL", "C.UTF-8");
    const QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 6 || arguments.size() % 2 != 0) {
        std::fputs(
            "usage: fileSetWriter CONTROL_FILE CLAIM WAIT_AT PATH KIB [PATH KIB]...\n", stderr);
        return 2;
    }
    const bool claims = arguments[2] == QLatin1String("claim");
    const int waitAt = arguments[3].toInt();
    static int placingAt = -1;
    if (arguments[3].startsWith(QLatin1String("placing-"))) {
        placingAt = arguments[3].mid(8).toInt();
        beforeSetStepForTests = [](qsizetype file) {
            if (file + 1 == placingAt) {
                say("placing " + QByteArray::number(placingAt));
                QThread::sleep(60);
            }
        };
    }
    QList<FileToWrite> files;
    for (qsizetype at = 4; at < arguments.size(); at += 2) {
        const int number = int(files.size()) + 1;
        const qint64 size = arguments[at + 1].toLongLong() * 1024;
        files.append({ arguments[at], claims ? size : 0,
            [number, size, waitAt](QFileDevice &file, QString *error) {
                say("content " + QByteArray::number(number));
                const QByteArray chunk(4096, char('0' + number % 10));
                for (qint64 written = 0; written < size; written += chunk.size()) {
                    if (number == waitAt && written == size / 2 / chunk.size() * chunk.size()) {
                        say("writing " + QByteArray::number(number));
                        QThread::sleep(60);
                    }
                    // A short write is tried again, so that a full disk gives its reason.
                    for (qint64 done = 0; done < chunk.size();) {
                        const qint64 wrote =
                            file.write(chunk.constData() + done, chunk.size() - done);
                        if (wrote <= 0) {
                            *error = file.errorString();
                            return false;
                        }
                        done += wrote;
                    }
                }
                return true;
            } });
    }
    QString error;
    QStringList notes;
    const bool isWritten = writeFilesBeside(arguments[1], {}, files, &error, &notes);
    for (const QString &note : notes)
        say("note: " + note.toUtf8());
    if (isWritten)
        return 0;
    std::fputs((error.toLocal8Bit() + '\n').constData(), stderr);
    return 3;
}
