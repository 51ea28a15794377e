// Template bodies of FFTReal; included by FFTReal.h only.

#include <algorithm>
#include <cassert>
#include <cmath>
#include <utility>

inline bool FFTReal_is_pow2 (std::int32_t x)
{
    assert (x > 0);
    return (x & -x) == x;
}

template <class T>
FFTReal <T>::FFTReal (std::int32_t length)
:   _length (length)
,   _nbr_bits (0)
,   _bit_rev_table ()
,   _cos_table ()
,   _work_buffer ()
,   _oscillators ()
{
    assert (FFTReal_is_pow2 (length));

    std::int32_t v = length - 1;
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
    _nbr_bits = count;
    assert (_nbr_bits <= MAX_BIT_DEPTH);

    _work_buffer.resize (_length);
    init_bit_rev_table ();
    init_cos_table ();
    init_oscillators ();
}

template <class T>
std::int32_t FFTReal <T>::get_length () const
{
    return _length;
}

template <class T>
std::int32_t FFTReal <T>::get_nbr_bits () const
{
    return _nbr_bits;
}

template <class T>
T * FFTReal <T>::use_buffer () const
{
    return &_work_buffer [0];
}

template <class T>
const DynArray <std::int32_t> & FFTReal <T>::get_bit_rev_table () const
{
    return _bit_rev_table;
}

template <class T>
const DynArray <T> & FFTReal <T>::get_cos_table () const
{
    return _cos_table;
}

// Counts upward in reversed bit order: adding one from the top bit down.
template <class T>
void FFTReal <T>::init_bit_rev_table ()
{
    _bit_rev_table.resize (_length);
    _bit_rev_table [0] = 0;
    std::int32_t rev = 0;
    for (std::int32_t c = 1; c < _length; ++ c)
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

// One segment per level l = 3 .. k-1: cos (i * pi / 2^l) for i = 0 .. 2^(l-1) - 1, starting at
// index 2^(l-1) - 4.
template <class T>
void FFTReal <T>::init_cos_table ()
{
    if (_nbr_bits <= 3)
    {
        return;
    }
    _cos_table.resize ((std::int32_t (1) << (_nbr_bits - 1)) - 4);
    for (int level = 3; level < _nbr_bits; ++ level)
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

    // Each pass after the third flips the data between the two arrays; starting on the side
    // given by the parity of k makes the last pass land in f.
    T * d_ptr;
    T * s_ptr;
    if ((_nbr_bits & 1) != 0)
    {
        d_ptr = use_buffer ();
        s_ptr = f;
    }
    else
    {
        d_ptr = f;
        s_ptr = use_buffer ();
    }

    compute_passes_1_3 (s_ptr, x);

    // The table passes only mix values within spans of 2^(TABLE_PASS_LIMIT + 1), and the early
    // ones within spans of 2^L1_CHUNK_BITS: each span goes through its passes while it stays in
    // the cache. These are the operations of pass after pass in another order, with the same
    // result.
    const int l1_bits = std::min (_nbr_bits, L1_CHUNK_BITS);
    const int l2_bits = std::min (_nbr_bits, TABLE_PASS_LIMIT + 1);
    const std::int32_t l1_len = std::int32_t (1) << l1_bits;
    const std::int32_t l2_len = std::int32_t (1) << l2_bits;
    for (std::int32_t c_2 = 0; c_2 < _length; c_2 += l2_len)
    {
        for (std::int32_t c_1 = c_2; c_1 < c_2 + l2_len; c_1 += l1_len)
        {
            T * d_span = d_ptr + c_1;
            T * s_span = s_ptr + c_1;
            for (int pass = 3; pass < l1_bits; ++ pass)
            {
                compute_table_pass (pass, d_span, s_span, l1_len);
                std::swap (d_span, s_span);
            }
        }

        T * d_span = d_ptr + c_2;
        T * s_span = s_ptr + c_2;
        if (((l1_bits - 3) & 1) != 0)
        {
            std::swap (d_span, s_span);
        }
        for (int pass = l1_bits; pass < l2_bits; ++ pass)
        {
            compute_table_pass (pass, d_span, s_span, l2_len);
            std::swap (d_span, s_span);
        }
    }
    if (((l2_bits - 3) & 1) != 0)
    {
        std::swap (d_ptr, s_ptr);
    }

    for (int pass = l2_bits; pass < _nbr_bits; ++ pass)
    {
        compute_oscillator_pass (pass, d_ptr, s_ptr);
        std::swap (d_ptr, s_ptr);
    }
}

// Passes 1 and 2 (length-4 transforms of the bit-reversed input) and pass 3 (length-8 spectra
// from pairs of them, the only twiddle being e^(-j pi/4)) in one sweep, the length-4 results
// staying in registers. Blocks of 8 are taken N/8 apart, eight at a time: their 64 inputs then
// fill eight cache lines of x instead of touching 64.
template <class T>
void FFTReal <T>::compute_passes_1_3 (T * __restrict s, const T * __restrict x) const
{
    const std::int32_t * const rev = &_bit_rev_table [0];
    const T h = static_cast <T> (SQRT2_2);
    const std::int32_t stride = std::max (_length >> 3, std::int32_t (8));
    for (std::int32_t first = 0; first < stride; first += 8)
    {
        for (std::int32_t c = first; c < _length; c += stride)
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

            s [c] = d [0] + d [4];
            s [c + 4] = d [0] - d [4];
            s [c + 2] = d [2];
            s [c + 6] = d [6];

            T v = (d [5] - d [7]) * h;
            s [c + 1] = d [1] + v;
            s [c + 3] = d [1] - v;

            v = (d [5] + d [7]) * h;
            s [c + 5] = v + d [3];
            s [c + 7] = v - d [3];
        }
    }
}

