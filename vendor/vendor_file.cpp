#include "vendor/vendor_file.h"

#include <algorithm>

namespace {

using namespace VendorLayout;

StoredFields FieldsOf(const FieldBytes& bytes) {
  StoredFields fields;
  std::copy_n(&bytes[kMacOffset], kMacLength, fields.mac.begin());
  fields.macCheck = bytes[kMacChkOffset];
  std::copy_n(&bytes[kSnOffset], kSnLength, fields.sn.begin());
  std::copy_n(&bytes[kSnChkOffset], kSnChkLength, fields.snCheck.begin());
  return fields;
}

// The bytes with the pending fields put in.
FieldBytes WithEdits(FieldBytes bytes, const EditState& edits) {
  if (edits.NewMAC) {
    std::copy(edits.NewMAC->mac().begin(), edits.NewMAC->mac().end(), &bytes[kMacOffset]);
    bytes[kMacChkOffset] = edits.NewMAC->check();
  }
  if (edits.NewSN) {
    std::copy(edits.NewSN->sn().begin(), edits.NewSN->sn().end(), &bytes[kSnOffset]);
    const SnChkBytes check = edits.NewSN->check();
    std::copy(check.begin(), check.end(), &bytes[kSnChkOffset]);
  }
  return bytes;
}

Result<> ReadBackEquals(ByteFile& file, const FieldBytes& bytes) {
  FieldBytes stored{};
  if (Result<> read = file.Read(0, stored); !read) return read;
  if (stored != bytes) return Failure{Failure::Cause::readBackDiffers};
  return {};
}

// One write of the bytes, a flush, and a read back.
Result<> Put(ByteFile& file, const FieldBytes& bytes) {
  if (Result<> written = file.Write(0, bytes); !written) return written;
  if (Result<> flushed = file.Flush(); !flushed) return flushed;
  return ReadBackEquals(file, bytes);
}

}  // namespace

bool StoredFields::MacConsistent() const { return macCheck == MACChk(mac); }

bool StoredFields::SnConsistent() const {
  const std::string check = StoredSNChk(sn);
  return std::equal(snCheck.begin(), snCheck.end(), check.begin(), check.end());
}

Result<StoredFields> ReadFields(Files& files, const std::wstring& path) {
  Result<std::unique_ptr<ByteFile>> file = files.Open(path, Access::read);
  if (!file) return file.error();
  return ReadFields(**file);
}

Result<StoredFields> ReadFields(ByteFile& file) {
  Result<std::uint64_t> size = file.Size();
  if (!size) return size.error();
  if (*size != kFileSize) return Failure{Failure::Cause::notVendorFile};
  FieldBytes bytes{};
  if (Result<> read = file.Read(0, bytes); !read) return read.error();
  return FieldsOf(bytes);
}

WriteReport WriteEdits(Files& files, const EditState& edits) {
  Result<std::unique_ptr<ByteFile>> opened = files.Open(edits.BinPath, Access::update);
  if (!opened) return {opened.error()};
  return WriteEdits(**opened, edits);
}

WriteReport WriteEdits(ByteFile& file, const EditState& edits) {
  Result<std::uint64_t> size = file.Size();
  if (!size) return {size.error()};
  if (*size != kFileSize) return {Failure{Failure::Cause::lengthChanged}};
  // Every byte of them is written back, so a misread one would be written
  // too: they are read twice and must agree.
  FieldBytes before{};
  if (Result<> read = file.Read(0, before); !read) return {read};
  if (Result<> again = ReadBackEquals(file, before); !again) {
    if (again.error().cause == Failure::Cause::readBackDiffers) return {Failure{Failure::Cause::readsDiffer}};
    return {again};
  }

  Result<> written = Put(file, WithEdits(before, edits));
  if (written) return {written};
  // A restore that reports a failure may still have put every byte back: only
  // fields that read back different were not restored.
  const bool restored = Put(file, before) || ReadBackEquals(file, before);
  return {written, restored ? Restore::done : Restore::failed};
}
