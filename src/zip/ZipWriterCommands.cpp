// The writing commands of the qv-zip tool: "a" (add or update) and "d" (delete).
#include "zip/ZipWriterCommands.h"

#include "beneath/ShownText.h"

#include "zip/ZipDiskPrompt.h"
#include "zip/ZipErrors.h"
#include "zip/ZipWriter.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <stdexcept>

namespace qv {

namespace {

const char *kUsage = "usage: qv-zip a [-l LEVEL] [-P PASSWORD] [-u|-r|-f] [-R] [-v BYTES | -s [-D COMMAND]] ARCHIVE ROOTDIR "
                     "FILES...\n"
                     "       qv-zip d ARCHIVE NAMES...\n";

std::string withSlash(std::string s)
{
    if (!s.empty() && s.back() != '/') {
        s += '/';
    }
    return s;
}

// Adds a file, or a folder with everything below it, as pairs relative to `root`.
void addTree(TZipWriter &zip, const std::string &path, const std::string &stored)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        zip.AddFile(path, stored);
        return;
    }
    if (!stored.empty()) {
        zip.AddFile(path, withSlash(stored));
    }
    std::vector<std::string> names;
    if (DIR *dir = ::opendir(path.c_str())) {
        while (dirent *e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
                names.emplace_back(e->d_name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) {
        const std::string child = withSlash(path) + name;
        struct stat lst;
        if (::lstat(child.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode) && ::stat(child.c_str(), &st) == 0 &&
            S_ISDIR(st.st_mode)) {
            continue; // folders behind links are not entered
        }
        addTree(zip, child, stored.empty() ? name : withSlash(stored) + name);
    }
}

// The stored name of `file` below `root`, or empty when the file lies outside it.
std::string relativeTo(const std::string &root, const std::string &file)
{
    const std::string base = withSlash(root);
    if (file.compare(0, base.size(), base) == 0) {
        return file.substr(base.size());
    }
    return {};
}

int g_threads = 1;

// A whole number from `lowest` to `highest` written alone in `text` (no sign games, no trailing
// letters): "-l 99" and "-l 7x" are mistakes, never a level the writer quietly clamps.
bool wholeNumberIn(const std::string &text, long long lowest, long long highest, long long &value)
{
    try {
        std::size_t used = 0;
        value = std::stoll(text, &used);
        return used == text.size() && value >= lowest && value <= highest;
    } catch (const std::exception &) {
        return false;
    }
}

int addCommand(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    TZipWriter zip;
    zip.Threads = g_threads;
    bool recurse = false;
    std::string diskCommand;
    size_t i = 1;
    for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
        const std::string &opt = args[i];
        if (opt == "-v" && i + 1 < args.size()) {
            // Volumes of at most BYTES each, beside the archive.
            try {
                zip.MultiZipInfo.BlockSize = zip.MultiZipInfo.FirstBlockSize = std::stoi(args[++i]);
            } catch (const std::exception &) {
                err << "qv-zip: bad volume size \"" << args[i] << "\"\n" << kUsage;
                return 2;
            }
            zip.SetMultiMode(mmBlocks);
        } else if (opt == "-s") {
            zip.SetMultiMode(mmSpan); // across removable disks, changed when full
        } else if (opt == "-D" && i + 1 < args.size()) {
            diskCommand = args[++i];
        } else if ((opt == "-l" || opt == "-P") && i + 1 < args.size()) {
            if (opt == "-l") {
                long long level = 0;
                if (!wholeNumberIn(args[++i], 0, 9, level)) {
                    err << "qv-zip: bad level \"" << args[i]
                        << "\": the level is a whole number from 0 to 9\n"
                        << kUsage;
                    return 2;
                }
                zip.PackLevel = static_cast<int>(level);
            } else {
                zip.Password = args[++i];
            }
        } else if (opt == "-u") {
            zip.ZipAction = zaUpdate;
        } else if (opt == "-r") {
            zip.ZipAction = zaReplace;
        } else if (opt == "-f") {
            zip.ZipAction = zaFreshen;
        } else if (opt == "-R") {
            recurse = true;
        } else {
            err << "qv-zip: unknown option " << opt << "\n" << kUsage;
            return 2;
        }
    }
    if (args.size() < i + 3) {
        err << kUsage;
        return 2;
    }
    zip.SetZipName(args[i]);
    std::string root = args[i + 1];
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    // Masks are searched by the writer below ROOTDIR and stored relative to it; -R also searches
    // the subfolders of every folder a mask reaches.
    zip.SetRootDir(root);
    zip.SetRelativePaths(true);
    zip.Recurse = recurse;
    bool leftOut = false;
    for (size_t k = i + 2; k < args.size(); ++k) {
        if (args[k].find_first_of("*?") != std::string::npos) {
            std::string mask = args[k];
            if (mask[0] == '/') {
                mask = relativeTo(root, mask);
                if (mask.empty()) {
                    err << "qv-zip: " << args[k] << " is not below " << root << "\n";
                    leftOut = true;
                    continue;
                }
            }
            zip.FilesList.push_back(mask);
            continue;
        }
        std::string file = args[k][0] == '/' ? args[k] : withSlash(root) + args[k];
        while (file.size() > 1 && (file.back() == '/' || (file.size() > 2 && file.compare(file.size() - 2, 2, "/.") == 0))) {
            file.pop_back();
        }
        std::string stored = relativeTo(root, file);
        if (stored.empty() && file != root) {
            err << "qv-zip: " << args[k] << " is not below " << root << "\n";
            leftOut = true;
            continue;
        }
        addTree(zip, file, stored);
    }
    zip.OnNoSuchFile = [&](const std::string &name) {
        err << "qv-zip: no such file: " << shownText(name) << "\n";
        leftOut = true;
    };
    zip.OnSkippingFileDetail = [&](TZipSkipReason, const std::string &name, const std::string &why) {
        err << "qv-zip: left out " << shownText(name) << ": " << shownText(why) << "\n";
        leftOut = true;
    };
    zip.OnEndZip = [&](const std::string &name, uint64_t size, uint64_t packed, uint64_t) {
        out << "  adding: " << shownText(name) << " (" << size << " -> " << packed << ")\n";
    };
    zip.OnStartSpanCopy = [&](const std::string &name, int64_t size) {
        out << "writing " << shownText(name) << " (" << size << " bytes) onto disks\n";
    };
    zip.OnPrepareNextDisk = [&](int disk) {
        if (!zipAskForDisk(disk, "Please insert disk " + std::to_string(disk) + " for " + zip.ZipName() + ".",
                           diskCommand, std::cin, err)) {
            zip.CancelTheOperation();
        }
    };
    zip.OnDiskPrompt = zipDiskPromptHook(diskCommand, std::cin, err);
    const int count = zip.Zip();
    out << count << " file(s) added or replaced\n";
    return leftOut ? 1 : 0;
}

int deleteCommand(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    if (args.size() < 3) {
        err << kUsage;
        return 2;
    }
    TZipWriter zip;
    zip.SetZipName(args[1]);
    struct stat st;
    if (::stat(zip.ZipName().c_str(), &st) != 0) {
        err << "qv-zip: no such archive: " << zip.ZipName() << "\n";
        return 3;
    }
    for (size_t k = 2; k < args.size(); ++k) {
        zip.FilesList.push_back(args[k]);
    }
    zip.OnDeleteEntry = [&](const std::string &name, bool &) {
        out << "deleting: " << shownText(name) << "\n";
    };
    const int count = zip.DeleteEntries();
    out << count << " entr" << (count == 1 ? "y" : "ies") << " deleted\n";
    return 0;
}

} // namespace

int zipCommandAdd(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    std::vector<std::string> all = {"a"};
    all.insert(all.end(), args.begin(), args.end());
    return runZipWriteCommand(all, out, err);
}

int zipCommandDelete(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    std::vector<std::string> all = {"d"};
    all.insert(all.end(), args.begin(), args.end());
    return runZipWriteCommand(all, out, err);
}

void setZipCommandThreads(int threads)
{
    g_threads = threads;
}

int zipCommandThreads()
{
    return g_threads;
}

bool isZipWriteCommand(const std::string &command) { return command == "a" || command == "d"; }

int runZipWriteCommand(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    if (args.empty() || !isZipWriteCommand(args[0])) {
        err << kUsage;
        return 2;
    }
    try {
        return args[0] == "a" ? addCommand(args, out, err) : deleteCommand(args, out, err);
    } catch (const std::exception &e) {
        const std::string text = e.what();
        // Once disks of a spanned archive were changed, the error says where the archive went.
        err << "qv-zip: " << shownText(text)
            << (text.find("kept whole as") == std::string::npos ? " (the archive is unchanged)" : "") << "\n";
        return 3;
    }
}

} // namespace qv
