// The GPIO port text taken apart: the chip and the four lines in D0-D3 order, and the
// options. (Texts that are refused are in the registry's table.)
#include <gtest/gtest.h>

#include "platform/linux/GpioPort.h"

namespace {

TEST(GpioText, TakesTheChipTheLinesInOrderAndTheOptions) {
    const struct {
        const char* text;
        const char* chip;
        const char* lines;  // D0 to D3
        bool activeLow, openDrain;
    } cases[] = {
        {"gpio:gpiochip0:0,1,2,3", "gpiochip0", "0 1 2 3", false, false},
        {"gpio:/dev/gpiochip2:3,2,1,0;active-low", "/dev/gpiochip2", "3 2 1 0", true, false},
        {"gpio:mcp2221_gpio:0,1,2,3;open-drain", "mcp2221_gpio", "0 1 2 3", false, true},
        {"gpio:GPIO17,GPIO27,GPIO22,GPIO23;open-drain;active-low", "",
         "GPIO17 GPIO27 GPIO22 GPIO23", true, true},
        {"gpio:gpiochip0:0,GPIO5,2,3", "gpiochip0", "0 GPIO5 2 3", false, false},
    };
    for (const auto& c : cases) {
        port::gpio::Text text;
        std::string error, lines;
        ASSERT_TRUE(port::gpio::parse(c.text, text, error)) << c.text << ": " << error;
        for (const std::string& line : text.lines) {
            lines += (lines.empty() ? "" : " ") + line;
        }
        EXPECT_EQ(text.chip, c.chip) << c.text;
        EXPECT_EQ(lines, c.lines) << c.text;
        EXPECT_EQ(text.activeLow, c.activeLow) << c.text;
        EXPECT_EQ(text.openDrain, c.openDrain) << c.text;
    }
}

}  // namespace
