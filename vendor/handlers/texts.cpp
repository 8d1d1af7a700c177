#include "vendor/handlers/texts.h"

namespace Texts {

std::wstring Describe(const Failure& failure) {
  switch (failure.cause) {
    case Failure::Cause::system:
    case Failure::Cause::refused:
    case Failure::Cause::retry:
    case Failure::Cause::exists:
    case Failure::Cause::inDoubt:
      return failure.text;
    case Failure::Cause::shortRead:
      return kShortRead;
    case Failure::Cause::shortWrite:
      return kShortWrite;
    case Failure::Cause::notVendorFile:
      return kNotVendorFile;
    case Failure::Cause::lengthChanged:
      return kFileChanged;
    case Failure::Cause::readBackDiffers:
      return kReadBackMismatch;
    case Failure::Cause::readsDiffer:
      return kReadsDiffer;
  }
  return failure.text;
}

}  // namespace Texts
