#include "xml/ControlCharacterFilter.h"

#include <utility>

namespace {

constexpr qsizetype LongestReference = 12; // "&#x0000001F;"

bool isDisallowedControl(quint64 value)
{
    return value < 0x20 && value != '\t' && value != '\n' && value != '\r';
}

enum class Reference { Disallowed, Other, Incomplete };

// What the character reference starting at text[0] ("&#") is.
Reference judgeReference(QByteArrayView text, qsizetype *length)
{
    if (text.size() < 2)
        return Reference::Incomplete;
    qsizetype index = 2;
    const bool hex = index < text.size() && text[index] == 'x';
    if (hex)
        ++index;
    quint64 value = 0;
    const qsizetype digitsStart = index;
    for (; index < text.size() && index < LongestReference; ++index) {
        const char character = text[index];
        quint64 digit;
        if (character >= '0' && character <= '9')
            digit = quint64(character - '0');
        else if (hex && character >= 'a' && character <= 'f')
            digit = quint64(character - 'a' + 10);
        else if (hex && character >= 'A' && character <= 'F')
            digit = quint64(character - 'A' + 10);
        else
            break;
        value = value * (hex ? 16 : 10) + digit;
    }
    if (index == text.size() && index < LongestReference)
        return Reference::Incomplete;
    if (index == digitsStart || index >= text.size() || text[index] != ';' || value >= 0x20)
        return Reference::Other;
    *length = index + 1;
    return value == 0 || isDisallowedControl(value) ? Reference::Disallowed : Reference::Other;
}

} // namespace

void ControlCharacterFilter::drop()
{
    if (m_dropped++ == 0)
        m_firstDroppedLine = m_line;
}

QByteArrayView ControlCharacterFilter::filter(QByteArrayView piece, bool last)
{
    if (!m_started && !piece.isEmpty()) {
        m_started = true;
        const auto byte = [&piece](qsizetype index) { return index < piece.size() ? uchar(piece[index]) : 0xFF; };
        // Byte order marks of UTF-16 and UTF-32, and the zero bytes of
        // their "<?xml" without one.
        m_passThrough = (byte(0) == 0xFE && byte(1) == 0xFF) || (byte(0) == 0xFF && byte(1) == 0xFE) || byte(0) == 0
            || byte(1) == 0;
    }
    if (m_passThrough)
        return piece;
    QByteArray input;
    if (!m_heldBack.isEmpty()) {
        input = std::exchange(m_heldBack, QByteArray());
        input.append(piece);
        piece = input;
    }
    m_output.resize(0);
    m_output.reserve(piece.size());
    qsizetype copiedUpTo = 0;
    const auto copyUpTo = [&](qsizetype end) {
        m_output.append(piece.sliced(copiedUpTo, end - copiedUpTo));
    };
    for (qsizetype index = 0; index < piece.size(); ++index) {
        const uchar character = uchar(piece[index]);
        if (character == '\n') {
            ++m_line;
        } else if (character != 0 && isDisallowedControl(character)) {
            copyUpTo(index);
            copiedUpTo = index + 1;
            drop();
        } else if (character == '&' && (index + 1 == piece.size() || piece[index + 1] == '#')) {
            qsizetype length = 0;
            switch (judgeReference(piece.sliced(index), &length)) {
            case Reference::Disallowed:
                copyUpTo(index);
                copiedUpTo = index + length;
                index += length - 1;
                drop();
                break;
            case Reference::Incomplete:
                if (last)
                    break;
                copyUpTo(index);
                m_heldBack = piece.sliced(index).toByteArray();
                return m_output;
            case Reference::Other:
                break;
            }
        }
    }
    copyUpTo(piece.size());
    return m_output;
}
