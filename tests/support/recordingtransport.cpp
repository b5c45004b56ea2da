#include "tests/support/recordingtransport.h"

namespace kpr::test {

RecordingTransport::RecordingTransport(Answer answer) : m_answer(std::move(answer)) {}

Status RecordingTransport::open(const RpcEndpoint &endpoint)
{
    m_endpoint = endpoint;
    ++m_opens;
    return {};
}

void RecordingTransport::close() {}

ServerResult RecordingTransport::invoke(const QString &module, const QString &method, const QJsonArray &args)
{
    m_calls.append(RecordedCall{module, method, args});
    if (m_answer)
        return m_answer(method, args);
    return ServerResult::success(QJsonValue(QJsonValue::Null), args);
}

void RecordingTransport::invokeInOrder(const QString &module, const QList<RpcCall> &calls, const RpcAnswerFn &answer)
{
    if (!m_together) {
        RpcTransport::invokeInOrder(module, calls, answer);
        return;
    }
    QList<ServerResult> answers;
    for (const RpcCall &c : calls)
        answers.append(invoke(module, c.method, c.args));
    for (ServerResult &r : answers) {
        if (!answer(std::move(r)))
            return;
    }
}

QStringList RecordingTransport::methods() const
{
    QStringList names;
    for (const RecordedCall &c : m_calls)
        names.append(c.method);
    return names;
}

} // namespace kpr::test
