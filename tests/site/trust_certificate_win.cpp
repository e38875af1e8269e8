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

#include "support/file_bytes.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust_certificate <file.der>\n");
        return 2;
    }
    std::wstring path = argv[1];
    std::string der = testsupport::readFile(path.starts_with(L"/") ? L"Z:" + path : path);
    if (!CertAddEncodedCertificateToSystemStoreW(L"Root", reinterpret_cast<const BYTE*>(der.data()),
                                                 static_cast<DWORD>(der.size()))) {
        std::fprintf(stderr, "trust_certificate: %ls is no certificate (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    return 0;
}
