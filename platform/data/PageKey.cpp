#include "platform/data/PageKey.h"

// SHA-1 at block level: the low-level calls are what makes this fast, so
// their deprecation in OpenSSL 3 is set aside.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <cstring>

namespace txl {

namespace {

constexpr int kRounds = 64000;
constexpr int kKeyBytes = 32;

} // namespace

QByteArray derivePageKey(const QByteArray &password, const QByteArray &salt)
{
    unsigned char pad[SHA_CBLOCK] = {};
    if (password.size() > SHA_CBLOCK)
        SHA1(reinterpret_cast<const unsigned char *>(password.constData()), size_t(password.size()), pad);
    else
        std::memcpy(pad, password.constData(), size_t(password.size()));
    SHA_CTX inner, outer, work;
    SHA1_Init(&inner);
    SHA1_Init(&outer);
    for (unsigned char &b : pad)
        b ^= 0x36;
    SHA1_Update(&inner, pad, sizeof pad);
    for (unsigned char &b : pad)
        b ^= 0x36 ^ 0x5c;
    SHA1_Update(&outer, pad, sizeof pad);

    // Every hash after the first of a block is of one 20-byte digest behind
    // a pad: one SHA-1 block, padded once here, hashed from the pad's state.
    unsigned char block[SHA_CBLOCK] = {};
    block[SHA_DIGEST_LENGTH] = 0x80;
    const unsigned bits = (SHA_CBLOCK + SHA_DIGEST_LENGTH) * 8;
    block[SHA_CBLOCK - 2] = static_cast<unsigned char>(bits >> 8);
    block[SHA_CBLOCK - 1] = static_cast<unsigned char>(bits & 0xff);
    auto hashBlock = [&block, &work](const SHA_CTX &from) {
        work = from;
        SHA1_Transform(&work, block);
        const SHA_LONG h[5] = { work.h0, work.h1, work.h2, work.h3, work.h4 };
        for (int i = 0; i < 5; ++i) {
            block[4 * i] = static_cast<unsigned char>(h[i] >> 24);
            block[4 * i + 1] = static_cast<unsigned char>(h[i] >> 16);
            block[4 * i + 2] = static_cast<unsigned char>(h[i] >> 8);
            block[4 * i + 3] = static_cast<unsigned char>(h[i]);
        }
    };

    unsigned char key[2 * SHA_DIGEST_LENGTH] = {};
    for (unsigned char index = 1; index <= 2; ++index) {
        unsigned char *t = key + (index - 1) * SHA_DIGEST_LENGTH;
        const unsigned char counter[4] = { 0, 0, 0, index }; // big-endian block number
        work = inner;
        SHA1_Update(&work, salt.constData(), size_t(salt.size()));
        SHA1_Update(&work, counter, sizeof counter);
        SHA1_Final(block, &work);
        hashBlock(outer);
        std::memcpy(t, block, SHA_DIGEST_LENGTH);
        for (int round = 1; round < kRounds; ++round) {
            hashBlock(inner);
            hashBlock(outer);
            for (int i = 0; i < SHA_DIGEST_LENGTH; ++i)
                t[i] ^= block[i];
        }
    }
    const QByteArray result(reinterpret_cast<const char *>(key), kKeyBytes);
    OPENSSL_cleanse(pad, sizeof pad);
    OPENSSL_cleanse(&inner, sizeof inner);
    OPENSSL_cleanse(&outer, sizeof outer);
    OPENSSL_cleanse(&work, sizeof work);
    OPENSSL_cleanse(block, sizeof block);
    OPENSSL_cleanse(key, sizeof key);
    return result;
}

} // namespace txl
