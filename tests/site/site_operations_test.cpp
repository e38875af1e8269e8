#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <stdexcept>

#include "fake_site_host.h"
#include "site/site_address.h"
#include "site/site_operations.h"

using nlohmann::json;

namespace {

// Answers each path from a table and records every call as
// "METHOD path[ Bearer token][ png][ body]".
class RecordingTransport {
public:
    std::vector<std::string> calls;
    std::map<std::string, json> answers;

    SiteTransport transport() {
        return [this](const HttpCall& call) {
            EXPECT_EQ(call.baseUrl, "https://clip.test");
            std::string line = call.method + " " + call.path;
            if (!call.token.empty()) line += " Bearer " + call.token;
            if (call.isPng) line += " png";
            if (!call.body.empty()) line += " " + std::string(call.body);
            calls.push_back(line);
            if (!answers.contains(call.path)) throw std::runtime_error("Нет соединения с сайтом");
            return answers.at(call.path);
        };
    }
};

const json kNews = json::array({{{"title", "Новое"}, {"body", "Текст"}}});
const json kProfile = {{"username", "anna"}, {"used", 4}, {"limit", 30}};
constexpr char kSaveFailed[] = "Не удалось сохранить настройки на диск";

}  // namespace

TEST(Refresh, NewsWithoutTheTokenThenTheProfileOnlyWhenLinked) {
    struct Row {
        std::string token;
        std::vector<std::string> calls;
        json profile;
        const char* status;
    };
    const Row rows[] = {
        {"secret", {"GET /api/notifications", "GET /api/me Bearer secret"}, kProfile, "Данные обновлены"},
        {"", {"GET /api/notifications"}, {{"used", 2}}, "Привяжите профиль для загрузки на сайт"},
    };
    for (const Row& row : rows) {
        RecordingTransport site;
        site.answers = {{"/api/notifications", kNews}, {"/api/me", kProfile}};
        FakeSiteHost host;
        host.token = row.token;
        host.profileValue = {{"used", 2}};
        completeRefresh(host, refreshWork(site.transport(), "https://clip.test", row.token));
        EXPECT_EQ(site.calls, row.calls);
        EXPECT_EQ(host.newsValue, kNews);
        EXPECT_EQ(host.profileValue, row.profile);
        EXPECT_EQ(host.status, row.status);
    }
    RecordingTransport down;
    EXPECT_THROW(refreshWork(down.transport(), "https://clip.test", "secret"), std::runtime_error);
    EXPECT_EQ(down.calls.size(), 1u);
}

// A failed save has put its own message up; a refresh would hide it.
TEST(Link, SendsTheCodeAloneStoresTokenWithAddressThenRefreshesUnlessTheSaveFailed) {
    for (bool saveFails : {false, true}) {
        RecordingTransport site;
        site.answers = {{"/api/link/redeem", {{"token", "fresh"}, {"extra", 1}}}};
        FakeSiteHost host;
        host.saveFails = saveFails;
        host.profileValue = kProfile;
        completeLink(host, "https://new.test", linkWork(site.transport(), "https://clip.test", "КОД \"42\""));
        EXPECT_EQ(site.calls, std::vector<std::string>{R"(POST /api/link/redeem {"code":"КОД \"42\""})"});
        EXPECT_EQ(host.token, "fresh");  // linked for this session even when unsaved
        EXPECT_EQ(host.savedAddresses, std::vector<std::string>{"https://new.test"});
        EXPECT_EQ(host.profileValue, json::object());
        EXPECT_EQ(host.status, saveFails ? kSaveFailed : "Профиль привязан");
        EXPECT_EQ(host.refreshRequests, saveFails ? 0 : 1);
    }
}

TEST(Link, UnusableTokenOrOneThatCannotBeProtectedChangesNothing) {
    const json answers[] = {json::object(), {{"token", 5}}, json::array(), {{"token", ""}},
                            {{"token", "t\r\nX-Other: 1"}}, {{"token", std::string("t\0u", 3)}},
                            {{"token", "t\x1fu"}}, {{"token", "t\x7f"}}, {{"token", "fresh"}}};
    for (const json& answer : answers) {
        FakeSiteHost host;
        host.token = "old";
        host.protectionFails = answer == json{{"token", "fresh"}};
        host.profileValue = kProfile;
        EXPECT_ANY_THROW(completeLink(host, "https://new.test", answer)) << answer.dump();
        EXPECT_EQ(host.address, "https://old.test") << answer.dump();
        EXPECT_EQ(host.token, "old");
        EXPECT_EQ(host.profileValue, kProfile);
        EXPECT_TRUE(host.savedAddresses.empty());
        EXPECT_EQ(host.refreshRequests, 0);
    }
}

