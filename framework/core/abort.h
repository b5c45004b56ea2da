#pragma once
// The silent abort and the boundary that every user-interface handler runs behind.
// MensErro shows its text and throws EAbort; the boundary swallows EAbort without a word
// and shows any other exception in the application's standard error box, so that no
// exception ever reaches Qt's event loop or crosses the package's C entry point.

#include <QString>

#include <exception>
#include <functional>
#include <utility>

namespace kpr {

// Ends the current action; nothing after it runs and nothing is shown.
class EAbort : public std::exception
{
public:
    const char *what() const noexcept override { return "Operation aborted"; }
};

// An error whose text is meant for the user (shown as it stands by the boundary).
class EKprError : public std::exception
{
public:
    explicit EKprError(QString text) : m_text(std::move(text)), m_utf8(m_text.toUtf8()) {}
    const QString &text() const { return m_text; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_text;
    QByteArray m_utf8;
};

[[noreturn]] void Abort();

// How error boxes are shown. The widgets layer installs a message box; without one the
// text goes to the log. Tests install a recorder.
using ErrorPresenter = std::function<void(const QString &text)>;
void setErrorPresenter(ErrorPresenter presenter);
void presentError(const QString &text);

// Shows text as an error box; with abort true, then ends the action with a silent abort.
void MensErro(const QString &text, bool abort = true);

// How a piece of work ended, caught where nothing may be thrown on (a paint handler inside
// Qt's event handling): to its end, by a silent abort, or by an error with the user's text
// ("Erro inesperado." for what is neither an EKprError nor a std::exception).
struct CaughtEnd
{
    enum class Kind { Completed, Aborted, Failed };
    Kind kind = Kind::Completed;
    QString text;
};
CaughtEnd runCaught(const std::function<void()> &fn);

// Runs fn behind the handler boundary: an error is shown, an abort is silent. Returns true
// when fn ran to its end.
bool runGuarded(const std::function<void()> &fn);

// Wraps a handler for connect(): the slot runs behind the boundary.
template<typename F>
auto guarded(F fn)
{
    return [fn = std::move(fn)](auto &&...args) { runGuarded([&] { fn(std::forward<decltype(args)>(args)...); }); };
}

} // namespace kpr
