// Temporary: replaced by the site client.
#include "app/app_state.h"
#include "editor/upload_start.h"
#include "site/account.h"
void refresh() { setStatus(L"Связь с сайтом ещё не подключена"); }
void linkDevice() { refresh(); }
void unlinkDevice() { refresh(); }
void openAccountPage() {}
void uploadImage() { refresh(); }
