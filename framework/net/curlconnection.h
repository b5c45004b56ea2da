#pragma once
// How both connections to the application server are made with libcurl: the same
// time-outs, proxy rule and certificate checks for the calls made one at a time and for
// the calls sent together.

#include "framework/net/rpctransport.h"

#include <curl/curl.h>

namespace kpr {

// Sets on curl what every connection to endpoint has; curl's failure texts go to
// errorBuffer (CURL_ERROR_SIZE bytes).
void setConnectionOptions(CURL *curl, const RpcEndpoint &endpoint, char *errorBuffer);

} // namespace kpr
