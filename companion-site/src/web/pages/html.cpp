#include "web/pages/html.h"

namespace site {
namespace {

constexpr char kStyle[] = R"css(
*{box-sizing:border-box}
body{margin:0;background:#111111;color:#E7E7E7;font:15px/1.5 "Segoe UI",system-ui,-apple-system,"Noto Sans","DejaVu Sans",sans-serif}
main{max-width:760px;margin:0 auto;padding:32px 20px 48px}
h1{font-size:24px;font-weight:600;margin:0 0 4px}
h2{font-size:16px;font-weight:600;margin:0 0 12px}
p{margin:0 0 10px}
a{color:#B98AF2}
.muted{color:#8F8F8F}
.box{background:#1A1A1A;border:1px solid #262626;border-radius:12px;padding:18px 20px;margin:16px 0}
.head{display:flex;align-items:center;justify-content:space-between;gap:12px;flex-wrap:wrap}
.badge{display:inline-block;border-radius:6px;padding:1px 8px;font-size:12px;font-weight:600;background:#202020;color:#8F8F8F;margin-left:8px;vertical-align:middle}
.badge.pro{background:#8F42E7;color:#FFFFFF}
.code{font:600 30px/1.2 "Cascadia Mono",Consolas,"DejaVu Sans Mono",monospace;letter-spacing:4px;background:#202020;border-radius:10px;padding:12px 16px;display:inline-block;margin:4px 0 12px;user-select:all}
.bar{height:8px;background:#202020;border-radius:4px;overflow:hidden;margin:8px 0 0}
.bar span{display:block;height:100%;background:#8F42E7;border-radius:4px}
label{display:block;color:#8F8F8F;font-size:13px;margin:12px 0 4px}
input[type=text],input[type=password]{width:100%;background:#202020;color:#E7E7E7;border:1px solid #6E6E6E;border-radius:8px;padding:10px 12px;font:inherit}
input:focus{outline:2px solid #8F42E7;outline-offset:0;border-color:transparent}
button{background:#8F42E7;color:#FFFFFF;border:0;border-radius:8px;padding:9px 16px;font:inherit;font-weight:600;cursor:pointer}
button:hover{background:#9D57EC}
button.quiet{background:#202020;color:#E7E7E7;font-weight:400;padding:6px 12px}
button.quiet:hover{background:#2A2A2A}
form.inline{display:inline;margin:0}
.error{background:#2A1518;color:#F0A0A8;border-radius:8px;padding:10px 12px;margin:12px 0 0}
.notice{background:#15251A;color:#9FDCA9;border-radius:8px;padding:10px 12px;margin:12px 0 0}
.stack{max-width:380px}
.stack button{margin-top:16px}
ul.rows{list-style:none;margin:0;padding:0}
ul.rows li{display:flex;align-items:center;justify-content:space-between;gap:12px;padding:10px 0;border-top:1px solid #262626}
ul.rows li:first-child{border-top:0}
.rows .what{min-width:0;overflow-wrap:anywhere}
.signin{max-width:380px;margin:8vh auto 0}
.signin button{width:100%;margin-top:18px;padding:11px}
)css";

}  // namespace

std::string escapeHtml(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped.push_back(c);
        }
    }
    return escaped;
}

std::string htmlPage(std::string_view title, std::string_view content) {
    std::string page = "<!DOCTYPE html>\n<html lang=\"ru\"><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                       "<meta name=\"color-scheme\" content=\"dark\"><title>";
    page += escapeHtml(title);
    page += " — Clipvane</title><style>";
    page += kStyle;
    page += "</style></head><body><main>";
    page += content;
    page += "</main></body></html>\n";
    return page;
}

SiteResponse htmlResponse(int status, std::string body) {
    SiteResponse response{status, "text/html; charset=utf-8", std::move(body), {}};
    response.with("Cache-Control", "no-store")
        .with("Content-Security-Policy",
              "default-src 'none'; style-src 'unsafe-inline'; img-src 'self'; form-action 'self'; "
              "frame-ancestors 'none'; base-uri 'none'")
        .with("X-Content-Type-Options", "nosniff")
        .with("X-Frame-Options", "DENY")
        .with("Referrer-Policy", "no-referrer");
    return response;
}

SiteResponse messagePage(int status, const char* heading, const char* sentence) {
    std::string content = "<div class=\"box\"><h1>";
    content += escapeHtml(heading);
    content += "</h1><p class=\"muted\">";
    content += escapeHtml(sentence);
    content += "</p></div>";
    return htmlResponse(status, htmlPage(heading, content));
}

}  // namespace site
