#include "TlsContext.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace zphd {

namespace {

struct PKeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};

// Writes a PEM file through a temporary file with the given mode.
bool WritePem(const std::string& path, mode_t mode, const std::function<bool(FILE*)>& write, std::string& error)
{
    const std::string temp = path + ".tmp";
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        error = temp + ": " + std::strerror(errno);
        return false;
    }
    FILE* file = ::fdopen(fd, "w");
    if (file == nullptr) {
        ::close(fd);
        error = temp + ": " + std::strerror(errno);
        return false;
    }
    const bool written = write(file);
    const bool flushed = std::fflush(file) == 0 && ::fsync(fd) == 0;
    std::fclose(file);
    if (!written || !flushed || ::rename(temp.c_str(), path.c_str()) != 0) {
        error = path + ": cannot be written " + TlsContext::TakeErrors();
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool Generate(const std::string& certPath, const std::string& keyPath, std::string& error)
{
    std::unique_ptr<EVP_PKEY, PKeyFree> key(EVP_EC_gen("P-256"));
    std::unique_ptr<X509, X509Free> cert(X509_new());
    if (!key || !cert) {
        error = "cannot make a key: " + TlsContext::TakeErrors();
        return false;
    }
    X509_set_version(cert.get(), 2);
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1) {
        error = "no random serial: " + TlsContext::TakeErrors();
        return false;
    }
    serial[0] &= 0x7f;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 10L * 365 * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("zphd feed server"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, cert.get(), cert.get(), nullptr, nullptr, 0);
    for (auto [nid, value] : {std::pair {NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1,IP:::1"},
                              std::pair {NID_basic_constraints, "critical,CA:TRUE"},
                              std::pair {NID_key_usage, "critical,digitalSignature,keyCertSign"}}) {
        X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
        if (ext == nullptr || X509_add_ext(cert.get(), ext, -1) != 1) {
            X509_EXTENSION_free(ext);
            error = "cannot make the certificate: " + TlsContext::TakeErrors();
            return false;
        }
        X509_EXTENSION_free(ext);
    }
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) {
        error = "cannot sign the certificate: " + TlsContext::TakeErrors();
        return false;
    }
    return WritePem(keyPath, 0600,
                    [&](FILE* f) { return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1; },
                    error)
        && WritePem(certPath, 0644, [&](FILE* f) { return PEM_write_X509(f, cert.get()) == 1; }, error);
}

} // namespace

std::string TlsContext::TakeErrors()
{
    std::string text;
    while (unsigned long code = ERR_get_error()) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        if (!text.empty())
            text += "; ";
        text += buffer;
    }
    return text;
}

std::string TlsContext::DefaultStateDir()
{
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/')
        return std::string(state) + "/zphd";
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        return std::string(home) + "/.local/state/zphd";
    return "/tmp/zphd-" + std::to_string(::getuid());
}

std::unique_ptr<TlsContext> TlsContext::Create(const std::string& certFile, const std::string& keyFile,
                                               const std::string& stateDir, std::string& error)
{
    if (certFile.empty() != keyFile.empty()) {
        error = "a certificate needs its key and a key its certificate";
        return nullptr;
    }
    std::unique_ptr<TlsContext> context(new TlsContext());
    std::string cert = certFile, key = keyFile;
    if (cert.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(stateDir, ec);
        if (ec) {
            error = stateDir + ": " + ec.message();
            return nullptr;
        }
        ::chmod(stateDir.c_str(), 0700);
        cert = stateDir + "/zphd-cert.pem";
        key = stateDir + "/zphd-key.pem";
        if (::access(cert.c_str(), R_OK) != 0 || ::access(key.c_str(), R_OK) != 0) {
            if (!Generate(cert, key, error))
                return nullptr;
            context->m_generated = true;
        }
    }
    context->m_ctx = SSL_CTX_new(TLS_server_method());
    if (context->m_ctx == nullptr) {
        error = "cannot make a TLS context: " + TakeErrors();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(context->m_ctx, TLS1_2_VERSION);
    SSL_CTX_set_mode(context->m_ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (SSL_CTX_use_certificate_chain_file(context->m_ctx, cert.c_str()) != 1
        || SSL_CTX_use_PrivateKey_file(context->m_ctx, key.c_str(), SSL_FILETYPE_PEM) != 1
        || SSL_CTX_check_private_key(context->m_ctx) != 1) {
        error = cert + " / " + key + ": " + TakeErrors();
        return nullptr;
    }
    context->m_certPath = cert;
    return context;
}

TlsContext::~TlsContext() { SSL_CTX_free(m_ctx); }

SSL* TlsContext::NewSession(int fd) const
{
    SSL* ssl = SSL_new(m_ctx);
    if (ssl == nullptr)
        return nullptr;
    if (SSL_set_fd(ssl, fd) != 1) {
        SSL_free(ssl);
        return nullptr;
    }
    SSL_set_accept_state(ssl);
    return ssl;
}

} // namespace zphd
