#include "ToolRun.h"

#include <sstream>
#include <stdexcept>

#include "MondrelDbCommand.h"

std::filesystem::path MakeBenchFolder(const std::string& Name, bool Emptied) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() / Name;
    if (Emptied) {
        std::filesystem::remove_all(path);
    }
    std::filesystem::create_directories(path);
    return path;
}

void RunToolOrThrow(const std::vector<std::string>& Args) {
    std::ostringstream out;
    std::ostringstream err;
    if (RunMondrelDb(Args, out, err) != 0) {
        throw std::runtime_error(err.str());
    }
}
