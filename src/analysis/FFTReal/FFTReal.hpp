// Template bodies of FFTReal; included by FFTReal.h only.

#include <algorithm>
#include <cassert>
#include <cmath>
#include <stdexcept>
#include <utility>

inline bool FFTReal_is_pow2 (std::int32_t x)
{
    assert (x > 0);
    return (x & -x) == x;
}

template <class T>
FFTReal <T>::FFTReal (std::int32_t length)
:   _length (length)
,   _nbr_bits (bits_of (length))
,   _bit_rev_table ()
,   _cos_table ()
,   _work_buffer ()
,   _oscillators ()
{
    assert (FFTReal_is_pow2 (length));
    assert (_nbr_bits <= MAX_BIT_DEPTH);
    if (_nbr_bits > MAX_BIT_DEPTH || (std::int32_t (1) << _nbr_bits) != length)
    {
        throw std::invalid_argument ("FFTReal: the length must be a power of two from 1 to 2^30");
    }

    _work_buffer.resize (_length);
    init_bit_rev_table ();
    init_cos_table ();
    init_oscillators ();
}

// k for a length of 2^k. Unsigned, so that a length of 0 or below still ends the count (at 31
// or 32 bits).
template <class T>
std::int32_t FFTReal <T>::bits_of (std::int32_t length)
{
    std::uint32_t v = std::uint32_t (length) - 1u;
    std::int32_t count = 0;
    while ((v & ~0xFFFF) != 0)
    {
        v >>= 16;
        count += 16;
    }
    while ((v & ~0xF) != 0)
    {
        v >>= 4;
        count += 4;
    }
    while (v > 0)
    {
        v >>= 1;
        ++ count;
    }
    return count;
}

template <class T>
T * FFTReal <T>::use_buffer () const
{
    return &_work_buffer [0];
}

// Counts upward in reversed bit order: adding one from the top bit down. Lengths up to 32 read
// every entry; longer ones assemble each index from the entries below max (N/16, 16).
template <class T>
void FFTReal <T>::init_bit_rev_table ()
{
    const std::int32_t used = _length <= 32 ? _length : std::max (_length >> 4, std::int32_t (16));
    _bit_rev_table.resize (used);
    _bit_rev_table [0] = 0;
    std::int32_t rev = 0;
    for (std::int32_t c = 1; c < used; ++ c)
    {
        std::int32_t bit = _length >> 1;
        for (;;)
        {
            rev ^= bit;
            if ((rev & bit) != 0)
            {
                break;
            }
            bit >>= 1;
        }
        _bit_rev_table [c] = rev;
    }
}

// One segment per level l = 3 .. min (k - 1, TABLE_PASS_LIMIT): cos (i * pi / 2^l) for
// i = 0 .. 2^(l-1) - 1, starting at index 2^(l-1) - 4. Later passes rotate oscillators and read
// no table.
template <class T>
void FFTReal <T>::init_cos_table ()
{
    if (_nbr_bits < 4)
    {
        return;
    }
    const int last_level = std::min (_nbr_bits - 1, TABLE_PASS_LIMIT);
    _cos_table.resize ((std::int32_t (1) << last_level) - 4);
    for (int level = 3; level <= last_level; ++ level)
    {
        const std::int32_t seg_len = std::int32_t (1) << (level - 1);
        const std::int32_t base = seg_len - 4;
        const double mul = PI / double (std::int32_t (1) << level);
        for (std::int32_t i = 0; i < seg_len; ++ i)
        {
            _cos_table [base + i] = static_cast <T> (std::cos (double (i) * mul));
        }
    }
}

// Oscillator j serves the pass that combines spectra of length 2^(13+j), at angle steps of
// pi / 2^(13+j).
template <class T>
void FFTReal <T>::init_oscillators ()
{
    if (_nbr_bits <= TABLE_PASS_LIMIT)
    {
        return;
    }
    const std::int32_t nbr_osc = _nbr_bits - TABLE_PASS_LIMIT;
    _oscillators.resize (nbr_osc);
    for (std::int32_t j = 0; j < nbr_osc; ++ j)
    {
        const double angle = HALF_PI / double (std::int32_t (1) << (TABLE_PASS_LIMIT + j));
        _oscillators [j].set_step (angle);
    }
}

