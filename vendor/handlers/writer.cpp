#include "vendor/handlers/writer.h"

#include "vendor/handlers/texts.h"
#include "vendor/vendor_file.h"

void Command1_Click(MainView& view, Platform& platform, EditState& state) {
  if (!state.Pending()) {
    view.ShowMessage(Texts::kNothingPending, BoxStyle::information, Texts::kNoticeTitle);
    return;
  }
  // Only Yes writes: No, Escape, the close box and a box torn down with the
  // window all leave the file and the pending edits alone.
  if (view.ShowMessage(Texts::kConfirmUpdate, BoxStyle::yesNoQuestion, Texts::kNoticeTitle) !=
      BoxAnswer::yes) {
    return;
  }
  const WriteReport report = WriteEdits(platform.FileSystem(), state);
  if (!report.written) {
    std::wstring text = Texts::Describe(report.written.error());
    if (report.restore == Restore::done) text += std::wstring(L"\r\n") + Texts::kRestored;
    if (report.restore == Restore::failed) text += std::wstring(L"\r\n") + Texts::kNotRestored;
    view.ShowMessage(text, BoxStyle::critical, Texts::kFailureTitle);
    return;
  }
  view.ShowMessage(Texts::kUpdated, BoxStyle::ok, nullptr);
  state.ClearPending();
}
