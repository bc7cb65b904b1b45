#pragma once

#include <QString>

// The committed audio fixtures (made by tools/fixtures/make-audio-fixtures.sh).
class AudioFixtures {
public:
    // Path of tests/itunes/data/<name>.
    static QString path(const QString &name);
    // Copies the fixture to destination, creating folders; fails the test otherwise.
    static void copy(const QString &name, const QString &destination);
};
