// Password hashes, random tokens and comparisons that take the same time whatever they find.
// libsodium stays behind this file pair.
#pragma once

#include <string>

// The line the password file holds for Password: an Argon2id hash with its salt and costs.
// Raises EMondrelError when the library refuses (out of memory).
std::string HashPassword(const std::string& Password);
// Whether Password matches the line HashPassword made.
bool VerifyPassword(const std::string& Hash, const std::string& Password);
// Bytes random bytes, written as twice as many hex digits.
std::string RandomToken(size_t Bytes);
// A password of Length letters and digits, without the look-alikes 0/O and 1/l/I.
std::string RandomPassword(size_t Length);
// A == B, in a time that depends only on their lengths.
bool SameSecret(const std::string& A, const std::string& B);
