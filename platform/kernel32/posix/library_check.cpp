// Checks a shared object's file against what the dynamic loader trusts (see
// library_check.h): its identity, its segments, the dynamic section and every table the
// dynamic section points at, each read with pread and bounded by the file and by the
// segment it must lie in.
#include "platform/kernel32/posix/library_check.h"

#include <elf.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace {

#if defined(__x86_64__)
constexpr int OwnMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr int OwnMachine = EM_AARCH64;
#elif defined(__i386__)
constexpr int OwnMachine = EM_386;
#else
constexpr int OwnMachine = -1;  // any machine: the loader says so itself
#endif
constexpr unsigned char OwnClass = sizeof(void *) == 8 ? ELFCLASS64 : ELFCLASS32;
constexpr unsigned char OwnData = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;

// Far beyond what a sound library holds; a count above these is damage.
constexpr uint64_t MaxSegments = 64;
constexpr uint64_t MaxDynamicEntries = 4096;
constexpr uint64_t MaxTableBytes = 64u << 20;
constexpr uint64_t MaxImageSpan = 1u << 30;
constexpr uint64_t MaxVersionEntries = 4096;
constexpr size_t MaxExports = 4096;

using Ehdr = ElfW(Ehdr);
using Phdr = ElfW(Phdr);
using Dyn = ElfW(Dyn);
using Sym = ElfW(Sym);
using Rela = ElfW(Rela);
using Rel = ElfW(Rel);

#if __SIZEOF_POINTER__ == 8
uint64_t RelocationSymbol(uint64_t info) { return ELF64_R_SYM(info); }
uint64_t RelocationType(uint64_t info) { return ELF64_R_TYPE(info); }
#else
uint64_t RelocationSymbol(uint64_t info) { return ELF32_R_SYM(info); }
uint64_t RelocationType(uint64_t info) { return ELF32_R_TYPE(info); }
#endif

struct Library {
  int file = -1;
  uint64_t size = 0;
  std::vector<Phdr> loads;
  // The dynamic section's values by tag, for the tags looked at; `has` says which were there.
  uint64_t dynamic[64] = {};
  bool has[64] = {};
  std::vector<char> strings;  // the dynamic string table
  uint64_t symbolCount = 0;

  bool Read(uint64_t offset, void *into, uint64_t length) const {
    if (offset > size || length > size - offset) return false;
    return pread(file, into, length, static_cast<off_t>(offset)) == static_cast<ssize_t>(length);
  }

  // The file offset of [address, address + length) when it lies wholly in the file part
  // of one loaded segment.
  bool FileOffset(uint64_t address, uint64_t length, uint64_t *offset) const {
    for (const Phdr &load : loads) {
      if (address >= load.p_vaddr && address - load.p_vaddr <= load.p_filesz &&
          length <= load.p_filesz - (address - load.p_vaddr)) {
        *offset = load.p_offset + (address - load.p_vaddr);
        return true;
      }
    }
    return false;
  }

  // Whether [address, address + length) lies wholly in the memory of one loaded segment
  // with at least the given permission bits.
  bool InMemory(uint64_t address, uint64_t length, uint32_t flags) const {
    for (const Phdr &load : loads) {
      if ((load.p_flags & flags) == flags && address >= load.p_vaddr && address - load.p_vaddr <= load.p_memsz &&
          length <= load.p_memsz - (address - load.p_vaddr))
        return true;
    }
    return false;
  }

  bool ValidName(uint64_t offset) const { return offset < strings.size(); }

  // Reads a table given by an address and a byte length in the dynamic section.
  template <typename T>
  bool ReadTable(uint64_t address, uint64_t bytes, std::vector<T> *into) const {
    uint64_t offset = 0;
    if (bytes > MaxTableBytes || bytes % sizeof(T) != 0 || !FileOffset(address, bytes, &offset)) return false;
    into->resize(bytes / sizeof(T));
    return Read(offset, into->data(), bytes);
  }
};

// The dynamic tags looked at, folded into 0..63: the standard ones as they are, the
// GNU and version ones above them.
int Slot(int64_t tag) {
  if (tag >= 0 && tag < 40) return static_cast<int>(tag);
  switch (tag) {
    case DT_GNU_HASH: return 40;
    case DT_VERSYM: return 41;
    case DT_VERNEED: return 42;
    case DT_VERNEEDNUM: return 43;
    case DT_VERDEF: return 44;
    case DT_VERDEFNUM: return 45;
    default: return -1;
  }
}
constexpr int SlotGnuHash = 40, SlotVersym = 41, SlotVerneed = 42, SlotVerneedNum = 43, SlotVerdef = 44,
              SlotVerdefNum = 45;

