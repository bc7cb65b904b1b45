#pragma once

#include <QByteArray>

// Image bytes whose header claims 65,500 x 65,500 pixels (some 16 GB once
// decoded) followed by a little data: a PNG and a 24-bit BMP.
class ImageFixtures {
public:
    static QByteArray hugePngHeader();
    static QByteArray hugeBmpHeader();
};