// One butterfly for pair i of the packed length-n spectra a (at sa) and b (at sa + n), giving
// bins i and n - i of the length-2n spectrum at da. (co, si) = (cos, sin) (i pi/n).
template <class T>
inline void FFTReal <T>::butterfly (T * __restrict da, const T * __restrict sa,
                                    std::int32_t n, std::int32_t i, T co, T si)
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

// The butterflies of i = 1 .. count as one loop over separate runs: every pointer addresses
// its own run of values, which lets the compiler vectorise. The *_hi and si_rev runs are
// addressed downwards from their pointer.
template <class T>
void FFTReal <T>::combine_blocks (T * __restrict da_lo, T * __restrict da_hi,
                                  T * __restrict db_lo, T * __restrict db_hi,
                                  const T * __restrict sa_re, const T * __restrict sa_im,
                                  const T * __restrict sb_re, const T * __restrict sb_im,
                                  const T * __restrict co, const T * __restrict si_rev,
                                  std::int32_t count)
{
    for (std::int32_t i = 0; i < count; ++ i)
    {
        const T c = co [i];
        const T s = si_rev [-i];
        const T a = sa_re [i];
        const T ai = sa_im [i];
        const T b = sb_re [i];
        const T bi = sb_im [i];

        const T v = b * c - bi * s;
        da_lo [i] = a + v;
        da_hi [-i] = a - v;

        const T w = b * s + bi * c;
        db_lo [i] = w + ai;
        db_hi [-i] = w - ai;
    }
}

// Bins 0 and n/2 of both input spectra are real: sum, difference and copies.
template <class T>
inline void FFTReal <T>::combine_extremes (T * __restrict da, const T * __restrict sa,
                                           std::int32_t n)
{
    const std::int32_t h = n >> 1;
    da [0] = sa [0] + sa [n];
    da [n] = sa [0] - sa [n];
    da [h] = sa [h];
    da [n + h] = sa [n + h];
}

// Combines pairs of packed spectra of length n = 2^pass into spectra of length 2n, over the
// first len values. Twiddles: cos (i pi/n) from the table segment of the level, and
// sin (i pi/n) = cos ((h - i) pi/n) read from the same segment backwards.
template <class T>
void FFTReal <T>::compute_table_pass (int pass, T d [], const T s [], std::int32_t len) const
{
    switch (pass)
    {
    case 3:
        compute_short_table_pass <3> (d, s, len);
        return;
    case 4:
        compute_short_table_pass <4> (d, s, len);
        return;
    default:
        break;
    }

    const std::int32_t n = std::int32_t (1) << pass;
    const std::int32_t h = n >> 1;
    const T * const cos_ptr = &_cos_table [h - 4];

    for (std::int32_t c = 0; c < len; c += n * 2)
    {
        const T * const sa = s + c;
        const T * const sb = s + c + n;
        T * const da = d + c;
        T * const db = d + c + n;

        combine_extremes (da, sa, n);
        combine_blocks (da + 1, da + n - 1, db + 1, db + n - 1,
                        sa + 1, sa + h + 1, sb + 1, sb + h + 1,
                        cos_ptr + 1, cos_ptr + h - 1, h - 1);
    }
}

// Short blocks are dominated by loop overhead; with n known at compile time the butterflies
// unroll and the twiddles stay in registers.
template <class T>
template <int PASS>
void FFTReal <T>::compute_short_table_pass (T * __restrict d, const T * __restrict s,
                                            std::int32_t len) const
{
    constexpr std::int32_t n = std::int32_t (1) << PASS;
    constexpr std::int32_t h = n >> 1;
    const T * const cos_ptr = &_cos_table [h - 4];
    T co [h];
    T si [h];
    for (std::int32_t i = 1; i < h; ++ i)
    {
        co [i] = cos_ptr [i];
        si [i] = cos_ptr [h - i];
    }

    for (std::int32_t c = 0; c < len; c += n * 2)
    {
        combine_extremes (d + c, s + c, n);
        for (std::int32_t i = 1; i < h; ++ i)
        {
            butterfly (d + c, s + c, n, i, co [i], si [i]);
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
            const T * const sa = s + c;
            const T * const sb = s + c + n;
            T * const da = d + c;
            T * const db = d + c + n;
            combine_blocks (da + i_first, da + n - i_first, db + i_first, db + n - i_first,
                            sa + i_first, sa + h + i_first, sb + i_first, sb + h + i_first,
                            co_buf, si_buf + count - 1, count);
        }
    }
    osc_member = osc;
}
