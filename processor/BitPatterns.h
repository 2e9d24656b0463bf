#pragma once

#include <cstring>
#include <type_traits>

// Comparisons of bit patterns, for caches and change checks whose result must be the very one the inputs give. Two
// floats can compare equal and still give different results (0.0 and -0.0 divide to opposite infinities), and a NaN
// compares unequal even to itself while the same NaN gives the same result every time: only the bits tell whether a
// result worked out earlier stands for a new one. In a namespace of their own: a file's own helper of the same name
// does not clash with them.
namespace bit_patterns
{
/** True when a and b hold the same bits. For values without padding: floats, integers, enums, pointers. */
template <typename T>
inline bool sameBits (const T& a, const T& b) noexcept
{
    static_assert (std::is_trivially_copyable_v<T>, "compares the object representation");
    return std::memcmp (&a, &b, sizeof (T)) == 0;
}

/** True when the count floats from a and from b hold the same bits (a count of 0 or less compares nothing). */
inline bool sameBits (const float* a, const float* b, int count) noexcept
{
    return count <= 0 || std::memcmp (a, b, sizeof (float) * (size_t) count) == 0;
}
} // namespace bit_patterns