template <class T>
void FFTReal <T>::forward_fft (T f [], const T x []) const
{
    assert (f != 0);
    assert (f != use_buffer ());
    assert (x != 0);
    assert (x != use_buffer ());
    assert (x != f);

    switch (_nbr_bits)
    {
    case 0:
        f [0] = x [0];
        return;
    case 1:
        f [0] = x [0] + x [1];
        f [1] = x [0] - x [1];
        return;
    case 2:
    {
        f [1] = x [0] - x [2];
        f [3] = x [1] - x [3];
        const T b_0 = x [0] + x [2];
        const T b_2 = x [1] + x [3];
        f [0] = b_0 + b_2;
        f [2] = b_0 - b_2;
        return;
    }
    default:
        break;
    }

    compute_general (f, x);
}

// N >= 8.
template <class T>
void FFTReal <T>::compute_general (T f [], const T x []) const
{
    // Each pass after the third flips the data between the two arrays; starting on the side
    // given by the parity of k makes the last pass land in f.
    T * d_ptr = f;
    T * s_ptr = use_buffer ();
    if ((_nbr_bits & 1) != 0)
    {
        std::swap (d_ptr, s_ptr);
    }

    if (_nbr_bits == 3)
    {
        compute_spectrum_8 (s_ptr, x, &_bit_rev_table [0], 0);
        return;
    }
    // Passes 1 to 3 and table pass 3 in one sweep, which writes where table pass 3 would.
    compute_spectra_16 (d_ptr, x);
    std::swap (d_ptr, s_ptr);

    // Table passes 4 .. L1_CHUNK_BITS - 1 run span by span over spans of 2^L1_CHUNK_BITS, the
    // rest up to TABLE_PASS_LIMIT over spans of 2^(TABLE_PASS_LIMIT + 1). Each pair of passes
    // lands where its first pass would have written; an even number of pairs keeps the last
    // pass in f.
    const int l1_bits = std::min (_nbr_bits, L1_CHUNK_BITS);
    const int l2_bits = std::min (_nbr_bits, TABLE_PASS_LIMIT + 1);
    int l1_pairs = (l1_bits - 4) / 2;
    int l2_pairs = (l2_bits - l1_bits) / 2;
    if (((l1_pairs ^ l2_pairs) & 1) != 0)
    {
        if (l2_pairs > 0)
        {
            -- l2_pairs;
        }
        else
        {
            -- l1_pairs;
        }
    }
    // Each sweep flips the data between the arrays, so only the parities of the sweep counts
    // (l1_bits - 4 - l1_pairs, then l2_bits - l1_bits - l2_pairs) matter.
    const bool l1_odd = ((l1_bits ^ l1_pairs) & 1) != 0;
    const bool all_odd = ((l2_bits ^ l1_pairs ^ l2_pairs) & 1) != 0;

    const std::int32_t l1_len = std::int32_t (1) << l1_bits;
    const std::int32_t l2_len = std::int32_t (1) << l2_bits;
    for (std::int32_t c_2 = 0; c_2 < _length; c_2 += l2_len)
    {
        for (std::int32_t c_1 = c_2; c_1 < c_2 + l2_len; c_1 += l1_len)
        {
            compute_table_passes (4, l1_bits, l1_pairs, d_ptr + c_1, s_ptr + c_1, l1_len);
        }
        if (l1_odd)
        {
            compute_table_passes (l1_bits, l2_bits, l2_pairs, s_ptr + c_2, d_ptr + c_2, l2_len);
        }
        else
        {
            compute_table_passes (l1_bits, l2_bits, l2_pairs, d_ptr + c_2, s_ptr + c_2, l2_len);
        }
    }
    if (all_odd)
    {
        std::swap (d_ptr, s_ptr);
    }

    for (int pass = l2_bits; pass < _nbr_bits; ++ pass)
    {
        compute_oscillator_pass (pass, d_ptr, s_ptr);
        std::swap (d_ptr, s_ptr);
    }
}

