#pragma once
// A stand-in for the application server: records every call a TNetConnection makes and
// answers it through a function the test gives, so that a test can check the order and
// the arguments of a screen's server calls without a server.

#include "framework/net/rpctransport.h"

#include <QList>
#include <QStringList>

#include <functional>

namespace kpr::test {

struct RecordedCall
{
    QString module;
    QString method;
    QJsonArray args;
};

class RecordingTransport : public RpcTransport
{
public:
    using Answer = std::function<ServerResult(const QString &method, const QJsonArray &args)>;

    // Without an answer function every call succeeds with a null result and its
    // arguments unchanged.
    explicit RecordingTransport(Answer answer = {});

    Status open(const RpcEndpoint &endpoint) override;
    void close() override;
    ServerResult invoke(const QString &module, const QString &method, const QJsonArray &args) override;
    // As a pipelining transport when sendsTogether is on: every call of a sequence is
    // recorded before the first answer is handed over.
    void invokeInOrder(const QString &module, const QList<RpcCall> &calls, const RpcAnswerFn &answer) override;
    void setSendsTogether(bool on) { m_together = on; }

    const QList<RecordedCall> &calls() const { return m_calls; }
    QStringList methods() const;
    int opens() const { return m_opens; }
    RpcEndpoint lastEndpoint() const { return m_endpoint; }
    void clear() { m_calls.clear(); }

private:
    Answer m_answer;
    QList<RecordedCall> m_calls;
    RpcEndpoint m_endpoint;
    int m_opens = 0;
    bool m_together = false;
};

} // namespace kpr::test
