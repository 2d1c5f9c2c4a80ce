// Build step for the sound library: gives its seven exports their decorated names.
// Linkers read '@' in a symbol name as a version marker, so the library is linked with
// '$' in its place (ezds_names.h); this tool then writes the '@' into the dynamic
// string table and rebuilds the symbol hash table for the new names. The library is
// linked with the classic hash table only (--hash-style=sysv), whose chains can be
// rebuilt in place without moving any symbol.
//
// Usage: ezds-export-names <library>. Exits non-zero, naming the problem, when the
// file is not a 64-bit little-endian ELF library of the expected shape.
#include <elf.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ezds/ezds_names.h"

namespace {

std::vector<uint8_t> image;

int Fail(const char *path, const char *reason) {
  fprintf(stderr, "ezds-export-names: %s: %s\n", path, reason);
  return 1;
}

bool InImage(uint64_t offset, uint64_t size) { return offset <= image.size() && size <= image.size() - offset; }

uint32_t ElfHash(const char *name) {
  uint32_t h = 0;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; ++p) {
    h = (h << 4) + *p;
    uint32_t g = h & 0xf0000000u;
    if (g) h ^= g >> 24;
    h &= ~g;
  }
  return h;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: ezds-export-names <library>\n");
    return 2;
  }
  const char *path = argv[1];
  FILE *file = fopen(path, "rb");
  if (!file) return Fail(path, "cannot open");
  uint8_t piece[65536];
  size_t got;
  while ((got = fread(piece, 1, sizeof piece, file)) > 0) image.insert(image.end(), piece, piece + got);
  fclose(file);

  if (!InImage(0, sizeof(Elf64_Ehdr)) || memcmp(image.data(), ELFMAG, SELFMAG) != 0 ||
      image[EI_CLASS] != ELFCLASS64 || image[EI_DATA] != ELFDATA2LSB)
    return Fail(path, "not a 64-bit little-endian ELF file");
  Elf64_Ehdr header;
  memcpy(&header, image.data(), sizeof header);
  if (header.e_shentsize != sizeof(Elf64_Shdr) || !InImage(header.e_shoff, uint64_t(header.e_shnum) * sizeof(Elf64_Shdr)))
    return Fail(path, "bad section header table");
  std::vector<Elf64_Shdr> sections(header.e_shnum);
  memcpy(sections.data(), image.data() + header.e_shoff, sections.size() * sizeof(Elf64_Shdr));

  const Elf64_Shdr *dynsym = nullptr, *hash = nullptr;
  for (const Elf64_Shdr &section : sections) {
    if (section.sh_type == SHT_GNU_HASH) return Fail(path, "has a GNU hash table; link with --hash-style=sysv");
    if (section.sh_type == SHT_DYNSYM) dynsym = &section;
    if (section.sh_type == SHT_HASH) hash = &section;
  }
  if (!dynsym || !hash) return Fail(path, "no dynamic symbol or hash table");
  if (dynsym->sh_link >= sections.size()) return Fail(path, "bad dynamic string table link");
  const Elf64_Shdr &dynstr = sections[dynsym->sh_link];
  if (!InImage(dynsym->sh_offset, dynsym->sh_size) || !InImage(dynstr.sh_offset, dynstr.sh_size) ||
      !InImage(hash->sh_offset, hash->sh_size) || dynstr.sh_size == 0 || image[dynstr.sh_offset + dynstr.sh_size - 1] != 0)
    return Fail(path, "section out of the file");
  size_t symbolCount = dynsym->sh_size / sizeof(Elf64_Sym);
  char *strings = reinterpret_cast<char *>(image.data() + dynstr.sh_offset);
  auto nameOf = [&](size_t index) -> char * {
    Elf64_Sym symbol;
    memcpy(&symbol, image.data() + dynsym->sh_offset + index * sizeof(Elf64_Sym), sizeof symbol);
    return symbol.st_name < dynstr.sh_size ? strings + symbol.st_name : nullptr;
  };

  std::vector<std::string> before;
  for (size_t i = 0; i < symbolCount; ++i) before.emplace_back(nameOf(i) ? nameOf(i) : "");

  const char *placeholders[EZDS_EXPORT_COUNT] = EZDS_EXPORT_PLACEHOLDERS;
  std::vector<size_t> renamed;
  for (const char *placeholder : placeholders) {
    std::string decorated = placeholder;
    for (char &c : decorated) c = c == '$' ? '@' : c;
    size_t found = symbolCount;
    for (size_t i = 0; i < symbolCount; ++i) {
      if (before[i] == placeholder || before[i] == decorated) found = i;
    }
    if (found == symbolCount) return Fail(path, (std::string("export missing: ") + decorated).c_str());
    memcpy(nameOf(found), decorated.data(), decorated.size());
    renamed.push_back(found);
  }
  // The string table may share tails between names: no other symbol may have changed.
  for (size_t i = 0; i < symbolCount; ++i) {
    bool ours = false;
    for (size_t r : renamed) ours = ours || r == i;
    if (!ours && before[i] != (nameOf(i) ? nameOf(i) : "")) return Fail(path, "another symbol shares a renamed string");
  }

  // The classic hash table: nbucket, nchain, then the buckets and one chain entry per symbol.
  uint32_t counts[2];
  if (hash->sh_size < sizeof counts) return Fail(path, "hash table too small");
  memcpy(counts, image.data() + hash->sh_offset, sizeof counts);
  uint32_t bucketCount = counts[0], chainCount = counts[1];
  if (bucketCount == 0 || chainCount != symbolCount ||
      hash->sh_size < (2 + uint64_t(bucketCount) + chainCount) * sizeof(uint32_t))
    return Fail(path, "hash table does not match the symbols");
  std::vector<uint32_t> buckets(bucketCount, 0), chains(chainCount, 0);
  for (size_t i = symbolCount; i-- > 1;) {
    const char *name = nameOf(i);
    uint32_t b = ElfHash(name ? name : "") % bucketCount;
    chains[i] = buckets[b];
    buckets[b] = uint32_t(i);
  }
  memcpy(image.data() + hash->sh_offset + 8, buckets.data(), buckets.size() * sizeof(uint32_t));
  memcpy(image.data() + hash->sh_offset + 8 + buckets.size() * sizeof(uint32_t), chains.data(),
         chains.size() * sizeof(uint32_t));

  file = fopen(path, "r+b");
  if (!file) return Fail(path, "cannot open for writing");
  bool written = fwrite(image.data(), 1, image.size(), file) == image.size();
  if (fclose(file) != 0 || !written) return Fail(path, "write failed");
  return 0;
}
