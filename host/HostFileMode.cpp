#include "HostFileMode.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

mode_t HostFileMode() {
    const passwd* user = getpwuid(geteuid());
    return user && user->pw_gid != getegid() ? 0640 : 0600;
}

bool CreateHostFile(const std::string& path) {
    const int descriptor =
        open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, HostFileMode());
    if (descriptor < 0) {
        return errno == EEXIST;
    }
    // The umask may have taken bits away; it never adds any.
    fchmod(descriptor, HostFileMode());
    close(descriptor);
    return true;
}
