// Runs every file of the folders (or files) given through the fuzz target, as `make test` does
// with each target's seed corpus and the inputs that once made it fail.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "FuzzTarget.h"

namespace {

void RunInput(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path place = argv[i];
        if (std::filesystem::is_directory(place)) {
            for (const auto& entry : std::filesystem::directory_iterator(place)) {
                if (entry.is_regular_file()) {
                    inputs.push_back(entry.path());
                }
            }
        } else if (std::filesystem::is_regular_file(place)) {
            inputs.push_back(place);
        }
    }
    if (inputs.empty()) {
        std::cerr << "no inputs found\n";
        return 1;
    }
    std::sort(inputs.begin(), inputs.end());
    LLVMFuzzerTestOneInput(nullptr, 0);
    for (const auto& input : inputs) {
        RunInput(input);
    }
    std::cout << inputs.size() << " inputs ran\n";
    return 0;
}
