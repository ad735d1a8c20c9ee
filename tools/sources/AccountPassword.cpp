#include "AccountPassword.h"

#include <cstdlib>
#include <fstream>

#include "CommandSupport.h"
#include "MondrelError.h"

std::string ReadAccountPassword(const std::string& User, const std::string& PasswordFile) {
    if (User.empty()) {
        return "";
    }
    if (!PasswordFile.empty()) {
        std::ifstream in(PasswordFile, std::ios::binary);
        std::string line;
        if (!in || !std::getline(in, line)) {
            throw EMondrelError("cannot read the password file \"" + Printable(PasswordFile) +
                                "\"");
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line;
    }
    const char* password = std::getenv("MONDREL_DAV_PASSWORD");
    if (password == nullptr) {
        throw EMondrelError("--user " + Printable(User) +
                            " needs a password: --password-file FILE or MONDREL_DAV_PASSWORD");
    }
    return password;
}
