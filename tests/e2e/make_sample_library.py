#!/usr/bin/env python3
"""Makes a sample music library for demonstrations and end-to-end tests.

Layout under the target folder:
  Music/<artist>/<album>/<nn title>.<ext>   tagged audio files (copied from the
                                            project's audio fixtures)
  Music/<artist>/<album>/cover.jpg          the album's cover
  Library.xml                               a library export describing them,
                                            with two user playlists

Usage: make_sample_library.py FOLDER [--tracks N] [--size BYTES] [--albums A]
                              [--playlists P --playlist-length L]
--tracks N makes N extra filler tracks (for load tests), padded to BYTES each,
spread over A albums of four albums per artist (one album by default);
--playlists P adds P playlists of L filler tracks each.
"""
import argparse
import os
import pathlib
import shutil
import urllib.parse
from xml.sax.saxutils import escape

ROOT = pathlib.Path(__file__).resolve().parents[2]
FIXTURES = ROOT / "tests" / "itunes" / "data"

ALBUMS = [
    ("Ann Arbor", "First Light", "cover-red.jpg",
     [("Morning", "song.mp3", "mp3"), ("Noon", "song.m4a", "m4a"), ("Evening", "song.flac", "flac")]),
    ("Bob & The Bells", "Second <Wind>", "cover-red.jpg",
     [("Ring", "song.mp3", "mp3"), ("Chime", "song.mp3", "mp3")]),
]


def plist_value(value):
    if isinstance(value, bool):
        return "<true/>" if value else "<false/>"
    if isinstance(value, int):
        return "<integer>%d</integer>" % value
    return "<string>%s</string>" % escape(value)


def plist_dict(fields):
    return "<dict>" + "".join("<key>%s</key>%s" % (escape(k), plist_value(v)) for k, v in fields) + "</dict>"


def playlist(name, persistent_id, track_ids, master=False):
    fields = [("Name", name)]
    if master:
        fields.append(("Master", True))
    fields.append(("Playlist Persistent ID", persistent_id))
    items = "".join("<dict><key>Track ID</key><integer>%d</integer></dict>" % t for t in track_ids)
    return plist_dict(fields)[:-len("</dict>")] + "<key>Playlist Items</key><array>%s</array></dict>" % items


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--tracks", type=int, default=0)
    parser.add_argument("--size", type=int, default=0)
    parser.add_argument("--albums", type=int, default=1)
    parser.add_argument("--playlists", type=int, default=0)
    parser.add_argument("--playlist-length", type=int, default=0)
    args = parser.parse_args()
    folder = pathlib.Path(args.folder).resolve()
    music = folder / "Music"
    music.mkdir(parents=True, exist_ok=True)

    tracks = []  # (track id, fields)
    next_id = 100

    def add_track(artist, album, title, number, path, ext):
        nonlocal next_id
        next_id += 1
        tracks.append((next_id, [
            ("Track ID", next_id),
            ("Name", title),
            ("Artist", artist),
            ("Album Artist", artist),
            ("Album", album),
            ("Genre", "Demo"),
            ("Size", path.stat().st_size),
            ("Total Time", 1000),
            ("Track Number", number),
            ("Year", 2026),
            ("Persistent ID", "%016X" % (0xA000 + next_id)),
            ("Location", "file://" + urllib.parse.quote(str(path))),
        ]))
        return next_id

    album_tracks = []
    for artist, album, cover, songs in ALBUMS:
        album_dir = music / artist / album
        album_dir.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(FIXTURES / cover, album_dir / "cover.jpg")
        ids = []
        for number, (title, fixture, ext) in enumerate(songs, start=1):
            path = album_dir / ("%02d %s.%s" % (number, title, ext))
            shutil.copyfile(FIXTURES / fixture, path)
            ids.append(add_track(artist, album, title, number, path, ext))
        album_tracks.append(ids)

    filler_ids = []
    if args.tracks:
        source = (FIXTURES / "song.mp3").read_bytes()
        albums = max(1, args.albums)
        for number in range(1, args.tracks + 1):
            album = (number - 1) % albums
            if albums == 1:
                artist, title = "Filler Artist", "Filler Album"
            else:
                artist, title = "Filler Artist %d" % (album // 4), "Filler Album %d" % album
            album_dir = music / artist / title
            if number <= albums:
                album_dir.mkdir(parents=True, exist_ok=True)
            path = album_dir / ("%03d Filler.mp3" % number)
            data = source + os.urandom(max(0, args.size - len(source)))
            path.write_bytes(data)
            filler_ids.append(add_track(artist, title, "Filler %d" % number, number, path, "mp3"))

    all_ids = [t for t, _ in tracks]
    playlists = [
        playlist("Library", "00000000000000AA", all_ids, master=True),
        playlist("Morning Mix", "00000000000000B1", [album_tracks[0][0], album_tracks[1][0]]),
        playlist("Bells Only", "00000000000000B2", album_tracks[1]),
    ]
    for index in range(args.playlists):
        start = index * args.playlist_length % max(1, len(filler_ids))
        members = (filler_ids[start:] + filler_ids[:start])[:args.playlist_length]
        playlists.append(playlist("Filler Mix %d" % index, "%016X" % (0xC000 + index), members))
    xml = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<plist version="1.0">',
           "<dict><key>Major Version</key><integer>1</integer>",
           "<key>Application Version</key><string>12.0</string>",
           "<key>Music Folder</key><string>file://%s/</string>" % urllib.parse.quote(str(music)),
           "<key>Tracks</key><dict>"]
    for track_id, fields in tracks:
        xml.append("<key>%d</key>%s" % (track_id, plist_dict(fields)))
    xml.append("</dict><key>Playlists</key><array>")
    xml.extend(playlists)
    xml.append("</array></dict></plist>")
    temporary = folder / ".Library.xml.tmp"
    temporary.write_text("\n".join(xml) + "\n", encoding="utf-8")
    temporary.replace(folder / "Library.xml")
    print(folder / "Library.xml")


if __name__ == "__main__":
    main()
