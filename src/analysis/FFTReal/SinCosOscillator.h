#ifndef SINCOSOSCILLATOR_H
#define SINCOSOSCILLATOR_H

#include <cmath>

// Unit vector (cos, sin) that turns by a fixed angle at each step: four multiplications per
// step instead of a sine and a cosine. Angles in radians. Rounding accumulates over the steps,
// so callers reset it before each run.
template <class T>
class SinCosOscillator
{
public:
    SinCosOscillator ();

    void set_step (double angle_rad);
    void reset ();
    void step ();

    T get_cos () const;
    T get_sin () const;

private:
    T _pos_cos;
    T _pos_sin;
    T _step_cos;
    T _step_sin;
};

template <class T>
SinCosOscillator <T>::SinCosOscillator ()
:   _pos_cos (1)
,   _pos_sin (0)
,   _step_cos (1)
,   _step_sin (0)
{
}

template <class T>
void SinCosOscillator <T>::set_step (double angle_rad)
{
    _step_cos = static_cast <T> (std::cos (angle_rad));
    _step_sin = static_cast <T> (std::sin (angle_rad));
}

// Back to angle 0.
template <class T>
void SinCosOscillator <T>::reset ()
{
    _pos_cos = static_cast <T> (1);
    _pos_sin = static_cast <T> (0);
}

template <class T>
void SinCosOscillator <T>::step ()
{
    const T old_cos = _pos_cos;
    const T old_sin = _pos_sin;
    _pos_cos = old_cos * _step_cos - old_sin * _step_sin;
    _pos_sin = old_cos * _step_sin + old_sin * _step_cos;
}

template <class T>
T SinCosOscillator <T>::get_cos () const
{
    return _pos_cos;
}

template <class T>
T SinCosOscillator <T>::get_sin () const
{
    return _pos_sin;
}

#endif
