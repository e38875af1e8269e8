// Temporary: replaced by the site client.
#include "app/app_state.h"
#include "editor/upload_start.h"
#include "site/account.h"
#include "site/request_runner.h"
void runAsync(RequestWork, RequestDone) { setStatus(L"Связь с сайтом ещё не подключена"); }
void onRequestDone(LPARAM) {}
void refresh() { setStatus(L"Связь с сайтом ещё не подключена"); }
void linkDevice() { refresh(); }
void unlinkDevice() { refresh(); }
void openAccountPage() {}
void uploadImage() { refresh(); }
