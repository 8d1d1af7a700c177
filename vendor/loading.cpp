#include "vendor/loading.h"

#include <array>
#include <cstdint>

#include "vendor/display_lines.h"
#include "vendor/layout.h"
#include "vendor/texts.h"
#include "vendor/vendor_file.h"

namespace {

wchar_t Showable(MainView& view, std::uint8_t byte) {
  std::optional<wchar_t> c = view.ByteToChar(byte);
  const bool control = !c || *c < 0x20 || (*c >= 0x7F && *c < 0xA0);
  return control ? kUnshowableByte : *c;
}

template <std::size_t N>
std::wstring ShowableText(MainView& view, const std::array<std::uint8_t, N>& bytes) {
  std::wstring text;
  for (std::uint8_t byte : bytes) text += Showable(view, byte);
  return text;
}

bool HasVendorFileSize(MainView& view, const std::wstring& path) {
  Result<std::uint64_t> length = view.FileSystem().Length(path);
  return length && *length == VendorLayout::kFileSize;
}

}  // namespace

bool RedBin(MainView& view, EditState& state) {
  using namespace VendorLayout;
  // Everything is read before anything is shown, so a failed read leaves the
  // window as it was.
  Result<StoredFields> fields = ReadFields(view.FileSystem(), state.BinPath);
  if (!fields) {
    view.ShowMessage(Texts::Describe(fields.error()), BoxStyle::critical, Texts::kFailureTitle);
    return false;
  }
  state.ClearPending();

  std::wstring mac;
  for (std::uint8_t byte : fields->mac) mac += HexByte(byte);
  view.SetLine(Label::MAC, MacLine(mac, HexByte(fields->macCheck)));
  view.SetLine(Label::SN, SnLine(ShowableText(view, fields->sn), ShowableText(view, fields->snCheck)));
  return true;
}

void Form_Activate(MainView& view, EditState& state) {
  // Without the program's folder there is nowhere to look: never guess one.
  Result<std::wstring> folder = view.ProgramFolder();
  if (!folder) return;
  std::wstring candidate = *folder;
  if (candidate.back() != L'\\') candidate += L'\\';
  candidate += L"vendor.bin";
  if (!view.FileSystem().Exists(candidate)) return;

  state.BinPath = candidate;
  if (!HasVendorFileSize(view, state.BinPath)) return;
  if (!RedBin(view, state)) return;
  view.SetLine(Label::lbl, Texts::kLoadedHint);
  view.SetUpdateEnabled(true);
}

void Form_OLEDragDrop(MainView& view, EditState& state, const std::vector<std::wstring>& files) {
  if (files.size() == 1) {
    state.BinPath = files.front();
    if (HasVendorFileSize(view, state.BinPath)) {
      const bool loaded = RedBin(view, state);
      view.SetUpdateEnabled(loaded);
      return;
    }
  }
  view.ShowMessage(Texts::kDropRefused, BoxStyle::information, Texts::kErrorTitle);
  view.SetUpdateEnabled(false);
}
