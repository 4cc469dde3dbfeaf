#include <gtest/gtest.h>

#include <set>

#include "NPException.h"

namespace {

TEST(ExceptionTest, StructuredExceptionsCarryTheSystemDescription) {
    struct Case {
        std::uint32_t code;
        const char* startsWith;
    } cases[] = {
        {0x80000003, "A breakpoint was encountered."},
        {0xC0000005, "The thread tried to read from or write to a virtual address"},
        {0xC0000094, "The thread tried to divide an integer value by an integer divisor of zero."},
        {0xC000008E, "The thread tried to divide a floating-point value"},
        {0xC0000096, "The thread tried to execute an instruction"},
        {0x12345678, "Unknown SEH exception.."},
        {0xC00000FD, "Unknown SEH exception.."},  // stack overflow is not among the described codes
    };
    for (const Case& c : cases) {
        CNPSEHException e(c.code);
        EXPECT_EQ(e.code(), c.code);
        EXPECT_EQ(e.message().rfind(c.startsWith, 0), 0u) << std::hex << c.code << ": " << e.message();
    }
    // Every described code has its own sentence.
    std::uint32_t described[] = {0xC0000005, 0x80000002, 0x80000003, 0x80000004, 0xC0000025, 0xC000008C,
                                 0xC000008D, 0xC000008E, 0xC000008F, 0xC0000090, 0xC0000091, 0xC0000092,
                                 0xC0000093, 0xC0000094, 0xC0000095, 0xC0000096};
    std::set<std::string> texts;
    for (std::uint32_t code : described) texts.insert(CNPSEHException::describe(code));
    EXPECT_EQ(texts.size(), 16u);
    EXPECT_EQ(texts.count("Unknown SEH exception.."), 0u);
}

TEST(ExceptionTest, CatchableAsTheBase) {
    try {
        throw CNPSEHException(0x80000003);
    } catch (const CNPException& e) {
        EXPECT_EQ(e.message(), "A breakpoint was encountered.");
    }
}

}  // namespace
