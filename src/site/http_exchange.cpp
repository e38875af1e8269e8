#include "site/http_exchange.h"

#include <algorithm>
#include <stdexcept>

#include "site/site_address.h"
#include "storage/json_depth.h"

namespace {

std::string readBody(HttpConnection& connection) {
    std::string body;
    for (;;) {
        std::optional<std::size_t> available = connection.bytesAvailable();
        if (!available || *available == 0) return body;
        // The announced amount is checked before anything of it is read.
        if (*available > kMaxResponseBytes - body.size()) throw std::runtime_error("Ответ сайта слишком большой");
        std::size_t start = body.size();
        body.resize(start + *available);
        std::optional<std::size_t> read = connection.readInto(body.data() + start, *available);
        if (!read) throw std::runtime_error("Соединение прервано");
        body.resize(start + std::min(*read, *available));
    }
}

constexpr char kInvalidAnswer[] = "Сайт вернул некорректный ответ";

nlohmann::json parseBody(const std::string& body) {
    // Nesting no real answer has would overflow the stack of whoever copies it.
    if (!jsonDepthWithinLimit(body)) throw std::runtime_error(kInvalidAnswer);
    try {
        return nlohmann::json::parse(body);
    } catch (const std::exception&) {
        throw std::runtime_error(kInvalidAnswer);
    }
}

bool isSuccess(std::uint32_t status) {
    return status >= 200 && status <= 299;
}

}  // namespace

std::string requestHeaders(const std::string& token, bool isPng) {
    std::string headers = isPng ? "Content-Type: image/png\r\n" : "Content-Type: application/json\r\n";
    if (!token.empty()) headers += "Authorization: Bearer " + token + "\r\n";
    return headers;
}

nlohmann::json performRequest(HttpConnection& connection, const HttpCall& call) {
    std::optional<SiteOrigin> origin = parseSiteAddress(call.baseUrl);
    if (!origin) throw std::runtime_error("Укажите HTTPS-адрес сайта без пути");
    if (!connection.openSession(HttpTimeouts{})) throw std::runtime_error("Не удалось запустить подключение");
    if (!connection.openRequest(origin->host, origin->port, call.method, call.path))
        throw std::runtime_error("Не удалось подключиться к сайту");
    if (!connection.exchange(requestHeaders(call.token, call.isPng), call.body))
        throw std::runtime_error("Нет соединения с сайтом. Проверьте интернет и адрес");

    std::uint32_t status = connection.statusCode();
    nlohmann::json answer = parseBody(readBody(connection));
    if (!isSuccess(status)) {
        // Outside the parse guard on purpose: a body that is not an object,
        // or an "error" that is not a string, leaves with the library's error.
        std::string sentence = answer.value("error", std::string());
        // An empty sentence would leave a failure with a blank status line.
        throw std::runtime_error(sentence.empty() ? "Ошибка сайта" : sentence);
    }
    return answer;
}
