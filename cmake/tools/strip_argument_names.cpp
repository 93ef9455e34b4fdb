// Build-time tool (runs on the build machine): removes the parameter names
// that widl writes for unnamed parameters, so that the type library carries
// no argument names at all.
//
// Usage: strip_argument_names library.tlb
//
// The library is in the MSFT layout that oleaut32 reads: a header, the
// type-info offsets, the segment directory, then per type info a block of
// function records whose last bytes are the parameter records
// {type, name offset, flags}; a name offset of -1 means "no name".
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace {

constexpr std::uint32_t kMagic = 0x5446534D;  // "MSFT"
constexpr std::size_t kHeaderSize = 0x54;
constexpr std::uint32_t kHelpDllFlag = 0x100;
constexpr std::size_t kVarFlagsOffset = 0x14;
constexpr std::size_t kTypeInfoCountOffset = 0x20;
constexpr std::size_t kTypeInfoBaseSize = 0x64;
constexpr std::size_t kMemOffsetField = 0x04;
constexpr std::size_t kElementCountField = 0x18;
constexpr std::size_t kArgCountField = 0x14;
constexpr std::size_t kParameterSize = 12;
constexpr std::size_t kParameterNameField = 4;
constexpr std::int32_t kNoName = -1;

std::int32_t Read32(const std::vector<unsigned char>& data, std::size_t at) {
  if (at + 4 > data.size()) throw std::out_of_range("truncated type library");
  std::int32_t value;
  std::memcpy(&value, &data[at], sizeof(value));  // little-endian, as the build machine
  return value;
}

std::uint16_t Read16(const std::vector<unsigned char>& data, std::size_t at) {
  if (at + 2 > data.size()) throw std::out_of_range("truncated type library");
  std::uint16_t value;
  std::memcpy(&value, &data[at], sizeof(value));
  return value;
}

int Strip(std::vector<unsigned char>& data) {
  if (static_cast<std::uint32_t>(Read32(data, 0)) != kMagic) throw std::runtime_error("not MSFT");
  const auto var_flags = static_cast<std::uint32_t>(Read32(data, kVarFlagsOffset));
  const auto type_infos = static_cast<std::size_t>(Read32(data, kTypeInfoCountOffset));
  const std::size_t segment_directory =
      kHeaderSize + (var_flags & kHelpDllFlag ? 4 : 0) + type_infos * 4;
  // The first segment is the type-info table.
  const auto table = static_cast<std::size_t>(Read32(data, segment_directory));
  int stripped = 0;
  for (std::size_t i = 0; i < type_infos; ++i) {
    const std::size_t base = table + i * kTypeInfoBaseSize;
    const std::int32_t members = Read32(data, base + kMemOffsetField);
    const std::size_t functions = static_cast<std::uint32_t>(Read32(data, base + kElementCountField)) & 0xFFFF;
    if (members < 0 || functions == 0) continue;
    std::size_t record = static_cast<std::size_t>(members) + 4;  // after the block length
    for (std::size_t f = 0; f < functions; ++f) {
      const std::size_t length = static_cast<std::uint32_t>(Read32(data, record)) & 0xFFFF;
      const std::size_t args = Read16(data, record + kArgCountField);
      for (std::size_t a = 0; a < args; ++a) {
        const std::size_t name = record + length - (args - a) * kParameterSize + kParameterNameField;
        if (Read32(data, name) == kNoName) continue;
        std::memcpy(&data[name], &kNoName, sizeof(kNoName));
        ++stripped;
      }
      record += length;
    }
  }
  return stripped;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s library.tlb\n", argv[0]);
    return 2;
  }
  try {
    std::vector<unsigned char> data;
    {
      std::ifstream in(argv[1], std::ios::binary);
      data.assign(std::istreambuf_iterator<char>(in), {});
    }
    const int stripped = Strip(data);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out) throw std::runtime_error("cannot write");
    std::printf("%s: %d parameter names removed\n", argv[1], stripped);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.what());
    return 1;
  }
}