// Passes 1 to 3 for the block of 8 at c: length-4 transforms of the bit-reversed input, then
// the length-8 spectrum of each pair, whose only twiddle is e^(-j pi/4).
template <class T>
inline void FFTReal <T>::compute_spectrum_8 (T * __restrict out, const T * __restrict x,
                                             const std::int32_t * __restrict rev, std::int32_t c)
{
    T d [8];
    for (int q = 0; q < 8; q += 4)
    {
        const T x_0 = x [rev [c + q]];
        const T x_1 = x [rev [c + q + 1]];
        const T x_2 = x [rev [c + q + 2]];
        const T x_3 = x [rev [c + q + 3]];
        d [q + 1] = x_0 - x_1;
        d [q + 3] = x_2 - x_3;
        const T p_0 = x_0 + x_1;
        const T p_2 = x_2 + x_3;
        d [q] = p_0 + p_2;
        d [q + 2] = p_0 - p_2;
    }

    const T h = static_cast <T> (SQRT2_2);
    out [0] = d [0] + d [4];
    out [4] = d [0] - d [4];
    out [2] = d [2];
    out [6] = d [6];

    T v = (d [5] - d [7]) * h;
    out [1] = d [1] + v;
    out [3] = d [1] - v;

    v = (d [5] + d [7]) * h;
    out [5] = v + d [3];
    out [7] = v - d [3];
}

// Passes 1 to 3 and table pass 3 (n = 8) in one sweep from x into d, each block of 16 staying
// in registers.
template <class T>
void FFTReal <T>::compute_spectra_16 (T * __restrict d, const T * __restrict x) const
{
    const std::int32_t * const rev = &_bit_rev_table [0];
    // cos (i pi/8), i = 0 .. 3
    const T co [4] = { T (1), _cos_table [1], _cos_table [2], _cos_table [3] };

    // Fewer than LANES blocks of 16 in all.
    if (_length <= 32)
    {
        for (std::int32_t c = 0; c < _length; c += 16)
        {
            T s [BLOCK];
            compute_spectrum_8 (s, x, rev, c);
            compute_spectrum_8 (s + 8, x, rev, c + 8);
            combine_extremes (d + c, s, 8);
            // sin (i pi/8) = cos ((4 - i) pi/8)
            for (int i = 1; i < 4; ++ i)
            {
                butterfly (d + c, s, 8, i, co [i], co [4 - i]);
            }
        }
        return;
    }

    // The block of 16 at c reads x [rev [c + q]] = x [r + rev [q]], with r = rev [c] below N/16
    // and c = rev [r]. Blocks of consecutive r thus read neighbouring values: LANES of them go
    // side by side, one lane each, and every read of x is a run. Reversal maps disjoint bit
    // fields separately, so rev [r + l] = rev [r] + rev [l] for r a multiple of LANES.
    const std::int32_t sixteenth = _length >> 4;
    if (_length <= 2048)
    {
        for (std::int32_t r = 0; r < sixteenth; r += LANES)
        {
            compute_spectra_16_lanes (d + rev [r], x + r, rev, co);
        }
        return;
    }
    // Larger arrays outgrow the caches and the address translation buffers. Writing the k - 4
    // bits of r as [b (2 bits) | m | g (6 bits)], the 256 blocks of one m read 64 runs of 64
    // values of x and write 64 runs of 64 values of d. rev [r] is assembled from the fields, so
    // only a few entries of the table are read.
    const std::int32_t b_unit = _length >> 6;
    for (std::int32_t m = 0; m < b_unit; m += 64)
    {
        for (std::int32_t b = 0; b < sixteenth; b += b_unit)
        {
            const std::int32_t rev_mb = rev [m] + rev [b];
            for (std::int32_t g = 0; g < 64; g += LANES)
            {
                compute_spectra_16_lanes (d + rev_mb + rev [g], x + m + b + g, rev, co);
            }
        }
    }
}

