// trust_certificate <file.der>: adds a certificate authority to the current
// user's trusted roots, so WinHTTP accepts the test servers and a development
// site. A path starting with "/" is a host path (Wine's drive Z:).

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust_certificate <file.der>\n");
        return 2;
    }
    std::wstring path = argv[1];
    std::ifstream file(std::filesystem::path(path.starts_with(L"/") ? L"Z:" + path : path), std::ios::binary);
    std::string der{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!CertAddEncodedCertificateToSystemStoreW(L"Root", reinterpret_cast<const BYTE*>(der.data()),
                                                 static_cast<DWORD>(der.size()))) {
        std::fprintf(stderr, "trust_certificate: %ls is no certificate (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    return 0;
}
