// Blowfish against the published electronic-codebook test vectors (Eric
// Young's set) and the cipher's refusals of misuse.
#include "ui/blowfish.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> FromHex(const std::string& hex) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string ToHex(const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

struct Vector {
    const char* key;
    const char* clear;
    const char* cipher;
};

// Key bytes, clear bytes, cipher bytes.
const Vector kEcbVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

TEST(BlowfishTest, PublishedEcbVectorsEncipherAndDecipher) {
    ASSERT_EQ(std::size(kEcbVectors), 34u);
    for (const Vector& v : kEcbVectors) {
        SCOPED_TRACE(std::string("key ") + v.key + " clear " + v.clear);
        std::vector<unsigned char> key = FromHex(v.key);
        std::vector<unsigned char> clear = FromHex(v.clear);
        BlowfishCipher cipher(key.data(), key.size());

        std::vector<unsigned char> out(8);
        cipher.Encipher(clear.data(), out.data(), out.size());
        EXPECT_EQ(ToHex(out), v.cipher);

        std::vector<unsigned char> ciphered = FromHex(v.cipher);
        cipher.Decipher(ciphered.data(), out.data(), out.size());
        EXPECT_EQ(ToHex(out), v.clear);
    }
}

// The published set-key vectors: the clear block FEDCBA9876543210 under the
// first 1, 2, ... 24 bytes of one key. Key lengths that are not a multiple
// of four exercise the cyclic use of the key bytes.
TEST(BlowfishTest, PublishedVariableKeyLengthVectors) {
    const std::vector<unsigned char> key =
        FromHex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
    const std::vector<unsigned char> clear = FromHex("FEDCBA9876543210");
    const char* const expected[24] = {
        "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
        "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
        "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
        "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
        "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
        "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
    };
    for (std::size_t length = 1; length <= key.size(); ++length) {
        SCOPED_TRACE("key length " + std::to_string(length));
        BlowfishCipher cipher(key.data(), length);
        std::vector<unsigned char> out(8);
        cipher.Encipher(clear.data(), out.data(), out.size());
        EXPECT_EQ(ToHex(out), expected[length - 1]);
        cipher.Decipher(out.data(), out.data(), out.size());
        EXPECT_EQ(out, clear);
    }
}

TEST(BlowfishTest, BuffersAreProcessedBlockByBlockBigEndian) {
    // Two blocks of one buffer give the same bytes as the blocks on their
    // own (electronic-codebook mode), and the word interface reads byte 0 as
    // the most significant byte of the left half.
    std::vector<unsigned char> key = FromHex("FEDCBA9876543210");
    BlowfishCipher cipher(key.data(), key.size());
    std::vector<unsigned char> clear = FromHex("0123456789ABCDEF0123456789ABCDEF");
    std::vector<unsigned char> out(16);
    cipher.Encipher(clear.data(), out.data(), out.size());
    EXPECT_EQ(ToHex(out), "0ACEAB0FC6A0A28D0ACEAB0FC6A0A28D");

    std::uint32_t left = 0x01234567;
    std::uint32_t right = 0x89ABCDEF;
    cipher.EncipherBlock(left, right);
    EXPECT_EQ(left, 0x0ACEAB0Fu);
    EXPECT_EQ(right, 0xC6A0A28Du);
    cipher.DecipherBlock(left, right);
    EXPECT_EQ(left, 0x01234567u);
    EXPECT_EQ(right, 0x89ABCDEFu);
}

TEST(BlowfishTest, KeysLongerThan56BytesAreCutTo56) {
    std::vector<unsigned char> key(80);
    for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<unsigned char>(i * 7 + 3);
    BlowfishCipher full(key.data(), key.size());
    BlowfishCipher cut(key.data(), 56);
    BlowfishCipher shorter(key.data(), 55);

    const unsigned char clear[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    unsigned char a[8], b[8], c[8];
    full.Encipher(clear, a, 8);
    cut.Encipher(clear, b, 8);
    shorter.Encipher(clear, c, 8);
    EXPECT_TRUE(std::equal(a, a + 8, b));
    EXPECT_FALSE(std::equal(a, a + 8, c));
}

std::string ErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const BlowfishError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(BlowfishTest, MisuseRaisesTheErrorTexts) {
    const unsigned char key[4] = {'k', 'e', 'y', '!'};
    EXPECT_EQ(ErrorText([&] { BlowfishCipher c(key, 0); }), "Incorrect key length");

    BlowfishCipher cipher(key, sizeof key);
    unsigned char buffer[24] = {};
    for (std::size_t length : {0u, 1u, 7u, 9u, 12u, 23u}) {
        SCOPED_TRACE("length " + std::to_string(length));
        EXPECT_EQ(ErrorText([&] { cipher.Encipher(buffer, buffer, length); }),
                  "Incorrect buffer length");
        EXPECT_EQ(ErrorText([&] { cipher.Decipher(buffer, buffer, length); }),
                  "Incorrect buffer length");
    }
    for (std::size_t length : {8u, 16u, 24u})
        EXPECT_EQ(ErrorText([&] { cipher.Decipher(buffer, buffer, length); }), "(no error)");
}

} // namespace
