#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <stdexcept>
#include <tuple>

#include "site/site_address.h"
#include "site/site_host.h"
#include "site/site_operations.h"

using nlohmann::json;

namespace {

constexpr char kSaveFailed[] = "Не удалось сохранить настройки на диск";

// A program around the site operations that only records what they did.
class FakeSiteHost : public SiteHost {
public:
    json profileValue = json::object(), newsValue = json::array();
    std::string address = "https://old.test", token, status = "начало";
    bool protectionFails = false, saveFails = false, clipboardBusy = false;

    // The address at the last save, and the last message as "caption: text".
    std::string savedAddress, clipboard, message;
    int refreshRequests = 0, rebuilds = 0;

    json& profile() override { return profileValue; }
    json& news() override { return newsValue; }
    bool linked() const override { return !token.empty(); }
    void showStatus(const std::string& text) override { status = text; }
    std::string siteAddress() const override { return address; }
    void setSiteAddress(const std::string& given) override { address = given; }
    bool storeToken(const std::string& given) override {
        if (protectionFails) throw std::runtime_error("Не удалось защитить ключ доступа Windows");
        token = given;
        return save();
    }
    bool forgetToken() override {
        token.clear();
        return save();
    }
    void requestRefresh() override { ++refreshRequests; }
    void rebuildControls() override { ++rebuilds; }
    bool copyText(const std::string& text) override {
        if (!clipboardBusy) clipboard = text;
        return !clipboardBusy;
    }
    void showMessage(const std::string& text, const std::string& caption) override { message = caption + ": " + text; }

private:
    bool save() {
        savedAddress = address;
        if (saveFails) status = kSaveFailed;
        return !saveFails;
    }
};

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

}  // namespace

TEST(Refresh, NewsWithoutTheTokenThenTheProfileOnlyWhenLinked) {
    for (const std::string token : {"secret", ""}) {
        RecordingTransport site;
        site.answers = {{"/api/notifications", kNews}, {"/api/me", kProfile}};
        FakeSiteHost host;
        host.token = token;
        completeRefresh(host, refreshWork(site.transport(), "https://clip.test", token));
        EXPECT_EQ(host.newsValue, kNews);
        EXPECT_EQ(site.calls.front(), "GET /api/notifications");
        EXPECT_EQ(site.calls.back() + ", " + host.status,
                  token.empty() ? "GET /api/notifications, Привяжите профиль для загрузки на сайт"
                                : "GET /api/me Bearer secret, Данные обновлены");
        EXPECT_EQ(host.profileValue, token.empty() ? json::object() : kProfile);
    }
}

// A failed save has put its own message up; a refresh or "unlinked" would hide it.
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
        EXPECT_EQ(host.savedAddress, "https://new.test");
        EXPECT_EQ(host.profileValue, json::object());
        EXPECT_EQ(host.status, saveFails ? kSaveFailed : "Профиль привязан");
        EXPECT_EQ(host.refreshRequests, saveFails ? 0 : 1);

        host.profileValue = kProfile;
        forgetLink(host);
        EXPECT_EQ(host.token + host.profileValue.dump(), "{}");
        EXPECT_EQ(host.status, saveFails ? kSaveFailed : "Приложение отвязано");
        EXPECT_EQ(host.rebuilds, 1);
    }
}

TEST(Link, UnusableTokenOrOneThatCannotBeProtectedChangesNothing) {
    const json answers[] = {json::object(), {{"token", 5}}, {{"token", ""}}, {{"token", "t\r\nX-Other: 1"}},
                            {{"token", std::string("t\0u", 3)}}, {{"token", "t\x7f"}}, {{"token", "fresh"}}};
    for (const json& answer : answers) {
        FakeSiteHost host;
        host.token = "old";
        host.protectionFails = answer == json{{"token", "fresh"}};
        host.profileValue = kProfile;
        EXPECT_ANY_THROW(completeLink(host, "https://new.test", answer)) << answer.dump();
        EXPECT_EQ(host.address + " " + host.token + " " + host.savedAddress, "https://old.test old ") << answer.dump();
        EXPECT_EQ(host.profileValue, kProfile);
        EXPECT_EQ(host.refreshRequests, 0);
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
    const std::string link = "https://снимки.рф/s/1", shown = " | Снимок опубликован: " + link + "\n\n";
    // A "used" that is no usable number is left alone; the upload itself succeeded.
    const std::tuple<bool, json, json> rows[] = {
        {false, kProfile, {{"username", "anna"}, {"used", 5}, {"limit", 30}}},
        {true, {{"used", 1}}, {{"used", 2}}},
        {false, json::object(), json::object()},
        {false, {{"used", "4"}}, {{"used", "4"}}},
    };
    for (const auto& [clipboardBusy, profile, profileAfter] : rows) {
        FakeSiteHost host;
        host.clipboardBusy = clipboardBusy;
        host.profileValue = profile;
        completeUpload(host, {{"url", link}});
        EXPECT_EQ(host.profileValue, profileAfter);
        EXPECT_EQ(host.clipboard + " | " + host.status + " | " + host.message,
                  clipboardBusy ? " | Загружено: " + link + shown + "Не удалось скопировать ссылку. Повторите копирование вручную."
                                : link + " | Ссылка скопирована • доступна 14 дней" + shown + "Ссылка уже в буфере обмена.");
    }
}

TEST(Upload, AnswerWithoutAPrintableHttpsLinkChangesNothing) {
    for (const json& url : {json(nullptr), json(1), json("http://clip.test/s/1"), json("https://"),
                            json("https://clip.test/s/1\r\nmore"), json("https://clip.test/a b")}) {
        FakeSiteHost host;
        host.profileValue = kProfile;
        EXPECT_ANY_THROW(completeUpload(host, url.is_null() ? json::object() : json{{"url", url}})) << url;
        EXPECT_EQ(host.status + host.clipboard + host.message, "начало") << url;
        EXPECT_EQ(host.profileValue, kProfile) << url;
    }
}

TEST(Upload, RaisedCountReadsBooleansCutsFractionsAndRefusesOverflow) {
    constexpr int kMax = std::numeric_limits<int>::max();
    const std::pair<json, std::optional<int>> rows[] = {
        {true, 2},        {4.9, 5},          {-2.5, -1},           {0u, 1},
        {kMax - 1, kMax}, {kMax, std::nullopt}, {json::array(), std::nullopt}, {1e300, std::nullopt},
        {std::numeric_limits<std::uint64_t>::max(), std::nullopt}, {-1e300, std::nullopt},
    };
    for (const auto& [used, raised] : rows) EXPECT_EQ(raisedUploadCount(used), raised) << used;
}

TEST(AccountPage, OnlyForALowerCaseHttpsAddress) {
    EXPECT_EQ(accountPageUrl("https://clip.test"), "https://clip.test/account");
    EXPECT_EQ(accountPageUrl("HTTPS://clip.test"), std::nullopt);
    EXPECT_EQ(accountPageUrl("http://clip.test"), std::nullopt);
}
