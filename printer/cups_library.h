#pragma once

#include <cstddef>
#include <memory>

#include "vendor/result.h"

// The few functions of the system's CUPS library (libcups.so.2) a print job
// takes, loaded only when a label is printed: the tool itself links the C
// library alone, and every other command runs where CUPS is not installed.
// Declared here with the C types their ABI has, so the build needs no CUPS
// headers: http_t is opaque, its enums are ints.
namespace cups {

struct Http;       // http_t
struct Ipp;        // ipp_t
struct Attribute;  // ipp_attribute_t

inline constexpr int kHttpContinue = 100;          // HTTP_STATUS_CONTINUE
inline constexpr int kIppLastSuccess = 0x00FF;     // successful-ok and its kin: a request done
inline constexpr int kCreateJob = 0x0005;          // IPP_OP_CREATE_JOB
inline constexpr int kOperationAttributes = 0x01;  // IPP_TAG_OPERATION
inline constexpr int kInteger = 0x21;              // IPP_TAG_INTEGER
inline constexpr int kName = 0x42;                 // IPP_TAG_NAME
inline constexpr int kUri = 0x45;                  // IPP_TAG_URI

struct Functions {
  const char* (*Server)();                                                         // cupsServer
  int (*IppPort)();                                                                // ippPort
  int (*Encryption)();                                                             // cupsEncryption
  const char* (*User)();                                                           // cupsUser
  Http* (*Connect)(const char*, int, void*, int, int, int, int, int*);             // httpConnect2
  int (*Reconnect)(Http*, int, int*);                                              // httpReconnect2
  int (*Error)(Http*);                                                             // httpError
  void (*Close)(Http*);                                                            // httpClose
  void (*SetTimeout)(Http*, double, void*, void*);                                 // httpSetTimeout
  Ipp* (*NewRequest)(int);                                                         // ippNewRequest
  Attribute* (*AddString)(Ipp*, int, int, const char*, const char*, const char*);  // ippAddString
  Ipp* (*DoRequest)(Http*, Ipp*, const char*);                                     // cupsDoRequest
  Attribute* (*FindAttribute)(Ipp*, const char*, int);                             // ippFindAttribute
  int (*GetInteger)(Attribute*, int);                                              // ippGetInteger
  void (*Delete)(Ipp*);                                                            // ippDelete
  int (*StartDocument)(Http*, const char*, int, const char*, const char*, int);    // cupsStartDocument
  int (*WriteRequestData)(Http*, const char*, std::size_t);                        // cupsWriteRequestData
  int (*FinishDocument)(Http*, const char*);                                       // cupsFinishDocument
  int (*CancelJob)(Http*, const char*, int, int);                                  // cupsCancelJob2
  int (*LastError)();                                                              // cupsLastError
  const char* (*LastErrorString)();                                                // cupsLastErrorString
  void (*SetPasswordCB2)(const char* (*)(const char*, Http*, const char*, const char*, void*),
                         void*);  // cupsSetPasswordCB2
};

// The library, open while this lives.
class Library {
 public:
  // Refused, saying so, when CUPS's library is not installed.
  static Result<Library> Load();
  const Functions* operator->() const { return &functions_; }

 private:
  struct Closer {
    void operator()(void* handle) const;
  };
  std::unique_ptr<void, Closer> handle_;
  Functions functions_{};
};

}  // namespace cups