std::string CheckHeader(const Ehdr &header) {
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) return "not a shared object";
  if (header.e_ident[EI_CLASS] != OwnClass || header.e_ident[EI_DATA] != OwnData ||
      header.e_ident[EI_VERSION] != EV_CURRENT || header.e_version != EV_CURRENT)
    return "not a shared object of this machine's kind";
  if (header.e_type != ET_DYN) return "not a shared object";
  if (OwnMachine >= 0 && header.e_machine != OwnMachine) return "built for another processor";
  if (header.e_ehsize != sizeof(Ehdr) || header.e_phentsize != sizeof(Phdr)) return "damaged file header";
  if (header.e_phnum == 0 || header.e_phnum > MaxSegments) return "damaged file header (segment count)";
  return std::string();
}

std::string CheckSegments(Library &library, const std::vector<Phdr> &segments) {
  const Phdr *dynamic = nullptr;
  for (const Phdr &segment : segments) {
    if (segment.p_offset > library.size || segment.p_filesz > library.size - segment.p_offset)
      return "it is cut short";
    if (segment.p_type == PT_LOAD) {
      if (segment.p_filesz > segment.p_memsz || segment.p_memsz > MaxImageSpan) return "damaged segment sizes";
      if (segment.p_align > 1 && ((segment.p_align & (segment.p_align - 1)) != 0 ||
                                  segment.p_vaddr % segment.p_align != segment.p_offset % segment.p_align))
        return "damaged segment alignment";
      if (!library.loads.empty() && segment.p_vaddr < library.loads.back().p_vaddr + library.loads.back().p_memsz)
        return "segments out of order or overlapping";
      library.loads.push_back(segment);
    } else if (segment.p_type == PT_DYNAMIC) {
      if (dynamic) return "more than one dynamic section";
      dynamic = &segment;
    }
  }
  if (library.loads.empty()) return "nothing to load";
  if (library.loads.back().p_vaddr + library.loads.back().p_memsz - library.loads.front().p_vaddr > MaxImageSpan)
    return "damaged segment addresses";
  if (!dynamic) return "no dynamic section";
  for (const Phdr &segment : segments) {
    // The loader makes this range read-only after relocating: it must be the library's own.
    if (segment.p_type == PT_GNU_RELRO && !library.InMemory(segment.p_vaddr, segment.p_memsz, PF_W))
      return "damaged read-only-after-relocation range";
    if (segment.p_type == PT_TLS && segment.p_filesz > segment.p_memsz) return "damaged thread-local segment";
  }
  uint64_t offset = 0;
  if (dynamic->p_filesz == 0 || !library.FileOffset(dynamic->p_vaddr, dynamic->p_filesz, &offset) ||
      offset != dynamic->p_offset || !library.InMemory(dynamic->p_vaddr, dynamic->p_filesz, PF_R))
    return "dynamic section outside the loaded segments";
  const uint64_t count = dynamic->p_filesz / sizeof(Dyn);
  if (count > MaxDynamicEntries) return "damaged dynamic section";
  std::vector<Dyn> entries(count);
  if (!library.Read(offset, entries.data(), count * sizeof(Dyn))) return "it is cut short";
  bool ended = false;
  for (const Dyn &entry : entries) {
    if (entry.d_tag == DT_NULL) {
      ended = true;
      break;
    }
    const int slot = Slot(entry.d_tag);
    if (slot < 0) continue;
    if (library.has[slot] && entry.d_tag != DT_NEEDED) return "damaged dynamic section (a tag given twice)";
    library.has[slot] = true;
    if (entry.d_tag != DT_NEEDED) library.dynamic[slot] = entry.d_un.d_val;
  }
  if (!ended) return "damaged dynamic section (no end)";
  // The names the loader reads: every DT_NEEDED, the soname and the search paths.
  if (!library.has[DT_STRTAB] || !library.has[DT_STRSZ] ||
      !library.ReadTable(library.dynamic[DT_STRTAB], library.dynamic[DT_STRSZ], &library.strings) ||
      library.strings.empty() || library.strings.back() != '\0')
    return "damaged string table";
  for (const Dyn &entry : entries) {
    if (entry.d_tag == DT_NULL) break;
    if ((entry.d_tag == DT_NEEDED || entry.d_tag == DT_SONAME || entry.d_tag == DT_RPATH ||
         entry.d_tag == DT_RUNPATH) &&
        !library.ValidName(entry.d_un.d_val))
      return "damaged dynamic section (a name outside the string table)";
  }
  return std::string();
}