// LANES blocks of 16 for compute_spectra_16: lane l reads xr [rev [q] + l], q = 0 .. 15, and
// writes the block at dr + rev [l]. Every step is that of the scalar code, once per lane.
template <class T>
inline void FFTReal <T>::compute_spectra_16_lanes (T * __restrict dr, const T * __restrict xr,
                                                   const std::int32_t * __restrict rev,
                                                   const T (&co) [4])
{
    const T h = static_cast <T> (SQRT2_2);
    T v [BLOCK] [LANES];
#pragma GCC unroll 16
    for (int q = 0; q < BLOCK; ++ q)
    {
        const T * const src = xr + rev [q];
        for (int l = 0; l < LANES; ++ l)
        {
            v [q] [l] = src [l];
        }
    }

    // Passes 1 and 2, per group of 4.
    T p [BLOCK] [LANES];
#pragma GCC unroll 16
    for (int q = 0; q < BLOCK; q += 4)
    {
        for (int l = 0; l < LANES; ++ l)
        {
            p [q + 1] [l] = v [q] [l] - v [q + 1] [l];
            p [q + 3] [l] = v [q + 2] [l] - v [q + 3] [l];
            const T p_0 = v [q] [l] + v [q + 1] [l];
            const T p_2 = v [q + 2] [l] + v [q + 3] [l];
            p [q] [l] = p_0 + p_2;
            p [q + 2] [l] = p_0 - p_2;
        }
    }

    // Pass 3, per group of 8.
    T e [BLOCK] [LANES];
#pragma GCC unroll 16
    for (int q = 0; q < BLOCK; q += 8)
    {
        for (int l = 0; l < LANES; ++ l)
        {
            e [q] [l] = p [q] [l] + p [q + 4] [l];
            e [q + 4] [l] = p [q] [l] - p [q + 4] [l];
            e [q + 2] [l] = p [q + 2] [l];
            e [q + 6] [l] = p [q + 6] [l];
            const T v_1 = (p [q + 5] [l] - p [q + 7] [l]) * h;
            e [q + 1] [l] = p [q + 1] [l] + v_1;
            e [q + 3] [l] = p [q + 1] [l] - v_1;
            const T v_2 = (p [q + 5] [l] + p [q + 7] [l]) * h;
            e [q + 5] [l] = v_2 + p [q + 3] [l];
            e [q + 7] [l] = v_2 - p [q + 3] [l];
        }
    }

    // Table pass 3, n = 8: sin (i pi/8) = cos ((4 - i) pi/8).
    T o [BLOCK] [LANES];
    for (int l = 0; l < LANES; ++ l)
    {
        o [0] [l] = e [0] [l] + e [8] [l];
        o [8] [l] = e [0] [l] - e [8] [l];
        o [4] [l] = e [4] [l];
        o [12] [l] = e [12] [l];
    }
#pragma GCC unroll 4
    for (int i = 1; i < 4; ++ i)
    {
        for (int l = 0; l < LANES; ++ l)
        {
            const T a = e [i] [l];
            const T ai = e [4 + i] [l];
            const T b = e [8 + i] [l];
            const T bi = e [12 + i] [l];
            const T vv = b * co [i] - bi * co [4 - i];
            o [i] [l] = a + vv;
            o [8 - i] [l] = a - vv;
            const T w = b * co [4 - i] + bi * co [i];
            o [8 + i] [l] = w + ai;
            o [16 - i] [l] = w - ai;
        }
    }

    for (int l = 0; l < LANES; ++ l)
    {
        T * const dst = dr + rev [l];
#pragma GCC unroll 16
        for (int q = 0; q < BLOCK; ++ q)
        {
            dst [q] = o [q] [l];
        }
    }
}

// One butterfly for pair i of the packed length-n spectra a (at sa) and b (at sa + n), giving
// bins i and n - i of the length-2n spectrum at da. (co, si) = (cos, sin) (i pi/n).
template <class T>
inline void FFTReal <T>::butterfly (T da [], const T sa [], std::int32_t n, std::int32_t i,
                                    T co, T si)
{
    const std::int32_t h = n >> 1;
    const T a = sa [i];
    const T ai = sa [h + i];
    const T b = sa [n + i];
    const T bi = sa [n + h + i];

    const T v = b * co - bi * si;
    da [i] = a + v;
    da [n - i] = a - v;

    const T w = b * si + bi * co;
    da [n + i] = w + ai;
    da [2 * n - i] = w - ai;
}

// Bins 0 and n/2 of both input spectra are real: sum, difference and copies.
template <class T>
inline void FFTReal <T>::combine_extremes (T da [], const T sa [], std::int32_t n)
{
    const std::int32_t h = n >> 1;
    da [0] = sa [0] + sa [n];
    da [n] = sa [0] - sa [n];
    da [h] = sa [h];
    da [n + h] = sa [n + h];
}

