// The page's files (web/page/*), compiled into the program by the build.
#pragma once

#include <cstddef>
#include <string>

struct TPageFile {
    const char* Name;  // "index.html", "month.js", ...
    const char* ContentType;
    const char* Data;
    size_t Size;
};

// The file of that name, or null.
const TPageFile* FindPageFile(const std::string& Name);
