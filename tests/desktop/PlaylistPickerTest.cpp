#include "desktop/LoadView.h"
#include "desktop/PlaylistTableView.h"
#include "library/Playlist.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

std::shared_ptr<Playlist> playlist(const QString &id, const QString &name)
{
    auto made = std::make_shared<Playlist>();
    made->setPersistentId(id);
    made->setName(name);
    return made;
}

QStringList keysOf(const std::optional<PlaylistTableView::PlaylistMap> &map)
{
    return map ? map->keys() : QStringList{QStringLiteral("<none>")};
}

class PlaylistPickerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        table.setSelectAllPlaylists(&tickAll);
        table.setUnselectAllPlaylists(&untickAll);
        // Two playlists of the same name are told apart by their IDs.
        table.setPlaylists({playlist(QStringLiteral("P1"), QStringLiteral("Mix")),
                            playlist(QStringLiteral("P2"), QStringLiteral("Mix")),
                            playlist(QStringLiteral("P3"), QStringLiteral("Jazz"))});
        table.resize(300, 200);
        table.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    }

    // What a user does: pick the row and press Space on its check box.
    void pressCheckBox(int row)
    {
        table.setCurrentIndex(table.model()->index(row, 0));
        QTest::keyClick(&table, Qt::Key_Space);
    }
    Qt::CheckState shownState(int row) const
    {
        return Qt::CheckState(table.model()->index(row, 0).data(Qt::CheckStateRole).toInt());
    }

    PlaylistTableView table;
    QPushButton tickAll;
    QPushButton untickAll;
};

TEST_F(PlaylistPickerTest, RowsShowTheNamesAndEveryRowStartsUnticked)
{
    EXPECT_EQ(table.numberOfRowsInTableView(), 3);
    EXPECT_EQ(table.model()->columnCount(), 1);
    EXPECT_EQ(table.model()->index(1, 0).data().toString(), QStringLiteral("Mix"));
    EXPECT_FALSE(table.selectedPlaylists().has_value());
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(shownState(row), Qt::Unchecked);
}

TEST_F(PlaylistPickerTest, ACheckBoxTogglesItsPlaylistOnlyByPersistentId)
{
    QSignalSpy changes(&table, &PlaylistTableView::selectedPlaylistsChanged);
    pressCheckBox(1);
    EXPECT_EQ(keysOf(table.selectedPlaylists()), QStringList{QStringLiteral("P2")});
    EXPECT_EQ(shownState(0), Qt::Unchecked) << "the other \"Mix\" stays unticked";
    EXPECT_EQ(shownState(1), Qt::Checked);
    pressCheckBox(0);
    EXPECT_EQ(keysOf(table.selectedPlaylists()), (QStringList{QStringLiteral("P1"), QStringLiteral("P2")}));
    pressCheckBox(1);
    EXPECT_EQ(keysOf(table.selectedPlaylists()), QStringList{QStringLiteral("P1")});
    EXPECT_EQ(shownState(1), Qt::Unchecked);
    pressCheckBox(1);
    EXPECT_EQ(keysOf(table.selectedPlaylists()), (QStringList{QStringLiteral("P1"), QStringLiteral("P2")}));
    EXPECT_EQ(changes.count(), 4);
}

TEST_F(PlaylistPickerTest, AMouseClickOnTheCheckBoxTicksTheRow)
{
    const QModelIndex index = table.model()->index(2, 0);
    QStyleOptionViewItem option;
    option.initFrom(&table);
    option.rect = table.visualRect(index);
    option.features |= QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = index.data().toString();
    const QRect box = table.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &table);
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, box.center());
    EXPECT_EQ(keysOf(table.selectedPlaylists()), QStringList{QStringLiteral("P3")});
}

TEST_F(PlaylistPickerTest, TickAllThenUntickAllLeavesAnEmptyMapNotNone)
{
    QTest::mouseClick(&tickAll, Qt::LeftButton);
    EXPECT_EQ(keysOf(table.selectedPlaylists()),
              (QStringList{QStringLiteral("P1"), QStringLiteral("P2"), QStringLiteral("P3")}));
    EXPECT_EQ(shownState(2), Qt::Checked);
    QTest::mouseClick(&untickAll, Qt::LeftButton);
    ASSERT_TRUE(table.selectedPlaylists().has_value());
    EXPECT_TRUE(table.selectedPlaylists()->isEmpty());
    EXPECT_EQ(shownState(0), Qt::Unchecked);
}

TEST_F(PlaylistPickerTest, UntickAllBeforeAnythingWasTickedDoesNothing)
{
    QSignalSpy changes(&table, &PlaylistTableView::selectedPlaylistsChanged);
    QTest::mouseClick(&untickAll, Qt::LeftButton);
    EXPECT_FALSE(table.selectedPlaylists().has_value());
    EXPECT_EQ(changes.count(), 0);
}

TEST_F(PlaylistPickerTest, StoredIdsOfVanishedPlaylistsStayThroughToggles)
{
    PlaylistTableView::PlaylistMap stored;
    stored.insert(QStringLiteral("GONE"), playlist(QStringLiteral("GONE"), QStringLiteral("Old")));
    stored.insert(QStringLiteral("P3"), playlist(QStringLiteral("P3"), QStringLiteral("Jazz")));
    table.setSelectedPlaylists(stored);
    EXPECT_EQ(shownState(2), Qt::Checked);
    pressCheckBox(2);
    pressCheckBox(0);
    EXPECT_EQ(keysOf(table.selectedPlaylists()), (QStringList{QStringLiteral("GONE"), QStringLiteral("P1")}));
    // Tick all starts from an empty map: only the rows remain.
    QTest::mouseClick(&tickAll, Qt::LeftButton);
    EXPECT_FALSE(table.selectedPlaylists()->contains(QStringLiteral("GONE")));
}

TEST_F(PlaylistPickerTest, NoCurrentRowTogglesNothing)
{
    table.setCurrentIndex({});
    table.onCheckmarkSelected();
    EXPECT_FALSE(table.selectedPlaylists().has_value());
}

TEST(LoadViewTest, StartsHiddenAndShowKeepsTheTextWhenGivenNone)
{
    LoadView view;
    EXPECT_TRUE(view.isHidden());
    EXPECT_EQ(view.activityIndicator()->maximum(), 0) << "a busy indicator";
    view.show(QStringLiteral("Loading..."));
    EXPECT_TRUE(view.isVisible());
    EXPECT_EQ(view.activityIndicatorLabel()->text(), QStringLiteral("Loading..."));
    view.hide();
    view.show(QString());
    EXPECT_TRUE(view.isVisible());
    EXPECT_EQ(view.activityIndicatorLabel()->text(), QStringLiteral("Loading..."));
    view.hide();
    EXPECT_TRUE(view.isHidden());
}

} // namespace
