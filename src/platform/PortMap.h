#pragma once
// The kept map of COM numbers, as on the system the numbers come from: the first time an
// adapter is seen it gets the lowest free number (on-board UARTs first, then adapters in
// the order they are first seen) and keeps it while unplugged and across restarts, so
// pulling one adapter never hands its number to another and a poll never resumes on the
// wrong device. A number held by an absent adapter stands for nothing; only the user
// gives it away (Renumber, Free).
//
// PortMap is the rule alone, over a list of the devices present; PortMapFile keeps it in
// the settings folder, shared by every program of ours that opens ports.

#include "platform/DeviceCatalogue.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace veltro::platform {

struct PortMapEntry {
    int number = 0;          // the n of COMn
    std::string identity;    // the adapter holding it (DeviceCatalogue.h)
    std::string lastDevice;  // the device it was last seen as

    bool operator==(const PortMapEntry&) const = default;
};

enum class RenumberResult {
    Done,
    NotHeld,     // no adapter holds the number to move
    Taken,       // the new number is held by another adapter
    OutOfRange,  // the new number is not 1..PortMap::kMaxNumber
};

class PortMap {
public:
    static constexpr int kMaxNumber = 255;

    // Gives each device seen for the first time the lowest free number, on-board UARTs
    // before adapters and otherwise in the order given, and notes the device each known
    // adapter is now. Numbers of absent adapters stay as they are.
    void Update(const std::vector<PresentDevice>& present);

    // In number order.
    const std::vector<PortMapEntry>& Entries() const { return entries_; }
    // The entry of a number, of an identity; nullptr when none.
    const PortMapEntry* Holder(int number) const;
    const PortMapEntry* Of(const std::string& identity) const;
    int LowestFree() const;

    // Gives the adapter holding `from` the free number `to`.
    RenumberResult Renumber(int from, int to);
    // Forgets the adapter holding the number; false when none did. A present adapter
    // whose number is freed gets the lowest free one at the next Update.
    bool Free(int number);

    // The file's text: a comment saying what it is, then one line per number.
    std::string Text() const;
    // Reads what Text wrote. A line that is not understood, or that repeats a number or an
    // adapter already read, is left out: a damaged file costs the numbers it lost, never
    // more.
    static PortMap FromText(std::string_view text);

    bool operator==(const PortMap&) const = default;

private:
    void Insert(PortMapEntry entry);
    std::vector<PortMapEntry> entries_;
};

class PortMapFile {
public:
    explicit PortMapFile(std::string path = DefaultPath());
    // $XDG_CONFIG_HOME/VeltroConf/porte-com.conf, ~/.config when the variable is unset.
    static std::string DefaultPath();
    const std::string& Path() const { return path_; }

    // Locks the map against our other programs, reads it, lets change alter it and writes
    // it back when its text changed; returns the map as it now stands. A missing, damaged
    // or unreadable file reads as an empty map, and a file that cannot be written leaves
    // the change to this call alone: numbering never fails for want of a settings folder.
    PortMap Edit(const std::function<void(PortMap&)>& change) const;

private:
    std::string path_;
};

}  // namespace veltro::platform
