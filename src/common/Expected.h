#pragma once

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

namespace palaverly {

// The failure side of an Expected, so that a value and an error of similar types never mix up.
template <class E> struct Unexpected {
    E error;
};

template <class E> Unexpected<std::decay_t<E>> unexpected(E&& error)
{
    return {std::forward<E>(error)};
}

// A value or the reason there is none; how recoverable failures cross module borders.
// A small stand-in for C++23's std::expected.
template <class T, class E> class Expected {
    static_assert(!std::is_same_v<T, E>, "value and error types must differ");

public:
    Expected(const T& value)
        : m_state(std::in_place_index<0>, value)
    {
    }
    Expected(T&& value)
        : m_state(std::in_place_index<0>, std::move(value))
    {
    }
    template <class G>
    requires std::is_constructible_v<E, G> Expected(Unexpected<G> failure)
        : m_state(std::in_place_index<1>, std::move(failure.error))
    {
    }

    bool hasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T& value() &
    {
        assert(hasValue());
        return std::get<0>(m_state);
    }
    const T& value() const&
    {
        assert(hasValue());
        return std::get<0>(m_state);
    }
    T&& value() &&
    {
        assert(hasValue());
        return std::get<0>(std::move(m_state));
    }
    const E& error() const
    {
        assert(!hasValue());
        return std::get<1>(m_state);
    }
    E& error()
    {
        assert(!hasValue());
        return std::get<1>(m_state);
    }

    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

private:
    std::variant<T, E> m_state;
};

} // namespace palaverly
