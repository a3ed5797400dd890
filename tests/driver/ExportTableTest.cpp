// The built module's dynamic symbol table exports exactly the ten functions
// of the host contract, and nothing else.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

// Defined global and weak symbols of the ELF64 file's .dynsym.
bool ReadDynamicExports(const std::string& path, std::set<std::string>& names, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto fits = [&](std::uint64_t offset, std::uint64_t size) {
        return offset <= image.size() && size <= image.size() - offset;
    };
    if (!fits(0, sizeof(Elf64_Ehdr))) {
        error = "not an ELF file";
        return false;
    }
    Elf64_Ehdr header;
    std::memcpy(&header, image.data(), sizeof(header));
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64) {
        error = "not an ELF64 file";
        return false;
    }
    if (header.e_shentsize != sizeof(Elf64_Shdr) ||
        !fits(header.e_shoff, std::uint64_t{header.e_shnum} * sizeof(Elf64_Shdr))) {
        error = "bad section table";
        return false;
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    std::memcpy(sections.data(), image.data() + header.e_shoff, sections.size() * sizeof(Elf64_Shdr));
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_type != SHT_DYNSYM) {
            continue;
        }
        if (section.sh_link >= sections.size() || !fits(section.sh_offset, section.sh_size)) {
            error = "bad .dynsym";
            return false;
        }
        const Elf64_Shdr& strings = sections[section.sh_link];
        if (!fits(strings.sh_offset, strings.sh_size)) {
            error = "bad .dynstr";
            return false;
        }
        const std::size_t count = section.sh_size / sizeof(Elf64_Sym);
        for (std::size_t i = 0; i < count; ++i) {
            Elf64_Sym symbol;
            std::memcpy(&symbol, image.data() + section.sh_offset + i * sizeof(Elf64_Sym), sizeof(symbol));
            const unsigned binding = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK)) {
                continue;
            }
            if (symbol.st_name >= strings.sh_size) {
                error = "bad symbol name";
                return false;
            }
            const char* name = image.data() + strings.sh_offset + symbol.st_name;
            names.insert(std::string(name, strnlen(name, strings.sh_size - symbol.st_name)));
        }
        return true;
    }
    error = "no .dynsym";
    return false;
}

TEST(ExportTableTest, ModuleExportsExactlyTheTenContractFunctions) {
    std::set<std::string> names;
    std::string error;
    ASSERT_TRUE(ReadDynamicExports(DARVIK_MODULE_PATH, names, error)) << error;
    const std::set<std::string> expected{
        "CreateIPCapture",          "CreateIPCaptureEx",           "DeleteIPCapture",
        "DeleteIPCaptureEx",        "CreateCapabilityQueryModule", "DeleteCapabilityQueryModule",
        "InitCapabilityQuery",      "StartCapabilityQuery",        "TerminateCapabilityQuery",
        "UninitCapabilityQuery"};
    EXPECT_EQ(names, expected);
}

}  // namespace
