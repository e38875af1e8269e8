#include "site/http_request.h"

#include <windows.h>
#include <winhttp.h>

#include "app/win_handles.h"
#include "storage/text.h"

namespace {

struct InternetHandleTraits {
    static HINTERNET invalid() { return nullptr; }
    static bool valid(HINTERNET handle) { return handle != nullptr; }
    static void close(HINTERNET handle) { WinHttpCloseHandle(handle); }
};

using InternetHandle = UniqueWinHandle<HINTERNET, InternetHandleTraits>;

constexpr DWORD kAutomaticProxy = 4;  // WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY

// Older WinHTTP builds reject the automatic proxy mode as an invalid
// parameter; the default proxy mode is the closest they offer.
HINTERNET openRootHandle() {
    HINTERNET root = WinHttpOpen(L"Clipvane/1.0", kAutomaticProxy, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (root || GetLastError() != ERROR_INVALID_PARAMETER) return root;
    return WinHttpOpen(L"Clipvane/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                       WINHTTP_NO_PROXY_BYPASS, 0);
}

// Members are declared root first, so they close request, connection, root.
class WinHttpConnection : public HttpConnection {
public:
    bool openSession(const HttpTimeouts& timeouts) override {
        root_.reset(openRootHandle());
        if (!root_.get()) return false;
        WinHttpSetTimeouts(root_.get(), timeouts.resolveMs, timeouts.connectMs, timeouts.sendMs, timeouts.receiveMs);
        receiveMs_ = timeouts.receiveMs;
        return true;
    }

    bool openRequest(const std::string& host, std::uint16_t port, const std::string& method,
                     const std::string& path) override {
        connection_.reset(WinHttpConnect(root_.get(), toWide(host).c_str(), port, 0));
        request_.reset(WinHttpOpenRequest(connection_.get(), toWide(method).c_str(), toWide(path).c_str(), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
        if (!request_.get()) return false;
        DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        WinHttpSetOption(request_.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
        // Some WinHTTP builds wait for the response head under a separate,
        // much longer limit; the receive time-out bounds that wait as well.
        DWORD headWait = static_cast<DWORD>(receiveMs_);
        WinHttpSetOption(request_.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headWait, sizeof headWait);
        return true;
    }

    bool exchange(const std::string& headers, std::string_view body) override {
        std::wstring headerBlock = toWide(headers);
        DWORD size = static_cast<DWORD>(body.size());
        LPVOID data = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
        if (!WinHttpSendRequest(request_.get(), headerBlock.c_str(), static_cast<DWORD>(-1L), data, size, size, 0))
            return false;
        return WinHttpReceiveResponse(request_.get(), nullptr);
    }

    std::uint32_t statusCode() override {
        DWORD status = 0;
        DWORD size = sizeof status;
        WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
        return status;
    }

    std::optional<std::size_t> bytesAvailable() override {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request_.get(), &available)) return std::nullopt;
        return available;
    }

    std::optional<std::size_t> readInto(char* buffer, std::size_t size) override {
        DWORD read = 0;
        if (!WinHttpReadData(request_.get(), buffer, static_cast<DWORD>(size), &read)) return std::nullopt;
        return read;
    }

private:
    InternetHandle root_;  // a null handle is never closed
    InternetHandle connection_;
    InternetHandle request_;
    int receiveMs_ = 0;
};

}  // namespace

nlohmann::json httpRequestUtf8(const HttpCall& call) {
    WinHttpConnection connection;
    return performRequest(connection, call);
}

nlohmann::json httpRequest(const std::wstring& baseUrl, const std::string& token, const std::wstring& method,
                           const std::wstring& path, const std::string& body, bool isPng) {
    return httpRequestUtf8(HttpCall{toUtf8(baseUrl), token, toUtf8(method), toUtf8(path), body, isPng});
}