// The classic hash table: every bucket and chain index is a symbol, and no chain loops.
std::string CheckHash(Library &library) {
  uint64_t offset = 0;
  uint32_t counts[2];
  if (!library.FileOffset(library.dynamic[DT_HASH], sizeof counts, &offset) ||
      !library.Read(offset, counts, sizeof counts))
    return "damaged symbol hash table";
  const uint64_t buckets = counts[0], chains = counts[1];
  std::vector<uint32_t> table;
  if (buckets == 0 || (buckets + chains) * 4 > MaxTableBytes ||
      !library.ReadTable(library.dynamic[DT_HASH] + sizeof counts, (buckets + chains) * 4, &table))
    return "damaged symbol hash table";
  for (uint32_t value : table)
    if (value >= chains) return "damaged symbol hash table";
  std::vector<uint8_t> seen(chains, 0);
  for (uint64_t bucket = 0; bucket < buckets; bucket++) {
    for (uint32_t symbol = table[bucket]; symbol != 0; symbol = table[buckets + symbol]) {
      if (seen[symbol]) return "damaged symbol hash table (a chain loops)";
      seen[symbol] = 1;
    }
  }
  library.symbolCount = chains;
  return std::string();
}

// The GNU hash table: its header and bloom filter fit, and every chain ends inside it.
std::string CheckGnuHash(Library &library) {
  const uint64_t address = library.dynamic[SlotGnuHash];
  uint64_t offset = 0;
  uint32_t header[4];
  if (!library.FileOffset(address, sizeof header, &offset) || !library.Read(offset, header, sizeof header))
    return "damaged symbol hash table";
  const uint64_t buckets = header[0], first = header[1], bloomWords = header[2];
  if (buckets == 0 || bloomWords == 0 || (bloomWords & (bloomWords - 1)) != 0 || header[3] >= 8 * sizeof(void *))
    return "damaged symbol hash table";
  const uint64_t bucketsAt = address + sizeof header + bloomWords * sizeof(void *);
  std::vector<uint32_t> bucketTable;
  if (bloomWords * sizeof(void *) > MaxTableBytes || !library.ReadTable(bucketsAt, buckets * 4, &bucketTable))
    return "damaged symbol hash table";
  uint64_t last = first;
  for (uint32_t start : bucketTable) {
    if (start != 0 && start < first) return "damaged symbol hash table";
    if (start > last) last = start;
  }
  // Walk the last chain to its end bit to learn how many symbols there are.
  const uint64_t chainsAt = bucketsAt + buckets * 4;
  for (;; last++) {
    uint32_t hash = 0;
    if (last - first > MaxTableBytes / 4 || !library.FileOffset(chainsAt + (last - first) * 4, 4, &offset) ||
        !library.Read(offset, &hash, 4))
      return "damaged symbol hash table";
    if (hash & 1) break;
  }
  library.symbolCount = last + 1;
  return std::string();
}

