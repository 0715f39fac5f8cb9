// The TCP feed sources:
//   CSocketSource    kind 1 "Socket": TCP (TLS when "Secure") to the feed
//                    server's socket port; logs in with the user's name.
//   CDatabaseSource  kind 3 "ZPHDB": TCP (TLS when "Secure") to the server's
//                    database port; logs in with "UserId" and a proof of the
//                    password made from the server's greeting, so the
//                    password itself never travels.
// See Source.h for the life of a source; the serial source is in
// SerialSource.h.
#pragma once

#include "zphsource/Source.h"

#include <memory>

namespace ZPH {

class CSocketSource : public ZPHSource {
public:
    CSocketSource(SourceHost& host, int role);
    ~CSocketSource() override;

protected:
    std::unique_ptr<ZPHLink::Link> OpenLink(const SourceSettings& settings, ZPHLink::Waker& waker,
                                            std::string& error) override;
    std::string Describe(const SourceSettings& settings) const override;
};

class CDatabaseSource : public ZPHSource {
public:
    CDatabaseSource(SourceHost& host, int role);
    ~CDatabaseSource() override;

protected:
    std::unique_ptr<ZPHLink::Link> OpenLink(const SourceSettings& settings, ZPHLink::Waker& waker,
                                            std::string& error) override;
    std::string Describe(const SourceSettings& settings) const override;
    bool WaitsForGreeting() const override { return true; }
    void AddLoginFields(ZPHMessage& login, const std::string& nonce, const SourceSettings& settings) override;
};

} // namespace ZPH
