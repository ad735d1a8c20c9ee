// The password of an account on a server (a CalDAV calendar, a feed behind a sign-in): read
// when needed, from the file the source names or from MONDREL_DAV_PASSWORD, so that it is never
// on the command line or in the database.
#pragma once

#include <string>

// The first line of PasswordFile (a CR before its end dropped), else MONDREL_DAV_PASSWORD; ""
// without a user. Raises EMondrelError with one line when the file cannot be read or no
// password is given.
std::string ReadAccountPassword(const std::string& User, const std::string& PasswordFile);
