#pragma once

#include <QtGlobal>

namespace Quorvane {

// The SplitMix64 generator. Its sequence is the same on every compiler and platform, which the
// stored address pieces, the sample pages and the generated test pages all depend on.
struct SplitMix64
{
    static constexpr quint64 Increment = 0x9e3779b97f4a7c15ULL;

    quint64 state = 0;

    constexpr quint64 next()
    {
        quint64 z = (state += Increment);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
};

} // namespace Quorvane