std::string CheckSymbols(Library &library, LibraryFileReport &report) {
  if (!library.has[DT_SYMTAB] || (library.has[DT_SYMENT] && library.dynamic[DT_SYMENT] != sizeof(Sym)))
    return "damaged symbol table";
  std::string problem;
  if (library.has[DT_HASH]) problem = CheckHash(library);
  else if (library.has[SlotGnuHash]) problem = CheckGnuHash(library);
  else problem = "no symbol hash table";
  if (!problem.empty()) return problem;
  std::vector<Sym> symbols;
  if (!library.ReadTable(library.dynamic[DT_SYMTAB], library.symbolCount * sizeof(Sym), &symbols))
    return "damaged symbol table";
  for (const Sym &symbol : symbols) {
    if (!library.ValidName(symbol.st_name)) return "damaged symbol table (a name outside the string table)";
    const int binding = ELF64_ST_BIND(symbol.st_info), type = ELF64_ST_TYPE(symbol.st_info);
    if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK)) continue;
    if (library.strings[symbol.st_name] == '\0') continue;  // nothing can look it up
    if (type != STT_FUNC && type != STT_OBJECT) continue;
    if (ELF64_ST_VISIBILITY(symbol.st_other) != STV_DEFAULT) continue;
    if (!library.InMemory(symbol.st_value, type == STT_FUNC ? 1 : symbol.st_size, type == STT_FUNC ? PF_X : PF_R))
      return "damaged symbol table (an export outside the library)";
    if (report.exports.size() < MaxExports)
      report.exports.emplace_back(std::string(&library.strings[symbol.st_name]), symbol.st_value);
  }
  // Version indexes pick entries of tables the loader sizes by the largest index it
  // finds in the version definitions and needs.
  uint64_t largestVersion = 1;
  if (library.has[SlotVerdef]) {
    uint64_t address = library.dynamic[SlotVerdef];
    const uint64_t count = library.dynamic[SlotVerdefNum];
    if (count == 0 || count > MaxVersionEntries) return "damaged version definitions";
    for (uint64_t i = 0; i < count; i++) {
      ElfW(Verdef) definition;
      uint64_t offset = 0;
      if (!library.FileOffset(address, sizeof definition, &offset) ||
          !library.Read(offset, &definition, sizeof definition) || definition.vd_version != VER_DEF_CURRENT)
        return "damaged version definitions";
      ElfW(Verdaux) name;
      if (definition.vd_cnt == 0 || !library.FileOffset(address + definition.vd_aux, sizeof name, &offset) ||
          !library.Read(offset, &name, sizeof name) || !library.ValidName(name.vda_name))
        return "damaged version definitions";
      if (definition.vd_ndx > largestVersion) largestVersion = definition.vd_ndx;
      if (i + 1 < count && definition.vd_next == 0) return "damaged version definitions";
      address += definition.vd_next;
    }
  }
  if (library.has[SlotVerneed]) {
    uint64_t address = library.dynamic[SlotVerneed];
    const uint64_t count = library.dynamic[SlotVerneedNum];
    if (count == 0 || count > MaxVersionEntries) return "damaged version needs";
    for (uint64_t i = 0; i < count; i++) {
      ElfW(Verneed) need;
      uint64_t offset = 0;
      if (!library.FileOffset(address, sizeof need, &offset) || !library.Read(offset, &need, sizeof need) ||
          need.vn_version != VER_NEED_CURRENT || !library.ValidName(need.vn_file) || need.vn_cnt > MaxVersionEntries)
        return "damaged version needs";
      uint64_t auxAddress = address + need.vn_aux;
      for (uint64_t j = 0; j < need.vn_cnt; j++) {
        ElfW(Vernaux) aux;
        if (!library.FileOffset(auxAddress, sizeof aux, &offset) || !library.Read(offset, &aux, sizeof aux) ||
            !library.ValidName(aux.vna_name) || (j + 1 < need.vn_cnt && aux.vna_next == 0))
          return "damaged version needs";
        if ((aux.vna_other & 0x7FFF) > largestVersion) largestVersion = aux.vna_other & 0x7FFF;
        auxAddress += aux.vna_next;
      }
      if (i + 1 < count && need.vn_next == 0) return "damaged version needs";
      address += need.vn_next;
    }
  }
  if (library.has[SlotVersym]) {
    std::vector<uint16_t> versions;
    if (!library.ReadTable(library.dynamic[SlotVersym], library.symbolCount * 2, &versions))
      return "damaged symbol versions";
    for (uint16_t version : versions)
      if ((version & 0x7FFF) > largestVersion) return "damaged symbol versions";
  }
  return std::string();
}

// Every relocation writes inside the library's own writable memory, names a symbol of
// its table, and is of a kind the loader handles without running the library's code.
template <typename Entry>
std::string CheckRelocations(const Library &library, uint64_t address, uint64_t bytes) {
  std::vector<Entry> entries;
  if (!library.ReadTable(address, bytes, &entries)) return "damaged relocation table";
  for (const Entry &entry : entries) {
    if (!library.InMemory(entry.r_offset, sizeof(void *), PF_W)) return "a relocation writes outside the library";
    if (RelocationSymbol(entry.r_info) >= library.symbolCount) return "a relocation names no symbol of the library";
#if defined(__x86_64__)
    switch (RelocationType(entry.r_info)) {
      case R_X86_64_NONE:
      case R_X86_64_64:
      case R_X86_64_GLOB_DAT:
      case R_X86_64_JUMP_SLOT:
      case R_X86_64_RELATIVE:
      case R_X86_64_DTPMOD64:
      case R_X86_64_DTPOFF64:
      case R_X86_64_TPOFF64:
        break;
      default:
        return "a relocation of a kind a library has no business with";
    }
#endif
  }
  return std::string();
}

