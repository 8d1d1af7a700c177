#include "vendor/handlers/loading.h"

#include <span>

#include "vendor/handlers/display_lines.h"
#include "vendor/handlers/texts.h"
#include "vendor/layout.h"
#include "vendor/vendor_file.h"

namespace {

// Stored bytes as the ANSI code page shows them, one character each.
std::wstring ShowableText(Platform& platform, std::span<const std::uint8_t> bytes) {
  std::wstring text;
  for (std::uint8_t byte : bytes) {
    const std::optional<wchar_t> c = platform.ByteToChar(byte);
    const bool control = !c || *c < 0x20 || (*c >= 0x7F && *c < 0xA0);
    text += control ? kUnshowableByte : *c;
  }
  return text;
}

bool HasVendorFileSize(Platform& platform, const std::wstring& path) {
  Result<std::uint64_t> length = platform.FileSystem().Length(path);
  return length && *length == VendorLayout::kFileSize;
}

}  // namespace

bool RedBin(MainView& view, Platform& platform, EditState& state) {
  // Everything is read before anything is shown, so a failed read leaves the
  // window as it was.
  Result<StoredFields> fields = ReadFields(platform.FileSystem(), state.BinPath);
  if (!fields) {
    view.ShowMessage(Texts::Describe(fields.error()), BoxStyle::critical, Texts::kFailureTitle);
    return false;
  }
  state.ClearPending();
  view.SetLine(Label::MAC, MacLine(fields->mac, fields->macCheck));
  view.SetLine(Label::SN,
               SnLine(ShowableText(platform, fields->sn), ShowableText(platform, fields->snCheck)));
  return true;
}

void Form_Activate(MainView& view, Platform& platform, EditState& state) {
  // Without the program's folder there is nowhere to look: never guess one.
  Result<std::wstring> folder = platform.ProgramFolder();
  if (!folder) return;
  std::wstring candidate = *folder;
  if (candidate.back() != L'\\') candidate += L'\\';
  candidate += L"vendor.bin";
  if (!platform.FileSystem().Exists(candidate)) return;

  state.BinPath = candidate;
  if (!HasVendorFileSize(platform, state.BinPath)) return;
  if (!RedBin(view, platform, state)) return;
  view.SetLine(Label::lbl, Texts::kLoadedHint);
  view.SetUpdateEnabled(true);
}

void Form_OLEDragDrop(MainView& view, Platform& platform, EditState& state,
                      const std::vector<std::wstring>& files) {
  if (files.size() == 1) {
    state.BinPath = files.front();
    if (HasVendorFileSize(platform, state.BinPath)) {
      const bool loaded = RedBin(view, platform, state);
      view.SetUpdateEnabled(loaded);
      return;
    }
  }
  view.ShowMessage(Texts::kDropRefused, BoxStyle::information, Texts::kErrorTitle);
  view.SetUpdateEnabled(false);
}
