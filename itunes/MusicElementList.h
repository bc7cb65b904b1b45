#pragma once

#include "itunes/MusicSourceError.h"

#include <QString>

#include <climits>
#include <functional>
#include <memory>
#include <vector>

// A lazy list of source objects: counting it is cheap, get() resolves the
// whole (sub)list in one request to the source.
template <class T>
class MusicElementList {
public:
    using Element = std::shared_ptr<T>;
    using Elements = std::vector<Element>;
    // Resolves elements [start, start + length) of the underlying list.
    using Resolver = std::function<Elements(qsizetype start, qsizetype length)>;

    MusicElementList() = default;
    MusicElementList(qsizetype size, Resolver resolver)
        : m_length(size < 0 ? 0 : size), m_resolver(std::move(resolver)) {}

    // A list over objects that are already at hand.
    static MusicElementList of(Elements elements)
    {
        auto shared = std::make_shared<const Elements>(std::move(elements));
        const qsizetype size = qsizetype(shared->size());
        return MusicElementList(size, [shared](qsizetype start, qsizetype length) {
            return Elements(shared->begin() + start, shared->begin() + start + length);
        });
    }

    int count() const { return m_length > INT_MAX ? INT_MAX : int(m_length); }
    qsizetype size() const { return m_length; }

    Element objectAtIndex(qsizetype index) const
    {
        if (index < 0 || index >= m_length)
            throw MusicSourceError(QStringLiteral("index %1 out of range 0..%2").arg(index).arg(m_length));
        Elements one = resolve(m_offset + index, 1);
        return one.empty() ? nullptr : one.front();
    }

    // The elements start .. start + length - 1, still unresolved.
    MusicElementList subarrayWithRange(qsizetype start, qsizetype length) const
    {
        if (start < 0 || length < 0 || start > m_length || length > m_length - start)
            throw MusicSourceError(QStringLiteral("range (%1, %2) out of range 0..%3").arg(start).arg(length).arg(m_length));
        MusicElementList sub = *this;
        sub.m_offset = m_offset + start;
        sub.m_length = length;
        return sub;
    }

    Elements get() const { return m_length == 0 ? Elements() : resolve(m_offset, m_length); }

private:
    Elements resolve(qsizetype start, qsizetype length) const
    {
        if (!m_resolver)
            return {};
        Elements elements = m_resolver(start, length);
        if (qsizetype(elements.size()) != length)
            throw MusicSourceError(QStringLiteral("source answered %1 of %2 elements").arg(elements.size()).arg(length));
        return elements;
    }

    qsizetype m_offset = 0;
    qsizetype m_length = 0;
    Resolver m_resolver;
};
