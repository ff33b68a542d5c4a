// Which window class names are the host's main window.
#include <gtest/gtest.h>
#include "plugin/host_window_class.h"

TEST(HostWindowClass, FmproAndADigitInAnyCase)
{
    static const struct {
        const char *name;
        bool qualifies;
    } cases[] = {
        {"FMPRO6", true},      {"fmpro7abc", true},  {"FmPro5", true},
        {"FMPRO6.0APP", true}, {"fmpro0", true},     {"fmpro9", true},
        {"fmpro", false},      {"fmproX", false},    {"fmpr05", false},
        {"FMPRO", false},      {"", false},          {"xfmpro6", false},
        {"fmpro/", false},     {"fmpro:", false},    {"fm", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.qualifies, IsHostWindowClassName(c.name));
    }
    EXPECT_FALSE(IsHostWindowClassName(NULL));
}
