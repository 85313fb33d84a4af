/* The floor: a static C program that, for each file named, opens it, reads up to 16 KiB, visits
   all 16384 positions (0xFF past end of file, as the scan does), closes it and prints one line.
   A run of id3sniff on one file, and of id3sniff-batch on many, is compared with it.
   Usage: floor [-t THREADS] [-r] FILE...
   -t reads that many files at once, each thread taking the next file, and prints the lines in
   input order at the end; -r advises POSIX_FADV_RANDOM before each read, so that a cold read
   brings in the 16 KiB asked for and not the readahead window. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { kWindowSize = 16384, kMaxThreads = 1024 };

static char** files;
static int file_count;
static int advise_random;
static unsigned* sums;
static atomic_int next_file;

/* Returns the sum of the 16384 positions of the file at path, or -1 when it cannot be read. */
static long SumOf(const char* path, unsigned char* window) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (advise_random) posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  size_t n = 0;
  while (n < kWindowSize) {
    const ssize_t got = read(fd, window + n, kWindowSize - n);
    if (got <= 0) break;
    n += (size_t)got;
  }
  close(fd);
  unsigned sum = 0;
  for (size_t k = 0; k < kWindowSize; ++k) sum += k < n ? window[k] : 0xFF;
  return sum;
}

static void* ReadFiles(void* unused) {
  (void)unused;
  unsigned char window[kWindowSize];
  for (int i; (i = atomic_fetch_add(&next_file, 1)) < file_count;) {
    const long sum = SumOf(files[i], window);
    if (sum < 0) exit(1);
    sums[i] = (unsigned)sum;
  }
  return NULL;
}

int main(int argc, char** argv) {
  static unsigned char window[kWindowSize];
  int threads = 1;
  int opt;
  while ((opt = getopt(argc, argv, "+t:r")) != -1) {
    if (opt == 't')
      threads = atoi(optarg);
    else if (opt == 'r')
      advise_random = 1;
    else
      return 2;
  }
  if (optind >= argc || threads < 1 || threads > kMaxThreads) return 2;
  files = argv + optind;
  file_count = argc - optind;
  if (threads == 1) {
    for (int i = 0; i < file_count; ++i) {
      const long sum = SumOf(files[i], window);
      if (sum < 0) return 1;
      printf("%u\n", (unsigned)sum);
    }
    return 0;
  }
  sums = calloc((size_t)file_count, sizeof *sums);
  pthread_t ids[kMaxThreads];
  for (int t = 0; t < threads; ++t) pthread_create(&ids[t], NULL, ReadFiles, NULL);
  for (int t = 0; t < threads; ++t) pthread_join(ids[t], NULL);
  for (int i = 0; i < file_count; ++i) printf("%u\n", sums[i]);
  free(sums);
  return 0;
}
