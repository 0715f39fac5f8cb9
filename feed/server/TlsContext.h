// TlsContext: the server side of TLS for zphd's listeners (OpenSSL).
//
// The certificate and key are either given (PEM files) or kept in a state
// directory: at the first start there, a self-signed certificate for
// "localhost" and 127.0.0.1 is generated with a fresh P-256 key (key file
// mode 0600, written through a temporary file and a rename so that a crash
// never leaves half a key). Clients that want to verify the server point
// their trust at CertificatePath().
//
// Thread-safety: Create on one thread; NewSession may be called from the
// thread that owns the context.
#pragma once

#include <memory>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace zphd {

class TlsContext {
public:
    // certFile and keyFile both given: use them. Both empty: use (or make)
    // zphd-cert.pem and zphd-key.pem in stateDir. null with an error text
    // when anything fails.
    static std::unique_ptr<TlsContext> Create(const std::string& certFile, const std::string& keyFile,
                                              const std::string& stateDir, std::string& error);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // A server-side session on a connected descriptor; null when OpenSSL fails.
    SSL* NewSession(int fd) const;

    const std::string& CertificatePath() const { return m_certPath; }
    bool Generated() const { return m_generated; }

    // The default state directory: $XDG_STATE_HOME/zphd or ~/.local/state/zphd.
    static std::string DefaultStateDir();

    // The OpenSSL error queue as one text, emptied.
    static std::string TakeErrors();

private:
    TlsContext() = default;

    SSL_CTX* m_ctx = nullptr;
    std::string m_certPath;
    bool m_generated = false;
};

} // namespace zphd
