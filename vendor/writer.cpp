#include "vendor/writer.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "vendor/layout.h"
#include "vendor/texts.h"

namespace {

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
std::optional<std::vector<Patch>> PendingPatches(const EditState& state) {
  using namespace VendorLayout;
  std::vector<Patch> patches;
  if (state.MacPending()) {
    Patch mac{kMacOffset, {}};
    for (std::size_t i = 0; i < state.NewMAC.size(); i += 2) {
      std::optional<std::uint8_t> byte = HexByteValue(std::wstring_view(state.NewMAC).substr(i, 2));
      if (!byte) return std::nullopt;
      mac.bytes.push_back(*byte);
    }
    patches.push_back(std::move(mac));
  }
  if (state.SnPending()) {
    std::optional<std::vector<std::uint8_t>> sn = AsciiBytes(state.NewSN);
    std::optional<std::vector<std::uint8_t>> check =
        AsciiBytes(std::wstring_view(state.NewSNChk).substr(0, kSnChkLength));
    if (!sn || !check || check->size() != kSnChkLength) return std::nullopt;
    patches.push_back({kSnOffset, std::move(*sn)});
    patches.push_back({kSnChkOffset, std::move(*check)});
  }
  return patches;
}

Failure ReadBackEquals(ByteFile& file, const std::vector<Patch>& patches, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    std::vector<std::uint8_t> stored(patches[i].bytes.size());
    if (Failure failure = file.Read(patches[i].offset, stored)) return failure;
    if (stored != patches[i].bytes) return Texts::kReadBackMismatch;
  }
  return std::nullopt;
}

// Writes, flushes and checks the first count patches. When given, attempted
// counts the writes begun, the failed one included.
Failure Apply(ByteFile& file, const std::vector<Patch>& patches, std::size_t count,
              std::size_t* attempted = nullptr) {
  for (std::size_t i = 0; i < count; ++i) {
    if (attempted) *attempted = i + 1;
    if (Failure failure = file.Write(patches[i].offset, patches[i].bytes)) return failure;
  }
  if (Failure failure = file.Flush()) return failure;
  return ReadBackEquals(file, patches, count);
}

Failure WritePending(MainView& view, const EditState& state) {
  std::optional<std::vector<Patch>> patches = PendingPatches(state);
  if (!patches) return Texts::kInvalidPending;

  Opened opened = view.Open(state.BinPath, Access::update);
  if (opened.failure) return opened.failure;
  ByteFile& file = *opened.file;

  std::uint64_t size = 0;
  if (Failure failure = file.Size(size)) return failure;
  if (size != VendorLayout::kFileSize) return Texts::kFileChanged;

  std::vector<Patch> originals = *patches;
  for (Patch& original : originals) {
    if (Failure failure = file.Read(original.offset, original.bytes)) return failure;
  }

  std::size_t attempted = 0;
  Failure failure = Apply(file, *patches, patches->size(), &attempted);
  if (!failure) return std::nullopt;

  // A MAC without its check byte is worse than the old MAC: put back what was
  // there before any of it went out.
  const bool restored = !Apply(file, originals, attempted);
  return *failure + L"\r\n" + (restored ? Texts::kRestored : Texts::kNotRestored);
}

}  // namespace

void Command1_Click(MainView& view, EditState& state) {
  const std::wstring notice = Texts::kNoticeTitle;
  if (!state.MacPending() && !state.SnPending()) {
    view.ShowMessage(Texts::kNothingPending, BoxStyle::information, &notice);
    state.ClearPending();
    return;
  }
  if (view.ShowMessage(Texts::kConfirmUpdate, BoxStyle::yesNoQuestion, &notice) == BoxAnswer::no) {
    return;
  }
  if (Failure failure = WritePending(view, state)) {
    const std::wstring title = Texts::kFailureTitle;
    view.ShowMessage(*failure, BoxStyle::critical, &title);
    return;
  }
  view.ShowMessage(Texts::kUpdated, BoxStyle::ok, nullptr);
  state.ClearPending();
}
