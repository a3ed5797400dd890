// The built DLL as a Windows host meets it: a 32-bit x86 DLL whose export
// table holds exactly the ten functions of the host contract by their plain
// names, which imports only DLLs that every Windows has, and which carries a
// version resource naming itself. The same checks hold for the 64-bit build
// of the sources, with its own machine type.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

namespace {

class LoadedImage : public ::testing::Test {
   protected:
    void SetUp() override {
        m_module = ::LoadLibraryA(DARVIK_MODULE_PATH);
        ASSERT_NE(m_module, nullptr) << DARVIK_MODULE_PATH;
        m_base = reinterpret_cast<const std::uint8_t*>(m_module);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(m_base);
        m_nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(m_base + dos->e_lfanew);
    }
    void TearDown() override {
        if (m_module != nullptr) {
            ::FreeLibrary(m_module);
        }
    }
    template <class T>
    const T* At(DWORD rva) const {
        return reinterpret_cast<const T*>(m_base + rva);
    }
    const IMAGE_DATA_DIRECTORY& Directory(int entry) const { return m_nt->OptionalHeader.DataDirectory[entry]; }

    HMODULE m_module = nullptr;
    const std::uint8_t* m_base = nullptr;
    const IMAGE_NT_HEADERS* m_nt = nullptr;
};

TEST_F(LoadedImage, IsADllExportingExactlyTheTenContractFunctions) {
#if defined(__i386__)
    EXPECT_EQ(m_nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(m_nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
#else
    EXPECT_EQ(m_nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
#endif
    EXPECT_NE(m_nt->FileHeader.Characteristics & IMAGE_FILE_DLL, 0);

    const auto* exports = At<IMAGE_EXPORT_DIRECTORY>(Directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress);
    const auto* names = At<DWORD>(exports->AddressOfNames);
    std::set<std::string> exported;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        exported.insert(At<char>(names[i]));
    }
    const std::set<std::string> expected{
        "CreateIPCapture",          "CreateIPCaptureEx",           "DeleteIPCapture",
        "DeleteIPCaptureEx",        "CreateCapabilityQueryModule", "DeleteCapabilityQueryModule",
        "InitCapabilityQuery",      "StartCapabilityQuery",        "TerminateCapabilityQuery",
        "UninitCapabilityQuery"};
    EXPECT_EQ(exported, expected);
    // Nothing is exported by number alone.
    EXPECT_EQ(exports->NumberOfFunctions, exports->NumberOfNames);
}

TEST_F(LoadedImage, ImportsOnlySystemDlls) {
    // The runtime (libstdc++, libgcc, winpthread) is linked in; these come
    // with every Windows the module runs on (bcrypt.dll since Vista).
    const std::set<std::string> system{"kernel32.dll", "winhttp.dll", "ws2_32.dll", "ole32.dll",
                                       "oleaut32.dll", "version.dll", "msvcrt.dll", "user32.dll",
                                       "advapi32.dll", "shell32.dll", "bcrypt.dll"};
    const auto* import = At<IMAGE_IMPORT_DESCRIPTOR>(Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress);
    std::vector<std::string> imported;
    for (; import->Name != 0; ++import) {
        std::string name = At<char>(import->Name);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        imported.push_back(name);
        EXPECT_EQ(system.count(name), 1u) << name << " is not a DLL of every Windows";
    }
    EXPECT_FALSE(imported.empty());
}

TEST(ModuleVersionResource, NamesTheDll) {
    std::wstring path(DARVIK_MODULE_PATH, DARVIK_MODULE_PATH + std::string(DARVIK_MODULE_PATH).size());
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<std::uint8_t> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    wchar_t* name = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\OriginalFilename",
                                 reinterpret_cast<void**>(&name), &length));
    EXPECT_EQ(std::wstring(name), L"DarvikIPCapture.dll");
}

}  // namespace
