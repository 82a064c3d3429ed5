#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A fresh folder under the temporary path for one test's files; removed, with what the test wrote, at the
// end.
class TemporaryFolder {
public:
    TemporaryFolder() {
        char base[MAX_PATH];
        ::GetTempPathA(MAX_PATH, base);
        char name[MAX_PATH];
        ::GetTempFileNameA(base, "qty", 0, name);
        ::DeleteFileA(name);
        ::CreateDirectoryA(name, nullptr);
        path_ = name;
    }
    ~TemporaryFolder() {
        for (const std::string& file : files_) ::DeleteFileA(file.c_str());
        for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) ::RemoveDirectoryA(it->c_str());
        ::RemoveDirectoryA(path_.c_str());
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // Writes `bytes` to a new file `name` in the folder and returns its path.
    std::string write(const std::string& name, const std::string& bytes) {
        const std::string file = path(name);
        HANDLE handle = ::CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        if (handle != INVALID_HANDLE_VALUE) {
            if (!bytes.empty())
                ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            ::CloseHandle(handle);
        }
        files_.push_back(file);
        return file;
    }
    std::string folder(const std::string& name) {
        const std::string folder = path(name);
        ::CreateDirectoryA(folder.c_str(), nullptr);
        folders_.push_back(folder);
        return folder;
    }
    // A path in the folder; the file is removed at the end if the test creates it.
    std::string path(const std::string& name) {
        const std::string file = path_ + "\\" + name;
        files_.push_back(file);
        return file;
    }

private:
    std::string path_;
    std::vector<std::string> files_;
    std::vector<std::string> folders_;
};
