#include <windows.h>
#include <dpapi.h>

#include "storage/token_protection.h"

namespace {

// DPAPI hands its output in LocalAlloc'ed memory.
struct LocalBlob {
    DATA_BLOB blob{};
    ~LocalBlob() {
        if (blob.pbData) LocalFree(blob.pbData);
    }
};

DATA_BLOB inputBlob(const void* data, size_t size) {
    return DATA_BLOB{static_cast<DWORD>(size), static_cast<BYTE*>(const_cast<void*>(data))};
}

}  // namespace

std::optional<std::vector<std::uint8_t>> protectToken(const std::string& token) {
    DATA_BLOB input = inputBlob(token.data(), token.size());
    LocalBlob output;
    if (!CryptProtectData(&input, L"Clipvane device", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &output.blob)) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(output.blob.pbData, output.blob.pbData + output.blob.cbData);
}

std::optional<std::string> unprotectToken(const std::vector<std::uint8_t>& blob) {
    DATA_BLOB input = inputBlob(blob.data(), blob.size());
    LocalBlob output;
    if (!CryptUnprotectData(&input, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &output.blob)) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(output.blob.pbData), output.blob.cbData);
}
