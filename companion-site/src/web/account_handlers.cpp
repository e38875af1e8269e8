// The account pages: sign-in, the overview, and the forms on it. Every form
// carries a token bound to the session (or, before sign-in, to a cookie), and
// every cookie is HttpOnly, Secure and SameSite=Strict.

#include "http/forms.h"
#include "security/link_code.h"
#include "security/secrets.h"
#include "web/accounts.h"
#include "web/messages.h"
#include "web/pages/account_view.h"
#include "web/pages/html.h"
#include "web/quota.h"
#include "web/site.h"

namespace site {
namespace {

std::string cookieHeader(const char* name, const std::string& value, std::int64_t maxAge) {
    return std::string(name) + "=" + value + "; Path=/; Max-Age=" + std::to_string(maxAge) +
           "; HttpOnly; Secure; SameSite=Strict";
}

std::string cookieOf(const SiteRequest& request, const char* name) {
    const auto cookies = parseCookies(request.header("cookie"));
    const auto found = cookies.find(name);
    return found != cookies.end() && looksLikeSecret(found->second) ? found->second : std::string();
}

std::string field(const std::map<std::string, std::string>& fields, const char* name) {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

// The wait in whole minutes, rounded up, so the time named is never early.
std::string throttledSentence(std::int64_t waitSeconds) {
    return std::string(messages::kAccountThrottled) + " " + std::to_string((waitSeconds + 59) / 60) + " мин.";
}

SiteResponse staleForm() {
    return messagePage(403, messages::kStaleForm, "Откройте личный кабинет заново и повторите действие.");
}

}  // namespace

std::optional<Session> Site::currentSession(const SiteRequest& request) {
    const std::string secret = cookieOf(request, kSessionCookie);
    if (secret.empty()) return std::nullopt;
    return store_.session(sha256Hex(secret), clock_());
}

// The session of a form post whose token matches; nothing otherwise.
std::optional<Session> Site::formSession(const SiteRequest& request, std::map<std::string, std::string>& fields) {
    fields = parseForm(request.body);
    auto session = currentSession(request);
    if (!session || !constantTimeEqual(field(fields, "form"), session->formToken)) return std::nullopt;
    return session;
}

SiteResponse Site::signInPage(const SiteRequest& request, int status, const std::string& error,
                              const std::string& userName) {
    std::string formToken = cookieOf(request, kSignInCookie);
    if (formToken.empty()) formToken = newSecret();
    SiteResponse response = htmlResponse(status, renderSignInPage(formToken, error, userName));
    return response.with("Set-Cookie", cookieHeader(kSignInCookie, formToken, kSessionLifetimeSeconds));
}

SiteResponse Site::accountPage(const SiteRequest& request) {
    const auto session = currentSession(request);
    if (!session) return signInPage(request, 200, "", "");
    return overview(*session);
}

// A link code only on the user's own request, with the form token; it
// replaces any code the user had, so at most one is ever live.
SiteResponse Site::newLinkCode(const SiteRequest& request) {
    std::map<std::string, std::string> fields;
    const auto session = formSession(request, fields);
    if (!session) return staleForm();
    const std::string code =
        issueLinkCode(store_, session->user.id, clock_(), sha256Hex(cookieOf(request, kSessionCookie)));
    if (code.empty()) return staleForm();
    counters_.linkCodesIssued.add();
    return overview(*session, {.linkCode = formatLinkCode(code)});
}

// `view` brings what the page shows besides the account itself.
SiteResponse Site::overview(const Session& session, AccountView view, int status) {
    const std::int64_t now = clock_();
    const User& user = session.user;
    view.userName = user.name;
    view.pro = user.pro;
    view.siteAddress = publicUrl_;
    view.linkCodeExpiresAt = now + kLinkCodeLifetimeSeconds;
    view.used = store_.uploadsOn(user.id, utcDay(now));
    view.limit = dailyLimit(user.pro);
    view.shots = store_.shotsOf(user.id);
    view.devices = store_.devicesOf(user.id);
    view.formToken = session.formToken;
    return htmlResponse(status, renderAccountPage(view));
}

// The same limits wherever a password is typed: so many tries per address
// a minute, the account's own wait after failures, and the same check. A
// name no account can have is a wrong password, never a key or a query.
Site::Guess Site::tryPassword(const SiteRequest& request, const std::string& userName, const std::string& password) {
    const std::int64_t now = clock_();
    if (!signInAttempts_->allow(request.remoteAddress, now)) {
        counters_.throttledByAddress.add();
        return Guess{std::nullopt, 429, messages::kTooManyAttempts};
    }
    const Guess wrong{std::nullopt, 401, messages::kWrongPassword};
    if (!isValidUserName(userName)) {
        counters_.wrongPasswords.add();
        return wrong;
    }
    if (const std::int64_t wait = signInFailures_->attempt(userName, now); wait > 0) {
        counters_.throttledByAccount.add();
        return Guess{std::nullopt, 429, throttledSentence(wait)};
    }
    auto account = checkPassword(store_, userName, password, passwordIterations_);
    if (!account) {
        counters_.wrongPasswords.add();
        return wrong;
    }
    signInFailures_->succeeded(userName);
    return Guess{std::move(account), 0, ""};
}

SiteResponse Site::signIn(const SiteRequest& request) {
    const auto fields = parseForm(request.body);
    const std::string userName = field(fields, "user");
    const std::string formToken = cookieOf(request, kSignInCookie);
    if (formToken.empty() || !constantTimeEqual(field(fields, "form"), formToken)) return staleForm();
    const Guess guess = tryPassword(request, userName, field(fields, "password"));
    if (!guess.account) return signInPage(request, guess.status, guess.sentence, userName);

    const std::string secret = newSecret();
    if (!store_.addSession(sha256Hex(secret), guess.account->user.id, newSecret(), clock_() + kSessionLifetimeSeconds,
                           guess.account->hash))
        return signInPage(request, 401, messages::kWrongPassword, userName);
    return redirect("/account")
        .with("Set-Cookie", cookieHeader(kSessionCookie, secret, kSessionLifetimeSeconds))
        .with("Set-Cookie", cookieHeader(kSignInCookie, "", 0));
}

SiteResponse Site::signOut(const SiteRequest& request) {
    std::map<std::string, std::string> fields;
    if (!formSession(request, fields)) return staleForm();
    store_.deleteSession(sha256Hex(cookieOf(request, kSessionCookie)));
    return redirect("/account").with("Set-Cookie", cookieHeader(kSessionCookie, "", 0));
}

// Under the same limits as sign-in, since the current password is a guess
// like any other; the session it comes from stays, every other one ends.
SiteResponse Site::changePassword(const SiteRequest& request) {
    std::map<std::string, std::string> fields;
    const auto session = formSession(request, fields);
    if (!session) return staleForm();
    const std::string password = field(fields, "new");
    if (password != field(fields, "repeat"))
        return overview(*session, {.passwordError = messages::kPasswordsDiffer}, 400);
    if (!isAcceptablePassword(password)) return overview(*session, {.passwordError = messages::kBadNewPassword}, 400);
    const Guess guess = tryPassword(request, session->user.name, field(fields, "current"));
    if (!guess.account) {
        const bool wrong = guess.status == 401;
        return overview(*session, {.passwordError = wrong ? messages::kWrongCurrentPassword : guess.sentence},
                        guess.status);
    }
    setPassword(store_, session->user.id, password, sha256Hex(cookieOf(request, kSessionCookie)), passwordIterations_);
    return overview(*session, {.passwordChanged = true});
}

SiteResponse Site::signOutEverywhere(const SiteRequest& request) {
    std::map<std::string, std::string> fields;
    const auto session = formSession(request, fields);
    if (!session) return staleForm();
    store_.endSessions(session->user.id, "");
    return redirect("/account").with("Set-Cookie", cookieHeader(kSessionCookie, "", 0));
}

SiteResponse Site::deleteShot(const SiteRequest& request) {
    std::map<std::string, std::string> fields;
    const auto session = formSession(request, fields);
    if (!session) return staleForm();
    const std::string id = field(fields, "shot");
    if (isShotId(id) && store_.deleteShot(session->user.id, id)) files_.remove(id);
    return redirect("/account");
}

SiteResponse Site::revokeDevice(const SiteRequest& request) {
    std::map<std::string, std::string> fields;
    const auto session = formSession(request, fields);
    if (!session) return staleForm();
    const std::string device = field(fields, "device");
    if (!device.empty() && device.size() <= 18 && device.find_first_not_of("0123456789") == std::string::npos)
        store_.revokeDevice(session->user.id, std::stoll(device));
    return redirect("/account");
}

}  // namespace site
