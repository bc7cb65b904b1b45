#include "library/CharacterSet.h"

CharacterSet::CharacterSet()
    : m_units(std::make_shared<std::bitset<65536>>())
{
}

void CharacterSet::addRange(char16_t first, char16_t last)
{
    if (m_units.use_count() > 1)
        m_units = std::make_shared<std::bitset<65536>>(*m_units);
    for (unsigned unit = first; unit <= last; ++unit)
        m_units->set(unit);
}

void CharacterSet::addCharacters(QStringView characters)
{
    for (QChar character : characters)
        addRange(character.unicode(), character.unicode());
}

CharacterSet CharacterSet::inverted() const
{
    CharacterSet result;
    *result.m_units = ~*m_units;
    return result;
}
