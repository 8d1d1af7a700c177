#include "vendor/vendor_file.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace {

using namespace VendorLayout;

// Bytes that go into the file at one offset.
struct Patch {
  std::uint64_t offset;
  std::vector<std::uint8_t> bytes;
};

// Admitted entries are ASCII, the same bytes in every ANSI code page.
std::optional<std::vector<std::uint8_t>> AsciiBytes(std::wstring_view text) {
  std::vector<std::uint8_t> bytes;
  for (wchar_t c : text) {
    if (c <= 0 || c > 0x7F) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(c));
  }
  return bytes;
}

// The pending edits as patches: the MAC with its check byte, then the SN and
// the first three digits of its check. Nothing when an edit is malformed,
// which the entry never lets happen.
std::optional<std::vector<Patch>> PendingPatches(const EditState& edits) {
  std::vector<Patch> patches;
  if (edits.MacPending()) {
    Patch mac{kMacOffset, {}};
    for (std::size_t i = 0; i < edits.NewMAC.size(); i += 2) {
      std::optional<std::uint8_t> byte = HexByteValue(std::wstring_view(edits.NewMAC).substr(i, 2));
      if (!byte) return std::nullopt;
      mac.bytes.push_back(*byte);
    }
    patches.push_back(std::move(mac));
  }
  if (edits.SnPending()) {
    std::optional<std::vector<std::uint8_t>> sn = AsciiBytes(edits.NewSN);
    std::optional<std::vector<std::uint8_t>> check =
        AsciiBytes(std::wstring_view(edits.NewSNChk).substr(0, kSnChkLength));
    if (!sn || !check || check->size() != kSnChkLength) return std::nullopt;
    patches.push_back({kSnOffset, std::move(*sn)});
    patches.push_back({kSnChkOffset, std::move(*check)});
  }
  return patches;
}

Result<> ReadBackEquals(ByteFile& file, const std::vector<Patch>& patches) {
  for (const Patch& patch : patches) {
    std::vector<std::uint8_t> stored(patch.bytes.size());
    if (Result<> read = file.Read(patch.offset, stored); !read) return read;
    if (stored != patch.bytes) return Failure{Failure::Cause::readBackDiffers};
  }
  return {};
}

// Writes, flushes and checks the patches.
Result<> Apply(ByteFile& file, const std::vector<Patch>& patches) {
  for (const Patch& patch : patches) {
    if (Result<> written = file.Write(patch.offset, patch.bytes); !written) return written;
  }
  if (Result<> flushed = file.Flush(); !flushed) return flushed;
  return ReadBackEquals(file, patches);
}

}  // namespace

Result<StoredFields> ReadFields(Files& files, const std::wstring& path) {
  Result<std::unique_ptr<ByteFile>> file = files.Open(path, Access::read);
  if (!file) return file.error();
  Result<std::uint64_t> size = (*file)->Size();
  if (!size) return size.error();
  if (*size != kFileSize) return Failure{Failure::Cause::notVendorFile};

  // Every field lies within the first bytes, so one read serves.
  std::array<std::uint8_t, kShownBytes> bytes{};
  if (Result<> read = (*file)->Read(0, bytes); !read) return read.error();
  StoredFields fields;
  std::copy_n(&bytes[kMacOffset], kMacLength, fields.mac.begin());
  fields.macCheck = bytes[kMacChkOffset];
  std::copy_n(&bytes[kSnOffset], kSnLength, fields.sn.begin());
  std::copy_n(&bytes[kSnChkOffset], kSnChkLength, fields.snCheck.begin());
  return fields;
}

WriteReport WriteEdits(Files& files, const EditState& edits) {
  std::optional<std::vector<Patch>> patches = PendingPatches(edits);
  if (!patches) return {Failure{Failure::Cause::invalidEdits}};

  Result<std::unique_ptr<ByteFile>> opened = files.Open(edits.BinPath, Access::update);
  if (!opened) return {opened.error()};
  ByteFile& file = **opened;

  Result<std::uint64_t> size = file.Size();
  if (!size) return {size.error()};
  if (*size != kFileSize) return {Failure{Failure::Cause::lengthChanged}};

  std::vector<Patch> originals = *patches;
  for (Patch& original : originals) {
    if (Result<> read = file.Read(original.offset, original.bytes); !read) return {read};
  }

  Result<> written = Apply(file, *patches);
  if (written) return {written};
  // A MAC without its check byte is worse than the old MAC: put back what was
  // there before any of it went out.
  // A restore that reports a failure may still have put every byte back: only
  // fields that read back different were not restored.
  const bool restored = Apply(file, originals) || ReadBackEquals(file, originals);
  return {written, restored ? Restore::done : Restore::failed};
}
