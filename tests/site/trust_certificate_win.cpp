// Adds a certificate authority to the current user's trusted roots, so
// WinHTTP accepts servers it signed: the authority of the test servers and
// of a development site.
//
//   trust_certificate <file.der>
// A path starting with "/" is a host path (Wine's drive Z:).

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>

#include "app/win_handles.h"
#include "support/file_bytes.h"

namespace {

struct CertStoreTraits {
    static HCERTSTORE invalid() { return nullptr; }
    static bool valid(HCERTSTORE store) { return store != nullptr; }
    static void close(HCERTSTORE store) { CertCloseStore(store, 0); }
};
using CertStore = UniqueWinHandle<HCERTSTORE, CertStoreTraits>;

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust_certificate <file.der>\n");
        return 2;
    }
    std::wstring path = argv[1];
    std::string der = testsupport::readFile(path.starts_with(L"/") ? L"Z:" + path : path);
    CertStore store(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
    if (!store) {
        std::fprintf(stderr, "trust_certificate: cannot open the Root store (error %lu)\n", GetLastError());
        return 1;
    }
    if (!CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                          static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
        std::fprintf(stderr, "trust_certificate: %ls is no certificate (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    return 0;
}
