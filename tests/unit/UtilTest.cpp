// Field encryption and the master password hash.
#include "TestSupport.h"
#include "security/Util.h"

namespace {

class UtilTest : public MasterPasswordFixture {};

TEST_F(UtilTest, CiphertextLengthFollowsTheBlocks) {
    for (std::size_t n : {1u, 15u, 16u, 17u, 100u}) {
        std::string cipher, salt;
        EXPECT_EQ(security::encrypt(std::string(n, 'x'), cipher, salt), 1);
        EXPECT_EQ(cipher.size(), 32 * (n / 16 + 1)) << n;
        EXPECT_EQ(salt.size(), 16u);
        EXPECT_EQ(cipher.find_first_not_of("0123456789ABCDEF"), std::string::npos);
        EXPECT_EQ(salt.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    }
}

TEST_F(UtilTest, EverySaltIsNewAndDecryptionGivesTheText) {
    std::string c1, s1, c2, s2;
    security::encrypt("same text", c1, s1);
    security::encrypt("same text", c2, s2);
    EXPECT_NE(s1, s2);
    EXPECT_NE(c1, c2);
    for (auto pair : {std::make_pair(c1, s1), std::make_pair(c2, s2)}) {
        std::string plain = "kept:";
        EXPECT_EQ(security::decrypt(pair.first, pair.second, plain), 1);
        EXPECT_EQ(plain, "kept:same text") << "decrypted bytes are appended";
    }
    std::string lower = s1;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    std::string plain;
    security::decrypt(c1, lower, plain);
    EXPECT_EQ(plain, "same text");
}

TEST_F(UtilTest, InPlaceEncryptionAndEmptyTexts) {
    std::string text = "secret", salt;
    security::encrypt(text, text, salt);
    std::string plain;
    security::decrypt(text, salt, plain);
    EXPECT_EQ(plain, "secret");
    std::string cipher = "unchanged", salt2 = "unchanged";
    EXPECT_EQ(security::encrypt("", cipher, salt2), 1);
    EXPECT_EQ(cipher, "unchanged");
    EXPECT_EQ(salt2, "unchanged");
    std::string out = "as it was";
    EXPECT_EQ(security::decrypt("ABCD", "", out), 0);
    EXPECT_EQ(out, "as it was");
}

TEST_F(UtilTest, WrongPasswordOrDamageIsLoggedNotThrown) {
    std::string cipher, salt;
    security::encrypt("0123456789abcdef0123", cipher, salt);
    theApp().m_masterPassword.setText("other");
    std::string plain;
    EXPECT_EQ(security::decrypt(cipher, salt, plain), 1);
    EXPECT_NE(plain, "0123456789abcdef0123");
    theApp().m_masterPassword.setText("master");
    for (std::string damaged : {cipher.substr(0, 30), std::string("ZZZZ"), cipher + "AB", std::string("")}) {
        std::string out;
        EXPECT_EQ(security::decrypt(damaged, salt, out), 1);
    }
}

TEST_F(UtilTest, HashIsUppercaseSha1) {
    CSecureString pw;
    pw.setText("abc");
    EXPECT_EQ(security::applySH1(pw), "A9993E364706816ABA3E25717850C26C9CD0D89D");
    pw.clear();
    EXPECT_EQ(security::applySH1(pw), "");
    EXPECT_TRUE(log.has(eFatal, "No text to apply SH1. String empty!!"));
}

}  // namespace

namespace {

TEST_F(UtilTest, TextAndSecureFormsReplaceTheirOutput) {
    std::string cipher, salt;
    security::encrypt("value", cipher, salt);
    std::string text = "old";
    EXPECT_EQ(security::decryptText(cipher, salt, text), 1);
    EXPECT_EQ(text, "value");
    text = "old";
    EXPECT_EQ(security::decryptText("", salt, text), 1);
    EXPECT_EQ(text, "old");
    EXPECT_TRUE(log.has(eInformation, "No text to dencrypt!"));
    EXPECT_EQ(security::decryptText(cipher, "", text), 1);
    EXPECT_EQ(text, "") << "no salt, nothing decrypted";

    CSecureString secret;
    secret.setText("old");
    EXPECT_EQ(security::decrypt(cipher, salt, secret), 1);
    CPlainCopy plain(secret);
    EXPECT_STREQ(plain.c_str(), "value");
}

}  // namespace
