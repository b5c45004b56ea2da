#pragma once
// A value or the text of the error that prevented it: what crosses the boundaries between
// layers instead of a bare bool.

#include <QString>

#include <optional>
#include <utility>

namespace kpr {

struct ResultError
{
    QString text;
};

inline ResultError makeError(QString text)
{
    return ResultError{std::move(text)};
}

template<typename T>
class Result
{
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(ResultError error) : m_error(std::move(error.text)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    const T &value() const & { return *m_value; }
    T &value() & { return *m_value; }
    T &&value() && { return std::move(*m_value); }
    const T &operator*() const { return *m_value; }
    const T *operator->() const { return &*m_value; }

    const QString &error() const { return m_error; }

private:
    std::optional<T> m_value;
    QString m_error;
};

template<>
class Result<void>
{
public:
    Result() = default;
    Result(ResultError error) : m_ok(false), m_error(std::move(error.text)) {}

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const QString &error() const { return m_error; }

private:
    bool m_ok = true;
    QString m_error;
};

using Status = Result<void>;

} // namespace kpr
