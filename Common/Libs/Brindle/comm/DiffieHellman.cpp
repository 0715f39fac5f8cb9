#include "Brindle/comm/DiffieHellman.h"

#include "Brindle/base/Exception.h"
#include "Platform/Guid.h"

#include <cerrno>
#include <cstdint>

namespace Brindle {

namespace {

GUID FreshGuid()
{
    GUID guid{};
    if (CoCreateGuid(&guid) != S_OK)
        throw CException("Cannot generate a random number", static_cast<DWORD>(errno));
    return guid;
}

// A random odd number below 2^31: the product of a GUID's first three fields.
long RandomOdd31()
{
    const GUID guid = FreshGuid();
    const std::uint64_t product =
        static_cast<std::uint64_t>(guid.Data1) * guid.Data2 * static_cast<std::uint64_t>(guid.Data3);
    return static_cast<long>((product & 0x7FFFFFFFu) | 1u);
}

long NextProbablePrime(long n)
{
    while (!DH_IsProbablePrime(n))
        n += 2;
    return n;
}

} // namespace

long DH_Random31()
{
    return static_cast<long>(FreshGuid().Data1 & 0x7FFFFFFFu);
}

long DH_PowMod(long base, long exponent, long modulus)
{
    if (modulus < 2 || base < 0 || exponent < 0)
        return 0;
    std::uint64_t result = 1;
    std::uint64_t b = static_cast<std::uint64_t>(base) % static_cast<std::uint64_t>(modulus);
    const auto m = static_cast<std::uint64_t>(modulus);
    for (auto e = static_cast<std::uint64_t>(exponent); e > 0; e >>= 1) {
        if (e & 1)
            result = result * b % m;
        b = b * b % m;
    }
    return static_cast<long>(result % m);
}

bool DH_IsProbablePrime(long n)
{
    if (n < 2)
        return false;
    if (n < 4)
        return true;
    if (n % 2 == 0)
        return false;
    for (int i = 0; i < 5; ++i) {
        // A base in 2..n-2.
        const long a = 2 + DH_Random31() % (n - 3);
        if (DH_PowMod(a, n - 1, n) != 1)
            return false;
    }
    return true;
}

void DH_Initialize(long* g, long* p)
{
    long a = 0;
    long b = 0;
    while (a == b) {
        a = NextProbablePrime(RandomOdd31());
        b = NextProbablePrime(RandomOdd31());
    }
    *g = a < b ? a : b;
    *p = a < b ? b : a;
}

void DH_CreateKeyPair(long* pub, long* priv, long g, long p)
{
    // A private value of 0, or one whose public value is 1, would give the
    // peer a key it refuses: draw again (a proper group has few of those).
    const bool proper = g >= 2 && p > g;
    long x = 0;
    long y = 0;
    do {
        x = DH_Random31();
        y = DH_PowMod(g, x, p);
    } while (x == 0 || (proper && y < 2));
    *priv = x;
    *pub = y;
}

long DH_CalcSymmetricKey(long y, long x, long p)
{
    return DH_PowMod(y, x, p);
}

bool DH_IsValidGroup(long g, long p)
{
    return p > 4 && p <= 0x7FFFFFFFL && p % 2 == 1 && g >= 2 && g < p && DH_IsProbablePrime(p);
}

std::string DH_RandomKeyText()
{
    const long values[4] = {DH_Random31(), DH_Random31(), DH_Random31(), DH_Random31()};
    return CDiffieHellman<4>::GenerateKey(values);
}

} // namespace Brindle
