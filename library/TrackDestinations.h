#pragma once

#include "library/CharacterSet.h"
#include "library/LibraryModel.h"
#include "library/Track.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

// The one rule for where a track's file goes on the share, used by the copy
// and by the dry run: <musicFolder>/<artistPath>/<albumPath>/<songPath>, the
// last three components of the track's location with every character of the
// removed set dropped.
//
// Where dropping characters leaves a name empty (a name in another script,
// symbols only), the name is transliterated to ASCII instead, else it becomes
// "Unknown Artist", "Unknown Album" or, for a file, the persistent ID with the
// file's extension. No two tracks of the library share one file: a track the
// previous library file listed keeps the path it was listed with, the first
// track (in library order) keeps a path claimed by several, and the others
// get their persistent ID in the file name, as does a new track whose path
// holds a file of another size on the share. A name longer than 255 bytes
// (transliteration can lengthen one) is cut to fit, its extension kept.
class TrackDestinations {
public:
    using TrackMap = LibraryModel::TrackMap;

    struct Destination {
        QString artistPath;
        QString albumPath;
        QString songPath;
        // Null when the destination is safe; else why the file is not copied.
        QString refusal;
        // Whether the file is to be copied: the track is new, or its listed
        // path had to change and nothing is at the new one.
        bool needsCopy = false;
        // Nothing was at the destination when it was planned, so the copy
        // need not look again (its no-replace rename still keeps whatever
        // appears there meanwhile).
        bool foundAbsent = false;
        // For a destination found absent: the name the track takes instead
        // when a file of another size turns up there before the copy lands
        // (another run copying at the same time); null when it has none.
        QString songPathIfTaken;

        QString relativePath() const { return artistPath + u'/' + albumPath + u'/' + songPath; }
    };

    TrackDestinations(CharacterSet removed, QString musicFolder);

    // Plans every track of the library, in sortedTracks order, and sets the
    // three components of each track whose location has at least three
    // components (the others get null components: they are not listed).
    void plan(const TrackMap &tracks, const QStringList &sortedTracks);
    // The planned tracks in sortedTracks order, null where the library has
    // no track of that identifier; valid while the tracks stay as planned.
    const std::vector<Track *> &plannedTracks() const { return m_planned; }
    // The planned destination of track, checked against the share when it
    // is to be copied; none for a track that is not listed.
    std::optional<Destination> destinationOf(const Track &track) const;

    // name without the characters of removed; none for none.
    static QString withoutCharacters(const CharacterSet &removed, const QString &name);
    // Why a file at musicFolder/artistPath/albumPath/songPath would not be
    // safe to write; null when it is.
    static QString unsafeReason(const QString &musicFolder, const QString &artistPath, const QString &albumPath,
                                const QString &songPath);
    // text in ASCII letters (any script to Latin, accents dropped).
    static QString transliterated(const QString &text);
    // The share-relative path ("artist/album/song") of a library file's
    // Location (\\server\share\Music\artist\album\song); null for another form.
    static QString listedPathOfLocation(const QString &location);

private:
    QString folderName(const QString &component, const QString &unknown) const;
    QString fileName(const QString &component, const QString &persistentId) const;
    QString sanitised(const QString &name) const { return withoutCharacters(m_removed, name); }
    bool isAcceptableListedPart(QStringView part) const;
    bool isOnShare(const Destination &destination, const QString &path) const;
    // songPath with the track's persistent ID in it; null when it has one
    // already or the ID leaves no name.
    QString nameOfItsOwn(const QString &songPath, const Track &track) const;
    // How many times over a track's file can have changed and still get a
    // name of its own beside its older copies.
    static constexpr int MaximumNumberedNames = 99;

    CharacterSet m_removed;
    QString m_musicFolder;
    // Tracks the previous library file listed at a path they had to leave.
    QSet<const Track *> m_moved;
    std::vector<Track *> m_planned;
    // Whether each album folder ("artist/album") looked at was there. One
    // that was missing holds nothing but what this run copies into it, each
    // file at a path of its own, so its files need no look of their own:
    // over SMB each look is a round trip.
    mutable QHash<QString, bool> m_albumFolderPresent;
};
