/* qr-pointer: a mouse for the Wayland tests. A compositor started without input
 * devices has no pointer on its seat; this program gives it one through the
 * compositor's virtual pointer and moves and clicks it as told on standard input, one
 * command a line:
 *
 *   move DX DY      relative motion, in pixels (what a game in relative mouse mode reads)
 *   press BUTTON    BUTTON is left, right or middle
 *   release BUTTON
 *   click BUTTON    press, held 100 ms (the game reads its buttons once a frame), release
 *
 * Each command is answered with "ok" on standard output once the compositor has
 * received it, so a test knows the input is in before it looks for the result. The
 * pointer stays on the seat until standard input ends: taking it away and making a new
 * one for every command would take the pointer away from the game's window each time.
 * Exits 1 when the compositor cannot be reached or has no virtual pointer, 2 on a bad
 * command. */
#define _POSIX_C_SOURCE 200809L
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "qr-virtual-pointer-client.h"

/* The buttons by their Linux input event codes. */
#define BUTTON_LEFT 0x110
#define BUTTON_RIGHT 0x111
#define BUTTON_MIDDLE 0x112

static struct zwlr_virtual_pointer_manager_v1 *manager;

static void global_added(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                         uint32_t version) {
  (void)data;
  (void)version;
  if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
    manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
}

static void global_removed(void *data, struct wl_registry *registry, uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}

static const struct wl_registry_listener registry_listener = {global_added, global_removed};

/* Event times in milliseconds, as the compositor's own input devices give them. */
static uint32_t now_ms(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (uint32_t)((uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u);
}

static int button_code(const char *name) {
  if (strcmp(name, "left") == 0) return BUTTON_LEFT;
  if (strcmp(name, "right") == 0) return BUTTON_RIGHT;
  if (strcmp(name, "middle") == 0) return BUTTON_MIDDLE;
  return 0;
}

static void set_button(struct zwlr_virtual_pointer_v1 *pointer, int button, int down) {
  zwlr_virtual_pointer_v1_button(pointer, now_ms(), (uint32_t)button,
                                 down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
  zwlr_virtual_pointer_v1_frame(pointer);
}

int main(void) {
  struct wl_display *display = wl_display_connect(NULL);
  if (!display) {
    fprintf(stderr, "qr-pointer: no Wayland display to connect to\n");
    return 1;
  }
  struct wl_registry *registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registry_listener, NULL);
  wl_display_roundtrip(display);
  if (!manager) {
    fprintf(stderr, "qr-pointer: the compositor offers no virtual pointer\n");
    return 1;
  }
  struct zwlr_virtual_pointer_v1 *pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, NULL);
  if (wl_display_roundtrip(display) < 0) {
    fprintf(stderr, "qr-pointer: the compositor refused the virtual pointer\n");
    return 1;
  }

  char line[256];
  while (fgets(line, sizeof line, stdin)) {
    char verb[32] = "", what[32] = "";
    int dx = 0, dy = 0;
    if (sscanf(line, "%31s", verb) != 1) continue;  /* a blank line */
    if (strcmp(verb, "move") == 0 && sscanf(line, "%*s %d %d", &dx, &dy) == 2) {
      zwlr_virtual_pointer_v1_motion(pointer, now_ms(), wl_fixed_from_int(dx), wl_fixed_from_int(dy));
      zwlr_virtual_pointer_v1_frame(pointer);
    } else if (sscanf(line, "%*s %31s", what) == 1 && button_code(what) &&
               (strcmp(verb, "press") == 0 || strcmp(verb, "release") == 0 || strcmp(verb, "click") == 0)) {
      const int button = button_code(what);
      if (strcmp(verb, "release") != 0) set_button(pointer, button, 1);
      if (strcmp(verb, "click") == 0) {
        wl_display_roundtrip(display);
        nanosleep(&(struct timespec){0, 100 * 1000000L}, NULL);
      }
      if (strcmp(verb, "press") != 0) set_button(pointer, button, 0);
    } else {
      fprintf(stderr, "qr-pointer: not a command: %s", line);
      return 2;
    }
    if (wl_display_roundtrip(display) < 0) {
      fprintf(stderr, "qr-pointer: the compositor went away\n");
      return 1;
    }
    printf("ok\n");
    fflush(stdout);
  }
  wl_display_disconnect(display);
  return 0;
}
