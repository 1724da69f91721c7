#include "playlist.h"

#include "discFiles.h"

#include <QRegularExpression>

#include <algorithm>
#include <numeric>

namespace morvant {

std::optional<DiscOfGame> discOfGame(const QString &name)
{
    // Redump writes " (Disc 2)", TOSEC "(Disc 2 of 3)" right after the
    // bracket before it; the last such token is the disc's, should a title
    // hold one too.
    static const QRegularExpression token(
        QStringLiteral(" ?\\(disc (\\d{1,3})(?: of (\\d{1,3}))?\\)"),
        QRegularExpression::CaseInsensitiveOption);
    QRegularExpressionMatch last;
    for (QRegularExpressionMatchIterator it = token.globalMatch(name); it.hasNext();)
        last = it.next();
    if (!last.hasMatch())
        return std::nullopt;
    DiscOfGame disc;
    disc.number = last.captured(1).toInt();
    disc.count = last.captured(2).toInt();
    disc.game = (name.left(last.capturedStart()) + name.mid(last.capturedEnd())).trimmed();
    if (disc.number == 0 || disc.game.isEmpty())
        return std::nullopt;
    return disc;
}

bool isListable(const QString &fileName)
{
    return !fileName.isEmpty() && !fileName.contains(u'\n') && !fileName.contains(u'\r')
        && fileName.front() != u'#' && !fileName.front().isSpace();
}

QList<Playlist> playlists(const QList<PlaylistDisc> &discs, QChar separator)
{
    struct Game
    {
        Playlist playlist;
        int count = 0;
        QList<int> numbers; // of its discs, in the order of playlist.discs
    };
    QList<Game> games;
    for (qsizetype i = 0; i < discs.size(); ++i) {
        const std::optional<DiscOfGame> disc = discOfGame(discs[i].name);
        if (!disc)
            continue;
        const QString &cuePath = discs[i].cuePath;
        const QString path =
            cuePath.left(fileNameStart(cuePath, separator)) + disc->game + QStringLiteral(".m3u");
        auto game = std::find_if(games.begin(), games.end(), [&](const Game &other) {
            return other.playlist.path == path && other.count == disc->count;
        });
        if (game == games.end()) {
            games.append({ { path, disc->game, {}, {}, {}, {} }, disc->count, {} });
            game = games.end() - 1;
        }
        game->playlist.discs.append(i);
        game->numbers.append(disc->number);
    }
    QList<Playlist> found;
    for (Game &game : games) {
        if (game.numbers.size() < 2)
            continue;
        Playlist &playlist = game.playlist;
        // In disc order; discs of one number stay in the order given.
        QList<qsizetype> order(game.numbers.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
            [&](qsizetype a, qsizetype b) { return game.numbers[a] < game.numbers[b]; });
        QList<qsizetype> sorted;
        for (const qsizetype at : order)
            sorted.append(playlist.discs[at]);
        playlist.discs = sorted;
        std::sort(game.numbers.begin(), game.numbers.end());
        const int last = qMax(game.count, game.numbers.last());
        for (int number = 1; number <= last; ++number) {
            const auto many = std::count(game.numbers.begin(), game.numbers.end(), number);
            if (many == 0)
                playlist.missing.append(number);
            else if (many > 1)
                playlist.repeated.append(number);
        }
        for (const qsizetype at : std::as_const(playlist.discs)) {
            const QString &cuePath = discs[at].cuePath;
            if (!isListable(cuePath.mid(fileNameStart(cuePath, separator))))
                playlist.unlistable.append(at);
        }
        found.append(playlist);
    }
    return found;
}

QString playlistText(const QList<QString> &cuePaths, QChar separator)
{
    QString text;
    for (const QString &cuePath : cuePaths)
        text += cuePath.mid(fileNameStart(cuePath, separator)) + QStringLiteral("\r\n");
    return text;
}

} // namespace morvant
