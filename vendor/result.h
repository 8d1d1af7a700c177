#pragma once

#include <concepts>
#include <string>
#include <utility>
#include <variant>

// Why an operation failed: the system's own description, or one of the rules
// this program keeps. Each front end puts the rules into its own words.
struct Failure {
  enum class Cause {
    system,           // the system refused, in its own words
    refused,          // one of this program's rules refused, in its words
    retry,            // nothing changed; the same call may succeed later
    shortRead,        // fewer bytes came back than were asked for
    shortWrite,       // fewer bytes went out than were given
    notVendorFile,    // the file is not 65,536 bytes long
    lengthChanged,    // the file is no longer 65,536 bytes long; nothing was written
    readBackDiffers,  // the bytes read back after a write are not those written
    readsDiffer,      // two reads of the same bytes differ; nothing was written
    exists,           // the file to be made, or the name to be given, is there already
    inDoubt,          // whether it took effect cannot be told yet; the same call later settles it
  };
  explicit Failure(Cause why, std::wstring description = {}) : cause(why), text(std::move(description)) {}

  Cause cause;
  std::wstring text;  // the system's description, or the program's for refused and retry
};

inline Failure SystemFailure(std::wstring description) {
  return Failure(Failure::Cause::system, std::move(description));
}
inline Failure Refusal(std::wstring why) { return Failure(Failure::Cause::refused, std::move(why)); }

// A value, or the failure that kept an operation from giving one; Result<> is
// success without a value. Shaped like C++23's std::expected.
template <class T = std::monostate>
class [[nodiscard]] Result {
 public:
  Result() requires std::same_as<T, std::monostate>
  = default;
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }
  T& operator*() { return std::get<0>(state_); }
  const T& operator*() const { return std::get<0>(state_); }
  T* operator->() { return &std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }
  const Failure& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, Failure> state_;
};
