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
// receives its name. Null when it cannot be created.
File create_staged(const std::string& target, const char* mode, const std::optional<std::uint32_t>& keep,
                   std::string& staged);

// Renames staged over target in one step.
bool replace_file(const std::string& staged, const std::string& target);

// Puts path on the list of files that SIGINT, SIGTERM, SIGHUP, SIGPIPE and
// SIGXFSZ remove before they end the process; the number to take it off
// again, or -1 when the list is full.
int guard(const std::string& path);
void unguard(int guard);

}  // namespace zk::os
