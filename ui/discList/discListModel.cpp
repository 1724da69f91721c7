#include "discListModel.h"

#include "fileSystem.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QLocale>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include <algorithm>

namespace morvant {

namespace {

QString offsetText(int samples)
{
    return (samples > 0 ? QStringLiteral("+") : QString()) + QString::number(samples);
}

// Beside the words, a sign that tells the states apart by its shape, not by
// colour alone, drawn in the palette's text colour so that it follows a
// high-contrast scheme: a ring for waiting, a half-filled ring for work, a
// tick, a triangle with a bar for warnings, a cross, a square for stopped.
// (The style's own icons come from the system's shell in Windows' colours,
// which wine cannot even read back.)
QIcon stateIcon(DiscState state)
{
    constexpr int side = 64;
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink = QGuiApplication::palette().color(QPalette::Text);
    QPen pen(ink, side / 10.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    const QRectF box(side * 0.15, side * 0.15, side * 0.7, side * 0.7);
    switch (state) {
    case DiscState::Waiting:
        painter.drawEllipse(box);
        break;
    case DiscState::Working:
        painter.drawEllipse(box);
        painter.setBrush(ink);
        painter.drawPie(box, 90 * 16, 180 * 16);
        break;
    case DiscState::Checked:
    case DiscState::Converted:
    case DiscState::Split:
    case DiscState::Matches:
    case DiscState::MatchesAtOffset:
        painter.drawPolyline(QPolygonF{ { side * 0.15, side * 0.55 }, { side * 0.4, side * 0.8 },
            { side * 0.85, side * 0.2 } });
        break;
    case DiscState::CheckedWithWarnings:
    case DiscState::ConvertedWithWarnings:
        painter.drawPolygon(QPolygonF{ { side * 0.5, side * 0.1 }, { side * 0.92, side * 0.88 },
            { side * 0.08, side * 0.88 } });
        painter.drawLine(QPointF(side * 0.5, side * 0.38), QPointF(side * 0.5, side * 0.6));
        painter.drawPoint(QPointF(side * 0.5, side * 0.75));
        break;
    case DiscState::Refused:
    case DiscState::DoesNotMatch:
        painter.drawLine(box.topLeft(), box.bottomRight());
        painter.drawLine(box.topRight(), box.bottomLeft());
        break;
    case DiscState::Cancelled:
        painter.setBrush(ink);
        painter.drawRect(box.adjusted(side * 0.08, side * 0.08, -side * 0.08, -side * 0.08));
        break;
    }
    painter.end();
    return QIcon(pixmap);
}

} // namespace

int DiscListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(entries.size());
}

int DiscListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(columns);
}

QString DiscListModel::stateText(const DiscEntry &entry)
{
    switch (entry.state) {
    case DiscState::Waiting:
        return tr("Waiting");
    case DiscState::Working:
        return entry.phase.isEmpty()
            ? tr("Working")
            : tr("%1: %2%").arg(entry.phase).arg(qRound(entry.progress * 100));
    case DiscState::Checked:
        return tr("Checked: nothing found");
    case DiscState::CheckedWithWarnings:
        return entry.warnings == 1 ? tr("Checked: 1 warning")
                                   : tr("Checked: %1 warnings").arg(entry.warnings);
    case DiscState::Converted:
        return tr("Converted");
    case DiscState::ConvertedWithWarnings:
        return tr("Converted with warnings");
    case DiscState::Split:
        return tr("Split into its tracks");
    case DiscState::Refused:
        return tr("Refused");
    case DiscState::Matches:
        return tr("Matches %1").arg(entry.game);
    case DiscState::MatchesAtOffset:
        return tr("Matches %1 at an offset of %2 samples")
            .arg(entry.game, offsetText(entry.offset));
    case DiscState::DoesNotMatch:
        return tr("Does not match");
    case DiscState::Cancelled:
        return tr("Cancelled");
    }
    return {};
}

