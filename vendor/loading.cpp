#include "vendor/loading.h"

#include <array>
#include <cstdint>

#include "vendor/display_lines.h"
#include "vendor/layout.h"
#include "vendor/texts.h"

namespace {

using ShownBytes = std::array<std::uint8_t, VendorLayout::kShownBytes>;

void ShowFailure(MainView& view, const std::wstring& description) {
  const std::wstring title = Texts::kFailureTitle;
  view.ShowMessage(description, BoxStyle::critical, &title);
}

Failure ReadShownBytes(MainView& view, const std::wstring& path, ShownBytes& bytes) {
  Opened opened = view.Open(path, Access::read);
  if (opened.failure) return opened.failure;
  return opened.file->Read(0, bytes);
}

wchar_t Showable(MainView& view, std::uint8_t byte) {
  std::optional<wchar_t> c = view.ByteToChar(byte);
  const bool control = !c || *c < 0x20 || (*c >= 0x7F && *c < 0xA0);
  return control ? kUnshowableByte : *c;
}

std::wstring ShowableText(MainView& view, const std::uint8_t* bytes, std::size_t count) {
  std::wstring text;
  for (std::size_t i = 0; i < count; ++i) text += Showable(view, bytes[i]);
  return text;
}

bool HasVendorFileSize(MainView& view, const std::wstring& path) {
  Length length = view.FileLength(path);
  return !length.failure && length.bytes == VendorLayout::kFileSize;
}

}  // namespace

bool RedBin(MainView& view, EditState& state) {
  using namespace VendorLayout;
  ShownBytes bytes{};
  // Everything is read before anything is shown, so a failed read leaves the
  // window as it was.
  if (Failure failure = ReadShownBytes(view, state.BinPath, bytes)) {
    ShowFailure(view, *failure);
    return false;
  }
  state.ClearPending();

  std::wstring mac;
  for (std::size_t i = 0; i < kMacLength; ++i) mac += HexByte(bytes[kMacOffset + i]);
  view.SetLine(Label::MAC, MacLine(mac, HexByte(bytes[kMacChkOffset])));
  view.SetLine(Label::SN, SnLine(ShowableText(view, &bytes[kSnOffset], kSnLength),
                                 ShowableText(view, &bytes[kSnChkOffset], kSnChkLength)));
  return true;
}

void Form_Activate(MainView& view, EditState& state) {
  std::wstring candidate = view.ProgramFolder();
  if (candidate.empty() || candidate.back() != L'\\') candidate += L'\\';
  candidate += L"vendor.bin";
  if (!view.FileExists(candidate)) return;

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
  const std::wstring title = Texts::kErrorTitle;
  view.ShowMessage(Texts::kDropRefused, BoxStyle::information, &title);
  view.SetUpdateEnabled(false);
}
