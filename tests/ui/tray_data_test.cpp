#include "ui/tray_data.h"

#include <gtest/gtest.h>

#include <string>

namespace mjr {
namespace {

TEST(TrayData, IsThe88ByteAnsiRecordLittleEndian) {
    const TrayData d = BuildTrayData(0x12345678u, 0xA0B0C0D0u);
    std::string expected("\x58\0\0\0"          // cbSize 88
                         "\x78\x56\x34\x12"    // hWnd
                         "\x01\0\0\0"          // uID
                         "\x07\0\0\0"          // NIF_MESSAGE | NIF_ICON | NIF_TIP
                         "\x00\x02\0\0"        // WM_MOUSEMOVE
                         "\xD0\xC0\xB0\xA0",   // hIcon
                         24);
    expected += std::string("Marrowbine Jr - Quillfen 2010") + '\0' + std::string(34, ' ');
    ASSERT_EQ(expected.size(), 88u);
    EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.begin() + 88), expected);
    EXPECT_EQ(std::string(d.bytes.begin() + 88, d.bytes.end()), std::string(16, '\0'));
    EXPECT_TRUE(d.Filled());
    EXPECT_FALSE(TrayData{}.Filled());
}

TEST(TrayData, On64BitWindowsHandlesAreEightBytesSignExtended) {
    const TrayData d = BuildTrayData(0x00345678u, 0xA0B0C0D0u, kTrayLayout64);
    std::string expected("\x68\0\0\0\0\0\0\0"                   // cbSize 104, padding
                         "\x78\x56\x34\0\0\0\0\0"               // hWnd
                         "\x01\0\0\0\x07\0\0\0\x00\x02\0\0\0\0\0\0"  // uID, uFlags, callback, padding
                         "\xD0\xC0\xB0\xA0\xFF\xFF\xFF\xFF",    // hIcon, sign-extended
                         40);
    expected += std::string("Marrowbine Jr - Quillfen 2010") + '\0' + std::string(34, ' ');
    ASSERT_EQ(expected.size(), 104u);
    EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), expected);
}

}  // namespace
}  // namespace mjr
