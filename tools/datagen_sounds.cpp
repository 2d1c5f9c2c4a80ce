// The seven sound effects, synthesised from noise, filters, envelopes and pitch
// sweeps: 44.1 kHz mono, each peak-normalised just under full scale, with short fades
// at both ends so that nothing clicks when the mixer starts or cuts a voice.
#include <algorithm>
#include <cmath>

#include "tools/datagen.h"
#include "tools/datagen_math.h"

namespace gen {

const SoundFile kSoundFiles[7] = {
    {"bom.wav", 0.70},  // an explosion
    {"dom.wav", 1.50},  // the final boss's deep boom
    {"pasi.wav", 0.15}, // the crack of a shot cut down
    {"pisi.wav", 0.12}, // a metallic tick: a hit that did not destroy
    {"vun.wav", 0.30},  // the sword's whoosh
    {"pou.wav", 0.60},  // a rising charge-up
    {"pi.wav", 0.07},   // a soft beep, repeated every other frame in slow motion
};

namespace {

constexpr double kRate = kSampleRate;
constexpr double kTwoPi = 2 * kPi;

// A two-pole filter after the well-known audio cookbook formulas; Set may be called
// every sample for sweeping cut-offs.
struct Biquad {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  enum Kind { LowPass, HighPass, BandPass };
  void Set(Kind kind, double freq, double q) {
    freq = std::clamp(freq, 10.0, kRate * 0.45);
    double w = kTwoPi * freq / kRate, cw = Cos(w), alpha = Sin(w) / (2 * q);
    double a0 = 1 + alpha;
    switch (kind) {
      case LowPass: b0 = (1 - cw) / 2; b1 = 1 - cw; b2 = (1 - cw) / 2; break;
      case HighPass: b0 = (1 + cw) / 2; b1 = -(1 + cw); b2 = (1 + cw) / 2; break;
      case BandPass: b0 = alpha; b1 = 0; b2 = -alpha; break;
    }
    a1 = -2 * cw;
    a2 = 1 - alpha;
    b0 /= a0; b1 /= a0; b2 /= a0; a1 /= a0; a2 /= a0;
  }
  double Run(double x) {
    double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1; x1 = x; y2 = y1; y1 = y;
    return y;
  }
};

// An oscillator that follows a changing frequency without phase jumps.
struct Osc {
  double phase = 0;
  double Sine(double freq) {
    double v = Sin(phase);
    phase += kTwoPi * freq / kRate;
    if (phase > kTwoPi) phase -= kTwoPi;
    return v;
  }
};

// Exponential glide from a to b over t in 0..1.
double Glide(double a, double b, double t) { return a * Pow(b / a, std::clamp(t, 0.0, 1.0)); }
// Decay with time constant tau seconds after an attack of attack seconds.
double Hit(double t, double attack, double tau) {
  return t < attack ? t / attack : Exp(-(t - attack) / tau);
}
double SoftClip(double x) { return x / (1 + std::fabs(x)); }

std::vector<float> Explosion(double seconds) {
  size_t n = size_t(seconds * kRate);
  std::vector<float> out(n);
  Rng rng(0xB0B0u);
  Biquad body, rumble, crackleFilter;
  Osc thump;
  double crackle = 0;
  for (size_t i = 0; i < n; i++) {
    double t = i / kRate;
    double noise = rng.Signed();
    body.Set(Biquad::LowPass, Glide(5000, 250, t / seconds), 0.8);
    rumble.Set(Biquad::LowPass, 160, 0.9);
    double v = body.Run(noise) * Hit(t, 0.003, 0.16);
    v += rumble.Run(noise) * 2.5 * Hit(t, 0.01, 0.3);
    v += thump.Sine(Glide(120, 38, t / 0.35)) * 0.9 * Hit(t, 0.004, 0.11);
    // Sparse crackles over the first moments: the debris.
    if (t < 0.35 && rng.Unit() < 0.004) crackle = rng.Signed() * (1 - t / 0.35);
    crackleFilter.Set(Biquad::BandPass, 2500, 1.2);
    v += crackleFilter.Run(crackle) * 1.5;
    crackle *= 0.9;
    out[i] = float(SoftClip(v * 1.6));
  }
  return out;
}

std::vector<float> DeepBoom(double seconds) {
  size_t n = size_t(seconds * kRate);
  std::vector<float> out(n);
  Rng rng(0xD00Du);
  Biquad blast, rumble, rumble2;
  Osc low, sub;
  for (size_t i = 0; i < n; i++) {
    double t = i / kRate;
    double noise = rng.Signed();
    blast.Set(Biquad::LowPass, Glide(1800, 70, t / 0.9), 0.7);
    rumble.Set(Biquad::LowPass, 90, 1.1);
    rumble2.Set(Biquad::LowPass, 90, 1.1);
    double v = blast.Run(noise) * 0.9 * Hit(t, 0.004, 0.3);
    v += rumble2.Run(rumble.Run(noise)) * 9.0 * Hit(t, 0.03, 0.6);
    double f = Glide(75, 26, t / 1.1);
    v += low.Sine(f) * 1.1 * Hit(t, 0.006, 0.5);
    v += sub.Sine(f * 1.5) * 0.3 * Hit(t, 0.006, 0.25);
    out[i] = float(SoftClip(v * 1.4));
  }
  return out;
}

std::vector<float> Crack(double seconds) {
  size_t n = size_t(seconds * kRate);
  std::vector<float> out(n);
  Rng rng(0xCAC4u);
  Biquad snap, zingFilter;
  Osc zing, knock;
  for (size_t i = 0; i < n; i++) {
    double t = i / kRate;
    snap.Set(Biquad::HighPass, 1400, 0.7);
    double v = snap.Run(rng.Signed()) * Hit(t, 0.0008, 0.022);
    v += zing.Sine(Glide(2600, 1100, t / seconds)) * 0.45 * Hit(t, 0.001, 0.045);
    v += knock.Sine(Glide(320, 140, t / 0.05)) * 0.6 * Hit(t, 0.001, 0.018);
    out[i] = float(v);
  }
  return out;
}

std::vector<float> MetalTick(double seconds) {
  size_t n = size_t(seconds * kRate);
  std::vector<float> out(n);
  Rng rng(0x7C1Cu);
  Biquad click;
  // Inharmonic partials, as a struck plate rings.
  const double freq[5] = {1870, 2990, 4420, 6180, 8050};
  const double gain[5] = {1.0, 0.7, 0.5, 0.35, 0.2};
  const double tau[5] = {0.045, 0.032, 0.024, 0.016, 0.01};
  Osc osc[5];
  for (size_t i = 0; i < n; i++) {
    double t = i / kRate;
    double v = 0;
    for (int k = 0; k < 5; k++) v += osc[k].Sine(freq[k]) * gain[k] * Hit(t, 0.0006, tau[k]);
    click.Set(Biquad::HighPass, 3000, 0.7);
    v += click.Run(rng.Signed()) * 1.2 * Hit(t, 0.0003, 0.003);
    out[i] = float(v);
  }
  return out;
}

std::vector<float> Whoosh(double seconds) {
  size_t n = size_t(seconds * kRate);
  std::vector<float> out(n);
  Rng rng(0x5E0Du);
  Biquad air, air2, body;
  for (size_t i = 0; i < n; i++) {
    double t = i / kRate, u = t / seconds;
    // The blade passes: the band rises to its brightest a third of the way, then falls.
    double centre = u < 0.35 ? Glide(350, 2300, u / 0.35) : Glide(2300, 500, (u - 0.35) / 0.65);
    double noise = rng.Signed();
    air.Set(Biquad::BandPass, centre, 1.6);
    air2.Set(Biquad::BandPass, centre, 1.6);
    body.Set(Biquad::LowPass, centre * 0.5, 0.7);
    double shape = u < 0.35 ? Sin(kPi / 2 * u / 0.35) : Cos(kPi / 2 * (u - 0.35) / 0.65);
    double v = (air2.Run(air.Run(noise)) * 3.0 + body.Run(noise) * 0.6) * shape * shape;
    out[i] = float(v);
  }
  return out;
}

std::vector<float> ChargeUp(double seconds) {
  size_t n = size_t(seconds * kRate);
  std::vector<float> out(n);
  Osc tone, octave, shimmer, wobble;
  Rng rng(0x90A1u);
  Biquad hiss;
  for (size_t i = 0; i < n; i++) {
    double t = i / kRate, u = t / seconds;
    double f = Glide(170, 1150, u);
    // A wobble that quickens as the charge builds.
    double w = wobble.Sine(Glide(7, 26, u));
    double v = tone.Sine(f * (1 + 0.012 * w)) * 0.8 + octave.Sine(f * 2.003) * 0.3 + shimmer.Sine(f * 3.01) * 0.12;
    hiss.Set(Biquad::BandPass, f * 4, 3);
    v += hiss.Run(rng.Signed()) * 0.6 * u;
    v *= (0.25 + 0.75 * u) * (0.8 + 0.2 * w);
    out[i] = float(v);
  }
  return out;
}

std::vector<float> Beep(double seconds) {
  size_t n = size_t(seconds * kRate);
  std::vector<float> out(n);
  Osc tone, second;
  for (size_t i = 0; i < n; i++) {
    double t = i / kRate;
    // A soft bell-like envelope: short rise, then a gentle fall to the end.
    double rise = std::min(1.0, t / 0.005);
    double env = Sin(kPi / 2 * rise) * Exp(-t / 0.03);
    out[i] = float((tone.Sine(1046.5) + second.Sine(2093.0) * 0.12) * env);
  }
  return out;
}

// Short raised-cosine fades at both ends, then the peak brought to just under full scale.
void Finish(std::vector<float> &s, double fadeInSeconds, double fadeOutSeconds) {
  size_t fadeIn = std::min(s.size(), size_t(fadeInSeconds * kRate));
  size_t fadeOut = std::min(s.size(), size_t(fadeOutSeconds * kRate));
  for (size_t i = 0; i < fadeIn; i++) s[i] *= float(0.5 - 0.5 * Cos(kPi * (i + 0.5) / fadeIn));
  for (size_t i = 0; i < fadeOut; i++) s[s.size() - 1 - i] *= float(0.5 - 0.5 * Cos(kPi * (i + 0.5) / fadeOut));
  float peak = 0;
  for (float v : s) peak = std::max(peak, std::fabs(v));
  if (peak > 0)
    for (float &v : s) v *= 0.97f / peak;
}

}  // namespace

std::vector<float> SynthesiseSound(int id) {
  double seconds = kSoundFiles[id].seconds;
  std::vector<float> s;
  switch (id) {
    case 0: s = Explosion(seconds); Finish(s, 0.001, 0.08); break;
    case 1: s = DeepBoom(seconds); Finish(s, 0.002, 0.2); break;
    case 2: s = Crack(seconds); Finish(s, 0.0005, 0.03); break;
    case 3: s = MetalTick(seconds); Finish(s, 0.0003, 0.02); break;
    case 4: s = Whoosh(seconds); Finish(s, 0.003, 0.03); break;
    case 5: s = ChargeUp(seconds); Finish(s, 0.004, 0.03); break;
    default: s = Beep(seconds); Finish(s, 0.001, 0.015); break;
  }
  return s;
}

}  // namespace gen
