#include "framework/core/abort.h"

#include <QCoreApplication>
#include <QDebug>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {
ErrorPresenter &presenter()
{
    static ErrorPresenter p;
    return p;
}
} // namespace

void Abort()
{
    throw EAbort();
}

void setErrorPresenter(ErrorPresenter p)
{
    presenter() = std::move(p);
}

void presentError(const QString &text)
{
    if (presenter())
        presenter()(text);
    else
        qWarning().noquote() << "Erro:" << text;
}

void MensErro(const QString &text, bool abort)
{
    presentError(text);
    if (abort)
        Abort();
}

bool runGuarded(const std::function<void()> &fn)
{
    try {
        fn();
        return true;
    } catch (const EAbort &) {
        // Silent by design: whoever aborted has already told the user.
    } catch (const EKprError &e) {
        presentError(e.text());
    } catch (const std::exception &e) {
        presentError(QString::fromUtf8(e.what()));
    } catch (...) {
        presentError(u"Erro inesperado."_s);
    }
    return false;
}

} // namespace kpr
