// qv-gif: the developer's command line over the GIF reader and writer (info, decode, encode).
// Bad input ends with the reader's message and a non-zero status.
#include "imaging/GifImage.h"
#include "components/GifQt.h"

#include <QCoreApplication>
#include <QImage>

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + path);
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::string &path, const std::vector<std::uint8_t> &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string printable(const std::string &s)
{
    std::string out;
    for (const char c : s) {
        out += (c >= 32 && c < 127) ? c : '.';
    }
    return out;
}

int info(const std::vector<std::string> &args)
{
    if (args.size() != 1) {
        throw std::invalid_argument("usage: qv-gif info FILE");
    }
    qv::TGIFImage gif;
    gif.LoadFromStream(readAll(args[0]));
    std::cout << "version: " << gif.versionText() << "\nscreen: " << gif.screenWidth << "x"
              << gif.screenHeight << "\nframes: " << gif.frames().size()
              << "\nloop: " << (gif.looping ? std::to_string(gif.repeatCount) : std::string("no")) << "\n";
    for (const std::string &c : gif.data().comments) {
        std::cout << "comment: " << printable(c) << "\n";
    }
    for (std::size_t i = 0; i < gif.frames().size(); ++i) {
        qv::TGIFFrame &f = *gif.frames()[i];
        std::string decodeError;
        try {
            (void)f.bitmap();
        } catch (const std::exception &e) {
            decodeError = e.what();
        }
        std::cout << "frame " << i << ": " << f.item->width << "x" << f.item->height << " at " << f.left
                  << "," << f.top << " bits " << f.item->bitDepth
                  << (f.hasLocalColourTable ? " local" : " global") << (f.interlaced ? " interlaced" : "")
                  << " delay " << f.delay << " disposal " << int(f.disposal) << " transparent "
                  << f.transparentIndex << (f.corrupt ? " corrupt" : "")
                  << (decodeError.empty() ? "" : " undecodable: " + decodeError) << "\n";
        for (const qv::TExtension &e : f.extensions) {
            if (e.kind == qv::GifExtensionKind::Comment) {
                std::string line;
                for (const auto &s : e.subBlocks) {
                    line += s;
                }
                std::cout << "comment: " << printable(line) << "\n";
            }
        }
    }
    return 0;
}

// Each frame as a PAM file (RGB_ALPHA), the transparent colour with alpha 0.
int decode(const std::vector<std::string> &args)
{
    if (args.size() != 2) {
        throw std::invalid_argument("usage: qv-gif decode FILE OUTDIR");
    }
    qv::TGIFImage gif;
    gif.LoadFromStream(readAll(args[0]));
    for (std::size_t i = 0; i < gif.frames().size(); ++i) {
        qv::TGIFFrame &f = *gif.frames()[i];
        const qv::DibImage &bmp = f.bitmap();
        const int transparent = f.transparentColour() ? f.transparentIndex : -1;
        std::string pam = "P7\nWIDTH " + std::to_string(bmp.width) + "\nHEIGHT " +
                          std::to_string(bmp.height) + "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
        std::vector<std::uint8_t> out(pam.begin(), pam.end());
        for (const std::uint8_t index : bmp.pixels) {
            const qv::Rgb c = bmp.palette[index];
            out.insert(out.end(), {c.r, c.g, c.b, static_cast<std::uint8_t>(index == transparent ? 0 : 255)});
        }
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%03zu.pam", i);
        writeAll(args[1] + name, out);
    }
    std::cout << gif.frames().size() << " frames\n";
    return 0;
}

int encode(const std::vector<std::string> &args)
{
    bool interlace = false;
    int loop = -1;
    unsigned delay = 0;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--interlace") {
            interlace = true;
        } else if (args[i] == "--loop" && i + 1 < args.size()) {
            loop = std::stoi(args[++i]);
        } else if (args[i] == "--delay" && i + 1 < args.size()) {
            delay = static_cast<unsigned>(std::stoul(args[++i]));
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() < 2 || loop < -1 || loop > 65535) {
        throw std::invalid_argument(
            "usage: qv-gif encode [--interlace] [--loop N] [--delay MS] IMAGE... OUT.gif");
    }
    qv::TGIFImage gif;
    for (std::size_t i = 0; i + 1 < files.size(); ++i) {
        const QImage image(QString::fromStdString(files[i]));
        if (image.isNull()) {
            throw std::runtime_error("cannot read the picture " + files[i]);
        }
        const qv::DibWithTransparency dib = qv::dibFromQImage(image);
        gif.AddFrame(dib.image, dib.transparentIndex);
        gif.frames().back()->interlaced = interlace;
        gif.frames().back()->delay = delay;
    }
    gif.looping = loop >= 0;
    gif.repeatCount = loop < 0 ? 0 : loop;
    writeAll(files.back(), gif.SaveToStream());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const std::vector<std::string> args(argv + std::min(argc, 2), argv + argc);
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "info") {
            return info(args);
        }
        if (command == "decode") {
            return decode(args);
        }
        if (command == "encode") {
            return encode(args);
        }
        std::cerr
            << "usage: qv-gif info FILE | decode FILE OUTDIR | encode [--interlace] [--loop N] [--delay MS] "
               "IMAGE... OUT.gif\n";
        return 2;
    } catch (const std::exception &e) {
        std::cerr << "qv-gif: " << e.what() << "\n";
        return 1;
    }
}
