// The site's own figures on the metrics page: how long the store took, what
// the site counted, and what the store keeps.

#include <iostream>

#include "web/site.h"

namespace site {

void Site::writeMetrics(MetricsPage& page) {
    if (storeTimes_) {
        page.family("clipvane_store_operation_duration_seconds", "histogram",
                    "Store operations, from the wait for the store to their end.");
        page.histogram("clipvane_store_operation_duration_seconds", {}, *storeTimes_);
    }
    const auto count = [&](const char* name, const char* help, const Counter& counter) {
        page.family(name, "counter", help);
        page.sample(name, {}, static_cast<double>(counter.value()));
    };
    count("clipvane_sign_in_failures_total", "Wrong passwords, at sign-in and on a password change.",
          counters_.wrongPasswords);
    page.family("clipvane_sign_in_throttled_total", "counter",
                "Sign-in and password-change tries held back before the password was checked, by the limit "
                "that held them.");
    page.sample("clipvane_sign_in_throttled_total", {{"limit", "address"}},
                static_cast<double>(counters_.throttledByAddress.value()));
    page.sample("clipvane_sign_in_throttled_total", {{"limit", "account"}},
                static_cast<double>(counters_.throttledByAccount.value()));
    count("clipvane_link_codes_issued_total", "Link codes made on the account page.", counters_.linkCodesIssued);
    count("clipvane_link_codes_redeemed_total", "Link codes redeemed by the program.", counters_.linkCodesRedeemed);
    // Without the store the page still tells what the server saw.
    ShotTotals kept;
    try {
        kept = store_.shotTotals();
    } catch (const std::exception& error) {
        std::cerr << "metrics without the store: " << error.what() << '\n';
        return;
    }
    page.family("clipvane_shots_kept", "gauge", "Shots kept now, expired ones not yet swept included.");
    page.sample("clipvane_shots_kept", {}, static_cast<double>(kept.shots));
    page.family("clipvane_shot_bytes_kept", "gauge", "Bytes of the shots kept now.");
    page.sample("clipvane_shot_bytes_kept", {}, static_cast<double>(kept.bytes));
}

}  // namespace site
