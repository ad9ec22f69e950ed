#include "effect/CodeContainer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include <unistd.h>

using namespace glfx;

namespace {

std::string randomText(std::mt19937& rng, size_t n) {
    std::uniform_int_distribution<int> byte(1, 255);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(byte(rng));
    return s;
}

std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b)
        s.push_back(static_cast<char>(v));
    return s;
}

} // namespace

TEST(CodeContainer, RoundTripOnRandomTextsAndKeys) {
    std::mt19937 rng(1234);
    int roundTrips = 0;
    for (int i = 0; i < 400; ++i) {
        std::string text = randomText(rng, rng() % 3000);
        std::string key = randomText(rng, rng() % 32);
        std::string enc;
        try {
            enc = encipherCode(text, key);
        } catch (const std::invalid_argument&) {
            continue; // the body would hold the end marker; the packer reports that
        }
        ++roundTrips;
        ASSERT_EQ(enc.size(), text.size() + 6);
        EXPECT_EQ(enc.find('\0'), std::string::npos);
        // Filler after the marker is never examined.
        std::string slot = enc + std::string(200, '#');
        ASSERT_EQ(decipherCode(slot, key), text) << "iteration " << i;
    }
    EXPECT_GT(roundTrips, 300);
}

TEST(CodeContainer, DecipherKeystreamRules) {
    const std::string key = "AB";
    // Body byte equal to its keystream value ('A' + 0) deciphers to itself, not to NUL.
    EXPECT_EQ(decipherCode(bytes({0x12, 0x14, 0x18, 'A', 0x12, 0x13, 0x14}), key), "A");
    // A zero body byte gives the keystream value: ('B' + 1) % 255.
    EXPECT_EQ(decipherCode(bytes({0x12, 0x14, 0x18, 'A', 0x00}), key), bytes({'A', 'C'}));
    // Empty body, and no marker: deciphered to the end.
    EXPECT_EQ(decipherCode(bytes({0x12, 0x14, 0x18, 0x12, 0x13, 0x14, 'z'}), key), "");
    EXPECT_EQ(decipherCode(bytes({0x12, 0x14, 0x18, 'q' ^ 'A', 'r' ^ ('B' + 1)}), key), "qr");
    // The keystream wraps modulo 255: key byte 254 at position 1 gives 0, leaving the byte.
    EXPECT_EQ(decipherCode(bytes({0x12, 0x14, 0x18, 0x20 ^ 0xFE, 0x20}), bytes({0xFE, 0xFE})),
              bytes({0x20, 0x20}));
    EXPECT_EQ(decipherCode("", key), "");
}

TEST(CodeContainer, EmptyKeyUsesTheFallback) {
    const std::string text = "[settings]\nname=x\n";
    EXPECT_EQ(encipherCode(text, ""), encipherCode(text, kFallbackCipherKey));
    EXPECT_EQ(decipherCode(encipherCode(text, ""), ""), text);
    EXPECT_NE(encipherCode(text, "other").substr(3), encipherCode(text, "").substr(3));
}

TEST(CodeContainer, EncipherRefusesWhatTheSlotCannotCarry) {
    EXPECT_THROW(encipherCode(std::string("a\0b", 3), "k"), std::invalid_argument);
    // Text chosen so that its enciphered form is exactly the end marker.
    const std::string key = "k";
    std::string text;
    for (int i = 0; i < 3; ++i)
        text.push_back(static_cast<char>(kCipherEndMarker[i] ^ (('k' + i) % 255)));
    EXPECT_THAT([&] { encipherCode(text, key); },
                ::testing::ThrowsMessage<std::invalid_argument>(::testing::HasSubstr("offset 0")))
        << "marker in the body must be refused";
}

class CodeFile : public ::testing::Test {
protected:
    // ctest runs each test as its own process, in parallel: one file per test and process.
    std::string path = ::testing::TempDir() + "glfx_code_file_" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                       std::to_string(::getpid()) + ".glfx";
    void write(const std::string& content) { std::ofstream(path, std::ios::binary) << content; }
    void TearDown() override { std::remove(path.c_str()); }
};

TEST_F(CodeFile, CrlfBecomesLfAndNulCutsTheText) {
    write("[settings]\r\nname=A\r\n\r\nlone\rcr\r\n");
    EXPECT_EQ(readCodeFile(path), "[settings]\nname=A\n\nlone\rcr\n");
    write(std::string("before\0after", 12));
    EXPECT_EQ(readCodeFile(path), "before");
}

TEST_F(CodeFile, MissingOrEmptyPathGivesEmptyText) {
    EXPECT_EQ(readCodeFile(""), "");
    EXPECT_EQ(readCodeFile(path + ".missing"), "");
    EXPECT_EQ(readCodeFile(::testing::TempDir()), "") << "a directory is not a code file";
}
