#include <sys/vfs.h>

#include "files/network_folder.h"
#include "files/utf8.h"

bool IsNetworkFileSystemType(unsigned long type) {
  switch (type) {
    case 0x6969:      // NFS
    case 0x517B:      // SMB
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x564C:      // NCP
    case 0x01021997:  // 9P
    case 0x00C36400:  // CephFS
    case 0x5346414F:  // AFS
    case 0x73757245:  // Coda
    case 0x65735546:  // FUSE: sshfs, GVFS's SMB and the like
    case 0x0BD00BD0:  // Lustre
    case 0x47504653:  // GPFS
    case 0x013111A8:  // IBRIX
    case 0xBACBACBC:  // VMware's shared folders
    case 0x786F4256:  // VirtualBox's shared folders
      return true;
    default:
      return false;
  }
}

bool OnNetworkFileSystem(const std::wstring& path) {
  std::string folder = Utf8(path);
  const std::size_t slash = folder.find_last_of('/');
  folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
  struct statfs info {};
  return ::statfs(folder.c_str(), &info) == 0 &&
         IsNetworkFileSystemType(static_cast<unsigned long>(info.f_type));
}
