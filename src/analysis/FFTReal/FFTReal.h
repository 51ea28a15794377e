#ifndef FFTREAL_H
#define FFTREAL_H

#include "analysis/FFTReal/DynArray.h"
#include "analysis/FFTReal/SinCosOscillator.h"

#include <cstdint>

// The passes are compiled twice on x86 with GCC or Clang, once for AVX2, and the faster copy is
// chosen at run time. Both copies run the same operations in the same order, and AVX2 brings no
// fused multiply-add, so they give the same results. Defining FFTREAL_NO_AVX2 keeps the
// portable copy only.
#if defined (__GNUC__) && (defined (__x86_64__) || defined (__i386__)) \
    && ! defined (FFTREAL_NO_AVX2)
#define FFTREAL_AVX2_DISPATCH
#endif

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
// assertions.
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

    std::int32_t get_length () const;
    std::int32_t get_nbr_bits () const;

    // f and x each hold N values and must be distinct from each other and from use_buffer ().
    // x is only read.
    void forward_fft (T f [], const T x []) const;

    T * use_buffer () const;

    // Read-only views of the tables, for inspection.
    const DynArray <std::int32_t> & get_bit_rev_table () const;
    const DynArray <T> & get_cos_table () const;

private:
    static constexpr double PI = 3.141592653589793;
    static constexpr double HALF_PI = 1.5707963267948966;
    static constexpr double SQRT2_2 = 0.7071067811865476;
    // log2 of the span that the early table passes process while it stays in the first-level
    // cache; the later table passes work on spans of 2^(TABLE_PASS_LIMIT + 1).
    static constexpr int L1_CHUNK_BITS = 11;
    // Twiddle factors an oscillator pass computes ahead, on the stack.
    static constexpr std::int32_t OSC_CHUNK_LEN = 512;
    // Blocks of 16 that the first passes process side by side.
    static constexpr int LANES = 4;

    void init_bit_rev_table ();
    void init_cos_table ();
    void init_oscillators ();

    void compute_general_default (T f [], const T x []) const;
#if defined (FFTREAL_AVX2_DISPATCH)
    static bool cpu_has_avx2 ();
    __attribute__ ((target ("avx2"))) void compute_general_avx2 (T f [], const T x []) const;
#endif
    void compute_general (T f [], const T x []) const;

    void compute_spectra_8 (T * __restrict s, const T * __restrict x) const;
    void compute_spectra_16 (T * __restrict d, const T * __restrict x) const;
    static void compute_spectrum_8 (T * __restrict out, const T * __restrict x,
                                    const std::int32_t * __restrict rev, std::int32_t c);
    static void compute_spectra_16_lanes (T * __restrict dr, const T * __restrict xr,
                                          const std::int32_t * __restrict rev,
                                          T co_1, T co_2, T co_3);
    void compute_table_passes (int first, int end, int pairs, T d [], T s [],
                               std::int32_t len) const;
    void compute_table_pass (int pass, T d [], const T s [], std::int32_t len) const;
    void compute_table_pass_pair (int pass, T d [], const T s [], std::int32_t len) const;
    void compute_oscillator_pass (int pass, T d [], const T s []) const;

    static void butterfly (T * __restrict da, const T * __restrict sa,
                           std::int32_t n, std::int32_t i, T co, T si);
    static void combine_extremes (T * __restrict da, const T * __restrict sa, std::int32_t n);
    static void combine_blocks (T * __restrict da_lo, T * __restrict da_hi,
                                T * __restrict db_lo, T * __restrict db_hi,
                                const T * __restrict sa_re, const T * __restrict sa_im,
                                const T * __restrict sb_re, const T * __restrict sb_im,
                                const T * __restrict co, const T * __restrict si_rev,
                                std::int32_t count);
    static void combine_block_pairs (T * __restrict g_i, T * __restrict g_2n_mi,
                                     T * __restrict g_2n_pi, T * __restrict g_4n_mi,
                                     T * __restrict g_n_mi, T * __restrict g_n_pi,
                                     T * __restrict g_3n_mi, T * __restrict g_3n_pi,
                                     const T * __restrict a_re, const T * __restrict a_im,
                                     const T * __restrict b_re, const T * __restrict b_im,
                                     const T * __restrict c_re, const T * __restrict c_im,
                                     const T * __restrict d_re, const T * __restrict d_im,
                                     const T * __restrict co_1, const T * __restrict si_1_rev,
                                     const T * __restrict co_2, const T * __restrict si_2_rev,
                                     std::int32_t count);

    std::int32_t _length;
    std::int32_t _nbr_bits;
    DynArray <std::int32_t> _bit_rev_table;
    DynArray <T> _cos_table;
    mutable DynArray <T> _work_buffer;
    mutable DynArray <SinCosOscillator <T> > _oscillators;
};

#include "analysis/FFTReal/FFTReal.hpp"

#endif
