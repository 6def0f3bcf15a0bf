// The operating-system side of OutputFile, one body per platform
// (os_posix.cpp, os_windows.cpp). Only the files layer includes this.
#pragma once

#include "files.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zk::os {

// Where an output goes: staged beside target and renamed over it, or
// written in place under its own name (a device, a FIFO, a directory that
// will fail to open, a link that leads nowhere).
struct OutputPlan {
    bool staged = false;
    std::string target;
    std::optional<std::uint32_t> keep;  // the permission bits of the file it replaces
};
OutputPlan plan_output(const char* name);

// A new file beside target, under a name no other file has, created with
// the bits keep (or as a new file would be) and opened in mode; staged
// receives its name and guarded its guard (below). Null when it cannot be
// created. (files.cpp)
File create_staged(const std::string& target, const char* mode, const std::optional<std::uint32_t>& keep,
                   std::string& staged, int& guarded);

// The file path made and opened in mode, where no file of that name is;
// taken, when one is.
File create_new(const std::string& path, const char* mode, const std::optional<std::uint32_t>& keep, bool& taken);

// Where a file of this name is, or would be made: its directory's identity
// and its name there, links followed; empty when the directory is not
// there. The name is as the platform compares names (Windows: lower case).
struct Place {
    FileId directory;
    std::string name;
    bool operator==(const Place&) const = default;
};
std::optional<Place> place_of(const char* name);

// A seed that differs from one run and one moment to the next.
std::uint64_t random_seed();

// Renames staged over target in one step.
bool replace_file(const std::string& staged, const std::string& target);

// Puts path on the list of files that the fatal signals (SIGINT, SIGTERM,
// SIGHUP, SIGPIPE, SIGXFSZ and SIGABRT; on Windows SIGINT, SIGTERM, SIGBREAK
// and SIGABRT) remove before they end the process; the number to take it off
// again, or -1 when the list is full. (files.cpp)
int guard(const std::string& path);
void unguard(int guard);

// Removes every file on that list; safe in a signal handler. (files.cpp)
void remove_guarded();

// Has the fatal signals that still end the process by default call
// remove_guarded first; one ignored by whoever started the tool stays
// ignored.
void catch_fatal_signals();

// Removes the file path, as a signal handler may.
void remove_now(const char* path);

}  // namespace zk::os
