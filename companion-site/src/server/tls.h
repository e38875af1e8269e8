#pragma once
// The server's TLS: only TLS 1.2 and newer, TLS 1.2 only with forward
// secrecy and authenticated encryption, in the server's order.

#include <openssl/ssl.h>

#include <string>

namespace site {

// Loads the certificate chain and its key; false when they do not load or
// do not match.
bool configureTls(SSL_CTX* context, const std::string& certificate, const std::string& key);

}  // namespace site
