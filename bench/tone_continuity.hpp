#pragma once
// Broken 50 ms windows of a recording of one steady tone: a window is broken
// when the tone fitted to it (its frequency known, amplitude and phase free,
// the phase counted from the recording's first sample) leaves too much of
// the window unexplained (a gap, a click, a jump inside it), sounds much
// weaker than the recording's median, or sits at another phase than the
// window before (samples lost or repeated at the edge between them). The
// count starts where the tone begins in the recording.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <vector>

namespace zentrabo::bench {

inline constexpr double toneSampleRate = 48000;
// A whole number of cycles of every frequency in tens of hertz, so the
// tone's sine and cosine are orthogonal over it.
inline constexpr std::size_t toneWindow = 2400;

struct ToneContinuity {
    std::size_t windows = 0;
    std::size_t broken = 0;
};

// The first sample at a third of the recording's peak or louder: where the
// tone begins (a recording starts with silence until sound reaches it).
inline std::size_t firstSound(const std::vector<double>& samples) {
    double peak = 0;
    for (const double sample : samples) peak = std::max(peak, std::abs(sample));
    const auto found =
        std::find_if(samples.begin(), samples.end(), [peak](double sample) { return std::abs(sample) >= peak / 3; });
    return static_cast<std::size_t>(found - samples.begin());
}

// Counts over `windows` windows, the first `settling` windows after the
// tone begins not counted; fewer when the recording is shorter.
inline ToneContinuity toneContinuity(const std::vector<double>& samples, double frequency, std::size_t settling,
                                     std::size_t windows) {
    // Unexplained beyond a tenth of the tone's level (-20 dB), or a phase
    // step beyond a fifth of the tone's advance in one sample: one sample
    // lost inside a window moves the phase about half a sample's advance in
    // that window and in the next.
    constexpr double residualBound = 0.1;
    const double step = 2 * std::numbers::pi * frequency / toneSampleRate;
    const double phaseBound = step / 5;
    struct Fit {
        double amplitude, phase, residual;
    };
    std::vector<Fit> fits;
    for (std::size_t at = firstSound(samples) + settling * toneWindow;
         fits.size() < windows && at + toneWindow <= samples.size(); at += toneWindow) {
        double inPhase = 0, quadrature = 0;
        for (std::size_t index = at; index < at + toneWindow; ++index) {
            inPhase += samples[index] * std::cos(step * static_cast<double>(index));
            quadrature += samples[index] * std::sin(step * static_cast<double>(index));
        }
        inPhase *= 2.0 / toneWindow;
        quadrature *= 2.0 / toneWindow;
        double unexplained = 0;
        for (std::size_t index = at; index < at + toneWindow; ++index) {
            const double angle = step * static_cast<double>(index);
            const double rest = samples[index] - inPhase * std::cos(angle) - quadrature * std::sin(angle);
            unexplained += rest * rest;
        }
        const double amplitude = std::hypot(inPhase, quadrature);
        // Root mean square of the rest against the tone's (amplitude / sqrt 2).
        const double residual =
            amplitude > 0 ? std::sqrt(2 * unexplained / toneWindow) / amplitude : std::numeric_limits<double>::max();
        fits.push_back({amplitude, std::atan2(quadrature, inPhase), residual});
    }
    ToneContinuity result{fits.size(), 0};
    if (fits.empty()) return result;
    std::vector<double> amplitudes;
    for (const auto& fit : fits) amplitudes.push_back(fit.amplitude);
    std::nth_element(amplitudes.begin(), amplitudes.begin() + static_cast<std::ptrdiff_t>(amplitudes.size() / 2),
                     amplitudes.end());
    const double median = amplitudes[amplitudes.size() / 2];
    for (std::size_t index = 0; index < fits.size(); ++index) {
        const auto& fit = fits[index];
        bool broken = fit.residual > residualBound || fit.amplitude < median / 2;
        if (index > 0) {
            const double turned = std::remainder(fit.phase - fits[index - 1].phase, 2 * std::numbers::pi);
            broken = broken || std::abs(turned) > phaseBound;
        }
        if (broken) ++result.broken;
    }
    return result;
}

}  // namespace zentrabo::bench
