#pragma once

#include "discSet.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>

namespace morvant {

/// Where a disc of the list stands: waiting, being worked on, or what the last work gave.
enum class DiscState {
    Waiting,
    Working,
    Checked, ///< Check found nothing
    CheckedWithWarnings, ///< Check found something, but there is a cue sheet
    Converted,
    ConvertedWithWarnings,
    Split, ///< into one file per track and their .cue
    Refused, ///< no cue sheet, or what is no control file, or what cannot be verified
    Matches, ///< every track matches the DAT's game
    MatchesAtOffset, ///< the same, the audio tracks at a read offset
    DoesNotMatch,
    Cancelled,
};

/// A disc found where the user pointed, before the list takes it.
struct FoundDisc
{
    Disc disc;
    /// Which file it is, however it was reached, so that it is listed once
    QString identity;
};

/// What reading a disc's control file tells of it, for its row.
struct DiscDescription
{
    quint64 id = 0;
    int trackCount = 0;
    QString trackKinds; ///< such as "audio, data"
    qint64 size = -1; ///< of its image; -1 when it has none
};

/// What the list knows of one disc.
struct DiscEntry
{
    /// The list's own name for it, which stays while rows above it go
    quint64 id = 0;
    Disc disc;
    QString identity; ///< as FoundDisc has it
    bool isDescribed = false;
    DiscDescription description;
    DiscState state = DiscState::Waiting;
    QString phase; ///< of the work on it, such as "Hashing"
    double progress = 0; ///< how far that phase has come, from 0 to 1
    int warnings = 0; ///< that Check found or a conversion told of
    QString game; ///< that Verify found it to be
    int offset = 0; ///< samples later in the image at which Verify found the audio
    bool hasOffset = false; ///< Verify found its game, so Split cuts at that offset
    bool hasFindings = false;
    QString findings; ///< the latest report on it, as text
    QString cueSheet; ///< what it converts into; empty when refused or not yet read
};

/** The discs of the disc list, one row each: their names, folders, tracks,
    sizes and states. A view shows them; the window changes them. */
class DiscListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NameColumn, FolderColumn, TracksColumn, SizeColumn, StateColumn, columns };
    /// The fraction of the work on a disc that is done, for the delegate;
    /// negative when it is not being worked on.
    static constexpr int progressRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    /** Lists each disc of \a found that is not listed yet, and returns those
        that it listed. */
    QList<DiscEntry> add(const QList<FoundDisc> &found);
    /// Takes the discs of \a rows away.
    void remove(QList<int> rows);

    const DiscEntry &entry(int row) const { return entries.at(row); }
    /// The row of the disc \a id; -1 when it is listed no more.
    int rowOf(quint64 id) const { return rows.value(id, -1); }
    /// Changes the disc \a id by \a change, when it is still listed.
    void update(quint64 id, const std::function<void(DiscEntry &entry)> &change);
    /// Gives each disc of \a descriptions that is still listed its tracks and size.
    void describe(const QList<DiscDescription> &descriptions);

    /// What \a entry's state says in words: "Matches "Game" at an offset of +6 samples".
    static QString stateText(const DiscEntry &entry);

private:
    QList<DiscEntry> entries;
    QHash<quint64, int> rows; ///< the row of each id
    QSet<QString> identities; ///< of the discs listed
    quint64 nextId = 1;
    mutable QHash<int, QIcon> icons; ///< of each state, drawn in the palette of iconsPalette
    mutable qint64 iconsPalette = 0;
};

} // namespace morvant
