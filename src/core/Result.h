#pragma once

#include "core/RequestError.h"

#include <optional>
#include <utility>
#include <variant>

namespace papelo {

// The outcome of a server operation: a value or a RequestError. Errors are
// values so that coroutines never unwind through QCoro's machinery.
template <typename T>
class Result {
public:
    // Only for QCoro::waitFor, which needs a default value to assign into.
    Result() : m_data(std::in_place_index<1>, RequestError::transport(RequestError::Transport::Other)) {}
    Result(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
    Result(RequestError error) : m_data(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_data.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T &value() const & { return std::get<0>(m_data); }
    T &value() & { return std::get<0>(m_data); }
    T &&value() && { return std::get<0>(std::move(m_data)); }
    const T *operator->() const { return &std::get<0>(m_data); }
    const T &operator*() const & { return std::get<0>(m_data); }

    const RequestError &error() const { return std::get<1>(m_data); }

private:
    std::variant<T, RequestError> m_data;
};

} // namespace papelo
