// mksounds: writes Tavoren's four interface sounds (warning, information, error, click) as WAV files at build time.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr double kPi = std::numbers::pi;

struct Partial
{
    double ratio; // multiple of the note's frequency
    double gain;
};

struct Note
{
    double start;  // seconds from the beginning of the sound
    double freq;   // Hz
    double attack; // seconds
    double decay;  // exponential time constant of the fundamental, seconds
    double gain;   // relative level; each sound is normalised afterwards
    double pan;    // -1 left .. +1 right
    std::vector<Partial> partials;
};

struct Sound
{
    const char* file;
    int channels;
    double seconds;
    std::vector<Note> notes;
};

using Buffer = std::vector<std::vector<double>>; // [channel][frame]

void render(const Note& n, Buffer& out)
{
    const std::size_t frames = out[0].size();
    const auto first = static_cast<std::size_t>(std::lround(n.start * kRate));
    for (std::size_t i = first; i < frames; ++i) {
        const double t = double(i - first) / kRate;
        const double rise = t < n.attack ? 0.5 - 0.5 * std::cos(kPi * t / n.attack) : 1.0;
        const double held = std::max(0.0, t - n.attack);
        double v = 0.0;
        for (const Partial& p : n.partials) {
            // Upper partials fade sooner, as on a struck bar, so tails stay soft rather than shrill.
            const double env = std::exp(-held * std::sqrt(p.ratio) / n.decay);
            v += p.gain * env * std::sin(2.0 * kPi * n.freq * p.ratio * t);
        }
        v *= rise * n.gain;
        if (out.size() == 1) {
            out[0][i] += v;
        } else {
            // Panning by level only (no delay or detune) keeps the left+right sum identical to the
            // unpanned note, so the sound does not comb-filter or beat when played in mono.
            out[0][i] += v * (1.0 - 0.2 * n.pan);
            out[1][i] += v * (1.0 + 0.2 * n.pan);
        }
    }
}

// WAV is little-endian whatever the host is, so bytes are emitted explicitly.
void put16(std::string& b, std::uint32_t v)
{
    b += char(v & 0xff);
    b += char((v >> 8) & 0xff);
}
void put32(std::string& b, std::uint32_t v)
{
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

std::string synthesize(const Sound& s)
{
    const auto frames = static_cast<std::size_t>(std::lround(s.seconds * kRate));
    Buffer buf(s.channels, std::vector<double>(frames, 0.0));
    for (const Note& n : s.notes)
        render(n, buf);

    // Short raised-cosine edges so playback never starts or stops on a step.
    const std::size_t fadeIn = kRate * 2 / 1000;
    const std::size_t fadeOut = std::min<std::size_t>(kRate * 15 / 1000, frames / 4);
    double peak = 0.0;
    for (auto& ch : buf) {
        for (std::size_t i = 0; i < fadeIn; ++i)
            ch[i] *= 0.5 - 0.5 * std::cos(kPi * double(i) / fadeIn);
        for (std::size_t i = 0; i < fadeOut; ++i)
            ch[frames - 1 - i] *= 0.5 - 0.5 * std::cos(kPi * double(i) / fadeOut);
        for (double v : ch)
            peak = std::max(peak, std::abs(v));
    }
    const double scale = peak > 0.0 ? std::pow(10.0, -6.0 / 20.0) / peak : 0.0; // -6 dBFS peak

    const auto dataBytes = static_cast<std::uint32_t>(frames * s.channels * 2);
    std::string b;
    b.reserve(44 + dataBytes);
    b += "RIFF";
    put32(b, 36 + dataBytes);
    b += "WAVEfmt ";
    put32(b, 16);
    put16(b, 1); // integer PCM
    put16(b, s.channels);
    put32(b, kRate);
    put32(b, kRate * s.channels * 2);
    put16(b, s.channels * 2);
    put16(b, 16);
    b += "data";
    put32(b, dataBytes);
    for (std::size_t i = 0; i < frames; ++i) {
        for (const auto& ch : buf) {
            const long q = std::clamp(std::lround(ch[i] * scale * 32767.0), -32768L, 32767L);
            put16(b, static_cast<std::uint32_t>(q) & 0xffff);
        }
    }
    return b;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: mksounds <output-folder>\n";
        return 2;
    }

    const std::vector<Partial> soft{{1, 1.0}, {2, 0.25}, {3, 0.08}};
    const std::vector<Partial> chime{{1, 1.0}, {2, 0.3}, {4, 0.06}};
    // Odd harmonics give the error tone its buzz while staying far below a true square wave.
    const std::vector<Partial> buzz{{1, 1.0}, {3, 0.3}, {5, 0.14}, {7, 0.06}};
    const std::vector<Partial> tick{{1, 1.0}, {2.3, 0.4}};

    const std::vector<Sound> sounds{
        {"101.wav", 2, 1.1, {{0.00, 659.3, 0.015, 0.25, 1.0, -0.5, soft}, {0.32, 493.9, 0.015, 0.30, 1.0, 0.5, soft}}},
        {"102.wav",
         2,
         0.9,
         {{0.00, 784.0, 0.005, 0.22, 0.8, -0.3, chime}, {0.13, 1046.5, 0.005, 0.22, 1.0, 0.3, chime}}},
        {"103.wav", 1, 1.0, {{0.00, 185.0, 0.010, 0.15, 1.0, 0.0, buzz}, {0.28, 164.8, 0.010, 0.20, 1.0, 0.0, buzz}}},
        {"104.wav",
         1,
         0.06,
         {{0.00, 1600.0, 0.0005, 0.006, 1.0, 0.0, tick}, {0.00, 700.0, 0.0005, 0.010, 0.5, 0.0, {{1, 1.0}}}}},
    };

    for (const Sound& s : sounds) {
        const std::filesystem::path path = std::filesystem::path(argv[1]) / s.file;
        const std::string bytes = synthesize(s);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::cerr << "mksounds: cannot write " << path.string() << '\n';
            return 1;
        }
    }
    return 0;
}
