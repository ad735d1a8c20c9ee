#include "WebOptions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "MondrelError.h"
#include "PasswordHash.h"

const char* WebUsage =
    "usage: mondrel-web (--database PATH [--database PATH]... | --kernel-dir DIR)\n"
    "                   [--listen HOST:PORT] [--scripts DIR] [--password-file FILE]\n"
    "                   [--history FILE] [--tls-cert FILE --tls-key FILE]\n"
    "       mondrel-web --hash-password   (reads a password on standard input)\n"
    "  --database PATH       a calendar database; give it again for more\n"
    "  --kernel-dir DIR      the host's kernel directory: every database its settings name\n"
    "                        (as nhx-host --list-databases prints them) and the default one\n"
    "  --listen HOST:PORT    where to listen (default: 127.0.0.1:8480; port 0: any free one)\n"
    "  --scripts DIR         the host's scripts folder (default: DIR/scripts/ of --kernel-dir)\n"
    "  --password-file FILE  the password's hash (default: mondrel-web.passwd in the kernel\n"
    "                        directory, else beside the first database); made on first start\n"
    "  --history FILE        the host's run history (default: history.sdb in the kernel dir)\n"
    "  --tls-cert FILE, --tls-key FILE   serve HTTPS with this certificate and key\n";

namespace {

namespace fs = std::filesystem;

// nhx-host beside this program (installed) or in the build tree beside web/.
std::string FindHost(const std::string& program) {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        self = program;
    }
    for (const fs::path& candidate : {self.parent_path() / "nhx-host",
                                      self.parent_path().parent_path() / "host" / "nhx-host"}) {
        if (fs::is_regular_file(candidate, error)) {
            return candidate.string();
        }
    }
    return "";
}

// What nhx-host --list-databases prints for the kernel directory, one path a line.
std::vector<std::string> HostDatabases(const std::string& host, const std::string& kernelDir) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        throw EMondrelError(std::string("cannot run nhx-host: ") + std::strerror(errno));
    }
    pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], 1);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execl(host.c_str(), host.c_str(), "--list-databases", "--kernel-dir", kernelDir.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<size_t>(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (child < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw EMondrelError("nhx-host --list-databases --kernel-dir " + kernelDir + " failed");
    }
    std::vector<std::string> paths;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        if (end > start) {
            paths.push_back(text.substr(start, end - start));
        }
    }
    return paths;
}

std::string WithSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

}  // namespace

TWebOptions ParseWebOptions(const std::vector<std::string>& Args, const std::string& Program) {
    TWebOptions options;
    std::string listen;
    for (size_t i = 0; i < Args.size(); ++i) {
        const std::string& arg = Args[i];
        if (arg == "--hash-password") {
            options.HashPassword = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            options.Help = true;
            continue;
        }
        auto value = [&]() -> std::string {
            if (i + 1 >= Args.size()) {
                throw EMondrelError(arg + " needs a value");
            }
            return Args[++i];
        };
        if (arg == "--database") {
            options.Databases.push_back(fs::absolute(value()).string());
        } else if (arg == "--kernel-dir") {
            options.KernelDir = WithSlash(value());
        } else if (arg == "--listen") {
            listen = value();
        } else if (arg == "--scripts") {
            options.ScriptsDir = value();
        } else if (arg == "--password-file") {
            options.PasswordFile = value();
        } else if (arg == "--history") {
            options.HistoryFile = value();
        } else if (arg == "--tls-cert") {
            options.TlsCert = value();
        } else if (arg == "--tls-key") {
            options.TlsKey = value();
        } else {
            throw EMondrelError("unknown argument '" + arg + "'");
        }
    }
    if (options.HashPassword || options.Help) {
        return options;
    }
    if (!listen.empty()) {
        size_t colon = listen.rfind(':');
        std::string port = colon == std::string::npos ? "" : listen.substr(colon + 1);
        if (colon == 0 || port.empty() || port.size() > 5 ||
            port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) > 65535) {
            throw EMondrelError("--listen '" + listen + "' is not HOST:PORT");
        }
        options.Host = listen.substr(0, colon);
        if (options.Host.size() > 2 && options.Host.front() == '[') {
            options.Host = options.Host.substr(1, options.Host.size() - 2);
        }
        options.Port = std::stoi(port);
    }
    if (options.TlsCert.empty() != options.TlsKey.empty()) {
        throw EMondrelError("--tls-cert and --tls-key go together");
    }
    if (options.Databases.empty() == options.KernelDir.empty()) {
        throw EMondrelError(options.Databases.empty()
                                ? "give --database PATH or --kernel-dir DIR"
                                : "give --database PATH or --kernel-dir DIR, not both");
    }
    if (!options.KernelDir.empty()) {
        std::error_code error;
        if (!fs::is_directory(options.KernelDir, error)) {
            throw EMondrelError("--kernel-dir " + options.KernelDir + " is no folder");
        }
        std::string host = FindHost(Program);
        options.Databases =
            host.empty() ? std::vector<std::string>{options.KernelDir + "Database/Mondrel.sdb"}
                         : HostDatabases(host, options.KernelDir);
        if (options.ScriptsDir.empty()) {
            options.ScriptsDir = options.KernelDir + "scripts/";
        }
        if (options.HistoryFile.empty()) {
            options.HistoryFile = options.KernelDir + "history.sdb";
        }
        if (options.PasswordFile.empty()) {
            options.PasswordFile = options.KernelDir + "mondrel-web.passwd";
        }
    }
    if (options.PasswordFile.empty()) {
        options.PasswordFile =
            (fs::path(options.Databases.front()).parent_path() / "mondrel-web.passwd").string();
    }
    return options;
}

