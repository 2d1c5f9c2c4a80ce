// The world's own sine, cosine and arctangent. The C libraries the game is built
// against (Linux, the browser, Windows) disagree in the last bit of these functions,
// and a last bit is enough to move a bullet by one float step and change a replay.
// These are worked out here in double-double arithmetic and rounded once, so each
// result is the double nearest the true value (the error before that rounding is
// far below a millionth of a unit in the last place) and the same on every platform.
#pragma once

double WorldSin(double x);
double WorldCos(double x);
double WorldAtan2(double y, double x);   // the angle of the point (x, y), -pi..pi, as atan2

// A check tool can watch every call the world makes: the function ('s' sine, 'c' cosine,
// 'a' arctangent) and its arguments (b is 0 for sine and cosine). Unset in the game.
using WorldMathObserver = void (*)(char function, double a, double b);
extern WorldMathObserver worldMathObserver;
