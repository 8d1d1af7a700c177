#pragma once

#include <string>

#include "vendor/result.h"

// What the window says to its user, but for the system's own descriptions of
// failures. The MAC and SN lines are built in display_lines.h.
namespace Texts {

inline constexpr wchar_t kLoadedHint[] = L"已加载本地vendor.bin";

inline constexpr wchar_t kMacPrompt[] =
    L"请输入新正确的MAC信息不区分大小写\r\n推荐前6位为是001132开头,总长度为12位";
inline constexpr wchar_t kMacTitle[] = L"update_MAC";
inline constexpr wchar_t kMacDefault[] = L"001132";
inline constexpr wchar_t kMacRefused[] = L"您输入的MAC信息不规范,请输入正确的MAC信息";

inline constexpr wchar_t kSnPrompt[] = L"请输入新正确的SN信息不区分大小写\r\nSN总长度为13位";
inline constexpr wchar_t kSnTitle[] = L"update_SN";
inline constexpr wchar_t kSnRefused[] = L"您输入的SN信息不规范,请输入正确的SN信息";

inline constexpr wchar_t kErrorTitle[] = L"错误";
inline constexpr wchar_t kFailureTitle[] = L"Err";
inline constexpr wchar_t kNoticeTitle[] = L"提示";

inline constexpr wchar_t kNothingPending[] = L"您还没有修改任何信息\r\n请先单击SN或MAC进行修改后再来操作";
inline constexpr wchar_t kConfirmUpdate[] = L"确定要更新SN或MAC信息吗？";
inline constexpr wchar_t kUpdated[] = L"更新成功!";

inline constexpr wchar_t kDropRefused[] = L"请正确拖放vender文件";

// Failures the system has no words for.
inline constexpr wchar_t kShortRead[] = L"文件读取不完整。";
inline constexpr wchar_t kShortWrite[] = L"文件写入不完整。";
inline constexpr wchar_t kNotVendorFile[] = L"文件长度不是65536字节，不是vendor文件。";
inline constexpr wchar_t kFileChanged[] = L"文件长度已不是65536字节，可能已被替换或截断，未写入任何内容。";
inline constexpr wchar_t kReadBackMismatch[] = L"写入后读回的内容与写入的不一致。";
inline constexpr wchar_t kReadsDiffer[] = L"两次读取的文件内容不一致，未写入任何内容。";
inline constexpr wchar_t kRestored[] = L"文件已恢复为更新前的内容。";
inline constexpr wchar_t kNotRestored[] = L"无法恢复文件原有内容，请检查文件！";

// A failure in words: the system's own, or ours for the rules we keep.
std::wstring Describe(const Failure& failure);

}  // namespace Texts
