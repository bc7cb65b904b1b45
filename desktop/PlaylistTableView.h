#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QTableView>

#include <memory>
#include <optional>

class Playlist;
class QAbstractButton;

// The playlist picker: one column of check boxes, one per playlist, titled
// with the playlist's name. A playlist is ticked exactly when its persistent
// ID is a key of selectedPlaylists(); IDs of playlists that are not rows
// (they have left the library) stay keys until tick all or untick all.
// Main thread only.
class PlaylistTableView : public QTableView {
    Q_OBJECT

public:
    using PlaylistList = QList<std::shared_ptr<Playlist>>;
    using PlaylistMap = QMap<QString, std::shared_ptr<Playlist>>;

    explicit PlaylistTableView(QWidget *parent = nullptr);
    ~PlaylistTableView() override;

    // Stores the rows and reloads the table.
    void setPlaylists(const PlaylistList &playlists);
    const PlaylistList &playlists() const;
    // Stores the map (or none) and reloads the table.
    void setSelectedPlaylists(const std::optional<PlaylistMap> &selected);
    const std::optional<PlaylistMap> &selectedPlaylists() const;

    int numberOfRowsInTableView() const;
    // Whether the row's playlist is ticked.
    bool objectValueForTableColumn(int row) const;

    // Toggles the playlist of the current row; nothing without one.
    void onCheckmarkSelected();
    // Ticks every row (the map is emptied first).
    void onSelectAllPlaylist();
    // Empties the map; nothing when there is none.
    void onUnselectAllPlaylist();

    // The two buttons whose clicks tick all and untick all.
    void setSelectAllPlaylists(QAbstractButton *button);
    void setUnselectAllPlaylists(QAbstractButton *button);
    QAbstractButton *selectAllPlaylists() const { return m_selectAllPlaylists; }
    QAbstractButton *unselectAllPlaylists() const { return m_unselectAllPlaylists; }

Q_SIGNALS:
    // The map changed (a toggle, tick all, untick all, or a new map).
    void selectedPlaylistsChanged();

private:
    class Model;

    void reloadData();

    Model *m_model;
    QAbstractButton *m_selectAllPlaylists = nullptr;
    QAbstractButton *m_unselectAllPlaylists = nullptr;
};
