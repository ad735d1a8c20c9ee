// The mode of every file the host creates: 0600, readable by the host's user only, or 0640 when
// the host runs under a group of its own (a service unit's Group=), so that group may read it.
// The files hold script output, parameters and variable values: nothing for other users.
#pragma once

#include <sys/types.h>

#include <string>

// 0600, or 0640 when the effective group is not the user's primary group.
mode_t HostFileMode();

// Creates `path` with HostFileMode() when no file is there (an existing one keeps its mode);
// answers false with errno set when it cannot.
bool CreateHostFile(const std::string& path);
