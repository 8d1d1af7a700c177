/* The yardstick for one "quorvix-cli set" on a file: open it, write the 23
   field bytes where they belong, flush them to the device, close it. */
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
  static const unsigned char bytes[23] = {0};
  int fd = argc > 1 ? open(argv[1], O_RDWR) : -1;
  if (fd < 0 || pwrite(fd, bytes, 7, 0) != 7 || pwrite(fd, bytes + 7, 13, 35) != 13 ||
      pwrite(fd, bytes + 20, 3, 53) != 3 || fsync(fd) != 0) {
    return 1;
  }
  return close(fd) != 0;
}
