// Measures the disc list as a user meets it, in a window on the display that
// the benchmark runs: how long a folder of 10,000 control files in 1,000
// folders takes to be listed, and to have every row's tracks and size, and
// the longest pause of the window's event loop meanwhile; then the longest
// pause while Verify hashes a disc of a 700 MB image. Prints the figures;
// it holds them to no target itself.
//
//   discListProbe

#include "discListModel.h"
#include "discListWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace morvant;

namespace {

// Two audio tracks and the table of contents, as a dumping program writes them.
const QByteArray controlFile =
    QByteArray("[CloneCD]\nVersion=3\n[Disc]\nTocEntries=3\nSessions=1\n"
               "DataTracksScrambled=0\nCDTextLength=0\n"
               "[Session 1]\nPreGapMode=0\nPreGapSubC=0\n"
               "[Entry 0]\nSession=1\nPoint=0xa2\nADR=0x01\nControl=0x04\n"
               "TrackNo=0\nPLBA=%1\n"
               "[Entry 1]\nSession=1\nPoint=0x01\nADR=0x01\nControl=0x04\n"
               "TrackNo=0\nPLBA=0\n"
               "[TRACK 1]\nMODE=1\nINDEX 1=0\n")
        .replace("\n", "\r\n");

bool write(const QString &path, const QByteArray &bytes, qint64 size = -1)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()
        && (size < 0 || file.resize(size));
}

/// Measures the longest time between two turns of the event loop while it lives.
class PauseProbe
{
public:
    PauseProbe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(5);
        QObject::connect(
            &timer, &QTimer::timeout, [this] { longest = qMax(longest, sinceTurn.restart()); });
        sinceTurn.start();
        timer.start();
    }
    qint64 longestMs() const { return longest; }

private:
    QTimer timer;
    QElapsedTimer sinceTurn;
    qint64 longest = 0;
};

bool waitFor(const std::function<bool()> &isDone, int milliseconds)
{
    QElapsedTimer since;
    since.start();
    while (!isDone()) {
        if (since.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    DiscListWindow window([](const QString &text, const QString &) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    window.show();
    waitFor([] { return false; }, 200);

    // 10,000 control files in 1,000 folders, each with an image the size of a short disc.
    const QByteArray content = QString::fromLatin1(controlFile).arg(1000).toLatin1();
    for (int box = 0; box < 1000; ++box) {
        const QString boxPath =
            folder.filePath(QStringLiteral("tree/shelf%1/box%2").arg(box / 100).arg(box));
        QDir().mkpath(boxPath);
        for (int disc = 0; disc < 10; ++disc) {
            const QString name = boxPath + QStringLiteral("/Disc %1").arg(disc);
            if (!write(name + ".ccd", content) || !write(name + ".img", {}, 1000 * 2352))
                return 1;
        }
    }
    DiscListModel *model = window.model();
    const auto isDescribed = [model] {
        if (model->rowCount() < 10000)
            return false;
        for (int row = model->rowCount() - 1; row >= 0; --row) {
            if (!model->entry(row).isDescribed)
                return false;
        }
        return true;
    };
    {
        const PauseProbe pauses;
        QElapsedTimer since;
        since.start();
        window.addPaths({ QDir::toNativeSeparators(folder.filePath("tree")) });
        if (!waitFor([model] { return model->rowCount() == 10000; }, 60000))
            return 1;
        const qint64 listed = since.elapsed();
        if (!waitFor(isDescribed, 120000))
            return 1;
        std::printf("10,000 control files: listed in %lld ms, every row described in %lld ms, "
                    "longest pause of the event loop %lld ms\n",
            static_cast<long long>(listed), static_cast<long long>(since.elapsed()),
            static_cast<long long>(pauses.longestMs()));
    }

    // A disc of a 700 MB image, verified against a DAT of a track of its size.
    window.close();
    DiscListWindow verifying([](const QString &text, const QString &) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    verifying.show();
    constexpr qint64 sectors = 700 * 1024 * 1024 / 2352;
    const QString large = folder.filePath("Large");
    if (!write(large + ".ccd", QString::fromLatin1(controlFile).arg(sectors).toLatin1())
        || !write(large + ".img", {}, sectors * 2352)
        || !write(large + ".dat",
            "<?xml version=\"1.0\"?>\n<datafile>\n<game name=\"Large\">\n<rom name=\"Large.bin\" "
            "size=\""
                + QByteArray::number(sectors * 2352)
                + "\" crc=\"00000000\" md5=\"00000000000000000000000000000000\" "
                  "sha1=\"0000000000000000000000000000000000000000\"/>\n</game>\n</datafile>\n"))
        return 1;
    verifying.addPaths({ QDir::toNativeSeparators(large + ".ccd") });
    if (!waitFor([&] { return verifying.model()->rowCount() == 1; }, 10000))
        return 1;
    verifying.chooseDat = [&] { return large + ".dat"; };
    const PauseProbe pauses;
    QElapsedTimer since;
    since.start();
    verifying.findChild<QPushButton *>(QStringLiteral("verify"))->click();
    if (!waitFor([&] { return !verifying.isWorking(); }, 300000))
        return 1;
    std::printf("Verify of a 700 MB image: %lld ms, longest pause of the event loop %lld ms (%s)\n",
        static_cast<long long>(since.elapsed()), static_cast<long long>(pauses.longestMs()),
        qPrintable(verifying.model()->index(0, DiscListModel::StateColumn).data().toString()));
    return 0;
}
