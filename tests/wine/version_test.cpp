// Harrowatch.exe's version resource: what the file's properties, the
// installer and an inventory tool read.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hw_version.h"

namespace {

std::string Beside(const std::string& file) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string p(self);
    return p.substr(0, p.find_last_of('\\') + 1) + file;
}

TEST(VersionResource, CarriesTheProjectVersionAndTheProductsNames) {
    const std::string exe = Beside("Harrowatch.exe");
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
    ASSERT_NE(size, 0u) << "error " << GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, info.data())) << "error " << GetLastError();

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const WORD numbers[4] = {HW_VERSION_NUMBERS};
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(numbers[0] << 16 | numbers[1]));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(numbers[2] << 16 | numbers[3]));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);

    auto text = [&](const char* name) {
        char* value = nullptr;
        UINT n = 0;
        const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
        if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &n) || !value) return std::string("(missing)");
        return std::string(value);
    };
    EXPECT_EQ(text("FileVersion"), HW_VERSION_TEXT);
    EXPECT_EQ(text("ProductVersion"), HW_VERSION_TEXT);
    EXPECT_EQ(text("ProductName"), "Harrowatch");
    EXPECT_EQ(text("OriginalFilename"), "Harrowatch.exe");
    EXPECT_NE(text("FileDescription").find("Kaltor"), std::string::npos);
    EXPECT_NE(text("LegalCopyright").find("Copyright"), std::string::npos);
}

}  // namespace
