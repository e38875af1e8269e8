// The metrics page of the real server, read by a strict reader of the
// Prometheus text format: what it counts, and that no label names anyone.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "support/site_harness.h"
#include "support/site_process.h"
#include "support/test_png.h"

namespace {

using site_test::SiteProcess;

struct Page {
    std::map<std::string, double> samples;  // "name{a="x",b="y"}" as written
    std::set<std::string> labelValues;
};

// Fails the test on any line that is not a HELP, a TYPE or a valid sample of
// the family they announced; checks every histogram's buckets.
Page readStrictly(const std::string& text) {
    static const std::regex help("# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) [^\n]+");
    static const std::regex type("# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge|histogram)");
    static const std::regex sample("([a-zA-Z_:][a-zA-Z0-9_:]*)(\\{([a-zA-Z_]\\w*=\"[^\"\\\\\n]*\",?)*\\})? "
                                   "(-?[0-9.e+-]+|\\+Inf)");
    static const std::regex label("(\\w+)=\"([^\"]*)\"");
    Page page;
    std::string family, kind, helped;
    std::set<std::string> seen;
    std::map<std::string, std::pair<double, std::string>> lastBucket;  // per label set: count, le
    EXPECT_TRUE(text.ends_with('\n'));
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        if (std::regex_match(line, match, help)) {
            helped = match[1];
            EXPECT_TRUE(seen.insert(helped).second) << "family twice: " << line;
        } else if (std::regex_match(line, match, type)) {
            EXPECT_EQ(match[1], helped) << "TYPE without its HELP: " << line;
            family = match[1];
            kind = match[2];
        } else if (std::regex_match(line, match, sample)) {
            const std::string name = match[1];
            const std::string labels = match[2];
            std::size_t used = 0;
            const double value = std::stod(match[4], &used);
            EXPECT_EQ(used, match[4].length()) << line;
            page.samples[name + labels] = value;
            std::string withoutLe;
            std::string le;
            for (std::sregex_iterator at(labels.begin(), labels.end(), label), end; at != end; ++at) {
                page.labelValues.insert((*at)[2]);
                ((*at)[1] == "le" ? le : withoutLe) += (*at)[0].str() + ",";
            }
            if (kind != "histogram") {
                EXPECT_EQ(name, family) << line;
                EXPECT_GE(value, 0) << line;
                EXPECT_TRUE(kind != "counter" || name.ends_with("_total")) << line;
            } else if (name == family + "_bucket") {
                auto& [count, lastLe] = lastBucket[withoutLe];
                EXPECT_GE(value, count) << "buckets not cumulative: " << line;
                count = value;
                lastLe = le;
            } else {
                EXPECT_TRUE(name == family + "_sum" || name == family + "_count") << line;
                if (name.ends_with("_count")) {
                    EXPECT_EQ(lastBucket[withoutLe].second, "le=\"+Inf\",") << line;
                    EXPECT_EQ(lastBucket[withoutLe].first, value) << "+Inf is not the count: " << line;
                }
            }
        } else {
            ADD_FAILURE() << "not a metrics line: " << line;
        }
    }
    return page;
}

TEST(Metrics, CountWhatHappensAndNameNoOne) {
    site_test::ScratchFolder folder;
    const auto data = folder.path() / "data";
    site_test::addSiteUser(data, "alice", "correct horse");
    SiteProcess server(data, {"--metrics-listen", "127.0.0.1:0"});
    auto client = server.client();

    // A wrong password, a sign-in, a code from the page, an upload, a refused one and a download.
    EXPECT_THROW(site_test::signIn(*client, "alice", "wrong"), std::runtime_error);
    const std::string session = site_test::signIn(*client, "alice", "correct horse");
    const httplib::Headers cookie{{"Cookie", session}};
    const std::string form = site_test::formField(client->Get("/account", cookie)->body, "form");
    const std::string code =
        site_test::firstMatch(client->Post("/account/link-code", cookie, httplib::Params{{"form", form}})->body, "code\">([^<]+)<");
    const auto redeemed = client->Post("/api/link/redeem", nlohmann::json{{"code", code}}.dump(), "application/json");
    const std::string token = nlohmann::json::parse(redeemed->body)["token"];
    const std::string png = site_test::makePng(40, 40, 5);
    const std::string link = site_test::linkPath(site_test::uploadShot(*client, token, png));
    site_test::uploadShot(*client, token, "not a picture");
    ASSERT_EQ(client->Get(link)->body, png);

    const struct {
        const char* sample;
        double value;
    } expected[] = {
        {"clipvane_http_requests_total{route=\"api_shots\",code=\"200\"}", 1},
        {"clipvane_http_requests_total{route=\"api_shots\",code=\"415\"}", 1},
        {"clipvane_http_requests_total{route=\"shot\",code=\"200\"}", 1},
        {"clipvane_http_requests_total{route=\"account_sign_in\",code=\"401\"}", 1},
        {"clipvane_http_request_duration_seconds_count{route=\"api_shots\"}", 2},
        {"clipvane_uploads_accepted_total", 1},
        {"clipvane_uploads_refused_total{reason=\"not_png\"}", 1},
        {"clipvane_uploads_refused_total{reason=\"daily_limit\"}", 0},
        {"clipvane_sign_in_failures_total", 1},
        {"clipvane_link_codes_issued_total", 1},
        {"clipvane_link_codes_redeemed_total", 1},
        {"clipvane_shots_kept", 1},
    };
    const auto valueOf = [](const Page& page, const char* sample) {
        return page.samples.count(sample) ? page.samples.at(sample) : -1;
    };
    // A request is counted once its answer has gone out, which the client may see first.
    httplib::Client metrics("127.0.0.1", server.metricsPort());
    Page page;
    for (int tries = 0; tries < 100; ++tries, std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
        const auto answer = metrics.Get("/metrics");
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->get_header_value("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
        page = readStrictly(answer->body);
        if (std::all_of(std::begin(expected), std::end(expected),
                        [&](const auto& e) { return valueOf(page, e.sample) == e.value; }))
            break;
    }
    for (const auto& e : expected) EXPECT_EQ(valueOf(page, e.sample), e.value) << e.sample;
    EXPECT_GE(page.samples.at("clipvane_http_request_body_bytes_total"), png.size());
    EXPECT_GE(page.samples.at("clipvane_http_response_body_bytes_total"), png.size());
    EXPECT_EQ(page.samples.at("clipvane_shot_bytes_kept"), png.size());
    EXPECT_GT(page.samples.at("clipvane_store_operation_duration_seconds_count"), 0);
    const std::string shotId = link.substr(3);
    for (const std::string& value : page.labelValues) {
        for (const std::string& secret : {std::string("alice"), token, shotId, shotId.substr(0, 6), code,
                                          session.substr(session.find('=') + 1)})
            EXPECT_EQ(value.find(secret), std::string::npos) << value;
    }
    EXPECT_EQ(metrics.Get("/")->status, 404);
}

}  // namespace
