// Folders for copies of the plug-in, as a host's plug-in folder would hold
// them. No test framework here: the benchmarks use it too.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The folder of the running program, where the build puts Zendrel.dll; ends
// with a backslash.
std::wstring BinDirectory();

// A fresh, empty folder under the temporary directory, removed with all it
// holds when the object goes.
class Folder
{
public:
    Folder();
    ~Folder();
    std::wstring Path(const std::wstring& name) const { return m_path + name; }
    // Copies the built plug-in (built, beside the running program) here under
    // fileName; returns its full path, or an empty one when the copy failed.
    std::wstring AddPlugin(const std::wstring& fileName, const std::wstring& built = L"Zendrel.dll") const;
    // False when the file could not be written whole.
    bool Write(const std::wstring& name, const std::string& bytes) const;
    std::string Read(const std::wstring& name) const;
    bool Exists(const std::wstring& name) const;
    // Names of the entries in the folder, as the file system spells them.
    std::vector<std::wstring> List() const;

private:
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    void RemoveAll(const std::wstring& dir) const;
    std::wstring m_path;  // ends with a backslash
};
