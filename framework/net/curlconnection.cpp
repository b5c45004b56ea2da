#include "framework/net/curlconnection.h"

#include <QByteArray>

namespace kpr {

void setConnectionOptions(CURL *curl, const RpcEndpoint &endpoint, char *errorBuffer)
{
    // The calls sent together are written as HTTP/1.1 requests: no HTTP/2 through TLS's
    // protocol negotiation either.
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    // Without it every request waits for the peer's delayed ACK (about 44 ms here).
    curl_easy_setopt(curl, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // The server is named by the user: a proxy from the environment is not wanted.
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(endpoint.connectTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    if (endpoint.tls) {
        // libcurl verifies the peer and its host name by default; a test's (or a site's)
        // own authority comes in through SSL_CERT_FILE.
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        const QByteArray caFile = qgetenv("SSL_CERT_FILE");
        if (!caFile.isEmpty())
            curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.constData());
    }
}

} // namespace kpr
