// CDinaFileBase: a read-only handle on an existing file, used to test that a
// settings file is present and not empty before the XML document loads it.
//
// One backend per platform (DinaFileBasePosix.cpp, DinaFileBaseWindows.cpp).
// Owned by the code that tests a file, for the duration of the test; one
// thread uses an object at a time.
#pragma once

#include <cstdint>
#include <string>

class CDinaFileBase {
   public:
    CDinaFileBase() = default;
    virtual ~CDinaFileBase();
    CDinaFileBase(const CDinaFileBase&) = delete;
    CDinaFileBase& operator=(const CDinaFileBase&) = delete;

    // Opens an existing file for reading (others may keep reading and
    // writing it). False for a null or empty name or when the file cannot be
    // opened; a handle held from an earlier call is closed first.
    bool Open(const char* fileName);
    void Close();

    bool IsOpen() const { return m_hFile != kClosed; }
    // Size of the open file in bytes; 0 when closed.
    std::uint64_t GetSize() const;
    const std::string& FileName() const { return m_fileName; }
    // True once Open was given a name, whether or not the file opened.
    bool WasOpened() const { return m_opened != 0; }

   private:
    static constexpr std::intptr_t kClosed = -1;
    std::string m_fileName;
    // The file descriptor, or the Windows file handle; kClosed while closed.
    std::intptr_t m_hFile = kClosed;
    std::int32_t m_opened = 0;
};
