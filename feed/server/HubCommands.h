// HubCommands: the control interface of the hub, one command line in, one
// reply out. Tests and operators drive the feed through it: edit lines and
// pages, change users, stall or drop sessions, send malformed frames, trade
// and place orders. Each verb is one entry of a table and one member here;
// "help" lists the table, so the list cannot drift from what is accepted.
//
// It acts on the hub's sessions and market directly (it is the hub's
// friend): a verb is a request to the hub, not a second owner of its state.
//
// Thread-safety: none; the hub's thread calls it, as it calls the hub.
#pragma once

#include "Hub.h"

#include <string>
#include <string_view>
#include <vector>

namespace zphd {

class ControlLine;

class HubCommands {
public:
    explicit HubCommands(Hub& hub) : m_hub(hub) {}

    // One command line without its line end; the reply as Hub::Control
    // describes it.
    std::string Run(std::string_view line);

private:
    struct Verb;
    static const Verb kVerbs[];

    std::string Help(ControlLine& args);
    std::string Status(ControlLine& args);
    std::string Sessions(ControlLine& args);
    std::string Get(ControlLine& args);
    std::string Set(ControlLine& args);
    std::string Title(ControlLine& args);
    std::string Count(ControlLine& args);
    std::string Notify(ControlLine& args);
    std::string Notice(ControlLine& args);
    std::string Permissions(ControlLine& args);
    std::string Level(ControlLine& args);
    std::string OrderEntry(ControlLine& args);
    std::string Insert(ControlLine& args);
    std::string Erase(ControlLine& args);
    std::string Clear(ControlLine& args);
    std::string Stall(ControlLine& args);
    std::string Drop(ControlLine& args);
    std::string Malformed(ControlLine& args);
    std::string FailLogin(ControlLine& args);
    std::string Rate(ControlLine& args);
    std::string TradeEvery(ControlLine& args);
    std::string Trade(ControlLine& args);
    std::string Order(ControlLine& args);
    std::string Orders(ControlLine& args);
    std::string LastOrder(ControlLine& args);
    std::string Quit(ControlLine& args);

    // The sessions a TARGET names: "all" (every logged-in session), a user's
    // logged-in sessions, or "#ID" (that session, logged in or not). Empty,
    // with the reason in error, when the target names nothing known.
    std::vector<Hub::Session*> Targets(std::string_view target, std::string& error);
    // The USER and VALUE words of "permissions", "level" and "order-entry";
    // nullptr with the reply to give when they are wrong.
    UserAccount* UserAndValue(ControlLine& args, std::string& value, std::string& reply);

    Hub& m_hub;
};

} // namespace zphd
