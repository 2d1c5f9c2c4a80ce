/* qr-fake-input: the mouse and the keyboard of the desktop tests under KDE's compositor,
 * which offers no virtual pointer but its own fake-input protocol (open to any client
 * when the compositor runs with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1). Takes one command
 * a line on standard input:
 *
 *   move DX DY      relative motion, in pixels
 *   warp X Y        the pointer put at (X, Y) on the desktop
 *   press BUTTON    BUTTON is left or right
 *   release BUTTON
 *   click BUTTON    press, held 100 ms (the game reads its buttons once a frame), release
 *   key CODE        an evdev key code pressed, held 50 ms and let go (1 is Escape)
 *   keydown CODE    ... only pressed, or only let go: chords such as Alt+Enter
 *   keyup CODE
 *
 * and answers "ok" once the compositor has it. The events go into the seat's own pointer
 * and keyboard, so nothing has to stay connected between commands; the program still
 * lives until standard input ends, to answer each command as it comes. Exits 1 when the
 * compositor cannot be reached or offers no fake input, 2 on a bad command. */
#define _POSIX_C_SOURCE 200809L
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "qr-fake-input-client.h"

/* The buttons by their Linux input event codes. */
#define BUTTON_LEFT 0x110
#define BUTTON_RIGHT 0x111

static struct org_kde_kwin_fake_input *fake_input;

static void global_added(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                         uint32_t version) {
  (void)data;
  /* Keys came with the fourth version. */
  if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
    fake_input = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
}

static void global_removed(void *data, struct wl_registry *registry, uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}

static const struct wl_registry_listener registry_listener = {global_added, global_removed};

static void pause_ms(long ms) { nanosleep(&(struct timespec){0, ms * 1000000L}, NULL); }

static int button_code(const char *name) {
  if (strcmp(name, "left") == 0) return BUTTON_LEFT;
  if (strcmp(name, "right") == 0) return BUTTON_RIGHT;
  return 0;
}

/* A press or release, sent at once: the game must see the press before the release. */
static int send_button(struct wl_display *display, int button, int down) {
  org_kde_kwin_fake_input_button(fake_input, (uint32_t)button,
                                 down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
  return wl_display_roundtrip(display);
}

int main(void) {
  struct wl_display *display = wl_display_connect(NULL);
  if (!display) {
    fprintf(stderr, "qr-fake-input: no Wayland display to connect to\n");
    return 1;
  }
  struct wl_registry *registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registry_listener, NULL);
  wl_display_roundtrip(display);
  if (!fake_input) {
    fprintf(stderr, "qr-fake-input: the compositor offers no fake input with keys\n");
    return 1;
  }
  org_kde_kwin_fake_input_authenticate(fake_input, "quillrun tests", "drives the game under test");
  if (wl_display_roundtrip(display) < 0) {
    fprintf(stderr, "qr-fake-input: the compositor refused the fake input\n");
    return 1;
  }

  char line[256];
  while (fgets(line, sizeof line, stdin)) {
    char verb[32] = "", what[32] = "";
    int dx = 0, dy = 0, code = 0, sent = 0;
    if (sscanf(line, "%31s", verb) != 1) continue; /* a blank line */
    if (strcmp(verb, "move") == 0 && sscanf(line, "%*s %d %d", &dx, &dy) == 2) {
      org_kde_kwin_fake_input_pointer_motion(fake_input, wl_fixed_from_int(dx), wl_fixed_from_int(dy));
      sent = wl_display_roundtrip(display);
    } else if (strcmp(verb, "warp") == 0 && sscanf(line, "%*s %d %d", &dx, &dy) == 2) {
      org_kde_kwin_fake_input_pointer_motion_absolute(fake_input, wl_fixed_from_int(dx), wl_fixed_from_int(dy));
      sent = wl_display_roundtrip(display);
    } else if ((strcmp(verb, "key") == 0 || strcmp(verb, "keydown") == 0 || strcmp(verb, "keyup") == 0) &&
               sscanf(line, "%*s %d", &code) == 1 && code > 0) {
      if (strcmp(verb, "keyup") != 0) {
        org_kde_kwin_fake_input_keyboard_key(fake_input, (uint32_t)code, WL_KEYBOARD_KEY_STATE_PRESSED);
        sent = wl_display_roundtrip(display);
      }
      if (strcmp(verb, "key") == 0) pause_ms(50);
      if (strcmp(verb, "keydown") != 0 && sent >= 0) {
        org_kde_kwin_fake_input_keyboard_key(fake_input, (uint32_t)code, WL_KEYBOARD_KEY_STATE_RELEASED);
        sent = wl_display_roundtrip(display);
      }
    } else if (sscanf(line, "%*s %31s", what) == 1 && button_code(what) &&
               (strcmp(verb, "press") == 0 || strcmp(verb, "release") == 0 || strcmp(verb, "click") == 0)) {
      const int button = button_code(what);
      if (strcmp(verb, "release") != 0) sent = send_button(display, button, 1);
      if (strcmp(verb, "click") == 0) pause_ms(100);
      if (strcmp(verb, "press") != 0 && sent >= 0) sent = send_button(display, button, 0);
    } else {
      fprintf(stderr, "qr-fake-input: not a command: %s", line);
      return 2;
    }
    if (sent < 0) {
      fprintf(stderr, "qr-fake-input: the compositor went away\n");
      return 1;
    }
    printf("ok\n");
    fflush(stdout);
  }
  wl_display_disconnect(display);
  return 0;
}
