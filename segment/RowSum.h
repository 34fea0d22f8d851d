#ifndef MORV_SEGMENT_ROWSUM_H
#define MORV_SEGMENT_ROWSUM_H

// Sums of int16 weight rows into int32 lanes, the arithmetic the character
// models spend most of their time in. Integer addition is exact, so the SSE2
// path and the portable one give the same sums bit for bit; the portable one
// stays for other targets and as the reference the tests compare against.
#include <cstddef>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rowsum {

// acc[l] += row[l] for l < width (any width, rows need no alignment).
inline void AddScalar(int32_t* acc, const int16_t* row, size_t width)
{
    for (size_t l = 0; l < width; ++l)
        acc[l] += row[l];
}

inline void Add(int32_t* acc, const int16_t* row, size_t width)
{
#if defined(__SSE2__)
    size_t l = 0;
    for (; l + 8 <= width; l += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + l));
        // Sign-extend: put each int16 in the high half of a lane, shift down.
        const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
        const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16);
        __m128i* a = reinterpret_cast<__m128i*>(acc + l);
        _mm_storeu_si128(a, _mm_add_epi32(_mm_loadu_si128(a), lo));
        _mm_storeu_si128(a + 1, _mm_add_epi32(_mm_loadu_si128(a + 1), hi));
    }
    if (l + 4 <= width) {
        const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + l));
        const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
        __m128i* a = reinterpret_cast<__m128i*>(acc + l);
        _mm_storeu_si128(a, _mm_add_epi32(_mm_loadu_si128(a), lo));
        l += 4;
    }
    for (; l < width; ++l)
        acc[l] += row[l];
#else
    AddScalar(acc, row, width);
#endif
}

// Four lanes kept in a register across several rows: the character model's
// rows are four labels wide.
struct Sum4 {
#if defined(__SSE2__)
    __m128i v = _mm_setzero_si128();
    void Add(const int16_t* row)
    {
        const __m128i r = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row));
        v = _mm_add_epi32(v, _mm_srai_epi32(_mm_unpacklo_epi16(r, r), 16));
    }
    // Two rows at once: interleaved, each pair of lanes is summed into one
    // int32 lane by a multiply-add with ones (exact: no product overflows).
    void Add2(const int16_t* a, const int16_t* b)
    {
        const __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a));
        const __m128i y = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b));
        v = _mm_add_epi32(v, _mm_madd_epi16(_mm_unpacklo_epi16(x, y), _mm_set1_epi16(1)));
    }
    void Store(int32_t* out) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v); }
    // out[l] = float(sum[l]) * scale, rounded as the scalar conversion and
    // product round them.
    void StoreScaled(float* out, float scale) const
    {
        _mm_storeu_ps(out, _mm_mul_ps(_mm_cvtepi32_ps(v), _mm_set1_ps(scale)));
    }
#else
    int32_t v[4] = {0, 0, 0, 0};
    void Add(const int16_t* row) { AddScalar(v, row, 4); }
    void Add2(const int16_t* a, const int16_t* b)
    {
        AddScalar(v, a, 4);
        AddScalar(v, b, 4);
    }
    void Store(int32_t* out) const
    {
        for (int l = 0; l < 4; ++l)
            out[l] = v[l];
    }
    void StoreScaled(float* out, float scale) const
    {
        for (int l = 0; l < 4; ++l)
            out[l] = static_cast<float>(v[l]) * scale;
    }
#endif
};

} // namespace rowsum

#endif
