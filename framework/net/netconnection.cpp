#include "framework/net/netconnection.h"

#include "framework/core/abort.h"
#include "framework/net/httptransport.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr {

TNetConnection::TNetConnection(QObject *parent) : QObject(parent), m_transport(std::make_unique<HttpRpcTransport>()) {}

TNetConnection::~TNetConnection()
{
    close();
}

void TNetConnection::setConnected(bool on)
{
    if (on == m_connected)
        return;
    if (on)
        open();
    else
        close();
}

Status TNetConnection::connectNow()
{
    close();
    // A direct call: the handler's Host and Port must be in place before connecting.
    emit BeforeConnect(this);
    const Status opened = m_transport->open(m_endpoint);
    if (!opened) {
        m_lastError = opened.error();
        return opened;
    }
    m_connected = true;
    m_lastError.clear();
    return {};
}

Status TNetConnection::open()
{
    const Status opened = connectNow();
    if (!opened && m_throwException)
        throw EKprError(opened.error());
    return opened;
}

void TNetConnection::close()
{
    if (m_transport)
        m_transport->close();
    m_connected = false;
}

void TNetConnection::setTransport(std::unique_ptr<RpcTransport> transport)
{
    Q_ASSERT(transport);
    const bool wasConnected = m_connected;
    close();
    m_transport = std::move(transport);
    if (wasConnected) {
        const Status opened = m_transport->open(m_endpoint);
        m_connected = opened.ok();
        m_lastError = opened.error();
    }
}

ServerResult TNetConnection::fail(QString text)
{
    m_lastError = text;
    if (m_throwException)
        throw EKprError(text);
    return ServerResult::failure(std::move(text));
}

ServerResult TNetConnection::invoke(const QString &method, const QJsonArray &args)
{
    if (!m_connected) {
        const Status opened = connectNow();
        if (!opened)
            return fail(opened.error());
    }
    ServerResult result = m_transport->invoke(m_serverName, method, args);
    if (!result.ok)
        return fail(result.error);
    m_lastError.clear();
    return result;
}

void TNetConnection::callInOrder(const QList<RpcCall> &calls, const RpcAnswerFn &answer)
{
    if (calls.isEmpty())
        return;
    if (!m_connected) {
        const Status opened = connectNow();
        if (!opened) {
            answer(fail(opened.error()));
            return;
        }
    }
    m_transport->invokeInOrder(m_serverName, calls, [&](ServerResult &&r) {
        if (!r.ok)
            return answer(fail(std::move(r.error)));
        m_lastError.clear();
        return answer(std::move(r));
    });
}

ServerResult TNetConnection::call(const QString &method, QJsonArray &args)
{
    ServerResult result = invoke(method, args);
    if (result.ok && result.refs.size() == args.size())
        args = result.refs;
    return result;
}

ServerResult TNetConnection::call(const QString &method, const QJsonArray &args)
{
    return invoke(method, args);
}

ServerResult TNetConnection::call(const QString &method, std::initializer_list<QJsonValue> args)
{
    return invoke(method, QJsonArray(args));
}

} // namespace kpr
