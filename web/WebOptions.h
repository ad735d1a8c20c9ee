// The command line of mondrel-web and what it finds from it: the calendars, the scripts
// folder, the run history and the password file (made with a random password on first start).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

struct TWebOptions {
    std::vector<std::string> Databases;
    std::string KernelDir;
    std::string Host = "127.0.0.1";
    int Port = 8480;
    std::string ScriptsDir;
    std::string PasswordFile;
    std::string HistoryFile;
    std::string TlsCert;
    std::string TlsKey;
    bool HashPassword = false;
    bool Help = false;
};

extern const char* WebUsage;

// Raises EMondrelError naming the wrong argument. Fills the defaults that follow from the
// kernel directory or the first database; Program is argv[0], to find nhx-host beside it.
TWebOptions ParseWebOptions(const std::vector<std::string>& Args, const std::string& Program);

struct TPasswordSetup {
    std::string Hash;               // the password file's line
    std::string FirstPasswordFile;  // the first start's password, to remove at the first sign-in
};

// The first start's password, kept beside the password file: FILE's name with the extension
// ".first-password" (mondrel-web.passwd: mondrel-web.first-password).
std::string FirstPasswordPath(const std::string& PasswordFile);

// The password file's hash; a file others may read or write is refused. A missing file is made
// (mode 0600) with a new random password, which is shown once: on Out when Out is a terminal,
// else (a service, whose output goes to a log) written to FirstPasswordPath (mode 0600) and
// only that file named on Out. A first password file left from before is named again while it
// still holds the password, and removed when it no longer does.
TPasswordSetup ReadOrMakePassword(const std::string& File, std::ostream& Out, bool OutIsTerminal);
