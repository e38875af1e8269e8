#pragma once
// The plain-HTTP metrics page: one request per connection, then close.

#include "server/listener.h"
#include "server/shared.h"

namespace site {

// Admits a connection to the metrics page, a few at a time.
Listener::Admit metricsAdmission(Shared& shared);

}  // namespace site
