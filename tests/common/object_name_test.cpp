// The neutral rules for names of named objects, and the digest that
// shortens names too long for a platform.
#include "common/object_name.hpp"

#include <gtest/gtest.h>

#include <string>

#include "common/sha256.hpp"

using corvane::detail::flat_object_name;
using corvane::detail::hashed_object_name;
using corvane::detail::object_name;

namespace {

std::string hex(const corvane::detail::sha256_digest& digest) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

}  // namespace

TEST(Sha256, MatchesTheStandardTestVectors) {
    const struct {
        std::string input;
        const char* digest;
    } rows[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 55 bytes leave room for the length in the last block, 56 do not.
        {std::string(55, 'x'), "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(hex(corvane::detail::sha256(row.input)), row.digest) << row.input.size();
    }
}

TEST(ObjectName, DropsLocalAndRefusesNullAndNamesOf1024Bytes) {
    EXPECT_EQ(object_name("Local\\x"), "x");
    EXPECT_EQ(object_name("Local\\"), "");
    EXPECT_EQ(object_name("local\\x"), "local\\x");
    EXPECT_EQ(object_name("Global\\x"), "Global\\x");
    EXPECT_EQ(object_name(std::string(1023, 'n').c_str())->size(), 1023u);
    EXPECT_FALSE(object_name(std::string(1024, 'n').c_str()));
    EXPECT_FALSE(object_name(("Local\\" + std::string(1020, 'n')).c_str()));
    EXPECT_FALSE(object_name(nullptr));
}

TEST(ObjectName, FlatNamesKeepWhatFitsAndHashTheRest) {
    const std::string longest(259, 'n');
    const std::string too_long(260, 'n');
    const struct {
        std::string name, flat;
        const char* why;
    } rows[] = {
        {"x", "x", "fits"},
        {"Local\\x", "x", "Local\\ dropped"},
        {"Global\\x", "Global\\x", "Global\\ kept"},
        {longest, longest, "longest that fits"},
        {too_long, hashed_object_name("corvane", too_long), "too long"},
        {"Global\\" + too_long, "Global\\" + hashed_object_name("corvane", too_long),
         "too long in Global\\"},
        {"a\\b", hashed_object_name("corvane", "a\\b"), "separator inside"},
        {"", hashed_object_name("corvane", ""), "empty would be unnamed"},
        {"corvane#x", hashed_object_name("corvane", "corvane#x"), "looks shortened"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(flat_object_name(row.name.c_str(), 260), row.flat) << row.why;
    }
    EXPECT_EQ(hashed_object_name("s", "abc"),
              "s#ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_FALSE(flat_object_name(nullptr, 260));
}
