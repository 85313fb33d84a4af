/* The floor: a static C program that reads up to 16 KiB, visits all 16384 positions (0xFF past
   end of file, as the scan does) and prints one line. A run of id3sniff is compared with it. */
#include <stdio.h>

enum { kWindowSize = 16384 };

int main(int argc, char** argv) {
  static unsigned char window[kWindowSize];
  if (argc < 2) return 2;
  FILE* file = fopen(argv[1], "rb");
  if (file == NULL) return 1;
  const size_t n = fread(window, 1, kWindowSize, file);
  fclose(file);
  unsigned sum = 0;
  for (size_t k = 0; k < kWindowSize; ++k) sum += k < n ? window[k] : 0xFF;
  printf("%u\n", sum);
  return 0;
}
