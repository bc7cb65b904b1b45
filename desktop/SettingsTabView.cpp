#include "desktop/SettingsTabView.h"

#include "app/OrvanaSyncAppDelegate.h"
#include "app/SettingsStore.h"
#include "app/SyncPage.h"
#include "desktop/LoadView.h"
#include "desktop/PlaylistTableView.h"
#include "library/Playlist.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// The stored path map as editable text, one "exported prefix=local folder"
// per line, whichever form it was stored in.
QString pathMapAsText(const QVariant &stored)
{
    if (stored.metaType() == QMetaType::fromType<QVariantMap>()) {
        QStringList lines;
        const QVariantMap map = stored.toMap();
        for (auto entry = map.constKeyValueBegin(); entry != map.constKeyValueEnd(); ++entry)
            lines.append(entry->first + u'=' + entry->second.toString());
        return lines.join(u'\n');
    }
    if (stored.canConvert<QStringList>() && stored.metaType() != QMetaType::fromType<QString>())
        return stored.toStringList().join(u'\n');
    return stored.toString();
}

QLineEdit *namedLineEdit(const QString &name, QWidget *parent)
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(name);
    return field;
}

} // namespace

SettingsTabView::SettingsTabView(OrvanaSyncAppDelegate &delegate, QWidget *parent)
    : QWidget(parent), m_delegate(delegate)
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(serverBox());
    layout->addWidget(playlistBox(), 1);
    layout->addWidget(musicSourceBox());
}

QWidget *SettingsTabView::serverBox()
{
    auto *box = new QGroupBox(QStringLiteral("Music server"), this);
    m_ovDiscoveredMusicServers = new QComboBox(box);
    m_ovDiscoveredMusicServers->setObjectName(QStringLiteral("ovDiscoveredMusicServers"));
    m_ovDiscoveredMusicServers->addItems(m_delegate.discovery().entries());
    m_ovMusicServerIPAddress = namedLineEdit(QStringLiteral("ovMusicServerIPAddress"), box);
    m_ovMusicServerIPAddress->setPlaceholderText(QStringLiteral("IPv4 address or host name"));
    m_ovMusicServerUserName = namedLineEdit(QStringLiteral("ovMusicServerUserName"), box);
    m_ovMusicServerPassword = namedLineEdit(QStringLiteral("ovMusicServerPassword"), box);
    m_ovMusicServerPassword->setEchoMode(QLineEdit::Password);
    m_ovITunesLibraryName = namedLineEdit(QStringLiteral("ovITunesLibraryName"), box);
    m_ovITunesLibraryName->setPlaceholderText(QStringLiteral("The name the server shows for this library"));

    auto *form = new QFormLayout(box);
    form->addRow(QStringLiteral("Server:"), m_ovDiscoveredMusicServers);
    m_addressLabel = new QLabel(QStringLiteral("Address:"), box);
    form->addRow(m_addressLabel, m_ovMusicServerIPAddress);
    form->addRow(QStringLiteral("User name:"), m_ovMusicServerUserName);
    form->addRow(QStringLiteral("Password:"), m_ovMusicServerPassword);
    form->addRow(QStringLiteral("Library name:"), m_ovITunesLibraryName);

    connect(m_ovDiscoveredMusicServers, &QComboBox::activated, this, &SettingsTabView::serverChosen);
    connect(&m_delegate, &OrvanaSyncAppDelegate::serverEntriesChanged, this, &SettingsTabView::showServerEntries);
    connect(&m_delegate, &OrvanaSyncAppDelegate::selectByIPAddressChanged, this, &SettingsTabView::showAddressField);
    connect(m_ovMusicServerIPAddress, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_delegate.setMusicServerIPAddress(text); });
    connect(m_ovMusicServerUserName, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_delegate.setMusicServerUserName(text); });
    connect(m_ovMusicServerPassword, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_delegate.setMusicServerPassword(text); });
    connect(m_ovITunesLibraryName, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_delegate.setITunesLibraryName(text); });
    return box;
}

