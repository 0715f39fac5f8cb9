// One DDE instance (see Ddeml.h for the contract the calls keep): its
// services, conversations, advise loops, the queue of call-backs waiting for
// its owner thread, and the process's table of instances.
//
// The owner thread reads the instance's sockets itself (its read poll) when
// it runs ProcessPending or waits in a synchronous call, so a frame reaches
// its call-back without passing through another thread. Frames and ends of
// conversations come to the instance as OnFrame and OnClosed (on the reading
// thread); replies to synchronous transactions are stored at once and end
// the wait, everything else waits in the queue until the owner runs it
// (ProcessPending). Call-backs therefore run on the owner thread only.
//
// Thread-safety: members lock what they share; the ones that run call-backs
// check that they run on the owner thread.
#pragma once

#include "Platform/dde/DdeReactor.h"
#include "Platform/dde/DdeTables.h"
#include "Platform/dde/Ddeml.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace Platform::Dde {

class Instance final : public ConversationSink, public std::enable_shared_from_this<Instance> {
public:
    // A connect waits this long for each server's answer.
    static constexpr std::chrono::milliseconds CONNECT_TIMEOUT{10000};

    static UINT Create(PFNCALLBACK callback, DWORD flags, std::shared_ptr<Instance>& made);
    static std::shared_ptr<Instance> Find(DWORD id);
    static std::shared_ptr<Instance> FindByConversation(std::uintptr_t conv);
    // The instance whose call-back runs on this thread, 0 when none.
    static DWORD Current();

    ~Instance() override;

    DWORD Id() const { return m_id; }
    const std::string& Name() const { return m_name; }
    bool IsOwnerThread() const { return std::this_thread::get_id() == m_owner; }

    void SetError(UINT code);
    UINT TakeError();
    void Reinitialize(PFNCALLBACK callback, DWORD flags);
    void Uninitialize();

    // Readable while call-backs wait or a socket of the instance has data.
    int EventFd() const { return m_readPoll; }
    int ProcessPending(DWORD timeoutMs);
    void SetQueueLimit(std::size_t bytes) { m_queueLimit = bytes; }

    bool RegisterService(std::uintptr_t service);
    bool UnregisterService(std::uintptr_t service);  // 0: every service
    void SetFilter(bool on) { m_filterInits = on; }

    // String handles counted for this instance.
    std::uintptr_t CreateString(std::string_view text);
    bool KeepString(std::uintptr_t id);
    bool FreeString(std::uintptr_t id);

    std::uintptr_t CreateData(const BYTE* source, DWORD size, DWORD offset, std::uintptr_t item, UINT format,
                              UINT flags);

    std::uintptr_t Connect(std::uintptr_t service, std::uintptr_t topic);
    bool Disconnect(std::uintptr_t conv);
    HDDEDATA Transact(std::uintptr_t conv, std::uintptr_t item, UINT format, UINT type, const BYTE* data,
                      DWORD size, DWORD timeout, LPDWORD result);
    bool Abandon(std::uintptr_t conv, DWORD transaction);
    bool PostAdvise(std::uintptr_t topic, std::uintptr_t item);

    // ConversationSink, on the reactor thread.
    void OnFrame(const std::shared_ptr<Conversation>& conv, Frame&& frame) override;
    void OnClosed(const std::shared_ptr<Conversation>& conv, UINT reason) override;

private:
    struct Link {
        StringRef item;
        UINT format = 0;
        bool noData = false;
    };
    struct Transaction {
        UINT type = 0;
        UINT format = 0;
        StringRef item;
        bool async = false;
        bool done = false;
        bool failed = false;
        Frame reply;
    };
    struct ConvState {
        std::shared_ptr<Conversation> conv;
        enum Phase { OPENING, CONNECTED } phase = OPENING;
        StringRef service;
        StringRef topic;
        std::string partner;
        bool sameInstance = false;
        std::vector<Link> links;                       // server: the client's advise loops
        std::uint32_t nextTransaction = 0;             // client side
        std::map<std::uint32_t, Transaction> transactions;
        bool connectDone = false;
        bool connectFailed = false;
        Frame connectReply;
        std::atomic<bool> removed{false};   // no longer one of the instance's
        // The item of the last advise heard (client side, owner thread).
        std::string adviseItemText;
        StringRef adviseItem;
    };
    struct Pending {
        enum Kind { FRAME, CLOSED, REGISTER, UNREGISTER, MONITOR, XACT } kind = FRAME;
        std::uintptr_t conv = 0;
        std::shared_ptr<ConvState> state;  // FRAME: the conversation it came on
        Frame frame;
        UINT reason = 0;
        StringRef name1;
        StringRef name2;
        DWORD monitorFlag = 0;
        std::vector<BYTE> record;
        std::vector<StringRef> held;  // strings the record names, kept for the call
        std::uint32_t transaction = 0;
        Transaction xact;
    };
    struct LinkKey {
        std::uintptr_t topic;
        std::uintptr_t item;
        bool operator==(const LinkKey&) const = default;
    };
    struct LinkKeyHash {
        std::size_t operator()(const LinkKey& key) const
        {
            return std::hash<std::uintptr_t>()(key.topic * 0x9E3779B97F4A7C15ull ^ key.item);
        }
    };
    struct LinkEntry {
        std::shared_ptr<ConvState> state;
        UINT format;
        bool noData;
    };
    struct Service {
        StringRef name;
        std::string path;
        std::uint64_t token = 0;
    };

