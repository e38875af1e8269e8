#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <stdexcept>

#include "fake_site_host.h"
#include "site/site_address.h"
#include "site/site_api.h"
#include "site/site_operations.h"

using nlohmann::json;

namespace {

struct SentCall {
    std::string baseUrl, token, method, path, body;
    bool isPng;
};

// Answers each path from a table and records every call in order.
class RecordingTransport {
public:
    std::vector<SentCall> calls;
    std::map<std::string, json> answers;
    std::string failingPath;

    SiteTransport transport() {
        return [this](const HttpCall& call) {
            calls.push_back({call.baseUrl, call.token, call.method, call.path, std::string(call.body), call.isPng});
            if (call.path == failingPath) throw std::runtime_error("Нет соединения с сайтом. Проверьте интернет и адрес");
            return answers.at(call.path);
        };
    }
};

const json kNews = json::array({{{"title", "Новое"}, {"body", "Текст"}}});
const json kProfile = {{"username", "anna"}, {"used", 4}, {"limit", 30}};

}  // namespace

TEST(Refresh, LinkedAsksForNewsWithoutTheTokenThenForTheProfileWithIt) {
    RecordingTransport site;
    site.answers = {{"/api/notifications", kNews}, {"/api/me", kProfile}};
    json answer = refreshWork(site.transport(), "https://clip.test", "secret");
    ASSERT_EQ(site.calls.size(), 2u);
    EXPECT_EQ(site.calls[0].path, "/api/notifications");
    EXPECT_EQ(site.calls[0].token, "");
    EXPECT_EQ(site.calls[0].method, "GET");
    EXPECT_EQ(site.calls[1].path, "/api/me");
    EXPECT_EQ(site.calls[1].token, "secret");
    for (const SentCall& call : site.calls) {
        EXPECT_EQ(call.baseUrl, "https://clip.test");
        EXPECT_TRUE(call.body.empty());
        EXPECT_FALSE(call.isPng);
    }
    EXPECT_EQ(answer, json({{"news", kNews}, {"me", kProfile}}));
}

TEST(Refresh, UnlinkedAsksOnlyForNewsAndKeepsTheProfile) {
    RecordingTransport site;
    site.answers = {{"/api/notifications", kNews}};
    json answer = refreshWork(site.transport(), "https://clip.test", "");
    ASSERT_EQ(site.calls.size(), 1u);
    EXPECT_FALSE(answer.contains("me"));

    FakeSiteHost host;
    host.profileValue = {{"used", 2}};
    completeRefresh(host, answer);
    EXPECT_EQ(host.newsValue, kNews);
    EXPECT_EQ(host.profileValue, json({{"used", 2}}));
    EXPECT_EQ(host.status, "Привяжите профиль для загрузки на сайт");
}

TEST(Refresh, FailedNewsRequestNeverAsksForTheProfile) {
    RecordingTransport site;
    site.failingPath = "/api/notifications";
    EXPECT_THROW(refreshWork(site.transport(), "https://clip.test", "secret"), std::runtime_error);
    EXPECT_EQ(site.calls.size(), 1u);
}

TEST(Refresh, CompletionWhileLinkedStoresBothAnswers) {
    FakeSiteHost host;
    host.token = "secret";
    completeRefresh(host, {{"news", json::object()}, {"me", kProfile}});
    EXPECT_EQ(host.newsValue, json::object());
    EXPECT_EQ(host.profileValue, kProfile);
    EXPECT_EQ(host.status, "Данные обновлены");
}

TEST(Link, SendsTheCodeAsTheOnlyMemberWithoutAToken) {
    RecordingTransport site;
    site.answers = {{"/api/link/redeem", {{"token", "t"}}}};
    linkWork(site.transport(), "https://clip.test", "КОД-42");
    ASSERT_EQ(site.calls.size(), 1u);
    EXPECT_EQ(site.calls[0].method, "POST");
    EXPECT_EQ(site.calls[0].token, "");
    EXPECT_EQ(site.calls[0].body, "{\"code\":\"КОД-42\"}");
    EXPECT_EQ(site_api::linkRequestBody(""), "{\"code\":\"\"}");
    EXPECT_EQ(site_api::linkRequestBody("a\"b"), "{\"code\":\"a\\\"b\"}");
}

TEST(Link, SuccessStoresTokenAndAddressTogetherAndAsksForARefresh) {
    FakeSiteHost host;
    host.profileValue = kProfile;
    completeLink(host, "https://new.test", {{"token", "fresh"}, {"extra", 1}});
    EXPECT_EQ(host.token, "fresh");
    EXPECT_EQ(host.address, "https://new.test");
    EXPECT_EQ(host.savedAddresses, std::vector<std::string>{"https://new.test"});
    EXPECT_EQ(host.profileValue, json::object());
    EXPECT_EQ(host.status, "Профиль привязан");
    EXPECT_EQ(host.refreshRequests, 1);
}

