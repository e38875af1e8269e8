// Adds a certificate authority to the current user's trusted roots, so
// WinHTTP accepts servers it signed. Used for the test authority of the
// transport tests and for a development site's authority.
//
//   trust_certificate <file.pem|file.der>
// A path starting with "/" is a host path (Wine's drive Z:).

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/win_handles.h"

namespace {

struct CertStoreTraits {
    static HCERTSTORE invalid() { return nullptr; }
    static bool valid(HCERTSTORE store) { return store != nullptr; }
    static void close(HCERTSTORE store) { CertCloseStore(store, 0); }
};
using CertStore = UniqueWinHandle<HCERTSTORE, CertStoreTraits>;

std::wstring windowsPath(std::wstring path) {
    if (!path.empty() && path.front() == L'/') path = L"Z:" + path;
    return path;
}

std::vector<BYTE> readFile(const std::wstring& path) {
    std::ifstream stream(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

// PEM text becomes its DER bytes; anything else is taken as DER already.
std::vector<BYTE> derBytes(const std::vector<BYTE>& file) {
    DWORD size = 0;
    const char* text = reinterpret_cast<const char*>(file.data());
    DWORD length = static_cast<DWORD>(file.size());
    if (!CryptStringToBinaryA(text, length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) return file;
    std::vector<BYTE> der(size);
    CryptStringToBinaryA(text, length, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr);
    der.resize(size);
    return der;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust_certificate <file.pem|file.der>\n");
        return 2;
    }
    std::vector<BYTE> file = readFile(windowsPath(argv[1]));
    if (file.empty()) {
        std::fprintf(stderr, "trust_certificate: cannot read %ls\n", argv[1]);
        return 1;
    }
    std::vector<BYTE> der = derBytes(file);
    CertStore store(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
    if (!store) {
        std::fprintf(stderr, "trust_certificate: cannot open the Root store (error %lu)\n", GetLastError());
        return 1;
    }
    if (!CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(),
                                          static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
        std::fprintf(stderr, "trust_certificate: not a certificate (error %lu)\n", GetLastError());
        return 1;
    }
    return 0;
}
