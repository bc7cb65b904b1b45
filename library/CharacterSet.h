#pragma once

#include <QStringView>

#include <bitset>
#include <memory>

// A set of UTF-16 code units, tested one unit at a time (no normalisation).
class CharacterSet {
public:
    CharacterSet();

    void addRange(char16_t first, char16_t last);
    void addCharacters(QStringView characters);
    // Every code unit that is not in this set.
    CharacterSet inverted() const;
    bool contains(char16_t unit) const { return m_units->test(unit); }

private:
    // Shared so that copies of the 8 KB table are cheap; never changed after
    // it has been copied.
    std::shared_ptr<std::bitset<65536>> m_units;
};
