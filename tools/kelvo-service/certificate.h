#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>

// A self-signed certificate for the given host, made at start and kept in memory.
struct Certificate {
    X509* cert = nullptr;
    EVP_PKEY* key = nullptr;
};

Certificate makeSelfSigned(const std::string& host);