TEST(Link, AnswerWithoutAStringTokenChangesNothing) {
    for (const json& answer : {json::object(), json{{"token", 5}}, json::array(), json{{"token", ""}},
                               json{{"token", "t\r\nX-Other: 1"}}, json{{"token", std::string("t\0u", 3)}},
                               json{{"token", "t\x1fu"}}, json{{"token", "t\x7f"}}}) {
        FakeSiteHost host;
        host.token = "old";
        host.profileValue = kProfile;
        EXPECT_ANY_THROW(completeLink(host, "https://new.test", answer)) << answer.dump();
        EXPECT_EQ(host.address, "https://old.test") << answer.dump();
        EXPECT_EQ(host.token, "old");
        EXPECT_EQ(host.profileValue, kProfile);
        EXPECT_TRUE(host.savedAddresses.empty());
        EXPECT_EQ(host.refreshRequests, 0);
    }
}

TEST(Link, MissingTokenIsReportedWithTheLibrarysMessage) {
    FakeSiteHost host;
    try {
        completeLink(host, "https://new.test", json::object());
        ADD_FAILURE();
    } catch (const json::out_of_range& error) {
        EXPECT_NE(std::string(error.what()).find("token"), std::string::npos);
    }
}

TEST(Link, TokenThatCannotBeProtectedKeepsTheOldAddress) {
    FakeSiteHost host;
    host.protectionFails = true;
    host.profileValue = kProfile;
    EXPECT_THROW(completeLink(host, "https://new.test", {{"token", "fresh"}}), std::runtime_error);
    EXPECT_EQ(host.address, "https://old.test");
    EXPECT_EQ(host.profileValue, kProfile);
    EXPECT_EQ(host.refreshRequests, 0);
}

TEST(Link, FailedSaveKeepsItsMessageInsteadOfClaimingSuccess) {
    FakeSiteHost host;
    host.saveFails = true;
    completeLink(host, "https://new.test", {{"token", "fresh"}});
    EXPECT_EQ(host.status, "Не удалось сохранить настройки на диск");
    EXPECT_EQ(host.token, "fresh");  // linked for this session
    EXPECT_EQ(host.refreshRequests, 0);
}

TEST(Unlink, ForgetsTheTokenKeepsNewsAndAddress) {
    FakeSiteHost host;
    host.token = "secret";
    host.profileValue = kProfile;
    host.newsValue = kNews;
    forgetLink(host);
    EXPECT_TRUE(host.token.empty());
    EXPECT_EQ(host.profileValue, json::object());
    EXPECT_EQ(host.newsValue, kNews);
    EXPECT_EQ(host.address, "https://old.test");
    EXPECT_EQ(host.status, "Приложение отвязано");
    EXPECT_EQ(host.rebuilds, 1);
}

TEST(Unlink, FailedSaveKeepsItsMessage) {
    FakeSiteHost host;
    host.token = "secret";
    host.saveFails = true;
    forgetLink(host);
    EXPECT_TRUE(host.token.empty());
    EXPECT_EQ(host.status, "Не удалось сохранить настройки на диск");
    EXPECT_EQ(host.rebuilds, 1);
}

TEST(Upload, PostsThePngWithTheToken) {
    RecordingTransport site;
    site.answers = {{"/api/shots", {{"url", "https://clip.test/s/1"}}}};
    std::string png("\x89PNG\0\x01", 6);
    EXPECT_EQ(uploadWork(site.transport(), "https://clip.test", "secret", png), json({{"url", "https://clip.test/s/1"}}));
    ASSERT_EQ(site.calls.size(), 1u);
    EXPECT_EQ(site.calls[0].method, "POST");
    EXPECT_EQ(site.calls[0].token, "secret");
    EXPECT_EQ(site.calls[0].body, png);
    EXPECT_TRUE(site.calls[0].isPng);
}

TEST(Upload, SizeLimitIsTwelveMebibytes) {
    EXPECT_TRUE(pngFitsUploadLimit(12582912));
    EXPECT_FALSE(pngFitsUploadLimit(12582913));
}

TEST(Upload, SuccessCopiesTheLinkCountsAndShowsTheBox) {
    FakeSiteHost host;
    host.profileValue = kProfile;
    completeUpload(host, {{"url", "https://clip.test/s/абв"}});
    EXPECT_EQ(host.clipboard, "https://clip.test/s/абв");
    EXPECT_EQ(host.status, "Ссылка скопирована • доступна 14 дней");
    EXPECT_EQ(host.profileValue["used"], 5);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first, "https://clip.test/s/абв\n\nСсылка уже в буфере обмена.");
    EXPECT_EQ(host.messages[0].second, "Снимок опубликован");
}

