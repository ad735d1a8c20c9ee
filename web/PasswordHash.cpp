#include "PasswordHash.h"

#include <sodium.h>

#include <vector>

#include "MondrelError.h"

namespace {

void RequireSodium() {
    // Safe to call more than once and from several threads.
    if (sodium_init() < 0) {
        throw EMondrelError("libsodium cannot start (no source of random numbers)");
    }
}

}  // namespace

std::string HashPassword(const std::string& Password) {
    RequireSodium();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, Password.data(), Password.size(),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        throw EMondrelError("hashing the password ran out of memory");
    }
    return hash;
}

bool VerifyPassword(const std::string& Hash, const std::string& Password) {
    RequireSodium();
    if (Hash.size() >= crypto_pwhash_STRBYTES) {
        return false;
    }
    return crypto_pwhash_str_verify(Hash.c_str(), Password.data(), Password.size()) == 0;
}

std::string RandomToken(size_t Bytes) {
    RequireSodium();
    std::vector<unsigned char> random(Bytes);
    randombytes_buf(random.data(), random.size());
    std::string hex(Bytes * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), random.data(), random.size());
    hex.pop_back();
    return hex;
}

std::string RandomPassword(size_t Length) {
    RequireSodium();
    static constexpr char Alphabet[] = "abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    std::string password;
    for (size_t i = 0; i < Length; ++i) {
        password += Alphabet[randombytes_uniform(sizeof Alphabet - 1)];
    }
    return password;
}

bool SameSecret(const std::string& A, const std::string& B) {
    return A.size() == B.size() && sodium_memcmp(A.data(), B.data(), A.size()) == 0;
}
