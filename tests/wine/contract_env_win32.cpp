#include <windows.h>

#include <gtest/gtest.h>

#include <map>

#include "contract/contract_env.h"
#include "platform/win32/win32_desktop.h"

#ifndef HW_TEST_HELPER
#define HW_TEST_HELPER "hw_test_helper.exe"
#endif

namespace hw::testing {

namespace {

// The helper and the stand-in server sit beside the test program.
std::string BinPath(const std::string& file) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self);
    return path.substr(0, path.find_last_of('\\') + 1) + file;
}
std::string HelperPath() { return BinPath("hw_test_helper.exe"); }

void DeleteTree(const std::string& folder) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteTree(folder + name + "\\");
            else
                DeleteFileA((folder + name).c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(folder.c_str());
}

class Win32ContractEnv : public ContractEnv {
public:
    ~Win32ContractEnv() override {
        for (auto& [path, h] : locks_) CloseHandle(h);
        for (auto& f : folders_) DeleteTree(f);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\HarrowatchTests");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\HarrowatchTests");
    }
    platform::Desktop& desktop() override { return desktop_; }
    std::string MakeFolder(const std::string& name) override {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        std::string root = std::string(temp) + "Harrowatch Tests " + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(root.c_str(), nullptr);
        std::string folder = root + name + "\\";
        CreateDirectoryA(folder.c_str(), nullptr);
        folders_.insert(folders_.begin(), root);
        return folder;
    }
    void PutFile(const std::string& path, const std::string& content) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
        DWORD written = 0;
        WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(h);
    }
    bool SaveSharingReads(const std::string& path, const std::string& content) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        const bool ok = WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
                        SetEndOfFile(h);
        CloseHandle(h);
        return ok;
    }
    bool MakeHardLink(const std::string& existing, const std::string& link) override {
        return CreateHardLinkA(link.c_str(), existing.c_str(), nullptr) != FALSE;
    }
    bool MakeSymbolicLink(const std::string& link, const std::string& target) override {
        if (CreateSymbolicLinkA(link.c_str(), target.c_str(), 0) == FALSE) return false;
        // Wine 8 answers TRUE with a Unix link that opens as a missing file
        // and is written through: no link Windows would make.
        const DWORD a = GetFileAttributesA(link.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
        DeleteFileA(link.c_str());
        return false;
    }
    // Held open by another program that shares it with no one.
    void LockFile(const std::string& path) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
        locks_[path] = h;
    }
    void UnlockFile(const std::string& path) override {
        auto it = locks_.find(path);
        if (it != locks_.end()) {
            CloseHandle(it->second);
            locks_.erase(it);
        }
    }
    std::string InstallHelper(const std::string& folder, const std::string& fileName) override {
        std::string target = folder + fileName;
        EXPECT_TRUE(CopyFileA(HelperPath().c_str(), target.c_str(), FALSE))
            << HelperPath() << " -> " << target;
        return target;
    }
    std::string InstallServer(const std::string& folder, const std::string& script) override {
        const std::string target = folder + "KALTOR INTERNET SERVER.EXE";
        EXPECT_TRUE(CopyFileA(BinPath("KALTOR INTERNET SERVER.EXE").c_str(), target.c_str(), FALSE)) << target;
        PutFile(folder + "standin.txt", script);
        return target;
    }
    void Pass(std::uint32_t ms) override {
        const ULONGLONG end = GetTickCount64() + ms;
        while (GetTickCount64() < end) {
            desktop_.DoEvents();
            Sleep(10);
        }
    }
    void EndProcess(platform::Pid pid) override {
        HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid.value());
        if (!h) return;
        TerminateProcess(h, 1);
        WaitForSingleObject(h, 5000);
        CloseHandle(h);
    }
    std::string TestKey() override {
        auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return std::string("Software\\HarrowatchTests\\") + info->test_suite_name() + "." +
               info->name();
    }

private:
    platform::win32::Win32Desktop desktop_;
    std::map<std::string, HANDLE> locks_;
    std::vector<std::string> folders_;
};

}  // namespace

std::unique_ptr<ContractEnv> MakeContractEnv() { return std::make_unique<Win32ContractEnv>(); }

}  // namespace hw::testing
