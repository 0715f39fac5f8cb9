// CConnectionControl: the main window's connection commands without their
// dialogs: connect primary, connect backup and disconnect, with the
// failover flag they keep in the window and in the "Controller" section.
//
// Dialogs stay with the caller: ConnectPrimary tells whether the source
// uses a dial-up modem (the caller then runs the dial), and Disconnect asks
// the caller's question before it hangs a modem up.
//
// Thread-safety: the window thread only. The controller and its sources are
// thread-safe; a Disconnect returns once the source's worker has ended.
#pragma once

#include "core/FeedLibrary.h"

#include <functional>
#include <string>

namespace ZPH {
class CController;
} // namespace ZPH

namespace mavo {

class CFrameLink;

class CConnectionControl {
public:
    // root: the settings root below HKEY_CURRENT_USER; machine: the machine
    // string the feed settings are read with.
    CConnectionControl(CController& controller, CFrameLink& link, std::string root, std::string machine);

    // 0 while the primary source is selected, 1 while the backup is.
    int Failover() const { return m_failover; }
    // Reads "Failover" (default 0) from the "Controller" section.
    void LoadFailover();
    // The active source is connected or trying to be.
    bool IsConnected() const;

    // Disconnects, selects the primary (failover 0, "Failover" := 0), reads
    // the feed settings again, connects, and takes the source's name. True
    // when the source uses a dial-up modem.
    bool ConnectPrimary();
    // The same for the backup (failover 1), without the name and dial steps.
    void ConnectBackup();
    // When the source uses a dial-up modem and confirmHangup() says yes,
    // writes "+++" and "ATH0", each with a carriage return, to its port; in
    // every case the source then disconnects.
    void Disconnect(const std::function<bool()>& confirmHangup);


private:
    void Select(int failover);

    CController& m_controller;
    CFrameLink& m_link;
    std::string m_root;
    std::string m_machine;
    int m_failover = 0;
};

} // namespace mavo