QWidget *SettingsTabView::playlistBox()
{
    auto *box = new QGroupBox(QStringLiteral("What to copy"), this);
    auto *entireLibrary = new QRadioButton(QStringLiteral("The entire library"), box);
    entireLibrary->setObjectName(QStringLiteral("syncEntireLibraryCell"));
    auto *selectedPlaylists = new QRadioButton(QStringLiteral("The playlists ticked below"), box);
    selectedPlaylists->setObjectName(QStringLiteral("syncSelectedPlaylistsCell"));
    m_syncLibraryOrPlaylist = new QButtonGroup(box);
    m_syncLibraryOrPlaylist->setObjectName(QStringLiteral("syncLibraryOrPlaylist"));
    m_syncLibraryOrPlaylist->addButton(entireLibrary, EntireLibraryTag);
    m_syncLibraryOrPlaylist->addButton(selectedPlaylists, SelectedPlaylistsTag);

    m_playlistTableView = new PlaylistTableView(box);
    m_playlistTableView->setObjectName(QStringLiteral("playlistTableView"));
    auto *selectAll = new QPushButton(QStringLiteral("Tick all"), box);
    selectAll->setObjectName(QStringLiteral("selectAllPlaylists"));
    auto *unselectAll = new QPushButton(QStringLiteral("Untick all"), box);
    unselectAll->setObjectName(QStringLiteral("unselectAllPlaylists"));
    m_playlistTableView->setSelectAllPlaylists(selectAll);
    m_playlistTableView->setUnselectAllPlaylists(unselectAll);
    m_loadView = new LoadView(box);
    m_loadView->setObjectName(QStringLiteral("loadView"));

    auto *choice = new QHBoxLayout;
    choice->addWidget(entireLibrary);
    choice->addWidget(selectedPlaylists);
    choice->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_loadView, 1);
    buttons->addStretch(0);
    buttons->addWidget(selectAll);
    buttons->addWidget(unselectAll);
    auto *layout = new QVBoxLayout(box);
    layout->addLayout(choice);
    layout->addWidget(m_playlistTableView, 1);
    layout->addLayout(buttons);

    connect(m_syncLibraryOrPlaylist, &QButtonGroup::idClicked, this,
            [this](int tag) { m_delegate.onSyncLibraryOrPlaylistsPressed(tag); });
    connect(m_playlistTableView, &PlaylistTableView::selectedPlaylistsChanged, this, [this] {
        const auto &selected = m_playlistTableView->selectedPlaylists();
        m_delegate.setSelectedPlaylists(selected ? QSet<QString>(selected->keyBegin(), selected->keyEnd())
                                                 : QSet<QString>());
    });
    return box;
}

QWidget *SettingsTabView::musicSourceBox()
{
    auto *box = new QGroupBox(QStringLiteral("Music source"), this);
    m_musicSource = namedLineEdit(QStringLiteral("musicSource"), box);
    m_musicSource->setPlaceholderText(QStringLiteral("A library export file or a music folder (empty: ~/Music)"));
    auto *chooseFile = new QPushButton(QStringLiteral("File..."), box);
    chooseFile->setObjectName(QStringLiteral("chooseMusicSourceFile"));
    auto *chooseFolder = new QPushButton(QStringLiteral("Folder..."), box);
    chooseFolder->setObjectName(QStringLiteral("chooseMusicSourceFolder"));
    // Enabled exactly while Sync is: never under a run, a load or a check.
    auto *load = new QPushButton(QStringLiteral("Load"), box);
    load->setObjectName(QStringLiteral("loadMusicSource"));
    load->setToolTip(QStringLiteral("Loads the music source again: after a change here, a disk connected or "
                                    "music added since the start"));
    load->setEnabled(m_delegate.syncPage().isSyncEnabled());
    m_musicSourcePathMap = new QPlainTextEdit(box);
    m_musicSourcePathMap->setObjectName(QStringLiteral("musicSourcePathMap"));
    m_musicSourcePathMap->setPlaceholderText(QStringLiteral("One line each: exported prefix=local folder"));
    m_musicSourcePathMap->setFixedHeight(m_musicSourcePathMap->fontMetrics().lineSpacing() * 3 + 12);

    auto *sourceRow = new QHBoxLayout;
    sourceRow->addWidget(m_musicSource, 1);
    sourceRow->addWidget(chooseFile);
    sourceRow->addWidget(chooseFolder);
    sourceRow->addWidget(load);
    auto *form = new QFormLayout(box);
    form->addRow(QStringLiteral("Source:"), sourceRow);
    form->addRow(QStringLiteral("Path map:"), m_musicSourcePathMap);

    connect(chooseFile, &QPushButton::clicked, this, &SettingsTabView::chooseMusicSourceFile);
    connect(chooseFolder, &QPushButton::clicked, this, &SettingsTabView::chooseMusicSourceFolder);
    connect(load, &QPushButton::clicked, this, &SettingsTabView::loadMusicSourcePressed);
    connect(&m_delegate.syncPage(), &SyncPage::syncEnabledChanged, load, &QPushButton::setEnabled);
    return box;
}

void SettingsTabView::chooseMusicSourceFile()
{
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Library export file"), m_musicSource->text(),
                                                      QStringLiteral("Library export (*.xml);;All files (*)"));
    if (!file.isEmpty())
        m_musicSource->setText(file);
}

void SettingsTabView::chooseMusicSourceFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Music folder"), m_musicSource->text());
    if (!folder.isEmpty())
        m_musicSource->setText(folder);
}

