// Base64 encoding and the lenient decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/base64.h"
#include "runtime/text_buffer.h"

namespace {

struct vector_case {
    const char *plain;
    const char *encoded;
};

// The test vectors of RFC 4648 plus a few more.
const vector_case vectors[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
    {"a", "YQ=="},
    {"ab", "YWI="},
    {"abc", "YWJj"},
    {"user:pass word", "dXNlcjpwYXNzIHdvcmQ="},
};

std::string decode(const char *text, int size = 64, int *result = nullptr)
{
    std::vector<unsigned char> dest((size_t)size + 1, 0xEE);
    int n = base64_decode(dest.data(), size, text);
    if (result)
        *result = n;
    return std::string((const char *)dest.data(), (size_t)(n > 0 ? n : 0));
}

} // namespace

TEST(Base64, EncodesTestVectors)
{
    for (const auto &v : vectors) {
        text_buffer b;
        b.append("Basic ");
        EXPECT_EQ(1, base64_encode_text(&b, v.plain)) << v.plain;
        EXPECT_EQ(std::string("Basic ") + v.encoded, b.text()) << v.plain;
    }
}

TEST(Base64, EncodesEveryByteValue)
{
    const unsigned char bytes[] = {0x00, 0xFF, 0xFE, 0x80, 0x7F, 0x3E, 0x3F};
    text_buffer b;
    EXPECT_EQ(1, base64_encode(&b, bytes, sizeof bytes));
    EXPECT_STREQ("AP/+gH8+Pw==", b.text());
}

TEST(Base64, EncoderRefusesNullAndReportsTheLimit)
{
    text_buffer b;
    EXPECT_EQ(0, base64_encode(&b, nullptr, 3));
    EXPECT_EQ(0, base64_encode_text(&b, nullptr));
    EXPECT_EQ(0, base64_encode(&b, "abc", -1));
    EXPECT_EQ(0, base64_encode(nullptr, "abc", 3));
    EXPECT_STREQ("", b.text());

    b.append(std::string(5990, '.').c_str());
    EXPECT_EQ(1, base64_encode_text(&b, "abcdef")); // 5998 characters: still room
    EXPECT_EQ(0, base64_encode_text(&b, "abc"));    // cut at 5999
    EXPECT_EQ(TEXT_BUFFER_MAX_CHARS, b.length);
    EXPECT_EQ(std::string(5990, '.') + "YWJjZGVmY", b.text());
}

TEST(Base64, DecodesTestVectorsAndUnpaddedEndings)
{
    for (const auto &v : vectors) {
        int n = -1;
        EXPECT_EQ(v.plain, decode(v.encoded, 64, &n)) << v.encoded;
        EXPECT_EQ((int)strlen(v.plain), n) << v.encoded;
    }
    struct {
        const char *encoded;
        std::string plain;
    } cases[] = {
        {"YWI", "ab"},               // a final group of three characters gives two bytes
        {"YQ", "a"},                 // of two, one byte
        {"YWJjZ", "abc"},            // of one, nothing
        {"YQ==Zm9v", "a"},           // decoding stops at the first "="
        {"YW=Jj", "a"},
        {"AP/+gH8+Pw==", std::string("\x00\xFF\xFE\x80\x7F\x3E\x3F", 7)},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.plain, decode(c.encoded)) << c.encoded;
}

TEST(Base64, CharactersOutsideTheAlphabetCountAsZero)
{
    // "A" is the value 0 too, so each pair below decodes alike.
    struct {
        const char *odd, *plain_zeros;
    } cases[] = {
        {"A A=", "AAA="},
        {"\nAAA", "AAAA"},
        {"Y*==", "YA=="},
        {"YWJj\r\n", "YWJjAA"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(decode(c.plain_zeros), decode(c.odd)) << c.odd;
}

TEST(Base64, DecoderFailsWhenTheDestinationIsTooSmall)
{
    struct {
        const char *encoded;
        int size;
        int result;
    } cases[] = {
        {"YWJj", 3, 3},
        {"YWJj", 2, 0}, // the third byte would be lost
        {"YWJjZGVm", 3, 0},
        {"YWJjZGVm", 5, 0},
        {"YWJjZGVm", 6, 6},
        {"YWI=", 2, 2},
        {"YWI=", 1, 0},
        {"YWJj====", 3, 3},
        {"", 0, 0},
        {"YQ", 0, 0},
    };
    for (const auto &c : cases) {
        int n = -1;
        decode(c.encoded, c.size, &n);
        EXPECT_EQ(c.result, n) << c.encoded << " into " << c.size;
    }
    unsigned char d[4];
    EXPECT_EQ(0, base64_decode(d, sizeof d, nullptr));
    EXPECT_EQ(0, base64_decode(nullptr, 4, "YQ=="));
}

TEST(Base64, DecodeTextAppendsBytesIncludingNul)
{
    text_buffer b;
    b.append("x");
    EXPECT_EQ(1, base64_decode_text(&b, "AGE="));
    EXPECT_EQ(3, b.length);
    EXPECT_EQ(std::string("x\0a", 3), std::string(b.text(), (size_t)b.length));
    EXPECT_EQ(0, base64_decode_text(&b, nullptr));
    EXPECT_EQ(0, base64_decode_text(nullptr, "AGE="));

    text_buffer full;
    full.append(std::string(5997, '.').c_str());
    EXPECT_EQ(0, base64_decode_text(&full, "YWJj"));
    EXPECT_EQ(std::string(5997, '.') + "ab", full.text());
}

TEST(Base64, RoundTripsRandomBytes)
{
    std::mt19937 rng(4648);
    for (int round = 0; round < 200; round++) {
        std::vector<unsigned char> bytes(rng() % 300);
        for (auto &c : bytes)
            c = (unsigned char)rng();
        text_buffer enc;
        const unsigned char none = 0; // null bytes are refused even for a count of 0
        ASSERT_EQ(1, base64_encode(&enc, bytes.empty() ? &none : bytes.data(), (int)bytes.size()));
        EXPECT_EQ((bytes.size() + 2) / 3 * 4, (size_t)enc.length);
        std::vector<unsigned char> back(bytes.size() + 1);
        EXPECT_EQ((int)bytes.size(), base64_decode(back.data(), (int)bytes.size(), enc.text()));
        back.resize(bytes.size());
        EXPECT_EQ(bytes, back) << enc.text();
    }
}
