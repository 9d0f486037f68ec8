// HTTP, from a worker thread only (it blocks up to its time-outs).
#pragma once

#include <cstdint>
#include <string>

namespace hw::platform {

class HttpApi {
public:
    virtual ~HttpApi() = default;

    // One POST of a JSON body to an http:// or https:// address. 0 with the
    // HTTP status in *status, or the WinHTTP or Win32 error: an address it
    // cannot take 12005 (12006 for another scheme), no connection 12029, a
    // time-out 12002. Redirects are never followed: a 3xx answer comes back
    // as its status (sent on, a POST would arrive as a GET without its body).
    virtual long HttpPost(const std::string& url, const std::string& body, std::uint32_t timeoutMs,
                          std::uint32_t* status) = 0;
};

}  // namespace hw::platform
