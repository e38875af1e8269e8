#pragma once
#include "site/site_host.h"

// The site operations' view of the running program: AppState, the settings
// file, the clipboard and the upload's message box.
SiteHost& appSiteHost();
