// The reading commands of the qv-zip developer tool.
#include "zip/ZipReadCommands.h"

#include "beneath/ShownText.h"

#include "zip/TZipReader.h"
#include "zip/ZipDiskPrompt.h"
#include "zip/ZipWriterCommands.h"

#include <cstdio>
#include <iostream>
#include <ostream>

namespace qv {
namespace {

struct Options
{
    std::string password;
    bool hasPassword = false;
    bool overwrite = false;
    std::string diskCommand; // asks for the disks of a spanned archive (else the terminal does)
    std::vector<std::string> rest;
};

bool parseOptions(const std::vector<std::string> &args, Options &o, std::ostream &err)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-P") {
            if (i + 1 >= args.size()) {
                err << "qv-zip: -P needs a password\n";
                return false;
            }
            o.password = args[++i];
            o.hasPassword = true;
        } else if (args[i] == "-D") {
            if (i + 1 >= args.size()) {
                err << "qv-zip: -D needs a command\n";
                return false;
            }
            o.diskCommand = args[++i];
        } else if (args[i] == "-o") {
            o.overwrite = true;
        } else if (args[i] == "--") {
            o.rest.insert(o.rest.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else {
            o.rest.push_back(args[i]);
        }
    }
    return true;
}

std::string hex8(std::uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

const char *reasonText(TSkipReason r)
{
    switch (r) {
    case srBadPassword:
        return "wrong password";
    case srNoOverwrite:
        return "exists, not replaced";
    case srFileOpenError:
        return "damaged local header";
    case srCreateError:
        return "unsafe name or cannot create";
    }
    return "skipped";
}

// Shared by t and x: runs the reader over every entry and reports each failure.
int runAll(TZipReader &zip, bool extract, std::ostream &out, std::ostream &err)
{
    int failures = 0;
    int lastErrorIndex = -1;
    zip.OnError = [&](int index, const std::string &text) {
        const TZipHeaderInfo &e = zip.Entry(index);
        err << "BAD   " << shownText(e.FullName()) << ": " << shownText(text);
        if (text == ziptext::kUnknownMethod) {
            err << " (" << zipMethodName(e.CompressionMethod) << ")";
        }
        err << "\n";
        lastErrorIndex = index;
        ++failures;
    };
    zip.OnBadCRC = [&](std::uint32_t calc, std::uint32_t stored, int index) {
        if (index != lastErrorIndex) {
            err << "BAD   " << shownText(zip.FullName(index)) << ": CRC " << hex8(calc) << ", expected "
                << hex8(stored) << "\n";
            ++failures;
        }
    };
    zip.OnSkippingFile = [&](TSkipReason reason, const std::string &name, int index, bool &) {
        if (index == lastErrorIndex && reason == srCreateError) {
            return; // the error just reported says why
        }
        err << "SKIP  " << shownText(name) << ": " << reasonText(reason) << "\n";
        if (reason != srNoOverwrite && index != lastErrorIndex) {
            ++failures;
        }
    };
    zip.OnEndUnZip = [&](int index, const std::string &name) {
        out << (extract ? "done  " : "OK    ") << shownText(extract ? name : zip.FullName(index)) << "\n";
    };
    zip.DoAll = true;
    zip.RecreateDirs = true;
    zip.Threads = zipCommandThreads();
    try {
        if (extract) {
            zip.UnZip();
        } else {
            zip.TestZip();
        }
    } catch (const EZipError &e) {
        err << "qv-zip: " << shownText(e.what()) << "\n";
        return 2;
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

std::string zipMethodName(int method)
{
    switch (method) {
    case 0:
        return "Stored";
    case 1:
        return "Shrunk";
    case 2:
    case 3:
    case 4:
    case 5:
        return "Reduce" + std::to_string(method - 1);
    case 6:
        return "Implode";
    case 8:
        return "Deflate";
    case 9:
        return "Defl64";
    case 12:
        return "BZip2";
    case 14:
        return "LZMA";
    case 93:
        return "Zstd";
    case 95:
        return "XZ";
    case 99:
        return "AES";
    default:
        return "Unk:" + std::to_string(method);
    }
}

int zipCommandList(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    Options o;
    if (!parseOptions(args, o, err) || o.rest.size() != 1) {
        err << "usage: qv-zip l [-D COMMAND] ARCHIVE\n";
        return 2;
    }
    try {
        TZipReader zip;
        zip.OnDiskPrompt = zipDiskPromptHook(o.diskCommand, std::cin, err);
        zip.SetZipName(o.rest[0]);
        const int n = zip.Count();
        char line[96];
        std::snprintf(line, sizeof line, "%12s %12s %-8s %-8s %s\n", "Length", "Packed", "Method", "CRC-32",
                      "Name");
        out << line;
        std::uint64_t total = 0;
        std::uint64_t packed = 0;
        for (int i = 0; i < n; ++i) {
            const TZipHeaderInfo &e = zip.Entry(i);
            std::snprintf(line, sizeof line, "%12llu %12llu %-8s %08x ",
                          static_cast<unsigned long long>(e.UncompressedSize),
                          static_cast<unsigned long long>(e.CompressedSize),
                          zipMethodName(e.CompressionMethod).c_str(), e.CRC32);
            out << line << shownText(e.FullName()) << (e.Encrypted() ? " (encrypted)" : "") << "\n";
            total += e.UncompressedSize;
            packed += e.CompressedSize;
        }
        std::snprintf(line, sizeof line, "%12llu %12llu %d entries\n", static_cast<unsigned long long>(total),
                      static_cast<unsigned long long>(packed), n);
        out << line;
        const std::string comment = zip.ZipComment();
        if (!comment.empty()) {
            out << "Comment: " << shownText(comment) << "\n";
        }
    } catch (const EZipError &e) {
        err << "qv-zip: " << shownText(e.what()) << "\n";
        return 2;
    }
    return 0;
}

int zipCommandTest(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    Options o;
    if (!parseOptions(args, o, err) || o.rest.size() != 1) {
        err << "usage: qv-zip t [-D COMMAND] [-P PASSWORD] ARCHIVE\n";
        return 2;
    }
    TZipReader zip;
    zip.OnDiskPrompt = zipDiskPromptHook(o.diskCommand, std::cin, err);
    try {
        zip.SetZipName(o.rest[0]);
    } catch (const EZipError &e) {
        err << "qv-zip: " << shownText(e.what()) << "\n";
        return 2;
    }
    zip.Password = o.password;
    return runAll(zip, false, out, err);
}

int zipCommandExtract(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    Options o;
    if (!parseOptions(args, o, err) || o.rest.size() != 2) {
        err << "usage: qv-zip x [-o] [-D COMMAND] [-P PASSWORD] ARCHIVE DESTDIR\n";
        return 2;
    }
    TZipReader zip;
    zip.OnDiskPrompt = zipDiskPromptHook(o.diskCommand, std::cin, err);
    try {
        zip.SetZipName(o.rest[0]);
        zip.SetDestDir(o.rest[1]);
    } catch (const EZipError &e) {
        err << "qv-zip: " << shownText(e.what()) << "\n";
        return 2;
    }
    zip.Password = o.password;
    zip.OverwriteMode = o.overwrite ? TUZOverwriteMode::Always : TUZOverwriteMode::Never;
    return runAll(zip, true, out, err);
}

} // namespace qv
