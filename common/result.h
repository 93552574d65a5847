// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef RESULT_H
#define RESULT_H

#include <QString>

#include <cstddef>
#include <type_traits>
#include <utility>
#include <variant>

// What an operation that can fail gives back when its failure does not end the action: its value,
// or the error that says why there is none (by default the reason, in words for the user). A
// failure that ends the action is thrown as RunTimeError instead.
template<typename Value = std::monostate, typename Error = QString> class [[nodiscard]] Result
{
public:
    // Done, with nothing more to give back.
    Result() requires std::is_same_v<Value, std::monostate> { }
    explicit Result(Value value) : m_outcome(std::in_place_index<ValueIndex>, std::move(value)) { }
    static Result failure(Error error)
    {
        return Result(std::in_place_index<ErrorIndex>, std::move(error));
    }

    explicit operator bool() const { return m_outcome.index() == ValueIndex; }
    const Value &operator*() const { return std::get<ValueIndex>(m_outcome); }
    const Value *operator->() const { return &std::get<ValueIndex>(m_outcome); }
    const Error &error() const { return std::get<ErrorIndex>(m_outcome); }

private:
    // By index, since the value and the error may be of one type.
    static constexpr std::size_t ValueIndex = 0;
    static constexpr std::size_t ErrorIndex = 1;

    template<std::size_t Index, typename Argument>
    Result(std::in_place_index_t<Index> index, Argument &&argument)
        : m_outcome(index, std::forward<Argument>(argument))
    {
    }

    std::variant<Value, Error> m_outcome;
};

#endif // RESULT_H
