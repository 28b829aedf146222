#include "faxengine/engine_errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <new>

using faxengine::errorText;
using faxengine::raiseError;
using faximage::codeFromException;

// The engine's texts and the shared ones come from one lookup; the image library itself
// knows nothing of serial ports.
TEST(FaxErrors, TextsComeFromTableElseFromTheSystem) {
    EXPECT_EQ(errorText(0), "OK");
    EXPECT_EQ(errorText(-3006), "Output buffer too small for block");
    EXPECT_EQ(errorText(-8064), "Called fax number was busy");
    EXPECT_EQ(errorText(2), "File not found"); // the table wins over the system text
    EXPECT_EQ(errorText(-2011), "The ComNumber property of the TVelkComPort has not been set");
    EXPECT_EQ(errorText(-15012), "Fax");
    EXPECT_EQ(errorText(-(15130 + 48)), "tfDone");
    EXPECT_EQ(errorText(-(15179 + 37)), "rfDone");
    // No table entry: the system's message, never with control characters.
    EXPECT_EQ(errorText(-ENODEV), "No such device");
    for (int c : {-13, -19, -70000, 2147483647}) {
        std::string t = errorText(c);
        EXPECT_FALSE(t.empty());
        for (char ch : t)
            EXPECT_GE(static_cast<unsigned char>(ch), 0x20);
    }
    EXPECT_NO_THROW(errorText(-2147483647 - 1));
    EXPECT_TRUE(faximage::errorTableText(2007).empty());
    EXPECT_EQ(faxengine::errorTableText(2007), "ie_NOpen - device not open");
    EXPECT_EQ(faxengine::errorTableText(15012), "Fax");
}

TEST(FaxErrors, ExceptionClassesByCodeAndBack) {
    auto codeOf = [](int code) {
        try {
            raiseError(code);
        } catch (...) {
            return codeFromException(std::current_exception());
        }
        return 12345;
    };
    for (int c : {-1002, -2001, -3006, -5001, -6006, -8001, -8064, -9, -20000})
        EXPECT_EQ(codeOf(c), c) << c;
    EXPECT_EQ(codeOf(5), -5); // an input/output error gives its negated code

    EXPECT_THROW(raiseError(-1002), faximage::EBadArgument);
    EXPECT_THROW(raiseError(-6008), faximage::EProtocol);
    EXPECT_THROW(raiseError(-8070), faximage::EFaxPageError);
    EXPECT_THROW(raiseError(4), faximage::EInOutError);
    try {
        raiseError(-2007);
        ADD_FAILURE() << "no exception";
    } catch (const faxengine::ECommNotOpen& e) {
        EXPECT_STREQ(e.what(), "ie_NOpen - device not open");
        EXPECT_EQ(e.ErrorCode(), -2007);
    }
    // -5001 has no class of its own: the base class.
    try {
        raiseError(-5001);
    } catch (const faximage::EVelkException& e) {
        EXPECT_EQ(typeid(e), typeid(faximage::EVelkException));
        EXPECT_STREQ(e.what(), "No more trigger slots");
    }
    EXPECT_EQ(codeFromException(std::bad_alloc()), -8);
    EXPECT_EQ(codeFromException(std::runtime_error("x")), -9999);
    EXPECT_EQ(faxengine::checkResult(0), 0);
}
