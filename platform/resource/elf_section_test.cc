#include "platform/resource/elf_section.h"

#include <elf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/kernel/error.h"
#include "platform/resource/resource_blob.h"

namespace {

// A minimal ELF64 file: header, the section name table, one data section
// named `name` holding `data`, and the section header table at the end.
std::vector<uint8_t> make_elf(const std::string& name, const std::vector<uint8_t>& data) {
  std::string names = std::string("\0.shstrtab\0", 11) + name + '\0';
  std::vector<uint8_t> image(sizeof(Elf64_Ehdr));
  size_t names_at = image.size();
  image.insert(image.end(), names.begin(), names.end());
  size_t data_at = image.size();
  image.insert(image.end(), data.begin(), data.end());
  while (image.size() % 8 != 0) image.push_back(0);
  size_t table_at = image.size();

  Elf64_Shdr sh[3] = {};
  sh[1].sh_name = 1;
  sh[1].sh_type = SHT_STRTAB;
  sh[1].sh_offset = names_at;
  sh[1].sh_size = names.size();
  sh[2].sh_name = 11;
  sh[2].sh_type = SHT_PROGBITS;
  sh[2].sh_offset = data_at;
  sh[2].sh_size = data.size();
  image.resize(table_at + sizeof sh);
  memcpy(image.data() + table_at, sh, sizeof sh);

  Elf64_Ehdr eh = {};
  memcpy(eh.e_ident, ELFMAG, SELFMAG);
  eh.e_ident[EI_CLASS] = ELFCLASS64;
  eh.e_ident[EI_DATA] = ELFDATA2LSB;
  eh.e_ident[EI_VERSION] = EV_CURRENT;
  eh.e_type = ET_EXEC;
  eh.e_machine = EM_X86_64;
  eh.e_ehsize = sizeof eh;
  eh.e_shoff = table_at;
  eh.e_shentsize = sizeof(Elf64_Shdr);
  eh.e_shnum = 3;
  eh.e_shstrndx = 1;
  memcpy(image.data(), &eh, sizeof eh);
  return image;
}

Elf64_Ehdr* header(std::vector<uint8_t>* image) { return reinterpret_cast<Elf64_Ehdr*>(image->data()); }

TEST(ElfSection, FindsASectionByItsExactName) {
  std::vector<uint8_t> data = {1, 2, 3, 4, 5};
  std::vector<uint8_t> image = make_elf(".ntrsrc", data);
  std::vector<uint8_t> out;
  EXPECT_EQ(ERROR_SUCCESS, read_elf_section(image, ".ntrsrc", &out));
  EXPECT_EQ(data, out);
  // Prefixes and longer names are other sections.
  EXPECT_EQ(ERROR_RESOURCE_TYPE_NOT_FOUND, read_elf_section(image, ".ntrs", &out));
  EXPECT_EQ(ERROR_RESOURCE_TYPE_NOT_FOUND, read_elf_section(image, ".ntrsrcx", &out));
  EXPECT_TRUE(out.empty());
  image = make_elf(".ntrsrc.old", data);
  EXPECT_EQ(ERROR_RESOURCE_TYPE_NOT_FOUND, read_elf_section(image, ".ntrsrc", &out));
  // An empty section holds nothing to read.
  image = make_elf(".ntrsrc", {});
  EXPECT_EQ(ERROR_RESOURCE_TYPE_NOT_FOUND, read_elf_section(image, ".ntrsrc", &out));
}

TEST(ElfSection, DamagedOrForeignFilesAreBadFormat) {
  const std::vector<uint8_t> good = make_elf(".ntrsrc", {9, 9, 9});
  std::vector<uint8_t> out;
  std::vector<uint8_t> image;

  EXPECT_EQ(ERROR_BAD_EXE_FORMAT, read_elf_section({}, ".ntrsrc", &out));
  image = {'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n'};
  EXPECT_EQ(ERROR_BAD_EXE_FORMAT, read_elf_section(image, ".ntrsrc", &out));
  image = good;
  header(&image)->e_ident[EI_CLASS] = ELFCLASS32;
  EXPECT_EQ(ERROR_BAD_EXE_FORMAT, read_elf_section(image, ".ntrsrc", &out));
  image = good;
  header(&image)->e_ident[EI_DATA] = ELFDATA2MSB;
  EXPECT_EQ(ERROR_BAD_EXE_FORMAT, read_elf_section(image, ".ntrsrc", &out));
  image = good;
  header(&image)->e_shoff = image.size() - 10;  // table past the end
  EXPECT_EQ(ERROR_BAD_EXE_FORMAT, read_elf_section(image, ".ntrsrc", &out));
  image = good;
  header(&image)->e_shnum = 200;
  EXPECT_EQ(ERROR_BAD_EXE_FORMAT, read_elf_section(image, ".ntrsrc", &out));
  image = good;
  header(&image)->e_shstrndx = 3;
  EXPECT_EQ(ERROR_BAD_EXE_FORMAT, read_elf_section(image, ".ntrsrc", &out));
  image = good;
  header(&image)->e_shentsize = 32;
  EXPECT_EQ(ERROR_BAD_EXE_FORMAT, read_elf_section(image, ".ntrsrc", &out));
  // A section whose bytes lie beyond the file.
  image = good;
  Elf64_Shdr* sh = reinterpret_cast<Elf64_Shdr*>(image.data() + header(&image)->e_shoff);
  sh[2].sh_size = 1u << 20;
  EXPECT_EQ(ERROR_BAD_EXE_FORMAT, read_elf_section(image, ".ntrsrc", &out));
  // A name offset outside the name table.
  image = good;
  sh = reinterpret_cast<Elf64_Shdr*>(image.data() + header(&image)->e_shoff);
  sh[2].sh_name = 5000;
  EXPECT_EQ(ERROR_BAD_EXE_FORMAT, read_elf_section(image, ".ntrsrc", &out));
  // Cut anywhere before the end, the file never reads past its bytes.
  for (size_t cut = 0; cut < good.size(); cut += 7) {
    std::vector<uint8_t> part(good.begin(), good.begin() + cut);
    EXPECT_NE(ERROR_SUCCESS, read_elf_section(part, ".ntrsrc", &out)) << cut;
  }
  // Without a section table there is no resource section.
  image = good;
  header(&image)->e_shoff = 0;
  EXPECT_EQ(ERROR_RESOURCE_TYPE_NOT_FOUND, read_elf_section(image, ".ntrsrc", &out));
}

TEST(ElfSection, ReadsTheResourcesOfThisTestProgramFromItsFile) {
  std::vector<uint8_t> out;
  ASSERT_EQ(ERROR_SUCCESS, read_elf_section_file("/proc/self/exe", RESOURCE_SECTION_NAME, &out));
  ResourceBlob blob;
  ASSERT_TRUE(blob.parse(out.data(), out.size()));
  std::string_view text;
  ASSERT_TRUE(blob.find(RESOURCE_STRING, 1, &text));
  EXPECT_EQ("@Fplattst", text);
  ASSERT_TRUE(blob.find(RESOURCE_VERSION, 0, &text));
  EXPECT_EQ("2.5.0.42", text);

  // The resource compiler itself carries no resources.
  const char* bin = getenv("NT_TEST_BIN");
  if (bin != nullptr) {
    EXPECT_EQ(ERROR_RESOURCE_TYPE_NOT_FOUND,
              read_elf_section_file(std::string(bin) + "/rescomp", RESOURCE_SECTION_NAME, &out));
  }
}

TEST(ElfSection, FileErrorsComeAsWin32Codes) {
  std::vector<uint8_t> out;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, read_elf_section_file("/nonexistent/x", ".ntrsrc", &out));
  EXPECT_EQ(ERROR_ACCESS_DENIED, read_elf_section_file("/tmp", ".ntrsrc", &out));
  char path[] = "/tmp/elf_section_testXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  std::vector<uint8_t> image = make_elf(".ntrsrc", {7, 8});
  ASSERT_EQ(static_cast<ssize_t>(image.size()), write(fd, image.data(), image.size()));
  close(fd);
  EXPECT_EQ(ERROR_SUCCESS, read_elf_section_file(path, ".ntrsrc", &out));
  EXPECT_EQ((std::vector<uint8_t>{7, 8}), out);
  ASSERT_EQ(0, truncate(path, 70));
  EXPECT_EQ(ERROR_BAD_EXE_FORMAT, read_elf_section_file(path, ".ntrsrc", &out));
  unlink(path);
}

}  // namespace