TEST(Upload, BusyClipboardStillCountsAsDone) {
    FakeSiteHost host;
    host.clipboardBusy = true;
    completeUpload(host, {{"url", "https://clip.test/s/1"}});
    EXPECT_EQ(host.status, "Загружено: https://clip.test/s/1");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first,
              "https://clip.test/s/1\n\nНе удалось скопировать ссылку. Повторите копирование вручную.");
}

TEST(Upload, EmptyProfileGetsNoCount) {
    FakeSiteHost host;
    completeUpload(host, {{"url", "https://clip.test/s/1"}});
    EXPECT_EQ(host.profileValue, json::object());
}

TEST(Upload, AnswerWithoutAStringUrlChangesNothing) {
    for (const json& answer : {json::object(), json{{"url", 1}}, json("x")}) {
        FakeSiteHost host;
        host.profileValue = kProfile;
        EXPECT_ANY_THROW(completeUpload(host, answer));
        EXPECT_EQ(host.status, "начало");
        EXPECT_TRUE(host.clipboard.empty());
        EXPECT_EQ(host.profileValue, kProfile);
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST(Upload, UrlThatIsNotAPrintableHttpsLinkIsAnInvalidAnswer) {
    for (const char* url : {"http://clip.test/s/1", "https://", "https://clip.test/s/1\r\nmore", "https://clip.test/a b",
                            " https://clip.test/s/1", "javascript:alert(1)", "https://clip.test/\x7f"}) {
        FakeSiteHost host;
        host.profileValue = kProfile;
        try {
            completeUpload(host, {{"url", url}});
            ADD_FAILURE() << url;
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Сайт вернул некорректный ответ") << url;
        }
        EXPECT_TRUE(host.clipboard.empty()) << url;
        EXPECT_EQ(host.profileValue, kProfile) << url;
        EXPECT_TRUE(host.messages.empty()) << url;
    }
    FakeSiteHost host;  // a site under a Cyrillic domain name hands out such links
    completeUpload(host, {{"url", "https://снимки.рф/s/1"}});
    EXPECT_EQ(host.clipboard, "https://снимки.рф/s/1");
}

TEST(Upload, UnusableUsedCountIsSkippedAndTheUploadReportedDone) {
    for (const json& used : {json("4"), json::array(), json(nullptr), json::object(), json(1e300)}) {
        FakeSiteHost host;
        host.profileValue = {{"used", used}};
        completeUpload(host, {{"url", "https://clip.test/s/1"}});
        EXPECT_EQ(host.profileValue["used"], used) << used.dump();
        EXPECT_EQ(host.status, "Ссылка скопирована • доступна 14 дней") << used.dump();
        EXPECT_EQ(host.messages.size(), 1u) << used.dump();
    }
}

TEST(Upload, UsedCountReadsBooleansAndCutsFractions) {
    EXPECT_EQ(raisedUploadCount(json(true)), 2);
    EXPECT_EQ(raisedUploadCount(json(false)), 1);
    EXPECT_EQ(raisedUploadCount(json(4.9)), 5);
    EXPECT_EQ(raisedUploadCount(json(-2.5)), -1);
    EXPECT_EQ(raisedUploadCount(json(0u)), 1);
    EXPECT_EQ(raisedUploadCount(json(std::numeric_limits<int>::max() - 1)), std::numeric_limits<int>::max());
    EXPECT_EQ(raisedUploadCount(json(std::numeric_limits<int>::max())), std::nullopt);
    EXPECT_EQ(raisedUploadCount(json(std::numeric_limits<std::uint64_t>::max())), std::nullopt);
    EXPECT_EQ(raisedUploadCount(json(std::numeric_limits<std::int64_t>::min())), std::nullopt);
}

TEST(SiteAddressText, TrailingSlashesAreAllRemoved) {
    EXPECT_EQ(withoutTrailingSlashes(std::wstring(L"https://clip.test///")), L"https://clip.test");
    EXPECT_EQ(withoutTrailingSlashes(std::wstring(L"///")), L"");
    EXPECT_EQ(withoutTrailingSlashes(std::wstring(L"https://clip.test/a/")), L"https://clip.test/a");
}

TEST(SiteAddressText, AccountPageNeedsALowerCaseHttpsScheme) {
    EXPECT_EQ(accountPageUrl("https://clip.test"), "https://clip.test/account");
    EXPECT_EQ(accountPageUrl("https://"), "https:///account");
    EXPECT_EQ(accountPageUrl("HTTPS://clip.test"), std::nullopt);
    EXPECT_EQ(accountPageUrl("https:/"), std::nullopt);
    EXPECT_EQ(accountPageUrl("http://clip.test"), std::nullopt);
}
