// Diffie-Hellman key agreement over small groups: the DH_ functions and
// CDiffieHellman<N>, N independent exchanges over one group (the channel
// uses N = 4 and joins the four shared values into its 32-character key).
//
// Every number is a non-negative long below 2^31; modular powers use 64-bit
// intermediates. The random source is the kernel's (CoCreateGuid over
// getrandom). A group is drawn afresh for every handshake: two random odd
// 31-bit numbers, each moved up to the next probable prime (Fermat test, five
// random bases); the smaller is the generator g, the larger the modulus p
// (equal draws are drawn again).
//
// Values that come from a peer are checked before use: from_string takes
// exactly six hexadecimal numbers below 2^31, and CalculateKey refuses a
// modulus that is not an odd probable prime above 4, a generator outside
// 2..p-1 or a public value outside 2..p-1 (so nothing divides by zero or
// overflows). Clear forgets the group and keys, so a context that resets can
// agree on a new group.
//
// A 31-bit group is obfuscation, not security: it keeps old peers talking
// and is broken in seconds by anyone who records the exchange.
//
// Thread-safety: the DH_ functions may run on any thread; one
// CDiffieHellman object is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace Brindle {

// Out: g and p of a fresh group.
void DH_Initialize(long* g, long* p);
// Out: a fresh private value (1..2^31-1) and its public value g^priv mod p
// (above 1 whenever 2 <= g < p).
void DH_CreateKeyPair(long* pub, long* priv, long g, long p);
// y^x mod p (0 when p < 2).
long DH_CalcSymmetricKey(long y, long x, long p);
// base^exponent mod modulus with 64-bit intermediates; exponent 0 gives 1
// (0 when modulus < 2, or for a negative argument).
long DH_PowMod(long base, long exponent, long modulus);
// Fermat test with five random bases (2 and 3 are prime, 1 and evens not).
bool DH_IsProbablePrime(long n);
// A random number in 0..2^31-1 (the first field of a fresh GUID, masked).
long DH_Random31();
// True when a peer's group is one we accept (see above).
bool DH_IsValidGroup(long g, long p);
// Four fresh random numbers as 32 hexadecimal digits: a key-test string.
std::string DH_RandomKeyText();

template <std::size_t N>
class CDiffieHellman {
public:
    static constexpr long MaxValue = 0x7FFFFFFFL;

    CDiffieHellman() { Clear(); }

    long get_g() const { return m_g; }
    long get_p() const { return m_p; }
    long get_public(std::size_t i) const { return m_public[i]; }
    long get_private(std::size_t i) const { return m_private[i]; }
    bool HasGroup() const { return m_p != 0; }

    // Forgets the group and every key.
    void Clear()
    {
        m_g = m_p = 0;
        for (std::size_t i = 0; i < N; ++i)
            m_public[i] = m_private[i] = 0;
    }

    // A fresh group and N key pairs.
    void InitializeKeys()
    {
        DH_Initialize(&m_g, &m_p);
        CreateKeyPairs();
    }

    // The N shared values with a peer: without a group of our own the peer's
    // is adopted (and N key pairs made); false when the peer's values are
    // not acceptable or its group differs from ours.
    bool CalculateKey(const CDiffieHellman& peer, long* result)
    {
        if (!DH_IsValidGroup(peer.m_g, peer.m_p))
            return false;
        for (std::size_t i = 0; i < N; ++i)
            if (peer.m_public[i] < 2 || peer.m_public[i] >= peer.m_p)
                return false;
        if (!HasGroup()) {
            m_g = peer.m_g;
            m_p = peer.m_p;
            CreateKeyPairs();
        } else if (m_g != peer.m_g || m_p != peer.m_p) {
            return false;
        }
        for (std::size_t i = 0; i < N; ++i)
            result[i] = DH_CalcSymmetricKey(peer.m_public[i], m_private[i], m_p);
        return true;
    }

    // g, p and the public values as 8 lowercase hexadecimal digits each,
    // separated by single spaces.
    std::string to_string() const
    {
        std::string text = Hex(m_g) + ' ' + Hex(m_p);
        for (std::size_t i = 0; i < N; ++i)
            text += ' ' + Hex(m_public[i]);
        return text;
    }

    // Reads g, p and the public values (private values cleared); false, and
    // the object cleared, unless the text holds exactly N + 2 hexadecimal
    // numbers below 2^31 separated by spaces.
    bool from_string(const std::string& text)
    {
        Clear();
        long values[N + 2];
        std::size_t pos = 0;
        for (std::size_t i = 0; i < N + 2; ++i) {
            while (pos < text.size() && text[pos] == ' ')
                ++pos;
            unsigned long value = 0;
            std::size_t digits = 0;
            for (; pos < text.size() && digits <= 8; ++pos, ++digits) {
                const int d = HexDigit(text[pos]);
                if (d < 0)
                    break;
                value = value * 16 + static_cast<unsigned long>(d);
            }
            if (digits == 0 || digits > 8 || value > static_cast<unsigned long>(MaxValue))
                return false;
            if (pos < text.size() && text[pos] != ' ')
                return false;
            values[i] = static_cast<long>(value);
        }
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        if (pos != text.size())
            return false;
        m_g = values[0];
        m_p = values[1];
        for (std::size_t i = 0; i < N; ++i)
            m_public[i] = values[i + 2];
        return true;
    }

    // The values as 8 lowercase hexadecimal digits each, run together.
    static std::string GenerateKey(const long* values)
    {
        std::string key;
        for (std::size_t i = 0; i < N; ++i)
            key += Hex(values[i]);
        return key;
    }

private:
    void CreateKeyPairs()
    {
        for (std::size_t i = 0; i < N; ++i)
            DH_CreateKeyPair(&m_public[i], &m_private[i], m_g, m_p);
    }

    static std::string Hex(long value)
    {
        char text[16];
        std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(value) & 0xFFFFFFFFul);
        return text;
    }

    static int HexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    long m_g;
    long m_p;
    long m_public[N];
    long m_private[N];
};

} // namespace Brindle
