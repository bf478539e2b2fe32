// Shared helpers of the zip writer tests: sample files, a writer over (path, name) pairs and
// Python's zipfile module as an independent reader of the archives written.
#pragma once

#include "support/TestEnv.h"
#include "zip/ZipWriter.h"

#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <utime.h>
#include <random>
#include <string>
#include <vector>

namespace zwtest {

inline std::string randomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto &c : s) {
        c = static_cast<char>(rng());
    }
    return s;
}

inline std::string textBytes(size_t n)
{
    static const char *words[] = {"backup ", "folder ", "the ", "archive\n", "zip ", "copy, ", "source "};
    std::mt19937 rng(11);
    std::string s;
    while (s.size() < n) {
        s += words[rng() % 7];
    }
    s.resize(n);
    return s;
}

// The sample set of the round trips: name -> content.
inline std::map<std::string, std::string> sampleFiles()
{
    std::map<std::string, std::string> files;
    files["empty.txt"] = "";
    files["one.bin"] = "x";
    files["run258.bin"] = std::string(258, 'a');
    files["run259.bin"] = std::string(259, 'a');
    files["text-32767.txt"] = textBytes(32767);
    files["text-32768.txt"] = textBytes(32768);
    files["text-32769.txt"] = textBytes(32769);
    files["rand-65535.bin"] = randomBytes(65535, 1);
    files["rand-65536.bin"] = randomBytes(65536, 2);
    files["rand-65537.bin"] = randomBytes(65537, 3);
    files["zeros-1MiB.bin"] = std::string(1 << 20, '\0');
    files["rand-100KB.bin"] = randomBytes(100000, 4);
    files["sub/dir/text.txt"] = textBytes(50000);
    std::string bin;
    for (int i = 0; bin.size() < 200000; ++i) {
        bin += randomBytes(16, static_cast<unsigned>(i % 50));
        bin += std::string(8, static_cast<char>(i % 7));
    }
    files["binary.bin"] = bin;
    return files;
}

// Writes the files below `root` (creating folders).
inline void writeTree(const std::string &root, const std::map<std::string, std::string> &files)
{
    for (const auto &[name, data] : files) {
        const std::string path = root + "/" + name;
        const auto slash = path.rfind('/');
        qvtest::runCommand({"mkdir", "-p", path.substr(0, slash)});
        qvtest::writeFile(path, data);
    }
}

// Zips the files of `root` as pairs.
inline int zipTree(const std::string &archive, const std::string &root,
                   const std::map<std::string, std::string> &files, int level, const std::string &password = {},
                   qv::TZipAction action = qv::zaUpdate)
{
    qv::TZipWriter zip;
    zip.SetZipName(archive);
    zip.PackLevel = level;
    zip.Password = password;
    zip.ZipAction = action;
    for (const auto &entry : files) {
        zip.AddFile(root + "/" + entry.first, entry.first);
    }
    return zip.Zip();
}

// Runs a Python snippet with the archive path as sys.argv[1] (and more arguments after it).
inline qvtest::CommandResult python(const std::string &script, const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {"python3", "-c", script};
    argv.insert(argv.end(), args.begin(), args.end());
    return qvtest::runCommand(argv, 120);
}

// Python prints, per entry, "name<TAB>sha1 of content<TAB>method<TAB>flags"; with a password it
// decrypts. Any failure (bad CRC, bad password) ends with a traceback and a non-zero exit.
inline const char *kPythonList = R"PY(
import sys, zipfile, hashlib
z = zipfile.ZipFile(sys.argv[1])
pwd = sys.argv[2].encode() if len(sys.argv) > 2 and sys.argv[2] else None
for i in z.infolist():
    data = z.read(i, pwd=pwd) if not i.is_dir() else b''
    print("%s\t%s\t%d\t%d\t%d" % (i.filename, hashlib.sha1(data).hexdigest(), i.compress_type, i.flag_bits, i.create_system))
)PY";

// Python prints, per entry, the sha1 of the raw bytes from its local header to the end of its
// data, keyed by name; used to prove that kept entries were copied unchanged.
inline const char *kPythonRaw = R"PY(
import sys, zipfile, hashlib, struct
path = sys.argv[1]
z = zipfile.ZipFile(path)
raw = open(path, 'rb').read()
for i in z.infolist():
    o = i.header_offset
    n, m = struct.unpack('<HH', raw[o+26:o+30])
    end = o + 30 + n + m + i.compress_size
    print("%s\t%s" % (i.filename, hashlib.sha1(raw[o:end]).hexdigest()))
)PY";

inline std::string sha1Of(const std::string &data)
{
    const std::string dir = qvtest::makeTempDir("sha");
    qvtest::writeFile(dir + "/f", data);
    auto r = qvtest::runCommand({"sha1sum", dir + "/f"});
    return r.output.substr(0, 40);
}

// name -> line fields from kPythonList or kPythonRaw.
inline std::map<std::string, std::vector<std::string>> parseListing(const std::string &text)
{
    std::map<std::string, std::vector<std::string>> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) {
            nl = text.size();
        }
        std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
            fields.push_back(line.substr(start, tab - start));
        }
        fields.push_back(line.substr(start));
        if (fields.size() >= 2) {
            out[fields[0]] = std::vector<std::string>(fields.begin() + 1, fields.end());
        }
    }
    return out;
}

// name -> sha1 of the entry's raw bytes (local header to end of data).
inline std::map<std::string, std::string> rawEntries(const std::string &archive)
{
    auto r = python(kPythonRaw, {archive});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::map<std::string, std::string> out;
    for (auto &[name, fields] : parseListing(r.output)) {
        out[name] = fields[0];
    }
    return out;
}

// Sets a file's modification time `secondsAgo` before a moment fixed once per process, so that
// two calls with the same argument give the same time.
inline void age(const std::string &path, int secondsAgo)
{
    static const time_t base = ::time(nullptr) / 2 * 2;
    struct utimbuf t;
    t.actime = t.modtime = base - secondsAgo;
    ::utime(path.c_str(), &t);
}

} // namespace zwtest
