// GIF coding and colour reduction speed: ours against Pillow and giflib on the same pictures.
//
// Usage: gif_bench [SIDE=2048] [WORKDIR=/tmp]
// Builds a SIDE x SIDE 8-bit picture (smooth bands and noise), then, best of three runs each:
//   encode   ours: TGIFImage::SaveToStream; Pillow: Image.save(..., "GIF") of the same indices
//   decode   ours: LoadFromStream and decoding the frame; Pillow: Image.open + load;
//            giflib: gif2rgb -1 (decodes and writes RGB to /dev/null, process start included)
//   reduce   ours: histogram method on a SIDE/2 square true-colour picture; Pillow: quantize(256)
//            with its median cut (a different method: a speed reference, not the same work)
// and prints megapixels per second and the ratios ours / peer.
#include "imaging/ColourReduction.h"
#include "imaging/GifImage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename F> double bestOfThree(F &&f)
{
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

qv::DibImage picture(int side, bool trueColour)
{
    std::mt19937 rng(2026);
    qv::DibImage img;
    img.width = img.height = side;
    img.format = trueColour ? qv::PixelFormat::pf24bit : qv::PixelFormat::pf8bit;
    for (int i = 0; i < 256 && !trueColour; ++i) {
        img.palette.push_back(qv::Rgb{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                      static_cast<std::uint8_t>(i * 7)});
    }
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const bool noisy = ((x / 64) + (y / 64)) % 4 == 0;
            const auto v = static_cast<std::uint8_t>(noisy ? rng() : (x / 8 + y / 16));
            if (trueColour) {
                img.pixels.insert(img.pixels.end(), {v, static_cast<std::uint8_t>(v ^ (y & 31)),
                                                     static_cast<std::uint8_t>(x + y)});
            } else {
                img.pixels.push_back(v);
            }
        }
    }
    return img;
}

std::string pillowPython()
{
    for (const char *p : {"python3", "/usr/bin/python3"}) {
        if (std::system((std::string(p) + " -c 'import PIL.Image' 2>/dev/null").c_str()) == 0) {
            return p;
        }
    }
    return {};
}

// Runs a Python snippet that prints one number (seconds).
double pythonSeconds(const std::string &python, const std::string &code)
{
    const std::string cmd = python + " -c \"" + code + "\"";
    FILE *p = ::popen(cmd.c_str(), "r");
    double v = -1;
    if (p) {
        if (std::fscanf(p, "%lf", &v) != 1) {
            v = -1;
        }
        ::pclose(p);
    }
    return v;
}

void report(const char *what, double mpix, double ours, const char *peer, double theirs)
{
    if (theirs <= 0) {
        std::printf("%-8s ours %8.1f Mpixel/s   %-7s not measured\n", what, mpix / ours, peer);
        return;
    }
    std::printf("%-8s ours %8.1f Mpixel/s   %-7s %8.1f Mpixel/s   ratio ours/%s %.2f\n", what, mpix / ours, peer,
                mpix / theirs, peer, theirs / ours);
}

} // namespace

int main(int argc, char **argv)
{
    const int side = argc > 1 ? std::atoi(argv[1]) : 2048;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    const std::string path = dir + "/gif_bench.gif";
    const double mpix = side * static_cast<double>(side) / 1e6;
    const qv::DibImage pic = picture(side, false);
    std::vector<std::uint8_t> gif;
    const double encode = bestOfThree([&] {
        qv::TGIFImage img;
        img.AddFrame(pic);
        gif = img.SaveToStream();
    });
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(gif.data()), static_cast<long>(gif.size()));
    const double decode = bestOfThree([&] {
        qv::TGIFImage img;
        img.LoadFromStream(gif);
        if (img.frames()[0]->bitmap().pixels.size() != pic.pixels.size()) {
            std::abort();
        }
    });
    const qv::DibImage rgb = picture(side / 2, true);
    const double reduce = bestOfThree([&] { (void)qv::ConvertBitmap(rgb, qv::PixelFormat::pf8bit, qv::mapHistogram); });

    const std::string py = pillowPython();
    double pilEncode = -1, pilDecode = -1, pilReduce = -1;
    if (!py.empty()) {
        const std::string timing = "import time; from PIL import Image; im = Image.open('" + path + "'); im.load(); ";
        pilEncode = pythonSeconds(py, timing + "import io; b = [];\n"
                                               "for i in range(3):\n"
                                               "    t = time.perf_counter(); im.save(io.BytesIO(), 'GIF'); "
                                               "b.append(time.perf_counter() - t)\n"
                                               "print(min(b))");
        pilDecode = pythonSeconds(py, timing + "b = [];\n"
                                               "for i in range(3):\n"
                                               "    t = time.perf_counter(); Image.open('" + path + "').load(); "
                                               "b.append(time.perf_counter() - t)\n"
                                               "print(min(b))");
        pilReduce = pythonSeconds(py, timing + "rgb = im.convert('RGB').resize((" + std::to_string(side / 2) + ", " +
                                               std::to_string(side / 2) + ")); b = [];\n"
                                               "for i in range(3):\n"
                                               "    t = time.perf_counter(); rgb.quantize(256); "
                                               "b.append(time.perf_counter() - t)\n"
                                               "print(min(b))");
    }
    double giflib = -1;
    if (std::system("command -v gif2rgb >/dev/null 2>&1") == 0) {
        const std::string cmd = "gif2rgb -1 " + path + " > /dev/null";
        giflib = bestOfThree([&] {
            if (std::system(cmd.c_str()) != 0) {
                std::abort();
            }
        });
    }
    std::printf("picture %dx%d, 8 bits, GIF %zu bytes\n", side, side, gif.size());
    report("encode", mpix, encode, "Pillow", pilEncode);
    report("decode", mpix, decode, "Pillow", pilDecode);
    report("decode", mpix, decode, "gif2rgb", giflib);
    report("reduce", mpix / 4, reduce, "Pillow", pilReduce);
    std::remove(path.c_str());
    return 0;
}
