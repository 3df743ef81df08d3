/* The least work any safe edit of a file can do, as a yardstick for the
 * tool's edits: read the whole file, write it to a temporary file in the same
 * folder, flush that to stable storage and rename it over the file. With
 * --sync-folder it also flushes the folder, so that the rename itself
 * survives a crash, as the tool does.
 *
 *   floor [--sync-folder] FILE
 */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static void die(const char *what, const char *path) {
  fprintf(stderr, "floor: %s %s: %s\n", what, path, strerror(errno));
  exit(1);
}

int main(int argc, char **argv) {
  int syncFolder = argc == 3 && strcmp(argv[1], "--sync-folder") == 0;
  if (argc != 2 + syncFolder) {
    fprintf(stderr, "usage: floor [--sync-folder] FILE\n");
    return 2;
  }
  const char *path = argv[argc - 1];

  int in = open(path, O_RDONLY);
  if (in < 0) die("cannot open", path);
  struct stat info;
  if (fstat(in, &info) != 0) die("cannot stat", path);
  size_t size = (size_t)info.st_size;
  char *bytes = malloc(size ? size : 1);
  if (bytes == NULL) die("no memory for", path);
  size_t filled = 0;
  while (filled < size) {
    ssize_t n = read(in, bytes + filled, size - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) die("cannot read", path);
    filled += (size_t)n;
  }
  close(in);

  char temporary[4096];
  snprintf(temporary, sizeof temporary, "%s.floor-XXXXXX", path);
  int out = mkstemp(temporary);
  if (out < 0) die("cannot create", temporary);
  for (size_t written = 0; written < size;) {
    ssize_t n = write(out, bytes + written, size - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) die("cannot write", temporary);
    written += (size_t)n;
  }
  if (fsync(out) != 0) die("cannot flush", temporary);
  if (close(out) != 0) die("cannot close", temporary);
  if (rename(temporary, path) != 0) die("cannot rename", temporary);

  if (syncFolder) {
    char folder[4096];
    snprintf(folder, sizeof folder, "%s", path);
    char *slash = strrchr(folder, '/');
    if (slash == NULL) {
      snprintf(folder, sizeof folder, ".");
    } else if (slash == folder) {
      snprintf(folder, sizeof folder, "/");
    } else {
      *slash = '\0';
    }
    int dir = open(folder, O_RDONLY | O_DIRECTORY);
    if (dir < 0) die("cannot open", folder);
    if (fsync(dir) != 0) die("cannot flush", folder);
    close(dir);
  }
  free(bytes);
  return 0;
}
