#pragma once
// TNetConnection: the host's connection to a remote module of the application server
// (ServerName, e.g. "Kpr04700.rdmCFR"). Methods are called by name with positional
// arguments, synchronously on the calling thread; the Qt event loop is not entered.
//
// Connecting (Connected = true) first emits BeforeConnect, whose handler may set Host and
// Port, then checks that the server accepts connections. A call made while not connected
// connects first, so a connection whose opening failed is retried at its next call and
// that call reports why it could not connect. With ThrowException false (the default)
// every failure, also of connecting, comes back as a failed ServerResult (and the text in
// lastError()); with ThrowException true it is thrown as EKprError.
//
// One TNetConnection serves one thread at a time; threads that call concurrently each
// use their own.

#include "framework/core/serverresult.h"
#include "framework/net/rpctransport.h"

#include <QJsonArray>
#include <QObject>
#include <QString>

#include <initializer_list>
#include <memory>

namespace kpr {

class TNetConnection : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString ServerName READ serverName WRITE setServerName)
    Q_PROPERTY(QString Host READ host WRITE setHost)
    Q_PROPERTY(int Port READ port WRITE setPort)
    Q_PROPERTY(bool ThrowException READ throwException WRITE setThrowException)
    Q_PROPERTY(bool Connected READ connected WRITE setConnected)
    Q_PROPERTY(int ConnectTimeout READ connectTimeout WRITE setConnectTimeout)
    Q_PROPERTY(int CallTimeout READ callTimeout WRITE setCallTimeout)
    Q_PROPERTY(QString SecretFile READ secretFile WRITE setSecretFile)
    Q_PROPERTY(bool UseTLS READ useTls WRITE setUseTls)

public:
    explicit TNetConnection(QObject *parent = nullptr);
    ~TNetConnection() override;

    QString serverName() const { return m_serverName; }
    void setServerName(const QString &name) { m_serverName = name; }
    QString host() const { return m_endpoint.host; }
    void setHost(const QString &host) { m_endpoint.host = host; }
    int port() const { return m_endpoint.port; }
    void setPort(int port) { m_endpoint.port = port; }
    bool throwException() const { return m_throwException; }
    void setThrowException(bool on) { m_throwException = on; }
    // Milliseconds; they apply from the next connect. The call time-out bounds each wait
    // for the server's bytes, so a call whose answer never comes fails after it.
    int connectTimeout() const { return m_endpoint.connectTimeoutMs; }
    void setConnectTimeout(int ms) { m_endpoint.connectTimeoutMs = ms; }
    int callTimeout() const { return m_endpoint.callTimeoutMs; }
    void setCallTimeout(int ms) { m_endpoint.callTimeoutMs = ms; }

    // The file of the server's secret, read at each connect and sent with every call
    // ("Authorization: Bearer ..."); empty sends none. A file that cannot be read fails
    // the connect, naming the file.
    QString secretFile() const { return m_endpoint.secretFile; }
    void setSecretFile(const QString &path) { m_endpoint.secretFile = path; }
    // HTTPS, verifying the server's certificate and name (SSL_CERT_FILE names the trusted
    // authorities when set).
    bool useTls() const { return m_endpoint.tls; }
    void setUseTls(bool on) { m_endpoint.tls = on; }

    bool connected() const { return m_connected; }
    // true connects (see above); false disconnects. Setting the present state again does
    // nothing.
    void setConnected(bool on);
    Status open();
    void close();

    // Calls method with args; on success the arguments as the server left them are
    // copied back into args, so by-reference arguments reach the caller's variables.
    ServerResult call(const QString &method, QJsonArray &args);
    // For calls without by-reference arguments.
    ServerResult call(const QString &method, const QJsonArray &args);
    ServerResult call(const QString &method, std::initializer_list<QJsonValue> args = {});

    // Calls that do not depend on each other's answers, made in order and sent together
    // where the transport can (see RpcTransport::invokeInOrder); each answer goes to
    // `answer` as it arrives, and false from it ends the sequence. By-reference arguments
    // come back in each answer's refs. A failure is handed to `answer` like any other
    // answer, or thrown with ThrowException.
    void callInOrder(const QList<RpcCall> &calls, const RpcAnswerFn &answer);

    // The text of the last failure of a connect or call; empty after a success.
    QString lastError() const { return m_lastError; }

    // Replaces the way calls travel (the HTTP transport by default). A connected
    // connection opens the new transport at once with its present host and port.
    void setTransport(std::unique_ptr<RpcTransport> transport);
    RpcTransport *transport() const { return m_transport.get(); }

signals:
    // Emitted on the connecting thread just before every connect; sender is this.
    void BeforeConnect(QObject *sender);

private:
    Status connectNow(); // never throws
    ServerResult invoke(const QString &method, const QJsonArray &args);
    ServerResult fail(QString text);

    QString m_serverName;
    RpcEndpoint m_endpoint;
    bool m_throwException = false;
    bool m_connected = false;
    QString m_lastError;
    std::unique_ptr<RpcTransport> m_transport;
};

} // namespace kpr