QVariant DiscListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= entries.size())
        return {};
    const DiscEntry &entry = entries.at(index.row());
    const Disc &disc = entry.disc;
    const DiscDescription &description = entry.description;
    if (role == progressRole)
        return entry.state == DiscState::Working ? entry.progress : -1.0;
    if (role == Qt::DecorationRole && index.column() == StateColumn) {
        // Drawn once for each state and palette.
        const qint64 key = QGuiApplication::palette().cacheKey();
        if (key != iconsPalette) {
            icons.clear();
            iconsPalette = key;
        }
        auto icon = icons.find(int(entry.state));
        if (icon == icons.end())
            icon = icons.insert(int(entry.state), stateIcon(entry.state));
        return *icon;
    }
    if (role == Qt::ToolTipRole && index.column() <= FolderColumn)
        return shownPath(disc.path);
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    switch (index.column()) {
    case NameColumn:
        return shownPath(QFileInfo(disc.path).fileName());
    case FolderColumn:
        return shownPath(QFileInfo(disc.path).path());
    case TracksColumn:
        if (disc.kind != Disc::ControlFile || (entry.isDescribed && description.trackCount == 0))
            return tr("none");
        if (!entry.isDescribed)
            return QString();
        return description.trackCount == 1
            ? tr("1 track: %1").arg(description.trackKinds)
            : tr("%1 tracks: %2").arg(description.trackCount).arg(description.trackKinds);
    case SizeColumn:
        if (!entry.isDescribed)
            return QString();
        return description.size < 0 ? tr("no image")
                                    : QLocale().formattedDataSize(description.size);
    case StateColumn:
        return stateText(entry);
    default:
        return {};
    }
}

QVariant DiscListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case NameColumn:
        return tr("Name");
    case FolderColumn:
        return tr("Folder");
    case TracksColumn:
        return tr("Tracks");
    case SizeColumn:
        return tr("Size");
    case StateColumn:
        return tr("State");
    default:
        return {};
    }
}

QList<DiscEntry> DiscListModel::add(const QList<FoundDisc> &found)
{
    QList<DiscEntry> added;
    for (const FoundDisc &disc : found) {
        if (identities.contains(disc.identity))
            continue;
        identities.insert(disc.identity);
        DiscEntry entry;
        entry.id = nextId++;
        entry.disc = disc.disc;
        entry.identity = disc.identity;
        added.append(entry);
    }
    if (added.isEmpty())
        return added;
    // One insertion for the lot: a view told of 10,000 rows one by one lays
    // itself out 10,000 times.
    const int first = int(entries.size());
    beginInsertRows({}, first, first + int(added.size()) - 1);
    for (const DiscEntry &entry : std::as_const(added)) {
        rows.insert(entry.id, int(entries.size()));
        entries.append(entry);
    }
    endInsertRows();
    return added;
}

void DiscListModel::remove(QList<int> rowsToGo)
{
    std::sort(rowsToGo.begin(), rowsToGo.end());
    rowsToGo.erase(std::unique(rowsToGo.begin(), rowsToGo.end()), rowsToGo.end());
    // From the last, each run of neighbouring rows at once.
    for (qsizetype i = rowsToGo.size() - 1; i >= 0;) {
        const int last = rowsToGo[i];
        int first = last;
        while (i > 0 && rowsToGo[i - 1] == first - 1)
            first = rowsToGo[--i];
        --i;
        beginRemoveRows({}, first, last);
        for (int row = first; row <= last; ++row)
            identities.remove(entries.at(row).identity);
        entries.remove(first, last - first + 1);
        endRemoveRows();
    }
    rows.clear();
    for (int row = 0; row < entries.size(); ++row)
        rows.insert(entries.at(row).id, row);
}

void DiscListModel::update(quint64 id, const std::function<void(DiscEntry &entry)> &change)
{
    const int row = rowOf(id);
    if (row < 0)
        return;
    change(entries[row]);
    emit dataChanged(index(row, 0), index(row, StateColumn));
}

void DiscListModel::describe(const QList<DiscDescription> &descriptions)
{
    int first = int(entries.size());
    int last = -1;
    for (const DiscDescription &description : descriptions) {
        const int row = rowOf(description.id);
        if (row < 0)
            continue;
        entries[row].description = description;
        entries[row].isDescribed = true;
        first = qMin(first, row);
        last = qMax(last, row);
    }
    if (last >= 0)
        emit dataChanged(index(first, TracksColumn), index(last, SizeColumn));
}

} // namespace morvant
