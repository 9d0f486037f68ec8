// The HTTP POST, made on the worker thread.
#include <windows.h>
#include <winhttp.h>

#include <string>

#include "platform/win32/owners.h"
#include "platform/win32/win32_desktop.h"

namespace hw::platform::win32 {

namespace {

struct InternetHandleTraits : NullIsNone<HINTERNET> {
    static void Close(HINTERNET h) { WinHttpCloseHandle(h); }
};
using InternetHandle = Unique<InternetHandleTraits>;

std::wstring Wide(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

}  // namespace

long Win32Desktop::HttpPost(const std::string& url, const std::string& body, std::uint32_t timeoutMs,
                            std::uint32_t* status) {
    const std::wstring wurl = Wide(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256] = {}, path[2048] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = ARRAYSIZE(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = ARRAYSIZE(path);
    wchar_t extra[2048] = {};
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = ARRAYSIZE(extra);
    if (!WinHttpCrackUrl(wurl.c_str(), static_cast<DWORD>(wurl.size()), 0, &parts)) return static_cast<long>(::GetLastError());
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
    if (!host[0]) return ERROR_WINHTTP_INVALID_URL;

    // The system's proxy as Windows 8.1 and later find it (settings, script,
    // auto-detection); a system before it refuses that access type as an
    // invalid parameter, and takes the configured default proxy instead.
    InternetHandle session(WinHttpOpen(L"Harrowatch", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session && ::GetLastError() == ERROR_INVALID_PARAMETER)
        session.reset(WinHttpOpen(L"Harrowatch", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return static_cast<long>(::GetLastError());
    // TLS 1.2 and 1.3 whatever the system's defaults; a system that knows no
    // 1.3 refuses the pair and gets 1.2 alone.
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
        if (!WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols))
            return static_cast<long>(::GetLastError());
    }
    // A redirect is answered as it is: followed, the POST would go on as a
    // GET without its body, and the event would be lost while "delivered".
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    if (!WinHttpSetOption(session.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never))
        return static_cast<long>(::GetLastError());
    const int t = static_cast<int>(timeoutMs);
    if (!WinHttpSetTimeouts(session.get(), t, t, t, t)) return static_cast<long>(::GetLastError());
    InternetHandle connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
    if (!connection) return static_cast<long>(::GetLastError());
    std::wstring target = std::wstring(path) + extra;
    if (target.empty()) target = L"/";
    InternetHandle request(WinHttpOpenRequest(connection.get(), L"POST", target.c_str(), nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return static_cast<long>(::GetLastError());
    const wchar_t* headers = L"Content-Type: application/json; charset=utf-8\r\n";
    if (!WinHttpSendRequest(request.get(), headers, static_cast<DWORD>(-1L), const_cast<char*>(body.data()),
                            static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return static_cast<long>(::GetLastError());
    DWORD code = 0, size = sizeof code;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX))
        return static_cast<long>(::GetLastError());
    if (status) *status = code;
    return 0;
}

}  // namespace hw::platform::win32
