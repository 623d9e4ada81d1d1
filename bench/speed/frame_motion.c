/* How far the picture moves between two recorded frames (binary PGM, e.g. from
 * `convert frame-00001.png -colorspace gray pgm:1.pgm`): every textured 32x32 block of the
 * first is matched in the second (a search of ±56 px at a quarter of the size, refined at full
 * size) and the median, 90th percentile and largest displacement in pixels are printed with
 * the count of blocks that matched. Blocks without a clear match (a flash, rain on the glass,
 * what comes into view) are left out; repeating wallpaper can still fool single blocks, so
 * the largest value is only a hint and the 90th percentile is the figure to read.
 *
 *   cc -O2 -o frame_motion bench/speed/frame_motion.c -lm && ./frame_motion a.pgm b.pgm */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

typedef struct {
  int w, h;
  unsigned char *p;
} Grey;

enum { kBlock = 32, kScale = 4, kRadius = 14 };

static Grey readPgm(const char *path) {
  Grey g = {0, 0, NULL};
  int maxValue = 0;
  FILE *f = fopen(path, "rb");
  if (!f || fscanf(f, "P5 %d %d %d", &g.w, &g.h, &maxValue) != 3 || maxValue != 255 || g.w < kBlock || g.h < kBlock ||
      g.w > 16384 || g.h > 16384) {
    fprintf(stderr, "%s is not an 8-bit binary PGM\n", path);
    exit(1);
  }
  fgetc(f);
  g.p = malloc((size_t)g.w * g.h);
  if (!g.p || fread(g.p, 1, (size_t)g.w * g.h, f) != (size_t)g.w * g.h) {
    fprintf(stderr, "%s is cut short\n", path);
    exit(1);
  }
  fclose(f);
  return g;
}

static Grey shrink(Grey a) {
  Grey g = {a.w / kScale, a.h / kScale, malloc((size_t)(a.w / kScale) * (a.h / kScale))};
  for (int y = 0; y < g.h; y++)
    for (int x = 0; x < g.w; x++) {
      int sum = 0;
      for (int j = 0; j < kScale; j++)
        for (int i = 0; i < kScale; i++) sum += a.p[(y * kScale + j) * a.w + x * kScale + i];
      g.p[y * g.w + x] = (unsigned char)(sum / (kScale * kScale));
    }
  return g;
}

/* Sum of absolute differences of the block at (x, y) in a and the one moved by (dx, dy) in b. */
static long difference(Grey a, Grey b, int x, int y, int size, int dx, int dy) {
  if (x + dx < 0 || y + dy < 0 || x + dx + size > b.w || y + dy + size > b.h) return 1L << 40;
  long sum = 0;
  for (int j = 0; j < size; j++) {
    const unsigned char *p = a.p + (y + j) * a.w + x, *q = b.p + (y + j + dy) * b.w + x + dx;
    for (int i = 0; i < size; i++) sum += abs(p[i] - q[i]);
  }
  return sum;
}

static long texture(Grey a, int x, int y) {
  long sum = 0;
  for (int j = 0; j < kBlock; j++)
    for (int i = 0; i + 1 < kBlock; i++)
      sum += abs(a.p[(y + j) * a.w + x + i] - a.p[(y + j) * a.w + x + i + 1]) +
             abs(a.p[(y + i) * a.w + x + j] - a.p[(y + i + 1) * a.w + x + j]);
  return sum;
}

static int ascending(const void *a, const void *b) {
  const double d = *(const double *)a - *(const double *)b;
  return d < 0 ? -1 : d > 0;
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: frame_motion FIRST.pgm SECOND.pgm\n");
    return 2;
  }
  const Grey a = readPgm(argv[1]), b = readPgm(argv[2]);
  if (a.w != b.w || a.h != b.h) {
    fprintf(stderr, "the frames differ in size\n");
    return 1;
  }
  const Grey smallA = shrink(a), smallB = shrink(b);
  double *moves = malloc(sizeof(double) * (size_t)(a.w / (kBlock / 2) + 1) * (a.h / (kBlock / 2) + 1));
  int count = 0;
  for (int y = 0; y + kBlock <= a.h; y += kBlock / 2)
    for (int x = 0; x + kBlock <= a.w; x += kBlock / 2) {
      if (texture(a, x, y) < kBlock * kBlock * 6) continue;
      long best = 1L << 41;
      int cx = 0, cy = 0, fx = 0, fy = 0;
      for (int dy = -kRadius; dy <= kRadius; dy++)
        for (int dx = -kRadius; dx <= kRadius; dx++) {
          const long d = difference(smallA, smallB, x / kScale, y / kScale, kBlock / kScale, dx, dy);
          if (d < best) best = d, cx = dx, cy = dy;
        }
      best = 1L << 41;
      for (int dy = (cy - 1) * kScale; dy <= (cy + 1) * kScale; dy++)
        for (int dx = (cx - 1) * kScale; dx <= (cx + 1) * kScale; dx++) {
          const long d = difference(a, b, x, y, kBlock, dx, dy);
          if (d < best) best = d, fx = dx, fy = dy;
        }
      if (best > kBlock * kBlock * 10) continue;  // no good match anywhere
      // A move that is hardly better than standing still is not trusted.
      if ((fx || fy) && difference(a, b, x, y, kBlock, 0, 0) < best * 1.3 + kBlock * kBlock) continue;
      moves[count++] = sqrt((double)(fx * fx + fy * fy));
    }
  if (count == 0) {
    printf("0 0 0 0\n");
    return 0;
  }
  qsort(moves, (size_t)count, sizeof(double), ascending);
  printf("%.1f %.1f %.1f %d\n", moves[count / 2], moves[count * 9 / 10], moves[count - 1], count);
  return 0;
}
