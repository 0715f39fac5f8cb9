// CModemModule: the dial-up modem in the main window (a CFrameModule). It
// installs the dial step of connecting: when the active source is a serial
// line through a dial-up modem, the modal "Modem Dial" dialog runs on the
// source's port; its OK or Cancel is the step's result. The Source menu's
// "Dial..." and "Hangup" are present and always disabled: dialling happens
// only through connecting, hanging up through Disconnect.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/ui/FrameModule.h"

namespace mavo {

class CScreenController;

class CModemModule : public CFrameModule {
public:
    explicit CModemModule(CScreenController& controller) : m_controller(controller) {}

    void InstallCommands(CMainFrame& frame) override;

    // Runs the dial dialog; true when it ended with OK, or when there is no
    // serial line to dial on.
    bool RunDial();

private:
    CScreenController& m_controller;
    CMainFrame* m_frame = nullptr;
};

} // namespace mavo