TEST(Unlink, ForgetsTokenAndProfileKeepsNewsAndAddress) {
    for (bool saveFails : {false, true}) {
        FakeSiteHost host;
        host.token = "secret";
        host.saveFails = saveFails;
        host.profileValue = kProfile;
        host.newsValue = kNews;
        forgetLink(host);
        EXPECT_TRUE(host.token.empty());
        EXPECT_EQ(host.profileValue, json::object());
        EXPECT_EQ(host.newsValue, kNews);
        EXPECT_EQ(host.address, "https://old.test");
        EXPECT_EQ(host.status, saveFails ? kSaveFailed : "Приложение отвязано");
        EXPECT_EQ(host.rebuilds, 1);
    }
}

TEST(Upload, PostsThePngWithTheTokenUpToTwelveMebibytes) {
    RecordingTransport site;
    site.answers = {{"/api/shots", {{"url", "https://clip.test/s/1"}}}};
    std::string png("\x89PNG\0\x01", 6);
    EXPECT_EQ(uploadWork(site.transport(), "https://clip.test", "secret", png), json({{"url", "https://clip.test/s/1"}}));
    EXPECT_EQ(site.calls, std::vector<std::string>{"POST /api/shots Bearer secret png " + png});
    EXPECT_TRUE(pngFitsUploadLimit(12582912));
    EXPECT_FALSE(pngFitsUploadLimit(12582913));
}

TEST(Upload, LinkIsCopiedCountedAndShown) {
    struct Row {
        bool clipboardBusy;
        json profile;
        const char* status;
        const char* note;
        json profileAfter;
    };
    const char* copied = "Ссылка скопирована • доступна 14 дней";
    const char* inClipboard = "Ссылка уже в буфере обмена.";
    const Row rows[] = {
        {false, kProfile, copied, inClipboard, {{"username", "anna"}, {"used", 5}, {"limit", 30}}},
        {true, {{"used", 1}}, "Загружено: https://снимки.рф/s/1",
         "Не удалось скопировать ссылку. Повторите копирование вручную.", {{"used", 2}}},
        {false, json::object(), copied, inClipboard, json::object()},
        // A "used" that is no usable number is left alone; the upload itself succeeded.
        {false, {{"used", "4"}}, copied, inClipboard, {{"used", "4"}}},
        {false, {{"used", nullptr}}, copied, inClipboard, {{"used", nullptr}}},
        {false, {{"used", 1e300}}, copied, inClipboard, {{"used", 1e300}}},
    };
    for (const Row& row : rows) {
        FakeSiteHost host;
        host.clipboardBusy = row.clipboardBusy;
        host.profileValue = row.profile;
        completeUpload(host, {{"url", "https://снимки.рф/s/1"}});
        EXPECT_EQ(host.clipboard, row.clipboardBusy ? "" : "https://снимки.рф/s/1");
        EXPECT_EQ(host.status, row.status);
        EXPECT_EQ(host.profileValue, row.profileAfter);
        EXPECT_EQ(host.messages, std::vector<std::string>{std::string("Снимок опубликован: https://снимки.рф/s/1\n\n") + row.note});
    }
}

TEST(Upload, AnswerWithoutAPrintableHttpsLinkChangesNothing) {
    for (const json& url : {json(nullptr), json(1), json("http://clip.test/s/1"), json("https://"),
                            json("https://clip.test/s/1\r\nmore"), json("https://clip.test/a b"),
                            json(" https://clip.test/s/1"), json("javascript:alert(1)"), json("https://clip.test/\x7f")}) {
        FakeSiteHost host;
        host.profileValue = kProfile;
        EXPECT_ANY_THROW(completeUpload(host, url.is_null() ? json::object() : json{{"url", url}})) << url;
        EXPECT_EQ(host.status, "начало") << url;
        EXPECT_TRUE(host.clipboard.empty()) << url;
        EXPECT_EQ(host.profileValue, kProfile) << url;
        EXPECT_TRUE(host.messages.empty()) << url;
    }
}

TEST(Upload, RaisedCountReadsBooleansCutsFractionsAndRefusesOverflow) {
    constexpr int kMax = std::numeric_limits<int>::max();
    const std::pair<json, std::optional<int>> rows[] = {
        {true, 2},        {false, 1},        {4.9, 5},           {-2.5, -1},
        {0u, 1},          {kMax - 1, kMax},  {kMax, std::nullopt}, {json::array(), std::nullopt},
        {std::numeric_limits<std::uint64_t>::max(), std::nullopt},
        {std::numeric_limits<std::int64_t>::min(), std::nullopt},
    };
    for (const auto& [used, raised] : rows) EXPECT_EQ(raisedUploadCount(used), raised) << used;
}

TEST(SiteAddressText, TypedSlashesGoAndTheAccountPageNeedsLowerCaseHttps) {
    EXPECT_EQ(withoutTrailingSlashes(std::wstring(L"https://clip.test/a///")), L"https://clip.test/a");
    EXPECT_EQ(withoutTrailingSlashes(std::wstring(L"///")), L"");
    EXPECT_EQ(accountPageUrl("https://clip.test"), "https://clip.test/account");
    EXPECT_EQ(accountPageUrl("HTTPS://clip.test"), std::nullopt);
    EXPECT_EQ(accountPageUrl("https:/"), std::nullopt);
    EXPECT_EQ(accountPageUrl("http://clip.test"), std::nullopt);
}
