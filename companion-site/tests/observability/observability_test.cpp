// The metrics page's histograms and the access log's lines.

#include <gtest/gtest.h>

#include "observability/access_log.h"
#include "observability/metrics.h"

namespace {

TEST(MetricsPage, HistogramBucketsAreCumulative) {
    static constexpr double kBounds[] = {0.1, 1};
    site::Histogram histogram(kBounds);
    for (double seconds : {0.05, 0.5, 0.7, 5.0}) histogram.observe(seconds);
    site::MetricsPage page;
    page.histogram("t", {}, histogram);
    EXPECT_NE(page.text().find("t_bucket{le=\"0.1\"} 1\nt_bucket{le=\"1\"} 3\nt_bucket{le=\"+Inf\"} 4\n"),
              std::string::npos)
        << page.text();
}

// Through the line itself: every byte but printable ASCII escaped, long
// paths cut.
TEST(AccessLog, FieldsAreEscapedAndCut) {
    const std::pair<std::string, std::string> pathAndShown[] = {
        {"/api/me", "/api/me"},
        {"/a\nGET /fake 200", "/a\\x0aGET /fake 200"},
        {"/\"q\\\x7f\xc2\x9b[2J", "/\\x22q\\x5c\\x7f\\xc2\\x9b[2J"},
        {"/" + std::string(5000, 'a'), "/" + std::string(119, 'a') + "..."},
    };
    for (const auto& [path, shown] : pathAndShown)
        EXPECT_EQ(site::accessLogLine({"192.0.2.10", 1767225600 + 3661, "GET", path, 11, 200, 1234, .0126}),
                  "192.0.2.10 - - [01/Jan/2026:01:01:01 +0000] \"GET " + shown + " HTTP/1.1\" 200 1234 0.013\n");
}

}  // namespace