std::string CheckRelocationTables(const Library &library) {
  std::string problem;
  if (library.has[DT_RELA]) {
    if (!library.has[DT_RELASZ] || (library.has[DT_RELAENT] && library.dynamic[DT_RELAENT] != sizeof(Rela)))
      return "damaged relocation table";
    problem = CheckRelocations<Rela>(library, library.dynamic[DT_RELA], library.dynamic[DT_RELASZ]);
  }
  if (problem.empty() && library.has[DT_REL]) {
    if (!library.has[DT_RELSZ] || (library.has[DT_RELENT] && library.dynamic[DT_RELENT] != sizeof(Rel)))
      return "damaged relocation table";
    problem = CheckRelocations<Rel>(library, library.dynamic[DT_REL], library.dynamic[DT_RELSZ]);
  }
  if (problem.empty() && library.has[DT_JMPREL]) {
    if (!library.has[DT_PLTRELSZ] || !library.has[DT_PLTREL]) return "damaged relocation table";
    if (library.dynamic[DT_PLTREL] == DT_RELA)
      problem = CheckRelocations<Rela>(library, library.dynamic[DT_JMPREL], library.dynamic[DT_PLTRELSZ]);
    else if (library.dynamic[DT_PLTREL] == DT_REL)
      problem = CheckRelocations<Rel>(library, library.dynamic[DT_JMPREL], library.dynamic[DT_PLTRELSZ]);
    else
      problem = "damaged relocation table";
  }
  if (!problem.empty()) return problem;
  // The start-up and shut-down code and the tables of functions the loader calls.
  for (int tag : {DT_INIT, DT_FINI})
    if (library.has[tag] && !library.InMemory(library.dynamic[tag], 1, PF_X)) return "damaged start-up code address";
  const int arrays[3][2] = {{DT_INIT_ARRAY, DT_INIT_ARRAYSZ}, {DT_FINI_ARRAY, DT_FINI_ARRAYSZ},
                            {DT_PREINIT_ARRAY, DT_PREINIT_ARRAYSZ}};
  for (const auto &array : arrays) {
    if (library.has[array[0]] != library.has[array[1]]) return "damaged start-up function table";
    if (library.has[array[0]] && (library.dynamic[array[1]] % sizeof(void *) != 0 ||
                                  !library.InMemory(library.dynamic[array[0]], library.dynamic[array[1]], PF_R)))
      return "damaged start-up function table";
  }
  return std::string();
}

}  // namespace

LibraryFileReport CheckLibraryFile(int file) {
  LibraryFileReport report;
  Library library;
  library.file = file;
  struct stat status;
  Ehdr header;
  if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
    report.problem = "not a regular file";
    return report;
  }
  library.size = static_cast<uint64_t>(status.st_size);
  if (!library.Read(0, &header, sizeof header)) {
    report.problem = "not a shared object";
    return report;
  }
  report.problem = CheckHeader(header);
  if (!report.problem.empty()) return report;
  if (header.e_phoff > library.size || uint64_t(header.e_phnum) * sizeof(Phdr) > library.size - header.e_phoff ||
      (header.e_shnum != 0 && (header.e_shoff > library.size ||
                               uint64_t(header.e_shnum) * header.e_shentsize > library.size - header.e_shoff))) {
    report.problem = "its headers run past the end of the file";
    return report;
  }
  std::vector<Phdr> segments(header.e_phnum);
  if (!library.Read(header.e_phoff, segments.data(), segments.size() * sizeof(Phdr))) {
    report.problem = "it is cut short";
    return report;
  }
  report.problem = CheckSegments(library, segments);
  if (report.problem.empty()) report.problem = CheckSymbols(library, report);
  if (report.problem.empty()) report.problem = CheckRelocationTables(library);
  if (!report.problem.empty()) report.exports.clear();
  return report;
}
