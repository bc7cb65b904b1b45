#include "desktop/PlaylistTableView.h"

#include "library/Playlist.h"

#include <QAbstractButton>
#include <QAbstractTableModel>
#include <QHeaderView>

// The table's own data source: rows from the view's list, check states from
// its map.
class PlaylistTableView::Model : public QAbstractTableModel {
public:
    explicit Model(PlaylistTableView &view) : QAbstractTableModel(&view), m_view(view) {}

    PlaylistList playlists;
    std::optional<PlaylistMap> selected;

    int rowCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : int(playlists.size()); }
    int columnCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : 1; }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= playlists.size())
            return {};
        if (role == Qt::DisplayRole)
            return playlists.at(index.row()) ? playlists.at(index.row())->name() : QString();
        if (role == Qt::CheckStateRole)
            return m_view.objectValueForTableColumn(index.row()) ? Qt::Checked : Qt::Unchecked;
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
            return QStringLiteral("Playlists");
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    }

    // A click on a check box: that row becomes the current one and toggles.
    bool setData(const QModelIndex &index, const QVariant &, int role) override
    {
        if (!index.isValid() || role != Qt::CheckStateRole)
            return false;
        m_view.setCurrentIndex(index);
        m_view.onCheckmarkSelected();
        return true;
    }

    void rowChanged(int row) { Q_EMIT dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole}); }
    void reload()
    {
        beginResetModel();
        endResetModel();
    }

private:
    PlaylistTableView &m_view;
};

PlaylistTableView::PlaylistTableView(QWidget *parent) : QTableView(parent), m_model(new Model(*this))
{
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

PlaylistTableView::~PlaylistTableView() = default;

void PlaylistTableView::reloadData()
{
    m_model->reload();
}

void PlaylistTableView::setPlaylists(const PlaylistList &playlists)
{
    m_model->playlists = playlists;
    reloadData();
}

const PlaylistTableView::PlaylistList &PlaylistTableView::playlists() const
{
    return m_model->playlists;
}

void PlaylistTableView::setSelectedPlaylists(const std::optional<PlaylistMap> &selected)
{
    m_model->selected = selected;
    reloadData();
    Q_EMIT selectedPlaylistsChanged();
}

const std::optional<PlaylistTableView::PlaylistMap> &PlaylistTableView::selectedPlaylists() const
{
    return m_model->selected;
}

int PlaylistTableView::numberOfRowsInTableView() const
{
    return int(m_model->playlists.size());
}

bool PlaylistTableView::objectValueForTableColumn(int row) const
{
    if (row < 0 || row >= m_model->playlists.size() || !m_model->selected)
        return false;
    const std::shared_ptr<Playlist> &playlist = m_model->playlists.at(row);
    return playlist && m_model->selected->contains(playlist->persistentId());
}

void PlaylistTableView::onCheckmarkSelected()
{
    const int row = currentIndex().isValid() ? currentIndex().row() : -1;
    if (row < 0 || row >= m_model->playlists.size() || !m_model->playlists.at(row))
        return;
    const std::shared_ptr<Playlist> &playlist = m_model->playlists.at(row);
    if (m_model->selected && m_model->selected->contains(playlist->persistentId())) {
        m_model->selected->remove(playlist->persistentId());
    } else {
        if (!m_model->selected)
            m_model->selected.emplace();
        m_model->selected->insert(playlist->persistentId(), playlist);
    }
    // Only this row's check box changes.
    m_model->rowChanged(row);
    Q_EMIT selectedPlaylistsChanged();
}

void PlaylistTableView::onSelectAllPlaylist()
{
    if (m_model->selected)
        m_model->selected->clear();
    else
        m_model->selected.emplace();
    for (const std::shared_ptr<Playlist> &playlist : std::as_const(m_model->playlists)) {
        if (playlist)
            m_model->selected->insert(playlist->persistentId(), playlist);
    }
    reloadData();
    Q_EMIT selectedPlaylistsChanged();
}

void PlaylistTableView::onUnselectAllPlaylist()
{
    if (!m_model->selected)
        return;
    m_model->selected->clear();
    reloadData();
    Q_EMIT selectedPlaylistsChanged();
}

void PlaylistTableView::setSelectAllPlaylists(QAbstractButton *button)
{
    m_selectAllPlaylists = button;
    if (button)
        connect(button, &QAbstractButton::clicked, this, &PlaylistTableView::onSelectAllPlaylist);
}

void PlaylistTableView::setUnselectAllPlaylists(QAbstractButton *button)
{
    m_unselectAllPlaylists = button;
    if (button)
        connect(button, &QAbstractButton::clicked, this, &PlaylistTableView::onUnselectAllPlaylist);
}
