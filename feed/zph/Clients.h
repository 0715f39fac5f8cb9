// The three kinds of feed clients. A client registers with the controller
// (ZPHController::Register) and is called on a feed thread:
// - KeyClient::OnKeyUpdate(key) for every line that changed (clients filter
//   the keys they show);
// - MsgClient::OnMessage(msg, flag) for every inbound message; a client
//   registered with flag true hears line data ('D', 'R', 'I', 'E', 'C'), one
//   registered with false hears every other message, so registering with both
//   hears everything once. The second argument is the flag it was
//   registered with;
// - TimestampClient::OnTimestamp(ts) for every feed time.
// Call-backs must be short: copy what is needed, post it, return. They may
// call the controller and the active source (Retry, Disconnect, RequestPage,
// Unregister included) without deadlock.
//
// Interfaces only; see ClientList.h for the guarantees around Unregister.
#pragma once

namespace ZPH {

class ZPHMessage;
class Timestamp;

class KeyClient {
public:
    virtual ~KeyClient() = default;
    virtual void OnKeyUpdate(unsigned key) = 0;
};

class MsgClient {
public:
    virtual ~MsgClient() = default;
    virtual void OnMessage(ZPHMessage* msg, unsigned flag) = 0;
};

class TimestampClient {
public:
    virtual ~TimestampClient() = default;
    virtual void OnTimestamp(const Timestamp& timestamp) = 0;
};

} // namespace ZPH
