#ifndef FFTREAL_H
#define FFTREAL_H

#include "analysis/FFTReal/DynArray.h"
#include "analysis/FFTReal/SinCosOscillator.h"

#include <cstdint>

// True when x is a power of two; x must be positive.
inline bool FFTReal_is_pow2 (std::int32_t x);

// Forward DFT of N real samples, N a power of two from 1 to 2^30, computed with real arithmetic
// only. Writing X[m] = sum over n of x[n] * exp(-j 2 pi m n / N), unscaled, the N output values
// are packed as:
//   f[0]           Re X[0]          (sum of the samples)
//   f[m]           Re X[m]          for m = 1 .. N/2 - 1
//   f[N/2]         Re X[N/2]        (alternating sum; absent for N = 1)
//   f[N/2 + m]     -Im X[m]         for m = 1 .. N/2 - 1 (sign inverted)
// Bins above N/2 are the conjugates and are not stored. The values are unscaled sums, in the
// units of the input: a cosine of amplitude A on bin m, 0 < m < N/2, gives f[m] = A N / 2.
// All tables are built by the constructor; a transform allocates nothing. A transform overwrites
// the object's work buffer, so one object runs one transform at a time. Preconditions are
// assertions; a length that is not a power of two from 1 to 2^30 also throws
// std::invalid_argument when assertions are compiled out.
//
// Why the passes are fused and blocked: written pass by pass, the transform sweeps both arrays
// k times, and from N = 2^12 on they no longer fit the first-level cache, so every pass waits on
// memory. Instead the first three passes and the next one run together while a block of 16
// stays in registers; the table passes run span by span, each span through all of its passes
// while it stays in the cache; pairs of table passes run in one sweep so the spectra between
// them never reach memory; and an oscillator pass computes its twiddles once and applies them
// to every block. Every output value still goes through the operations of the pass-by-pass
// order, in the same order, so the result is bit-identical to it.
template <class T>
class FFTReal
{
public:
    static constexpr std::int32_t MAX_BIT_DEPTH = 30;
    // Passes up to this one read their twiddle factors from the cosine table; later passes
    // rotate an oscillator instead of reading a table that would no longer fit the caches.
    static constexpr int TABLE_PASS_LIMIT = 12;

    explicit FFTReal (std::int32_t length);
    virtual ~FFTReal () = default;

    FFTReal (const FFTReal &other) = delete;
    FFTReal & operator = (const FFTReal &other) = delete;

    // f and x each hold N values and must be distinct from each other and from use_buffer ().
    // x is only read.
    void forward_fft (T f [], const T x []) const;

    T * use_buffer () const;

private:
    static constexpr double PI = 3.141592653589793;
    static constexpr double HALF_PI = 1.5707963267948966;
    static constexpr double SQRT2_2 = 0.7071067811865476;
    // log2 of the span that the early table passes process while it stays in the first-level
    // cache; the later table passes work on spans of 2^(TABLE_PASS_LIMIT + 1).
    static constexpr int L1_CHUNK_BITS = 11;
    // Twiddle factors an oscillator pass computes ahead, on the stack.
    static constexpr std::int32_t OSC_CHUNK_LEN = 512;
    // Values of one block of the first passes (passes 1 to 3 and table pass 3).
    static constexpr int BLOCK = 16;
    // Blocks that the first passes process side by side.
    static constexpr int LANES = 4;

    static std::int32_t bits_of (std::int32_t length);
    void init_bit_rev_table ();
    void init_cos_table ();
    void init_oscillators ();

    void compute_general (T f [], const T x []) const;
    void compute_spectra_16 (T * __restrict d, const T * __restrict x) const;
    static void compute_spectrum_8 (T * __restrict out, const T * __restrict x,
                                    const std::int32_t * __restrict rev, std::int32_t c);
    static void compute_spectra_16_lanes (T * __restrict dr, const T * __restrict xr,
                                          const std::int32_t * __restrict rev, const T (&co) [4]);
    void compute_table_passes (int first, int end, int pairs, T d [], T s [],
                               std::int32_t len) const;
    void compute_table_pass (int pass, T d [], const T s [], std::int32_t len) const;
    void compute_table_pass_pair (int pass, T d [], const T s [], std::int32_t len) const;
    void compute_oscillator_pass (int pass, T d [], const T s []) const;

    static void butterfly (T da [], const T sa [], std::int32_t n, std::int32_t i, T co, T si);
    static void combine_extremes (T da [], const T sa [], std::int32_t n);
    static void combine_blocks (T da [], const T sa [], std::int32_t n, std::int32_t first,
                                std::int32_t count, const T co [], const T si_rev []);

    std::int32_t _length;
    std::int32_t _nbr_bits;
    DynArray <std::int32_t> _bit_rev_table;
    DynArray <T> _cos_table;
    mutable DynArray <T> _work_buffer;
    mutable DynArray <SinCosOscillator <T> > _oscillators;
};

#include "analysis/FFTReal/FFTReal.hpp"

#endif
