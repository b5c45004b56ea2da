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

CaughtEnd runCaught(const std::function<void()> &fn)
{
    using K = CaughtEnd::Kind;
    try {
        fn();
        return {};
    } catch (const EAbort &) {
        // Silent by design: whoever aborted has already told the user.
        return {K::Aborted, QString()};
    } catch (const EKprError &e) {
        return {K::Failed, e.text()};
    } catch (const std::exception &e) {
        return {K::Failed, QString::fromUtf8(e.what())};
    } catch (...) {
        return {K::Failed, u"Erro inesperado."_s};
    }
}

bool runGuarded(const std::function<void()> &fn)
{
    const CaughtEnd end = runCaught(fn);
    if (end.kind == CaughtEnd::Kind::Failed)
        presentError(end.text);
    return end.kind == CaughtEnd::Kind::Completed;
}

} // namespace kpr