    Instance(DWORD id, PFNCALLBACK callback, DWORD flags);

    // A conversation handle names its instance in the high half, so a call
    // on an ended conversation still finds whom to report to.
    static std::uintptr_t NewConversationId(DWORD instance);
    // A transaction type without its flags.
    static UINT BaseType(UINT type);
    // The error of a synchronous transaction of this type that timed out.
    static UINT TimeoutError(UINT type);

    HDDEDATA Call(UINT type, UINT format, std::uintptr_t conv, std::uintptr_t hsz1, std::uintptr_t hsz2,
                  std::uintptr_t data, ULONG_PTR data1, ULONG_PTR data2);
    void Push(Pending&& item);
    // Wakes the owner for the queue; m_lock held. Not while the owner reads
    // its own sockets: it runs the queue right after.
    void SignalQueueLocked(bool wasEmpty);
    void SignalReply();
    // Owner thread: reads every socket of the instance that has data.
    void ReadSockets();
    // A new conversation, read by the owner; false when it could not be.
    bool Register(const std::shared_ptr<ConvState>& state);
    void Accept(int fd, const StringRef& service);
    void Handle(Pending& item);
    void HandleConnect(const std::shared_ptr<ConvState>& state, const Frame& frame);
    void HandleTransact(const std::shared_ptr<ConvState>& state, const Frame& frame);
    // The server's link table: a link of the conversation in place of any
    // for the same item and format; taking one out says whether it was there.
    void AddLink(const std::shared_ptr<ConvState>& state, const Link& link);
    bool TakeLink(const std::shared_ptr<ConvState>& state, const StringRef& item, UINT format, Link& removed);
    // The client's steps of a transaction: its frame (item and data
    // checked), its start (registered, then sent; 0 when it could not be),
    // the wait for a synchronous one, and its result.
    bool TransactFrame(UINT base, std::uintptr_t item, const BYTE* data, DWORD size, Frame& frame,
                       StringRef& itemRef);
    std::uint32_t StartTransaction(const std::shared_ptr<ConvState>& state, Frame& frame, const StringRef& itemRef,
                                   bool async);
    bool AwaitTransaction(const std::shared_ptr<ConvState>& state, std::uint32_t id, DWORD timeout,
                          Transaction& done);
    HDDEDATA FinishTransaction(ConvState& state, Transaction& done, const StringRef& itemRef, LPDWORD result);
    void HandleAdvise(const std::shared_ptr<ConvState>& state, const Frame& frame);
    void HandleClosed(std::uintptr_t conv, UINT reason);
    void Refuse(const std::shared_ptr<ConvState>& state, UINT error);
    std::shared_ptr<ConvState> FindState(std::uintptr_t conv) const;
    std::shared_ptr<ConvState> RemoveState(std::uintptr_t conv);
    void RemoveLinks(const std::shared_ptr<ConvState>& state);
    bool Send(const std::shared_ptr<ConvState>& state, const Frame& frame);
    bool WaitUntil(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline);
    bool WaitLoop(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline, bool readOnly);
    // Owner thread: keeps the queue's wake-ups out of m_readPoll (counted).
    void MaskQueue(bool masked);
    void Monitor(DWORD flag, std::vector<BYTE> record, std::vector<StringRef> held);
    void MonitorConversation(const ConvState& state, bool connect);
    void MonitorLink(const ConvState& state, const Link& link, bool established);

    static void OnServiceFile(const std::string& dir, const std::string& name, bool added);

    const DWORD m_id;
    const std::string m_name;           // "<pid>.<id>"
    const std::thread::id m_owner;
    std::atomic<PFNCALLBACK> m_callback;
    std::atomic<DWORD> m_flags;
    std::string m_dir;
    std::shared_ptr<Reactor> m_reactor;
    int m_eventFd = -1;                 // call-backs waiting
    int m_replyFd = -1;                 // a synchronous answer arrived
    int m_readPoll = -1;                // epoll: m_eventFd and the instance's sockets
    std::atomic<std::size_t> m_queueLimit{DEFAULT_QUEUE_LIMIT};
    std::atomic<bool> m_filterInits{false};
    std::atomic<bool> m_dead{false};

    mutable std::mutex m_lock;
    std::vector<Pending> m_pending;
    std::unordered_map<std::uintptr_t, std::shared_ptr<ConvState>> m_convs;
    // Every open socket the owner reads, until it is closed.
    std::unordered_map<std::uintptr_t, std::shared_ptr<Conversation>> m_reading;
    bool m_signalled = false;           // m_eventFd written since drained
    std::unordered_map<LinkKey, std::vector<LinkEntry>, LinkKeyHash> m_links;
    std::vector<Service> m_services;
    std::unordered_map<std::uintptr_t, long> m_stringRefs;
    UINT m_lastError = DMLERR_NO_ERROR;

    // Owner thread only.
    int m_dispatchDepth = 0;
    int m_queueMasked = 0;
    bool m_syncBusy = false;
};

} // namespace Platform::Dde
