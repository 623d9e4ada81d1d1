/* Loaded ahead of the saver (LD_PRELOAD): the monotonic clock stands still between buffer
 * swaps and moves on by STEP_MS (default 100) at each one, so a --record run writes frames
 * spaced exactly as at 1000/STEP_MS frames a second, however slowly the machine draws them.
 * Run with --max-fps 0 (the frame pacer would otherwise sleep on a clock that does not run).
 *
 *   cc -O2 -shared -fPIC -o step_clock.so bench/speed/step_clock.c -ldl
 *   STEP_MS=50 LD_PRELOAD=$PWD/step_clock.so build/app/brassmoor --window 1280x720 --max-fps 0 \
 *       --tour c7 --tour-time 12 --no-time --frames 20 --record /tmp/c7 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdatomic.h>
#include <stdlib.h>
#include <time.h>

static atomic_long swaps;

int clock_gettime(clockid_t clock, struct timespec *out) {
  static int (*real)(clockid_t, struct timespec *);
  static struct timespec start;
  static long long step_ns = 100000000LL;
  if (!real) {
    *(void **)&real = dlsym(RTLD_NEXT, "clock_gettime");
    real(CLOCK_MONOTONIC, &start);
    const char *step = getenv("STEP_MS");
    if (step && atof(step) > 0) step_ns = (long long)(atof(step) * 1e6);
  }
  if (clock != CLOCK_MONOTONIC) return real(clock, out);
  const long long ns = start.tv_nsec + atomic_load(&swaps) * step_ns;
  out->tv_sec = start.tv_sec + ns / 1000000000LL;
  out->tv_nsec = ns % 1000000000LL;
  return 0;
}

void SDL_GL_SwapWindow(void *window) {
  static void (*real)(void *);
  if (!real) *(void **)&real = dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
  if (real) real(window);
  atomic_fetch_add(&swaps, 1);
}
