// Hub::Session: what the hub keeps of one connection. Shared by the hub and
// its control interface, which reports and acts on sessions.
//
// Thread-safety: none; the hub's thread owns every session.
#pragma once

#include "Hub.h"
#include "LineFields.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zphd {

struct Hub::Session {
    int id = 0;
    PortKind kind = PortKind::Socket;
    SessionLink* link = nullptr;
    std::string peer;
    enum class State { AwaitLogin, LoggedIn, Closing } state = State::AwaitLogin;
    ZPHWire::FrameReader reader;
    std::string nonce;
    UserAccount user;
    std::set<int> pages;                                    // pages asked for
    std::map<std::pair<int, int>, std::pair<int, int>> own; // own levels last sent
    // Trade monitor lines as last sent: each user's monitor shows only the
    // trades of pages that user may see, so its lines are this session's own.
    std::map<std::pair<int, int>, std::vector<LineField>> monitors;
    std::uint64_t frames = 0;
    std::uint64_t bad = 0;
    int early = 0;
    std::int64_t connected = 0;    // hub time of the connection

    bool LoggedIn() const { return state == State::LoggedIn; }
    std::string Name() const
    {
        return "#" + std::to_string(id) + " " + PortName(kind) + " " + (user.name.empty() ? "-" : user.name) + " ("
            + peer + ")";
    }
};

} // namespace zphd
