// The GPIO backend's PORT text: what it accepts, and that every bad text is refused as
// such before any device is opened.
#include <gtest/gtest.h>

#include "platform/linux/GpioPort.h"

namespace {

using port::gpio::Text;

TEST(GpioPortText, AcceptsTheChipAndNamedForms) {
    const struct {
        const char* text;
        const char* chip;
        std::vector<std::string> lines;
        bool activeLow, openDrain;
    } cases[] = {
        {"gpio:gpiochip0:0,1,2,3", "gpiochip0", {"0", "1", "2", "3"}, false, false},
        {"gpio:/dev/gpiochip2:3,2,1,0;active-low",
         "/dev/gpiochip2",
         {"3", "2", "1", "0"},
         true,
         false},
        {"gpio:mcp2221_gpio:0,1,2,3;open-drain", "mcp2221_gpio", {"0", "1", "2", "3"}, false, true},
        {"gpio:GPIO17,GPIO27,GPIO22,GPIO23;open-drain;active-low",
         "",
         {"GPIO17", "GPIO27", "GPIO22", "GPIO23"},
         true,
         true},
        {"gpio:gpiochip0:0,GPIO5,2,3", "gpiochip0", {"0", "GPIO5", "2", "3"}, false, false},
    };
    for (const auto& c : cases) {
        Text text;
        std::string error;
        ASSERT_TRUE(port::gpio::parse(c.text, text, error)) << c.text << ": " << error;
        EXPECT_EQ(text.chip, c.chip) << c.text;
        EXPECT_EQ(text.lines, c.lines) << c.text;
        EXPECT_EQ(text.activeLow, c.activeLow) << c.text;
        EXPECT_EQ(text.openDrain, c.openDrain) << c.text;
    }
}

TEST(GpioPortText, RefusesBadTextsBeforeTouchingAnything) {
    const struct {
        const char* text;
        const char* error;  // a part of the reason
    } cases[] = {
        {"gpio:", "four lines are needed"},
        {"gpio:gpiochip0:0,1,2", "four lines are needed"},
        {"gpio:gpiochip0:0,1,2,3,4", "(found 5)"},
        {"gpio:gpiochip0:0,1,1,3", "line 1 is given twice"},
        {"gpio:gpiochip0:1,01,2,3", "line 01 is given twice"},
        {"gpio:GPIO17,GPIO27,GPIO17,GPIO23", "GPIO17 is given twice"},
        {"gpio:17,27,22,23", "line offsets need a chip"},
        {"gpio::0,1,2,3", "no chip before ':'"},
        {"gpio:gpiochip0:0,1,,3", "an empty line"},
        {"gpio:gpiochip0:0,1,2,3;active-high", "unknown option 'active-high'"},
        {"gpio:gpiochip0:0,1,2,3;", "unknown option ''"},
        {"gpio:gpiochip0:0,1,2,99999999999999999999", "no such line"},
        {"gpio:gpiochip0:0,1,2,A_NAME_LONGER_THAN_THE_KERNEL_KEEPS", "no such line"},
    };
    for (const auto& c : cases) {
        const std::string text = c.text;
        const port::OpenResult result = port::gpio::backend.open(text);
        EXPECT_EQ(result.status, port::OpenResult::Status::BadText) << text;
        EXPECT_NE(result.reason.find(c.error), std::string::npos) << text << ": " << result.reason;
        EXPECT_EQ(result.port, nullptr);
    }
}

TEST(GpioPortText, ClaimsOnlyGpioTexts) {
    EXPECT_TRUE(port::gpio::backend.claims("gpio:whatever"));
    for (const char* text : {"gpiochip0", "/dev/gpiochip0", "GPIO:gpiochip0:0,1,2,3", "sim"}) {
        EXPECT_FALSE(port::gpio::backend.claims(text)) << text;
    }
}

TEST(GpioPortText, AMissingChipIsUnusableNotBadText) {
    const port::OpenResult result = port::gpio::backend.open("gpio:/nonexistent/gpiochip7:0,1,2,3");
    EXPECT_EQ(result.status, port::OpenResult::Status::Unusable);
    EXPECT_EQ(result.reason,
              "pmc10: no GPIO chip /nonexistent/gpiochip7 (pmc10 --list-ports "
              "shows those present)");
}

}  // namespace
