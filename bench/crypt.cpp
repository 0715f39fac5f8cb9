// The setting encoder's DES and IDEA against OpenSSL's libcrypto in ECB mode
// over the same buffer, in MB/s (bytes_per_second).
#include "Brindle/base/Crypt.h"

#include <benchmark/benchmark.h>

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstring>
#include <vector>

namespace {

constexpr unsigned kLength = 65520; // whole blocks of every algorithm, near the largest length
const char kKey[] = "0123456789abcdef";

std::vector<char> Buffer()
{
    std::vector<char> data(kLength);
    for (unsigned i = 0; i < kLength; ++i)
        data[i] = static_cast<char>(i * 31);
    return data;
}

void BM_CryptEncode(benchmark::State& state, int algorithm)
{
    auto data = Buffer();
    for (auto _ : state) {
        if (!Brindle::CryptEncode(data.data(), kLength, kKey, algorithm))
            state.SkipWithError("CryptEncode refused");
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kLength);
}

// One whole call as the encoder makes it: key set-up, then every block.
void BM_OpenSsl(benchmark::State& state, const char* cipherName)
{
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* standard = OSSL_PROVIDER_load(nullptr, "default");
    (void)legacy;
    (void)standard;
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, cipherName, nullptr);
    if (cipher == nullptr) {
        state.SkipWithError("cipher not offered by this OpenSSL");
        for (auto _ : state) {
        }
        return;
    }
    auto data = Buffer();
    std::vector<unsigned char> out(kLength + 16);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    for (auto _ : state) {
        int outLength = 0;
        EVP_EncryptInit_ex2(ctx, cipher, reinterpret_cast<const unsigned char*>(kKey), nullptr, nullptr);
        EVP_CIPHER_CTX_set_padding(ctx, 0);
        EVP_EncryptUpdate(ctx, out.data(), &outLength, reinterpret_cast<unsigned char*>(data.data()), kLength);
        std::memcpy(data.data(), out.data(), kLength);
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kLength);
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
}

// A short setting (the client's 32-byte password field): set-up dominates.
void BM_CryptEncodeField(benchmark::State& state, int algorithm)
{
    char field[32] = "password";
    for (auto _ : state) {
        Brindle::CryptEncode(field, 32, kKey, algorithm);
        benchmark::DoNotOptimize(field);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 32);
}

void BM_OpenSslField(benchmark::State& state, const char* cipherName)
{
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    (void)legacy;
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, cipherName, nullptr);
    if (cipher == nullptr) {
        state.SkipWithError("cipher not offered by this OpenSSL");
        for (auto _ : state) {
        }
        return;
    }
    unsigned char field[32] = "password";
    unsigned char out[48];
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    for (auto _ : state) {
        int outLength = 0;
        EVP_EncryptInit_ex2(ctx, cipher, reinterpret_cast<const unsigned char*>(kKey), nullptr, nullptr);
        EVP_CIPHER_CTX_set_padding(ctx, 0);
        EVP_EncryptUpdate(ctx, out, &outLength, field, 32);
        std::memcpy(field, out, 32);
        benchmark::DoNotOptimize(field);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 32);
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
}

} // namespace

BENCHMARK_CAPTURE(BM_CryptEncode, DES, Brindle::CRYPT_DES);
BENCHMARK_CAPTURE(BM_OpenSsl, DES_ECB, "DES-ECB");
BENCHMARK_CAPTURE(BM_CryptEncode, IDEA, Brindle::CRYPT_IDEA);
BENCHMARK_CAPTURE(BM_OpenSsl, IDEA_ECB, "IDEA-ECB");
BENCHMARK_CAPTURE(BM_CryptEncode, XOR, Brindle::CRYPT_XOR);
BENCHMARK_CAPTURE(BM_CryptEncodeField, DES, Brindle::CRYPT_DES);
BENCHMARK_CAPTURE(BM_OpenSslField, DES_ECB, "DES-ECB");

BENCHMARK_MAIN();
