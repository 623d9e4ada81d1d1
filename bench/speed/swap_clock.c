/* Loaded ahead of a program (LD_PRELOAD): after every buffer swap it writes to stderr when the
 * swap ended on the monotonic clock and how much CPU time the swapping thread had used, so
 * that start-up can be timed from outside without changing the program. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <time.h>

static double seconds(clockid_t clock) {
  struct timespec t;
  clock_gettime(clock, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

void SDL_GL_SwapWindow(void *window) {
  static void (*real)(void *);
  if (!real) *(void **)&real = dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
  if (real) real(window);
  fprintf(stderr, "swap-clock %.6f %.6f\n", seconds(CLOCK_MONOTONIC), seconds(CLOCK_THREAD_CPUTIME_ID));
}