std::string FirstPasswordPath(const std::string& PasswordFile) {
    std::string first =
        std::filesystem::path(PasswordFile).replace_extension(".first-password").string();
    // A password file that already bears the extension must not be the one overwritten.
    return first == PasswordFile ? PasswordFile + ".first-password" : first;
}

namespace {

// Writes Text to a new file of mode 0600 that only this call made (no link followed).
void WriteSecretFile(const std::string& File, const std::string& Text, const std::string& What) {
    int fd = open(File.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw EMondrelError("cannot make the " + What + " " + File + ": " + std::strerror(errno));
    }
    bool written = write(fd, Text.data(), Text.size()) == static_cast<ssize_t>(Text.size());
    written = close(fd) == 0 && written;
    if (!written) {
        unlink(File.c_str());
        throw EMondrelError("cannot write the " + What + " " + File);
    }
}

}  // namespace

TPasswordSetup ReadOrMakePassword(const std::string& File, std::ostream& Out, bool OutIsTerminal) {
    const std::string first = FirstPasswordPath(File);
    struct stat status {};
    if (stat(File.c_str(), &status) == 0) {
        if ((status.st_mode & 077) != 0) {
            throw EMondrelError("the password file " + File +
                                " may be read by others: chmod 600 it");
        }
        std::ifstream in(File);
        std::string line;
        if (!std::getline(in, line) || line.rfind("$argon2", 0) != 0) {
            throw EMondrelError("the password file " + File +
                                " holds no password hash (mondrel-web --hash-password makes one)");
        }
        std::ifstream kept(first);
        std::string password;
        if (kept && std::getline(kept, password)) {
            if (VerifyPassword(line, password)) {
                Out << "mondrel-web: the first password is still in " << first
                    << " (removed at the first sign-in)\n";
                return {line, first};
            }
            unlink(first.c_str());
            Out << "mondrel-web: removed " << first << ", which no longer held the password\n";
        }
        return {line, ""};
    }
    if (errno != ENOENT) {
        throw EMondrelError("cannot read the password file " + File + ": " + std::strerror(errno));
    }
    std::string password = RandomPassword(16);
    std::string hash = HashPassword(password);
    WriteSecretFile(File, hash + "\n", "password file");
    if (OutIsTerminal) {
        Out << "mondrel-web: first start: the password is " << password << "\n"
            << "mondrel-web: only its hash is kept, in " << File
            << " (mondrel-web --hash-password makes another)\n";
        return {hash, ""};
    }
    // Not a terminal: the output may be kept in a log, where a password must never be.
    try {
        if (unlink(first.c_str()) != 0 && errno != ENOENT) {
            throw EMondrelError("cannot replace " + first + ": " + std::strerror(errno));
        }
        WriteSecretFile(first, password + "\n", "first password file");
    } catch (...) {
        unlink(File.c_str());  // a hash whose password nobody was told would lock everyone out
        throw;
    }
    Out << "mondrel-web: first start: a random password is in " << first
        << " (readable by this user only; removed at the first sign-in)\n"
        << "mondrel-web: only its hash is kept, in " << File
        << " (mondrel-web --hash-password makes another)\n";
    return {hash, first};
}
