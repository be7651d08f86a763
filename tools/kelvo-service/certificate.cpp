#include "certificate.h"

#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <stdexcept>

Certificate makeSelfSigned(const std::string& host) {
    Certificate c;
    c.key = EVP_RSA_gen(2048);
    if (!c.key)
        throw std::runtime_error("cannot make a key");
    c.cert = X509_new();
    X509_set_version(c.cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(c.cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(c.cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(c.cert), 3600L * 24 * 365);
    X509_set_pubkey(c.cert, c.key);
    X509_NAME* name = X509_get_subject_name(c.cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(host.c_str()),
                               -1, -1, 0);
    X509_set_issuer_name(c.cert, name);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, c.cert, c.cert, nullptr, nullptr, 0);
    const std::string san = "DNS:" + host + ",IP:127.0.0.1";
    if (X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, san.c_str())) {
        X509_add_ext(c.cert, ext, -1);
        X509_EXTENSION_free(ext);
    }
    if (!X509_sign(c.cert, c.key, EVP_sha256()))
        throw std::runtime_error("cannot sign the certificate");
    return c;
}
