// Saves the settings file over and over until it is killed. Each document
// carries one generation number many times, so a torn file shows at once.
#include <windows.h>

#include <vector>

#include "app/app_state.h"
#include "storage/settings.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    app.settingsPath = argv[1];
    for (int generation = 0;; ++generation) {
        app.settingsDoc["generation"] = generation;
        app.settingsDoc["padding"] = std::vector<int>(20000, generation);
        if (!saveSettings()) return 3;
    }
}