// The butterflies i = first .. first + count - 1 of one pair of length-n spectra, with
// co [j] = cos and si_rev [-j] = sin of (first + j) pi/n. Every stream gets its own pointer
// (the upper ones run downwards) and ivdep states that no stream overlaps another, so that
// the loop vectorises.
template <class T>
inline void FFTReal <T>::combine_blocks (T da [], const T sa [], std::int32_t n,
                                         std::int32_t first, std::int32_t count,
                                         const T co [], const T si_rev [])
{
    const std::int32_t h = n >> 1;
    T * const da_lo = da + first;
    T * const da_hi = da + n - first;
    T * const db_lo = da + n + first;
    T * const db_hi = da + 2 * n - first;
    const T * const sa_re = sa + first;
    const T * const sa_im = sa + h + first;
    const T * const sb_re = sa + n + first;
    const T * const sb_im = sa + n + h + first;
#pragma GCC ivdep
    for (std::int32_t j = 0; j < count; ++ j)
    {
        const T c = co [j];
        const T s = si_rev [-j];
        const T a = sa_re [j];
        const T ai = sa_im [j];
        const T b = sb_re [j];
        const T bi = sb_im [j];

        const T v = b * c - bi * s;
        da_lo [j] = a + v;
        da_hi [-j] = a - v;

        const T w = b * s + bi * c;
        db_lo [j] = w + ai;
        db_hi [-j] = w - ai;
    }
}

// Runs passes first .. end - 1 over the first len values, from s; pairs of passes fused at the
// start.
template <class T>
inline void FFTReal <T>::compute_table_passes (int first, int end, int pairs, T d [], T s [],
                                               std::int32_t len) const
{
    int pass = first;
    for (int pair = 0; pair < pairs; ++ pair)
    {
        compute_table_pass_pair (pass, d, s, len);
        std::swap (d, s);
        pass += 2;
    }
    for ( ; pass < end; ++ pass)
    {
        compute_table_pass (pass, d, s, len);
        std::swap (d, s);
    }
}

// Combines pairs of packed spectra of length n = 2^pass into spectra of length 2n, over the
// first len values. Twiddles: cos (i pi/n) from the table segment of the level, and
// sin (i pi/n) = cos ((h - i) pi/n) read from the same segment backwards.
template <class T>
inline void FFTReal <T>::compute_table_pass (int pass, T d [], const T s [],
                                             std::int32_t len) const
{
    const std::int32_t n = std::int32_t (1) << pass;
    const std::int32_t h = n >> 1;
    const T * const cos_ptr = &_cos_table [h - 4];
    for (std::int32_t c = 0; c < len; c += n * 2)
    {
        combine_extremes (d + c, s + c, n);
        combine_blocks (d + c, s + c, n, 1, h - 1, cos_ptr + 1, cos_ptr + h - 1);
    }
}

