#ifndef DYNARRAY_H
#define DYNARRAY_H

#include <cassert>
#include <cstdint>

// Owning array of fixed length, allocated with array new. Every element access checks its
// position. Not copyable: the array has exactly one owner.
template <class T>
class DynArray
{
public:
    DynArray ();
    explicit DynArray (std::int32_t size);
    ~DynArray ();

    DynArray (const DynArray &other) = delete;
    DynArray & operator = (const DynArray &other) = delete;

    std::int32_t size () const;

    // Gives a new array of the given length; old contents are dropped. A size of 0 keeps the
    // current array.
    void resize (std::int32_t size);

    const T & operator [] (std::int32_t pos) const;
    T & operator [] (std::int32_t pos);

private:
    T * _data_ptr;
    std::int32_t _len;
};

template <class T>
DynArray <T>::DynArray ()
:   _data_ptr (nullptr)
,   _len (0)
{
}

template <class T>
DynArray <T>::DynArray (std::int32_t size)
:   _data_ptr (nullptr)
,   _len (0)
{
    assert (size >= 0);
    if (size > 0)
    {
        _data_ptr = new T [size];
        _len = size;
    }
}

template <class T>
DynArray <T>::~DynArray ()
{
    delete [] _data_ptr;
}

template <class T>
std::int32_t DynArray <T>::size () const
{
    return _len;
}

template <class T>
void DynArray <T>::resize (std::int32_t size)
{
    assert (size >= 0);
    if (size > 0)
    {
        T * const old_data_ptr = _data_ptr;
        _data_ptr = new T [size];
        _len = size;
        delete [] old_data_ptr;
    }
}

template <class T>
const T & DynArray <T>::operator [] (std::int32_t pos) const
{
    assert (pos >= 0);
    assert (pos < _len);
    return _data_ptr [pos];
}

template <class T>
T & DynArray <T>::operator [] (std::int32_t pos)
{
    assert (pos >= 0);
    assert (pos < _len);
    return _data_ptr [pos];
}

#endif
