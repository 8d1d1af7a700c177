#include "tests/support/faulty_files.h"

namespace {

constexpr std::uint64_t kSector = 512;

}  // namespace

class FaultyFiles::File final : public ByteFile {
 public:
  File(FaultyFiles& files, std::unique_ptr<ByteFile> real, bool created)
      : files_(files), real_(std::move(real)), created_(created) {}

  Result<std::uint64_t> Size() override {
    const Fault fault = files_.Judge(Operation::size, created_);
    if (fault.effect == Effect::wrongSize) return std::uint64_t{65535};
    if (fault.effect != Effect::none) return SystemFailure(fault.text);
    return real_->Size();
  }

  Result<> Read(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    const Fault fault = files_.Judge(Operation::read, created_);
    if (fault.effect != Effect::none && fault.effect != Effect::flipped) return SystemFailure(fault.text);
    Result<> read = real_->Read(offset, bytes);
    if (read && fault.effect == Effect::flipped && !bytes.empty()) bytes[0] ^= 0x40;
    return read;
  }

  Result<> Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    const Fault fault = files_.Judge(Operation::write, created_);
    switch (fault.effect) {
      case Effect::none:
        return real_->Write(offset, bytes);
      case Effect::halfWritten:
        (void)real_->Write(offset, bytes.first(bytes.size() / 2));
        return SystemFailure(fault.text);
      case Effect::lost:
        return {};
      case Effect::dies:
        throw Died{};
      case Effect::diesAfter:
        (void)real_->Write(offset, bytes);
        throw Died{};
      case Effect::diesTorn: {
        const std::uint64_t boundary = (offset + bytes.size() - 1) / kSector * kSector;
        if (boundary > offset) (void)real_->Write(offset, bytes.first(boundary - offset));
        throw Died{};
      }
      default:
        return SystemFailure(fault.text);
    }
  }

  Result<> Flush() override {
    const Fault fault = files_.Judge(Operation::flush, created_);
    if (fault.effect != Effect::none) return SystemFailure(fault.text);
    return real_->Flush();
  }

 private:
  FaultyFiles& files_;
  std::unique_ptr<ByteFile> real_;
  bool created_;
};

FaultyFiles::Fault FaultyFiles::Judge(Operation operation, bool created) {
  Counts& counts = created ? created_ : opened_;
  const Call call{operation, created, counts.operations++, counts.ofKind[static_cast<int>(operation)]++,
                  counts.writes};
  if (operation == Operation::write) ++counts.writes;
  return rule ? rule(call) : Fault{};
}

Result<std::unique_ptr<ByteFile>> FaultyFiles::Open(const std::wstring& path, Access access) {
  if (auto fail = openFails.find(path); fail != openFails.end()) return SystemFailure(fail->second);
  Result<std::unique_ptr<ByteFile>> file = real_.Open(path, access);
  if (!file) return file;
  return std::unique_ptr<ByteFile>(std::make_unique<File>(*this, std::move(*file), false));
}

Result<std::unique_ptr<ByteFile>> FaultyFiles::Create(const std::wstring& path) {
  Result<std::unique_ptr<ByteFile>> file = real_.Create(path);
  if (!file) return file;
  return std::unique_ptr<ByteFile>(std::make_unique<File>(*this, std::move(*file), true));
}

Result<> FaultyFiles::Append(const std::wstring& path, std::string_view bytes) {
  if (appendFails) return SystemFailure(*appendFails);
  return real_.Append(path, bytes);
}

std::function<FaultyFiles::Fault(const FaultyFiles::Call&)> Break(FaultyFiles::Operation operation, int index,
                                                                  FaultyFiles::Effect effect,
                                                                  std::wstring text) {
  return [=](const FaultyFiles::Call& call) {
    if (call.created || call.operation != operation || call.ofItsKind != index) return FaultyFiles::Fault{};
    return FaultyFiles::Fault{effect, text};
  };
}