// Passes pass and pass + 1 in one sweep from s into d: the four length-n spectra A, B, C, D of
// each block of 4n become E (from A and B) and F (from C and D), which are combined into the
// length-4n spectrum G at once. The butterfly i of the first pass gives the inputs of the
// butterflies i and n - i of the second one, so E and F never leave the registers.
template <class T>
inline void FFTReal <T>::compute_table_pass_pair (int pass, T d [], const T s [],
                                                  std::int32_t len) const
{
    const std::int32_t n = std::int32_t (1) << pass;
    const std::int32_t h = n >> 1;
    // cos (i pi/n) and cos (i pi/2n); the sines are the same segments read backwards.
    const T * const cos_1 = &_cos_table [h - 4];
    const T * const cos_2 = &_cos_table [n - 4];

    for (std::int32_t c = 0; c < len; c += n * 4)
    {
        const T * const sa = s + c;
        const T * const sb = sa + n;
        const T * const sc = sa + 2 * n;
        const T * const sd = sa + 3 * n;
        T * const g = d + c;

        // Bins 0 and n/2 of the first pass, then bins 0, n and n/2 of the second one.
        const T e_0 = sa [0] + sb [0];
        const T e_n = sa [0] - sb [0];
        const T f_0 = sc [0] + sd [0];
        const T f_n = sc [0] - sd [0];
        g [0] = e_0 + f_0;
        g [2 * n] = e_0 - f_0;
        g [n] = e_n;
        g [3 * n] = f_n;

        // (cos, sin) (h pi / 2n) are the same table entry.
        const T a = sa [h];
        const T ai = sb [h];
        const T b = sc [h];
        const T bi = sd [h];
        const T v_h = b * cos_2 [h] - bi * cos_2 [h];
        g [h] = a + v_h;
        g [2 * n - h] = a - v_h;
        const T w_h = b * cos_2 [h] + bi * cos_2 [h];
        g [2 * n + h] = w_h + ai;
        g [4 * n - h] = w_h - ai;

        // As in combine_blocks, the streams that run downwards are read and written at -i.
#pragma GCC ivdep
        for (std::int32_t i = 1; i < h; ++ i)
        {
            // First pass, butterfly i of A and B, then of C and D.
            const T c_1 = cos_1 [i];
            const T s_1 = cos_1 [h - i];
            T v = sb [i] * c_1 - sb [h + i] * s_1;
            T w = sb [i] * s_1 + sb [h + i] * c_1;
            const T e_i = sa [i] + v;
            const T e_n_mi = sa [i] - v;
            const T e_n_pi = w + sa [h + i];
            const T e_2n_mi = w - sa [h + i];

            v = sd [i] * c_1 - sd [h + i] * s_1;
            w = sd [i] * s_1 + sd [h + i] * c_1;
            const T f_i = sc [i] + v;
            const T f_n_mi = sc [i] - v;
            const T f_n_pi = w + sc [h + i];
            const T f_2n_mi = w - sc [h + i];

            // Second pass, butterfly i, with (cos, sin) (i pi / 2n) ...
            const T c_2 = cos_2 [i];
            const T s_2 = cos_2 [n - i];
            v = f_i * c_2 - f_n_pi * s_2;
            w = f_i * s_2 + f_n_pi * c_2;
            g [i] = e_i + v;
            g [2 * n - i] = e_i - v;
            g [2 * n + i] = w + e_n_pi;
            g [4 * n - i] = w - e_n_pi;

            // ... and butterfly n - i, whose cosine and sine are those of i swapped.
            v = f_n_mi * s_2 - f_2n_mi * c_2;
            w = f_n_mi * c_2 + f_2n_mi * s_2;
            g [n - i] = e_n_mi + v;
            g [n + i] = e_n_mi - v;
            g [3 * n - i] = w + e_2n_mi;
            g [3 * n + i] = w - e_2n_mi;
        }
    }
}

// Every block restarts the oscillator from angle 0, so all blocks of a pass use the same
// twiddles. The first block's butterflies run alongside the oscillator, whose chain of
// dependent multiplications sets the pace there; its twiddles are kept for a stretch of i and
// applied to the other blocks at full speed.
template <class T>
void FFTReal <T>::compute_oscillator_pass (int pass, T d [], const T s []) const
{
    const std::int32_t n = std::int32_t (1) << pass;
    const std::int32_t h = n >> 1;
    SinCosOscillator <T> & osc_member = _oscillators [pass - (TABLE_PASS_LIMIT + 1)];
    // A local copy stays in registers; stores into the data cannot touch it.
    SinCosOscillator <T> osc = osc_member;

    for (std::int32_t c = 0; c < _length; c += n * 2)
    {
        combine_extremes (d + c, s + c, n);
    }

    T co_buf [OSC_CHUNK_LEN];
    T si_buf [OSC_CHUNK_LEN];
    osc.reset ();
    for (std::int32_t i_first = 1; i_first < h; i_first += OSC_CHUNK_LEN)
    {
        const std::int32_t count = std::min (OSC_CHUNK_LEN, h - i_first);
        for (std::int32_t k = 0; k < count; ++ k)
        {
            osc.step ();
            const T co = osc.get_cos ();
            const T si = osc.get_sin ();
            co_buf [k] = co;
            si_buf [count - 1 - k] = si;
            butterfly (d, s, n, i_first + k, co, si);
        }

        for (std::int32_t c = n * 2; c < _length; c += n * 2)
        {
            combine_blocks (d + c, s + c, n, i_first, count, co_buf, si_buf + count - 1);
        }
    }
    osc_member = osc;
}
