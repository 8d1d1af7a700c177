/* The yardstick for "quorvix-cli check" over many files: open each, read
   its first 56 bytes, close it. */
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
  unsigned char bytes[56];
  for (int i = 1; i < argc; ++i) {
    int fd = open(argv[i], O_RDONLY);
    if (fd < 0 || read(fd, bytes, sizeof bytes) != sizeof bytes) return 2;
    close(fd);
  }
  return 0;
}
