#pragma once

#include "platform/HttpClient.h"

#include <stop_token>

namespace platform {

// The one entry of the download module (HttpClientCurl.cpp), as HttpGet
// finds it: the transfer's result as an HttpGetResult value. The module is
// built with the program, so both sides share these types.
using HttpModuleGet = int (*)(const HttpGetRequest* pRequest, HttpGetSink* pSink, const std::stop_token* pStop);
inline constexpr const char* kHttpModuleEntry = "TavdjHttpGet";

} // namespace platform
