// What the benchmarks of mondrel-db share: a work folder of their own in the temp folder, and the
// tool run in-process as its command line would run it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// temp/Name, made if missing; Emptied: whatever an earlier run left there is removed first.
std::filesystem::path MakeBenchFolder(const std::string& Name, bool Emptied);

// Runs `mondrel-db Args...`; a failing exit raises std::runtime_error with what it printed on
// standard error.
void RunToolOrThrow(const std::vector<std::string>& Args);
