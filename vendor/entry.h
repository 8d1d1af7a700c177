#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "vendor/layout.h"

// Typing a new MAC or SN: what is typed becomes the bytes that are to go
// into the file, with their check values, or is refused.

enum class Verdict {
  empty,     // nothing left after the separators went: ignore silently
  refused,   // wrong characters or wrong length
  accepted,  // the edit holds the value
};

template <class Edit>
struct Entered {
  Verdict verdict;
  std::optional<Edit> edit;  // when accepted
};

// A new MAC as it goes into the file: six bytes and their check byte. Any six
// bytes are a MAC.
class MacEdit {
 public:
  explicit MacEdit(const VendorLayout::MacBytes& mac) : mac_(mac) {}
  const VendorLayout::MacBytes& mac() const { return mac_; }
  std::uint8_t check() const { return VendorLayout::MACChk(mac_); }

 private:
  VendorLayout::MacBytes mac_;
};

// A new SN as it goes into the file: thirteen digits or uppercase letters and
// the digits of their check that the file keeps. Only EnterSn makes one.
class SnEdit {
 public:
  const VendorLayout::SnBytes& sn() const { return sn_; }
  // The three check bytes written.
  VendorLayout::SnChkBytes check() const;
  // The whole check text, three or four digits, as the window shows it.
  std::string sum() const { return VendorLayout::SNChk(sn_); }

 private:
  explicit SnEdit(const VendorLayout::SnBytes& sn) : sn_(sn) {}
  friend Entered<SnEdit> EnterSn(std::wstring_view typed);

  VendorLayout::SnBytes sn_;
};

// Removes ":", "：" and " ", uppercases a-z, and checks the characters and the
// length: 12 hexadecimal digits for a MAC, 13 letters or digits for an SN.
Entered<MacEdit> EnterMac(std::wstring_view typed);
Entered<SnEdit> EnterSn(std::wstring_view typed);