void SettingsTabView::serverChosen(int index)
{
    m_delegate.comboBoxSelectionDidChange(index, index >= 0 ? m_ovDiscoveredMusicServers->itemText(index) : QString());
    showAddressField();
}

void SettingsTabView::showAddressField()
{
    const bool visible = m_delegate.selectByIPAddress();
    m_addressLabel->setVisible(visible);
    m_ovMusicServerIPAddress->setVisible(visible);
}

void SettingsTabView::showServerEntries(const QStringList &entries, int selectedIndex)
{
    const QSignalBlocker blocker(m_ovDiscoveredMusicServers);
    m_ovDiscoveredMusicServers->clear();
    m_ovDiscoveredMusicServers->addItems(entries);
    m_ovDiscoveredMusicServers->setCurrentIndex(selectedIndex);
    showAddressField();
}

void SettingsTabView::restoreFields(const SettingsStore &store)
{
    m_ovMusicServerIPAddress->setText(store.string(SettingsStore::MusicServerIPAddressKey));
    m_ovITunesLibraryName->setText(store.string(SettingsStore::ITunesLibraryNameKey));
    m_ovMusicServerUserName->setText(store.string(SettingsStore::MusicServerUserNameKey));
    // Until the stored server is discovered there is no selection at all.
    showServerEntries(m_delegate.discovery().entries(), m_delegate.selectByIPAddress() ? 0 : -1);
    const int tag = m_delegate.syncEntireMusicLibrary() ? EntireLibraryTag : SelectedPlaylistsTag;
    m_syncLibraryOrPlaylist->button(tag)->setChecked(true);

    m_musicSource->setText(store.string(SettingsStore::MusicSourceKey));
    m_musicSourcePathMap->setPlainText(pathMapAsText(store.value(SettingsStore::MusicSourcePathMapKey)));
    m_restoredMusicSource = m_musicSource->text();
    m_restoredPathMap = pathMapText();
    m_restoredFields = fieldValues();
}

QString SettingsTabView::pathMapText() const
{
    return m_musicSourcePathMap->toPlainText();
}

QString SettingsTabView::password() const
{
    return m_ovMusicServerPassword->text();
}

void SettingsTabView::setPassword(const QString &password)
{
    m_ovMusicServerPassword->setText(password);
}

QVariantMap SettingsTabView::fieldValues() const
{
    QVariantMap values;
    const int index = m_ovDiscoveredMusicServers->currentIndex();
    // With no selection at all the stored name stays: the server may simply
    // not have been announced yet in this launch.
    if (index > 0)
        values.insert(SettingsStore::MusicServerNameKey, m_ovDiscoveredMusicServers->itemText(index));
    values.insert(SettingsStore::MusicServerIPAddressKey, m_ovMusicServerIPAddress->text());
    values.insert(SettingsStore::SelectByIPAddressKey, m_delegate.discovery().selectByIPAddressToSave());
    values.insert(SettingsStore::MusicServerUserNameKey, m_ovMusicServerUserName->text());
    values.insert(SettingsStore::ITunesLibraryNameKey, m_ovITunesLibraryName->text());
    values.insert(SettingsStore::SavePathEqualLocalHostKey, m_delegate.useLocalHostAsServerName());
    values.insert(SettingsStore::SyncEntireLibraryKey, m_delegate.syncEntireMusicLibrary());
    return values;
}

void SettingsTabView::saveFields(SettingsStore &store) const
{
    // Only what changed here: a value another program stored meanwhile
    // (orvanasync-cli config set) stays unless this window changed it too.
    const QVariantMap values = fieldValues();
    for (auto field = values.constKeyValueBegin(); field != values.constKeyValueEnd(); ++field) {
        const auto restored = m_restoredFields.constFind(field->first);
        if (restored == m_restoredFields.constEnd() || *restored != field->second)
            store.setValue(field->first, field->second);
    }
    writeMusicSource(store);
}

void SettingsTabView::writeMusicSource(SettingsStore &store) const
{
    if (m_musicSource->text() != m_restoredMusicSource) {
        if (m_musicSource->text().trimmed().isEmpty())
            store.remove(SettingsStore::MusicSourceKey);
        else
            store.setValue(SettingsStore::MusicSourceKey, m_musicSource->text().trimmed());
    }
    if (pathMapText() != m_restoredPathMap) {
        QStringList lines;
        for (const QString &line : pathMapText().split(u'\n')) {
            if (!line.trimmed().isEmpty())
                lines.append(line.trimmed());
        }
        if (lines.isEmpty())
            store.remove(SettingsStore::MusicSourcePathMapKey);
        else
            store.setValue(SettingsStore::MusicSourcePathMapKey, lines);
    }
}

void SettingsTabView::storeMusicSource(SettingsStore &store)
{
    writeMusicSource(store);
    m_restoredMusicSource = m_musicSource->text();
    m_restoredPathMap = pathMapText();
}
